// The WMI stand-in's objects: class and instance objects, sinks and the namespace that the
// provider is initialised with. Each object counts itself, so that a test can check that
// every reference the provider took was given back.
#pragma once

#include "pw/resources.h"

#include <windows.h>

#include <wbemidl.h>

#include "pw/unknown.h"
#include "pw/wbem_services.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace host {

// Objects of this file alive now.
long LiveObjects();

// An object's string property as the client reads it, or nothing when it is not a set string.
std::optional<std::wstring> StringProperty(IWbemClassObject* object, const WCHAR* name);

// Counted in LiveObjects for as long as it exists.
class LiveObject : private pw::NoCopy {
  public:
    LiveObject();
    ~LiveObject();
};

// A class definition or an instance: named properties with values, and for a class its
// methods' in- and out-signatures.
class ClassObject : public pw::ComObject<IWbemClassObject>, private LiveObject {
  public:
    // A class definition with these string properties; its instances have the same ones.
    ClassObject(std::wstring className, const std::vector<std::wstring>& properties, bool isClass);

    // Declares a method with its in- and out-signature objects (the class takes references).
    void AddMethod(const std::wstring& name, IWbemClassObject* in, IWbemClassObject* out);
    bool Has(const std::wstring& name) const;
    std::vector<std::wstring> PropertyNames() const;
    const std::wstring& ClassName() const { return m_className; }

    PW_UNOFFERED_METHOD(E_NOTIMPL, GetQualifierSet, IWbemQualifierSet**)
    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                                  LONG* flavor) override;
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE type) override;
    PW_UNOFFERED_METHOD(E_NOTIMPL, Delete, LPCWSTR)
    PW_UNOFFERED_METHOD(E_NOTIMPL, GetNames, LPCWSTR, LONG, VARIANT*, SAFEARRAY**)
    PW_UNOFFERED_METHOD(E_NOTIMPL, BeginEnumeration, LONG)
    PW_UNOFFERED_METHOD(E_NOTIMPL, Next, LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*)
    PW_UNOFFERED_METHOD(E_NOTIMPL, EndEnumeration, )
    PW_UNOFFERED_METHOD(E_NOTIMPL, GetPropertyQualifierSet, LPCWSTR, IWbemQualifierSet**)
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject** copy) override;
    PW_UNOFFERED_METHOD(E_NOTIMPL, GetObjectText, LONG, BSTR*)
    PW_UNOFFERED_METHOD(E_NOTIMPL, SpawnDerivedClass, LONG, IWbemClassObject**)
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG flags, IWbemClassObject** instance) override;
    PW_UNOFFERED_METHOD(E_NOTIMPL, CompareTo, LONG, IWbemClassObject*)
    PW_UNOFFERED_METHOD(E_NOTIMPL, GetPropertyOrigin, LPCWSTR, BSTR*)
    PW_UNOFFERED_METHOD(E_NOTIMPL, InheritsFrom, LPCWSTR)
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR name, LONG flags, IWbemClassObject** in,
                                        IWbemClassObject** out) override;
    PW_UNOFFERED_METHOD(E_NOTIMPL, PutMethod, LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*)
    PW_UNOFFERED_METHOD(E_NOTIMPL, DeleteMethod, LPCWSTR)
    PW_UNOFFERED_METHOD(E_NOTIMPL, BeginMethodEnumeration, LONG)
    PW_UNOFFERED_METHOD(E_NOTIMPL, NextMethod, LONG, BSTR*, IWbemClassObject**, IWbemClassObject**)
    PW_UNOFFERED_METHOD(E_NOTIMPL, EndMethodEnumeration, )
    PW_UNOFFERED_METHOD(E_NOTIMPL, GetMethodQualifierSet, LPCWSTR, IWbemQualifierSet**)
    PW_UNOFFERED_METHOD(E_NOTIMPL, GetMethodOrigin, LPCWSTR, BSTR*)

  private:
    ~ClassObject() override;

    struct Property {
        explicit Property(std::wstring propertyName) : name(std::move(propertyName)) {}
        std::wstring name;
        pw::UniqueVariant value;
    };
    struct Method {
        std::wstring name;
        pw::ComPtr<IWbemClassObject> in;
        pw::ComPtr<IWbemClassObject> out;
    };
    Property* Find(LPCWSTR name);
    const Property* Find(LPCWSTR name) const;

    std::wstring m_className;
    bool m_isClass;
    mutable std::mutex m_mutex;
    // A deque: a property stays where it is while others are added.
    std::deque<Property> m_properties;
    std::vector<Method> m_methods;
};

