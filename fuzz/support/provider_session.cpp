#include "fuzz/support/provider_session.h"

#include "host/client_call.h"

#include <filesystem>
#include <stdexcept>

namespace pwfuzz {

namespace fs = std::filesystem;

const WCHAR* const kInstancePath =
    L"ZOLM_OEM_DataAccessModule.InstanceID=\"ZOLM_OEM_DataAccessModule1\"";

ProviderSession::ProviderSession() {
    UseTestDAModules();
    m_rights.emplace("rukda64");
    m_commands.emplace("lumda64");
    m_root.WriteExclusionFile(kSamplePolicy);
    m_root.Report();
    // Tracing on, every message formatted; the file is emptied after each call.
    WriteFile(m_root.LogFile(), "");

    m_host =
        new host::ProviderHost((ProgramFolder().parent_path() / "bin" / "WinPipeway.so").string());
    if (!m_host->Loaded() || FAILED(m_host->CreateProvider(&m_provider))) {
        throw std::runtime_error("cannot load the provider library");
    }
    const pw::ComPtr<host::InitSink> sink(new host::InitSink);
    HRESULT hr = E_FAIL;
    {
        host::ClientCall client(L"HOST\\alice", 3);
        hr = m_host->Initialize(m_provider, sink.get());
    }
    if (FAILED(hr)) {
        throw std::runtime_error("the provider did not initialise");
    }
}

void ProviderSession::CheckAfterCall(long liveBefore) const {
    std::error_code ignored;
    fs::resize_file(m_root.LogFile(), 0, ignored);
    PW_FUZZ_CHECK(!host::ClientCall::ThreadIsImpersonating());
    PW_FUZZ_CHECK(host::LiveObjects() == liveBefore);
    PW_FUZZ_CHECK(m_rights->Outstanding() == 0 && m_commands->Outstanding() == 0);
    PW_FUZZ_CHECK(m_rights->BadFrees() == 0 && m_commands->BadFrees() == 0);
}

Outcome ProviderSession::Lookup(const std::wstring& path) {
    const long liveBefore = host::LiveObjects();
    Outcome outcome;
    {
        const pw::ComPtr<host::ObjectSink> sink(new host::ObjectSink);
        const pw::UniqueBstr pathText(path.data(), static_cast<UINT>(path.size()));
        HRESULT hr = E_FAIL;
        {
            host::ClientCall client(L"HOST\\alice", 3);
            hr = m_provider->GetObjectAsync(pathText.get(), 0, nullptr, sink.get());
            PW_FUZZ_CHECK(!host::ClientCall::ThreadIsImpersonating());
        }
        outcome = host::Collect(hr, *sink.get());
    }
    CheckAfterCall(liveBefore);
    return outcome;
}

Outcome ProviderSession::Exec(const VARIANT& input, const std::wstring& path, const WCHAR* method) {
    const long liveBefore = host::LiveObjects();
    Outcome outcome;
    {
        const host::MethodCall call(m_host->ClassDefinition(), path, method, &input);
        outcome = call.Call(m_provider, L"HOST\\alice", 3, true, [](const auto& body) {
            const HRESULT hr = body();
            PW_FUZZ_CHECK(!host::ClientCall::ThreadIsImpersonating());
            return hr;
        });
    }
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
