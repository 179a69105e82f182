#include "host/method_call.h"

#include "host/client_call.h"

namespace host {

CallAnswer Collect(HRESULT hr, const ObjectSink& sink) {
    CallAnswer answer;
    answer.hr = hr;
    answer.statuses = sink.Statuses();
    const std::vector<IWbemClassObject*> objects = sink.Objects();
    answer.objects = objects.size();
    if (!objects.empty()) {
        answer.returnValue = StringProperty(objects[0], L"ReturnValue");
        answer.resultCode = StringProperty(objects[0], L"ResultCode");
        answer.instanceId = StringProperty(objects[0], L"InstanceID");
        answer.ipv4 = StringProperty(objects[0], L"KestroIPv4");
        answer.ipv6 = StringProperty(objects[0], L"KestroIPv6");
    }
    return answer;
}

void SetStringInput(pw::UniqueVariant& input, std::wstring_view text) {
    input.reset();
    input.get()->vt = VT_BSTR;
    input.get()->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

void SetArrayInput(pw::UniqueVariant& input, const std::vector<std::wstring>& tokens) {
    input.reset();
    input.get()->vt = VT_ARRAY | VT_BSTR;
    input.get()->parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(tokens.size()));
    for (LONG i = 0; i < static_cast<LONG>(tokens.size()); ++i) {
        const std::wstring& token = tokens[static_cast<std::size_t>(i)];
        const pw::UniqueBstr element(token.data(), static_cast<UINT>(token.size()));
        SafeArrayPutElement(input.get()->parray, &i, element.get());
    }
}

MethodCall::MethodCall(ClassObject* definition, std::wstring_view path, const WCHAR* method,
                       const VARIANT* input, bool withInParams)
    : m_path(path.data(), static_cast<UINT>(path.size())), m_method(method) {
    if (!withInParams) {
        return;
    }
    pw::ComPtr<IWbemClassObject> signature;
    if (FAILED(definition->GetMethod(method, 0, signature.put(), nullptr))) {
        definition->GetMethod(kExecuteCommand, 0, signature.put(), nullptr);
    }
    signature->SpawnInstance(0, m_inParams.put());
    if (input != nullptr) {
        m_inParams->Put(L"CommandAndArguments", 0, const_cast<VARIANT*>(input), 0);
    }
}

CallAnswer MethodCall::Call(IWbemServices* provider, const std::wstring& client, DWORD level,
                            bool withSink, const CallWrapper& wrapper) const {
    const pw::ComPtr<ObjectSink> sink(new ObjectSink);
    const HRESULT hr = Invoke(provider, client, level, withSink ? sink.get() : nullptr, wrapper);
    return Collect(hr, *sink.get());
}

HRESULT MethodCall::Invoke(IWbemServices* provider, const std::wstring& client, DWORD level,
                           IWbemObjectSink* sink, const CallWrapper& wrapper) const {
    const auto call = [&] {
        return provider->ExecMethodAsync(m_path.get(), m_method.get(), 0, nullptr, m_inParams.get(),
                                         sink);
    };
    ClientCall context(client, level);
    return wrapper ? wrapper(call) : call();
}

}  // namespace host
