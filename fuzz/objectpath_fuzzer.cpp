// Object paths through the provider's path check and instance lookup (GetObjectAsync), and
// through the same check on the way into a method call.
//
// Input: the first byte's low bit reads the rest as 16-bit code units instead of one
// character per byte.
#include "fuzz/support/provider_session.h"

#include <algorithm>
#include <cwctype>

namespace {

pwfuzz::ProviderSession* g_session = nullptr;

bool NamesClass(const std::wstring& path) {
    std::wstring lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return lower.find(L"zolm_oem_dataaccessmodule") != std::wstring::npos;
}

// Exactly one instance and one final status on success; nothing handed over on failure.
void CheckDelivery(const pwfuzz::Outcome& outcome) {
    if (FAILED(outcome.hr)) {
        PW_FUZZ_CHECK(outcome.objects == 0 && outcome.statuses.empty());
        return;
    }
    PW_FUZZ_CHECK(outcome.objects == 1 && outcome.statuses.size() == 1);
    PW_FUZZ_CHECK(outcome.statuses[0].flags == WBEM_STATUS_COMPLETE);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_session = new pwfuzz::ProviderSession;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return -1;
    }
    const std::wstring path = pwfuzz::Widen(
        std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), (data[0] & 1) != 0);

    const pwfuzz::Outcome lookup = g_session->Lookup(path);
    CheckDelivery(lookup);
    if (SUCCEEDED(lookup.hr)) {
        PW_FUZZ_CHECK(lookup.instanceId == std::wstring(L"ZOLM_OEM_DataAccessModule1"));
        PW_FUZZ_CHECK(NamesClass(path));
    }

    // A method call needs the same instance: it cannot succeed where the lookup failed.
    pw::UniqueVariant input;
    host::SetStringInput(input, L"daname=lumda64 velcmd=getobject");
    const pwfuzz::Outcome exec = g_session->Exec(*input, path, host::kExecuteCommand);
    CheckDelivery(exec);
    PW_FUZZ_CHECK(FAILED(exec.hr) || SUCCEEDED(lookup.hr));
    return 0;
}
