// Command-line tokenising on arbitrary text, certificate uploads included.
#include "fuzz/support/fuzz_support.h"

#include "core/pipeway_provider_impl.h"

#include <algorithm>

namespace {

constexpr std::string_view kCertificateToken = "CertificateString=";

bool Trimmed(std::string_view text) {
    return text.empty() || (text.front() != ' ' && text.back() != ' ');
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pwfuzz::AttachCore();
    pwfuzz::TraceToNull();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string text = input;
    pw::TokenList tokens;
    const PipewayMgtData::PPImplStatus status = PipewayProviderImpl::ConvertStrToVec(text, tokens);

    PW_FUZZ_CHECK(status.code == 0 || status.code == 7);
    PW_FUZZ_CHECK(status.text.empty());
    // What is left unread is the end of the input.
    PW_FUZZ_CHECK(text.size() <= input.size());
    PW_FUZZ_CHECK(input.compare(input.size() - text.size(), text.size(), text) == 0);
    if (status.code == 0) {
        PW_FUZZ_CHECK(!tokens.empty());
    }

    // Every token is cut from its own stretch of the text: together they never hold more
    // characters than the text had.
    std::size_t total = 0;
    for (const std::string_view token : tokens) {
        total += token.size();
        const std::size_t equals = token.find('=');
        PW_FUZZ_CHECK(equals != std::string::npos);
        if (token.compare(0, kCertificateToken.size(), kCertificateToken) == 0 &&
            input.find("setUploadVandryCertificate") != std::string::npos) {
            continue;  // a certificate is taken as it stands
        }
        // Outside a certificate "=" always ends a name, so a value never holds one, and
        // values are trimmed.
        PW_FUZZ_CHECK(token.find('=', equals + 1) == std::string::npos);
        PW_FUZZ_CHECK(Trimmed(std::string_view(token).substr(equals + 1)));
    }
    PW_FUZZ_CHECK(total <= input.size());

    // The same text splits the same way again.
    std::string again = input;
    pw::TokenList tokensAgain;
    PW_FUZZ_CHECK(PipewayProviderImpl::ConvertStrToVec(again, tokensAgain).code == status.code);
    PW_FUZZ_CHECK(tokensAgain == tokens && again == text);
    return 0;
}