// The response sink of one call: every object handed over and every status, in order.
class ObjectSink : public pw::ComObject<IWbemObjectSink>, private LiveObject {
  public:
    struct Status {
        LONG flags;
        HRESULT result;
    };

    // Room for what one call hands over is taken here, so that recording it needs no memory:
    // a call that runs out of memory is never mistaken for a sink that did.
    ObjectSink();

    HRESULT STDMETHODCALLTYPE Indicate(LONG count, IWbemClassObject** objects) override;
    HRESULT STDMETHODCALLTYPE SetStatus(LONG flags, HRESULT result, BSTR text,
                                        IWbemClassObject* object) override;

    // The objects handed over (the sink holds a reference to each).
    std::vector<IWbemClassObject*> Objects() const;
    std::vector<Status> Statuses() const;

  private:
    ~ObjectSink() override;
    mutable std::mutex m_mutex;
    std::vector<pw::ComPtr<IWbemClassObject>> m_objects;
    std::vector<Status> m_statuses;
};

class InitSink : public pw::ComObject<IWbemProviderInitSink>, private LiveObject {
  public:
    InitSink();
    HRESULT STDMETHODCALLTYPE SetStatus(LONG status, LONG flags) override;

    std::vector<LONG> Statuses() const;

  private:
    mutable std::mutex m_mutex;
    std::vector<LONG> m_statuses;
};

// The namespace the provider is initialised with: it serves the class definitions it holds
// through GetObject and supports nothing else.
class Namespace : public pw::ComObject<pw::UnsupportedWbemServices>, private LiveObject {
  public:
    // Adds a class definition (the namespace takes a reference).
    void AddClass(ClassObject* definition);

    // `hook(context)` runs after each release that leaves the namespace alive: a provider
    // object lets go of its namespace during its teardown, so the host sees that moment.
    using ReleaseHook = void (*)(void* context);
    void SetReleaseHook(ReleaseHook hook, void* context) {
        m_hookContext.store(context);
        m_hook.store(hook);
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const ReleaseHook hook = m_hook.load();
        void* const context = m_hookContext.load();
        const ULONG count = ComObject::Release();
        if (count > 0 && hook != nullptr) {
            hook(context);
        }
        return count;
    }

    HRESULT STDMETHODCALLTYPE GetObject(const BSTR path, LONG flags, IWbemContext* context,
                                        IWbemClassObject** object,
                                        IWbemCallResult** result) override;

  private:
    ~Namespace() override;
    std::mutex m_mutex;
    std::vector<pw::ComPtr<ClassObject>> m_classes;
    std::atomic<ReleaseHook> m_hook{nullptr};
    std::atomic<void*> m_hookContext{nullptr};
};

// The class ZOLM_OEM_DataAccessModule as provider/WinPipeway.mof declares it: key
// "InstanceID", string properties "KestroIPv4" and "KestroIPv6", and the methods
// "ExecuteCommand" (a command-line string) and "ExecuteCommandTokens" (one token per element),
// each with the in-parameter "CommandAndArguments" and the out-parameters "ReturnValue" (the
// method's value) and "ResultCode".
ClassObject* MakeDataAccessModuleClass();
extern const WCHAR* const kExecuteCommand;
extern const WCHAR* const kExecuteCommandTokens;

}  // namespace host
