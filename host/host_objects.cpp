#include "host/host_objects.h"

#include "pw/resources.h"
#include "pw/unknown.h"

#include <algorithm>
#include <cwctype>
#include <new>

namespace host {

namespace {

std::atomic<long> g_liveObjects{0};

bool SameName(const std::wstring& a, LPCWSTR b) {
    if (b == nullptr) {
        return false;
    }
    std::size_t i = 0;
    for (; i < a.size() && b[i] != L'\0'; ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && b[i] == L'\0';
}

}  // namespace

long LiveObjects() {
    return g_liveObjects.load();
}

std::optional<std::wstring> StringProperty(IWbemClassObject* object, const WCHAR* name) {
    pw::UniqueVariant value;
    std::optional<std::wstring> text;
    if (SUCCEEDED(object->Get(name, 0, value.get(), nullptr, nullptr)) && value->vt == VT_BSTR) {
        text = value->bstrVal == nullptr ? L"" : value->bstrVal;
    }
    return text;
}

LiveObject::LiveObject() {
    ++g_liveObjects;
}
LiveObject::~LiveObject() {
    --g_liveObjects;
}

// ---------------------------------------------------------------------------------------------
// ClassObject

ClassObject::ClassObject(std::wstring className, const std::vector<std::wstring>& properties,
                         bool isClass)
    : m_className(std::move(className)), m_isClass(isClass) {
    for (const std::wstring& name : properties) {
        m_properties.emplace_back(name).value.get()->vt = VT_NULL;
    }
}

ClassObject::~ClassObject() = default;

void ClassObject::AddMethod(const std::wstring& name, IWbemClassObject* in, IWbemClassObject* out) {
    Method method{name, {}, {}};
    method.in.copy_from(in);
    method.out.copy_from(out);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_methods.push_back(std::move(method));
}

ClassObject::Property* ClassObject::Find(LPCWSTR name) {
    for (Property& property : m_properties) {
        if (SameName(property.name, name)) {
            return &property;
        }
    }
    return nullptr;
}

const ClassObject::Property* ClassObject::Find(LPCWSTR name) const {
    return const_cast<ClassObject*>(this)->Find(name);
}

bool ClassObject::Has(const std::wstring& name) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Property* property = Find(name.c_str());
    return property != nullptr && property->value->vt != VT_NULL;
}

std::vector<std::wstring> ClassObject::PropertyNames() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::wstring> names;
    for (const Property& property : m_properties) {
        names.push_back(property.name);
    }
    return names;
}

HRESULT STDMETHODCALLTYPE ClassObject::Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type,
                                           LONG* flavor) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const Property* property = Find(name);
    if (property == nullptr) {
        return pw::Hr(WBEM_E_NOT_FOUND);
    }
    if (value != nullptr) {
        VariantInit(value);
        const HRESULT hr = VariantCopy(value, const_cast<VARIANT*>(&*property->value));
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (type != nullptr) {
        *type = CIM_STRING;
    }
    if (flavor != nullptr) {
        *flavor = 0;
    }
    return pw::Hr(WBEM_S_NO_ERROR);
}

HRESULT STDMETHODCALLTYPE ClassObject::Put(LPCWSTR name, LONG, VARIANT* value, CIMTYPE) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Property* property = Find(name);
    if (property == nullptr) {
        // Instances take only the properties their class declares.
        if (!m_isClass || name == nullptr) {
            return pw::Hr(WBEM_E_NOT_FOUND);
        }
        property = &m_properties.emplace_back(name);
    }
    property->value.reset();
    if (value == nullptr) {
        property->value.get()->vt = VT_NULL;
        return pw::Hr(WBEM_S_NO_ERROR);
    }
    return VariantCopy(property->value.get(), value);
}

HRESULT STDMETHODCALLTYPE ClassObject::SpawnInstance(LONG, IWbemClassObject** instance) {
    if (instance == nullptr) {
        return pw::Hr(WBEM_E_INVALID_PARAMETER);
    }
    *instance = new ClassObject(m_className, PropertyNames(), false);
    return pw::Hr(WBEM_S_NO_ERROR);
}

HRESULT STDMETHODCALLTYPE ClassObject::GetMethod(LPCWSTR name, LONG, IWbemClassObject** in,
                                                 IWbemClassObject** out) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Method& method : m_methods) {
        if (SameName(method.name, name)) {
            if (in != nullptr) {
                *in = pw::ComPtr<IWbemClassObject>(method.in).detach();
            }
            if (out != nullptr) {
                *out = pw::ComPtr<IWbemClassObject>(method.out).detach();
            }
            return pw::Hr(WBEM_S_NO_ERROR);
        }
    }
    return pw::Hr(WBEM_E_NOT_FOUND);
}

