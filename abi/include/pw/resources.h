// One owner type per kind of Windows resource, each releasing what it holds on every way out,
// in the manner of the Windows Implementation Libraries' unique_* types, and the small casts
// every ABI caller needs. (A SAFEARRAY always lives inside a VARIANT here: UniqueVariant owns it.)
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <winreg.h>

#include <cstdlib>
#include <memory>
#include <utility>

namespace pw {

// A base that makes its class neither copyable nor movable: for objects that own something by
// being where they are (a scope, a registration, a lock).
class NoCopy {
  protected:
    NoCopy() = default;
    ~NoCopy() = default;

  public:
    NoCopy(const NoCopy&) = delete;
    NoCopy& operator=(const NoCopy&) = delete;
};

// The platform's WBEM codes are enumerators beyond the range of HRESULT's type; this gives
// them as HRESULTs.
template <typename Code>
constexpr HRESULT Hr(Code code) {
    return static_cast<HRESULT>(code);
}

// A procedure address as the function type it has; through the generic function pointer
// type, which converts to any other without a warning.
template <typename Function>
Function ProcAs(FARPROC proc) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

// Owns one handle of type `Handle`; `Close` releases a valid one. Not copyable; movable.
template <typename Handle, typename Close>
class UniqueResource {
  public:
    UniqueResource() = default;
    explicit UniqueResource(Handle adopted) : m_handle(adopted) {}
    UniqueResource(UniqueResource&& other) noexcept : m_handle(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    Handle get() const { return m_handle; }
    explicit operator bool() const { return m_handle != Handle{}; }
    // For an out-parameter: releases what is held and hands out its place.
    Handle* put() {
        reset();
        return &m_handle;
    }
    Handle release() { return std::exchange(m_handle, Handle{}); }
    void reset(Handle adopted = Handle{}) {
        if (Handle old = std::exchange(m_handle, adopted); old != Handle{}) {
            Close{}(old);
        }
    }

  private:
    Handle m_handle{};
};

namespace detail {
struct CloseKey {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
struct CloseLibrary {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
struct CloseKernelHandle {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
struct FreeString {
    void operator()(BSTR text) const { SysFreeString(text); }
};
struct FreeBlock {
    void operator()(void* block) const { std::free(block); }
};
}  // namespace detail

using UniqueKey = UniqueResource<HKEY, detail::CloseKey>;
using UniqueLibrary = UniqueResource<HMODULE, detail::CloseLibrary>;
// A kernel handle whose "none" is null, such as a token.
using UniqueHandle = UniqueResource<HANDLE, detail::CloseKernelHandle>;
// A block that C code allocated with malloc and the receiver frees.
template <typename T>
using UniqueFree = std::unique_ptr<T, detail::FreeBlock>;

class UniqueBstr : public UniqueResource<BSTR, detail::FreeString> {
  public:
    UniqueBstr() = default;
    // A copy of `text`; null when the copy cannot be made (or `text` is null).
    explicit UniqueBstr(const OLECHAR* text)
        : UniqueResource<BSTR, detail::FreeString>(SysAllocString(text)) {}
    // A copy of `length` characters of `text`, null characters included.
    UniqueBstr(const OLECHAR* text, UINT length)
        : UniqueResource<BSTR, detail::FreeString>(SysAllocStringLen(text, length)) {}
};

class UniqueVariant {
  public:
    UniqueVariant() { VariantInit(&m_value); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&m_value); }
    VARIANT* get() { return &m_value; }
    // Releases what is held; the variant is empty again.
    void reset() { VariantClear(&m_value); }
    const VARIANT& operator*() const { return m_value; }
    const VARIANT* operator->() const { return &m_value; }

  private:
    VARIANT m_value;
};

// One counted reference to a COM object.
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
    ComPtr(ComPtr&& other) noexcept : m_ptr(other.detach()) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_ptr, other.m_ptr);
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }
    // For an out-parameter: releases what is held and hands out its place.
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

}  // namespace pw
