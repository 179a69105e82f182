#include "provider/provider_object.h"

#include "core/address_queries.h"
#include "core/pipeway_provider_impl.h"
#include "core/lifecycle.h"
#include "log/trace_log.h"

#include <wmiutils.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace {

const WCHAR* const kInstanceIdProperty = L"InstanceID";
const WCHAR* const kIPv4Property = L"KestroIPv4";
const WCHAR* const kIPv6Property = L"KestroIPv6";
const WCHAR* const kInstanceId = L"ZOLM_OEM_DataAccessModule1";

using AddressText = pw::UniqueFree<char>;

// An address in the ANSI code page as a platform string; a null text gives a null string.
pw::UniqueBstr AddressToBstr(const char* text) {
    if (text == nullptr) {
        return {};
    }
    const std::optional<std::wstring> wide = pw::Widen(text, CP_ACP);
    if (!wide) {
        throw std::bad_alloc();
    }
    pw::UniqueBstr value(wide->c_str());
    if (!value) {
        throw std::bad_alloc();
    }
    return value;
}

HRESULT PutBstr(IWbemClassObject* instance, const WCHAR* name, BSTR adopted) {
    pw::UniqueVariant value;
    value.get()->vt = VT_BSTR;
    value.get()->bstrVal = adopted;
    return instance->Put(name, 0, value.get(), 0);
}

}  // namespace

// A new instance with its key property set.
HRESULT CWMIPipewayProvider::NewInstance(pw::ComPtr<IWbemClassObject>& instance) {
    if (!m_classDef) {
        return pw::Hr(WBEM_E_FAILED);
    }
    HRESULT hr = m_classDef->SpawnInstance(0, instance.put());
    if (FAILED(hr)) {
        return hr;
    }
    pw::UniqueBstr property(kInstanceIdProperty);
    pw::UniqueBstr id(kInstanceId);
    if (!property || !id) {
        instance.reset();
        return pw::Hr(WBEM_E_OUT_OF_MEMORY);
    }
    hr = PutBstr(instance.get(), property.get(), id.release());
    if (FAILED(hr)) {
        instance.reset();
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE CWMIPipewayProvider::CreateInstanceEnumAsync(const BSTR, LONG,
                                                                       IWbemContext*,
                                                                       IWbemObjectSink* sink) {
    // Among others, an address module that cannot be loaded: no instance is sent.
    const ClientOperation operation{true, "--> CWMIPipewayProvider::CreateInstanceEnumAsync\n",
                                    nullptr, "CWMIPipewayProvider::CreateInstanceEnumAsync"};
    return ServeAsClient(operation, [&](ClientImpersonation&, pw::core::SharedState* shared) {
        return EnumerateAsClient(*shared, sink);
    });
}

HRESULT CWMIPipewayProvider::EnumerateAsClient(pw::core::SharedState& shared,
                                               IWbemObjectSink* sink) {
    if (sink == nullptr) {
        return pw::Hr(WBEM_E_INVALID_PARAMETER);
    }
    pw::ComPtr<IWbemClassObject> instance;
    HRESULT hr = NewInstance(instance);
    if (FAILED(hr)) {
        return hr;
    }
    pw::UniqueBstr ipv4;
    pw::UniqueBstr ipv6;
    {
        const AddressText ipv4Text(pw::core::GetIPv4Address(shared.modules));
        const AddressText ipv6Text(pw::core::GetIPv6Addresses(shared.modules));
        ipv4 = AddressToBstr(ipv4Text.get());
        ipv6 = AddressToBstr(ipv6Text.get());
    }
    pw::UniqueBstr ipv4Name(kIPv4Property);
    pw::UniqueBstr ipv6Name(kIPv6Property);
    if (!ipv4Name || !ipv6Name) {
        return pw::Hr(WBEM_E_OUT_OF_MEMORY);
    }
    PutBstr(instance.get(), ipv4Name.get(), ipv4.release());
    hr = PutBstr(instance.get(), ipv6Name.get(), ipv6.release());
    if (FAILED(hr)) {
        return hr;
    }
    IWbemClassObject* indicated = instance.get();
    const HRESULT indicateResult = sink->Indicate(1, &indicated);
    instance.reset();
    return sink->SetStatus(WBEM_STATUS_COMPLETE, indicateResult, nullptr, nullptr);
}

HRESULT STDMETHODCALLTYPE CWMIPipewayProvider::GetObjectAsync(const BSTR path, LONG, IWbemContext*,
                                                              IWbemObjectSink* sink) {
    const ClientOperation operation{
        false, nullptr,
        "Pwy: CWMIPipewayProvider::GetObjectAsync GetCurrentImpersonationlevel Failed : &d\n",
        "CWMIPipewayProvider::GetObjectAsync"};
    return ServeAsClient(operation, [&](ClientImpersonation&, pw::core::SharedState*) {
        if (sink == nullptr) {
            return pw::Hr(WBEM_E_INVALID_PARAMETER);
        }
        pw::ComPtr<IWbemClassObject> instance;
        const HRESULT found = GetInstanceForPath(path, instance.put());
        if (FAILED(found)) {
            return found;
        }
        IWbemClassObject* indicated = instance.get();
        const HRESULT indicateResult = sink->Indicate(1, &indicated);
        const HRESULT status =
            sink->SetStatus(WBEM_STATUS_COMPLETE, indicateResult, nullptr, nullptr);
        return status;
    });
}

HRESULT CWMIPipewayProvider::GetInstanceForPath(const BSTR path, IWbemClassObject** instanceOut) {
    pw::UniqueBstr className(g_className);
    if (!className) {
        return pw::Hr(WBEM_E_OUT_OF_MEMORY);
    }
    if (!m_providerHelper ||
        FAILED(m_providerHelper->ValidateInstancePath(
            m_pathParserFactory.get(), path, className.get(), WBEMPATH_INFO_IS_INST_REF))) {
        return pw::Hr(WBEM_E_INVALID_PARAMETER);
    }

    pw::ComPtr<IWbemPath> parser;
    HRESULT hr = m_pathParserFactory->CreateInstance(nullptr, IID_IWbemPath, parser.put_void());
    if (FAILED(hr)) {
        return hr;
    }
    hr = parser->SetText(WBEMPATH_CREATE_ACCEPT_ALL, path);
    if (FAILED(hr)) {
        return hr;
    }
    pw::ComPtr<IWbemPathKeyList> keys;
    hr = parser->GetKeyList(keys.put());
    if (FAILED(hr)) {
        return hr;
    }
    ULONG keyCount = 0;
    hr = keys->GetCount(&keyCount);
    if (FAILED(hr)) {
        return hr;
    }
    std::vector<WCHAR> keyName;
    ULONG bufferSize = 0;
    hr = PathPartBuffer(path, keyName, bufferSize);
    if (FAILED(hr)) {
        return hr;
    }
    // The key names and values are read but not used: any key value names the one instance.
    for (ULONG index = 0; index < keyCount; ++index) {
        ULONG nameSize = bufferSize;
        pw::UniqueVariant value;
        ULONG cimType = 0;
        hr = keys->GetKey2(index, 0, &nameSize, keyName.data(), value.get(), &cimType);
        if (FAILED(hr)) {
            return hr;
        }
    }

    pw::ComPtr<IWbemClassObject> instance;
    hr = NewInstance(instance);
    if (FAILED(hr)) {
        return hr;
    }
    if (instanceOut == nullptr) {
        return E_POINTER;
    }
    *instanceOut = instance.detach();
    return pw::Hr(WBEM_S_NO_ERROR);
}