HRESULT STDMETHODCALLTYPE ClassObject::Clone(IWbemClassObject** copy) {
    if (copy == nullptr) {
        return pw::Hr(WBEM_E_INVALID_PARAMETER);
    }
    auto* clone = new ClassObject(m_className, {}, m_isClass);
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Property& property : m_properties) {
        VariantCopy(clone->m_properties.emplace_back(property.name).value.get(),
                    const_cast<VARIANT*>(&*property.value));
    }
    *copy = clone;
    return pw::Hr(WBEM_S_NO_ERROR);
}

// What the provider never calls is not offered.

// ---------------------------------------------------------------------------------------------
// Sinks

ObjectSink::ObjectSink() {
    constexpr std::size_t kRoom = 4;
    m_objects.reserve(kRoom);
    m_statuses.reserve(kRoom);
}

ObjectSink::~ObjectSink() = default;

HRESULT STDMETHODCALLTYPE ObjectSink::Indicate(LONG count, IWbemClassObject** objects) {
    if (count < 0 || (count > 0 && objects == nullptr)) {
        return pw::Hr(WBEM_E_INVALID_PARAMETER);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (LONG i = 0; i < count; ++i) {
        if (objects[i] != nullptr) {
            try {
                m_objects.emplace_back().copy_from(objects[i]);
            } catch (const std::bad_alloc&) {
                return pw::Hr(WBEM_E_OUT_OF_MEMORY);
            }
        }
    }
    return pw::Hr(WBEM_S_NO_ERROR);
}

HRESULT STDMETHODCALLTYPE ObjectSink::SetStatus(LONG flags, HRESULT result, BSTR,
                                                IWbemClassObject*) {
    std::lock_guard<std::mutex> lock(m_mutex);
    try {
        m_statuses.push_back(Status{flags, result});
    } catch (const std::bad_alloc&) {
        return pw::Hr(WBEM_E_OUT_OF_MEMORY);
    }
    return pw::Hr(WBEM_S_NO_ERROR);
}

std::vector<IWbemClassObject*> ObjectSink::Objects() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<IWbemClassObject*> objects;
    for (const pw::ComPtr<IWbemClassObject>& object : m_objects) {
        objects.push_back(object.get());
    }
    return objects;
}

std::vector<ObjectSink::Status> ObjectSink::Statuses() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_statuses;
}

InitSink::InitSink() {
    m_statuses.reserve(2);  // as ObjectSink: recording the one status needs no memory
}

HRESULT STDMETHODCALLTYPE InitSink::SetStatus(LONG status, LONG) {
    std::lock_guard<std::mutex> lock(m_mutex);
    try {
        m_statuses.push_back(status);
    } catch (const std::bad_alloc&) {
        return pw::Hr(WBEM_E_OUT_OF_MEMORY);
    }
    return pw::Hr(WBEM_S_NO_ERROR);
}

std::vector<LONG> InitSink::Statuses() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_statuses;
}

// ---------------------------------------------------------------------------------------------
// Namespace

void Namespace::AddClass(ClassObject* definition) {
    pw::ComPtr<ClassObject> held;
    held.copy_from(definition);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_classes.push_back(std::move(held));
}

Namespace::~Namespace() = default;

HRESULT STDMETHODCALLTYPE Namespace::GetObject(const BSTR path, LONG, IWbemContext*,
                                               IWbemClassObject** object, IWbemCallResult**) {
    if (object == nullptr) {
        return pw::Hr(WBEM_E_INVALID_PARAMETER);
    }
    *object = nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const pw::ComPtr<ClassObject>& definition : m_classes) {
        if (SameName(definition->ClassName(), path)) {
            *object = pw::ComPtr<ClassObject>(definition).detach();
            return pw::Hr(WBEM_S_NO_ERROR);
        }
    }
    return pw::Hr(WBEM_E_NOT_FOUND);
}

// ---------------------------------------------------------------------------------------------

const WCHAR* const kExecuteCommand = L"ExecuteCommand";
const WCHAR* const kExecuteCommandTokens = L"ExecuteCommandTokens";

ClassObject* MakeDataAccessModuleClass() {
    auto* definition = new ClassObject(L"ZOLM_OEM_DataAccessModule",
                                       {L"InstanceID", L"KestroIPv4", L"KestroIPv6"}, true);
    const pw::ComPtr<ClassObject> in(
        new ClassObject(L"__PARAMETERS", {L"CommandAndArguments"}, true));
    const pw::ComPtr<ClassObject> out(
        new ClassObject(L"__PARAMETERS", {L"ReturnValue", L"ResultCode"}, true));
    definition->AddMethod(kExecuteCommand, in.get(), out.get());
    definition->AddMethod(kExecuteCommandTokens, in.get(), out.get());
    return definition;
}

}  // namespace host
