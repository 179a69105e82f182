#include "provider_session.h"

#include "client_call.h"

#include <filesystem>
#include <stdexcept>

namespace pwfuzz {

namespace fs = std::filesystem;

const WCHAR* const kInstancePath =
    L"ZOLM_OEM_DataAccessModule.InstanceID=\"ZOLM_OEM_DataAccessModule1\"";

namespace {

// Collects the outcome from the sink, then gives the sink back.
Outcome Collect(HRESULT hr, host::ObjectSink* sink) {
    Outcome outcome;
    outcome.hr = hr;
    outcome.statuses = sink->Statuses();
    const std::vector<IWbemClassObject*> objects = sink->Objects();
    outcome.objects = objects.size();
    if (!objects.empty()) {
        outcome.returnValue = host::StringProperty(objects[0], L"ReturnValue");
        outcome.resultCode = host::StringProperty(objects[0], L"ResultCode");
        outcome.instanceId = host::StringProperty(objects[0], L"InstanceID");
    }
    sink->Release();
    return outcome;
}

}  // namespace

ProviderSession::ProviderSession() {
    UseTestDAModules();
    m_rights.emplace("rukda64");
    m_commands.emplace("lumda64");
    SetEnvironmentVariableA("PIPEWAY_REGISTRY", (m_root.path() / "registry.txt").string().c_str());
    if (!host::SetLibraryDirectory(DAFolder().string())) {
        throw std::runtime_error("cannot set CorvaneLibPath");
    }
    m_root.WriteExclusionFile(kSamplePolicy);
    m_root.Report();
    // Tracing on, every message formatted, nothing kept.
    fs::create_symlink("/dev/null", m_root.LogFile());

    m_host =
        new host::ProviderHost((ProgramFolder().parent_path() / "bin" / "WinPipeway.so").string());
    if (!m_host->Loaded() || FAILED(m_host->CreateProvider(&m_provider))) {
        throw std::runtime_error("cannot load the provider library");
    }
    auto* sink = new host::InitSink;
    HRESULT hr = E_FAIL;
    {
        host::ClientCall client(L"HOST\\alice", 3);
        hr = m_host->Initialize(m_provider, sink);
    }
    sink->Release();
    if (FAILED(hr)) {
        throw std::runtime_error("the provider did not initialise");
    }
}

void ProviderSession::CheckAfterCall(long liveBefore) const {
    PW_FUZZ_CHECK(!host::ClientCall::ThreadIsImpersonating());
    PW_FUZZ_CHECK(host::LiveObjects() == liveBefore);
    PW_FUZZ_CHECK(m_rights->Outstanding() == 0 && m_commands->Outstanding() == 0);
    PW_FUZZ_CHECK(m_rights->BadFrees() == 0 && m_commands->BadFrees() == 0);
}

Outcome ProviderSession::Lookup(const std::wstring& path) {
    const long liveBefore = host::LiveObjects();
    auto* sink = new host::ObjectSink;
    BSTR pathText = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
    HRESULT hr = E_FAIL;
    {
        host::ClientCall client(L"HOST\\alice", 3);
        hr = m_provider->GetObjectAsync(pathText, 0, nullptr, sink);
        PW_FUZZ_CHECK(!host::ClientCall::ThreadIsImpersonating());
    }
    SysFreeString(pathText);
    Outcome outcome = Collect(hr, sink);
    CheckAfterCall(liveBefore);
    return outcome;
}

Outcome ProviderSession::Exec(VARIANT& input, const std::wstring& path, const WCHAR* method) {
    const long liveBefore = host::LiveObjects();
    IWbemClassObject* inSignature = nullptr;
    IWbemClassObject* inParams = nullptr;
    PW_FUZZ_CHECK(
        SUCCEEDED(m_host->ClassDefinition()->GetMethod(method, 0, &inSignature, nullptr)));
    inSignature->SpawnInstance(0, &inParams);
    inSignature->Release();
    inParams->Put(L"CommandAndArguments", 0, &input, 0);
    VariantClear(&input);

    auto* sink = new host::ObjectSink;
    BSTR pathText = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
    BSTR methodText = SysAllocString(method);
    HRESULT hr = E_FAIL;
    {
        host::ClientCall client(L"HOST\\alice", 3);
        hr = m_provider->ExecMethodAsync(pathText, methodText, 0, nullptr, inParams, sink);
        PW_FUZZ_CHECK(!host::ClientCall::ThreadIsImpersonating());
    }
    SysFreeString(pathText);
    SysFreeString(methodText);
    inParams->Release();
    Outcome outcome = Collect(hr, sink);
    CheckAfterCall(liveBefore);
    return outcome;
}

std::wstring Widen(std::string_view bytes, bool pairs) {
    std::wstring wide;
    if (!pairs) {
        for (const char c : bytes) {
            wide += static_cast<WCHAR>(static_cast<unsigned char>(c));
        }
        return wide;
    }
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto low = static_cast<unsigned char>(bytes[i]);
        const auto high = static_cast<unsigned char>(bytes[i + 1]);
        wide += static_cast<WCHAR>(low | (high << 8));
    }
    return wide;
}

}  // namespace pwfuzz
