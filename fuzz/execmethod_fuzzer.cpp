// ExecMethodAsync through the host with an arbitrary "CommandAndArguments": a string, or an
// array of strings.
//
// Input: the first byte's bit 0 makes an array (elements end at line feeds), bit 1 reads the
// text as 16-bit code units, bits 2 to 4 choose the caller's user-rights mask, bit 5 the
// method; the rest is the text.
#include "fuzz/support/provider_session.h"

#include <array>

namespace {

constexpr std::array<std::uint32_t, 6> kMasks = {0, 1, 2, 4, 3, 0x40007};

pwfuzz::ProviderSession* g_session = nullptr;

// The method's in-parameter: the text as one string, or split at line feeds into elements.
void MakeInput(pw::UniqueVariant& input, const std::wstring& text, bool asArray) {
    if (!asArray) {
        host::SetStringInput(input, text);
        return;
    }
    std::vector<std::wstring> elements;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(L'\n', start);
        elements.push_back(text.substr(start, end - start));
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    host::SetArrayInput(input, elements);
    PW_FUZZ_CHECK(input->parray != nullptr);
}

bool KnownResultCode(const std::wstring& code) {
    for (const wchar_t* known :
         {L"0", L"7", L"8", L"100", L"101", L"102", L"103", L"104", L"105", L"200"}) {
        if (code == known) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pwfuzz::SilenceStandardOutput();
    g_session = new pwfuzz::ProviderSession;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return -1;
    }
    const bool asArray = (data[0] & 1) != 0;
    const bool pairs = (data[0] & 2) != 0;
    const std::uint32_t mask = kMasks[((data[0] >> 2) & 7) % kMasks.size()];
    const WCHAR* method = (data[0] & 32) != 0 ? host::kExecuteCommandTokens : host::kExecuteCommand;
    const std::wstring text =
        pwfuzz::Widen(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), pairs);
    g_session->Rights().Answer(pwfuzz::MaskAnswer(mask));

    pw::UniqueVariant input;
    MakeInput(input, text, asArray);
    const pwfuzz::Outcome outcome = g_session->Exec(*input, pwfuzz::kInstancePath, method);

    if (FAILED(outcome.hr)) {
        // Refused before any answer: nothing handed to the client's sink.
        PW_FUZZ_CHECK(outcome.objects == 0 && outcome.statuses.empty());
        return 0;
    }
    // One answer and one final status, with a result code of the request's table; the
    // module's text only with result code 0.
    PW_FUZZ_CHECK(outcome.objects == 1 && outcome.statuses.size() == 1);
    PW_FUZZ_CHECK(outcome.statuses[0].flags == WBEM_STATUS_COMPLETE);
    PW_FUZZ_CHECK(outcome.resultCode.has_value() && KnownResultCode(*outcome.resultCode));
    PW_FUZZ_CHECK(*outcome.resultCode == L"0" || !outcome.returnValue.has_value());
    return 0;
}
