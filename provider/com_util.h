// Owners for the platform's reference-counted objects, strings and variants, so that every
// way out of an operation releases what it obtained.
#pragma once

#include <windows.h>

#include <utility>

// The platform's WBEM codes are enumerators beyond the range of HRESULT's type; this gives
// them as HRESULTs.
template <typename Code>
constexpr HRESULT Hr(Code code) {
    return static_cast<HRESULT>(code);
}

template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    explicit ComPtr(T* adopted) : m_ptr(adopted) {}
    ComPtr(const ComPtr& other) : m_ptr(other.m_ptr) {
        if (m_ptr != nullptr) {
            m_ptr->AddRef();
        }
    }
    ComPtr& operator=(const ComPtr& other) {
        ComPtr copy(other);
        std::swap(m_ptr, copy.m_ptr);
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }
    // For out-parameters: releases what is held and hands out the slot.
    T** put() {
        reset();
        return &m_ptr;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (m_ptr != nullptr) {
            std::exchange(m_ptr, nullptr)->Release();
        }
    }
    // Takes another reference to `ptr`.
    void copy_from(T* ptr) {
        if (ptr != nullptr) {
            ptr->AddRef();
        }
        reset();
        m_ptr = ptr;
    }
    T* detach() { return std::exchange(m_ptr, nullptr); }

  private:
    T* m_ptr = nullptr;
};

class ScopedBstr {
  public:
    ScopedBstr() : m_bstr(nullptr) {}
    explicit ScopedBstr(const OLECHAR* text) : m_bstr(SysAllocString(text)) {}
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;
    ~ScopedBstr() { SysFreeString(m_bstr); }
    BSTR get() const { return m_bstr; }
    // For an out-parameter: frees what it holds and hands out its place.
    BSTR* put() {
        SysFreeString(m_bstr);
        m_bstr = nullptr;
        return &m_bstr;
    }
    explicit operator bool() const { return m_bstr != nullptr; }

  private:
    BSTR m_bstr;
};

class ScopedVariant {
  public:
    ScopedVariant() { VariantInit(&m_value); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    ~ScopedVariant() { VariantClear(&m_value); }
    VARIANT* get() { return &m_value; }
    const VARIANT& operator*() const { return m_value; }

  private:
    VARIANT m_value;
};
