// Validation and authorization of an arbitrary token vector through the request's
// constructor, then the request's execution against the test DA modules.
//
// Input: the first byte separates the tokens of the rest; the second chooses the caller's
// user-rights mask.
#include "fuzz/support/fuzz_support.h"

#include "core/da_module.h"
#include "core/pipeway_provider_impl.h"

#include <pw_call_context.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace {

constexpr std::array<std::uint32_t, 6> kMasks = {0, 1, 2, 4, 3, 0x40007};

struct Fixture {
    pwfuzz::ScratchRoot root;
    pwfuzz::TestDA rights{"rukda64"};
    pwfuzz::TestDA lumda{"lumda64"};
};
Fixture* g_fixture = nullptr;

// The token as validation copies it: less a four-character "__" marker, up to a NUL byte.
std::string_view Copied(std::string_view token) {
    if (token.substr(0, 2) == "__" && token.size() >= 4) {
        token.remove_prefix(4);
    }
    return token.substr(0, token.find('\0'));
}

void CheckArgv(const PipewayProviderImpl& request, const std::vector<std::string>& tokens) {
    char* const* argv = request.Argv();
    if (request.Status() == 100) {
        PW_FUZZ_CHECK(tokens.empty() && argv == nullptr);
        return;
    }
    PW_FUZZ_CHECK(!tokens.empty() && argv != nullptr);
    if (request.Status() != 0) {
        // Copies of the tokens before the failing one, then nothing.
        PW_FUZZ_CHECK(request.Argc() == tokens.size());
        bool ended = false;
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            if (argv[i] == nullptr) {
                ended = true;
                continue;
            }
            PW_FUZZ_CHECK(!ended && std::string_view(argv[i]) == Copied(tokens[i]));
        }
        return;
    }
    const bool appended = request.Argc() == tokens.size() + 1;
    PW_FUZZ_CHECK(appended || request.Argc() == tokens.size());
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        PW_FUZZ_CHECK(argv[i] != nullptr && std::string_view(argv[i]) == Copied(tokens[i]));
    }
    if (appended) {
        PW_FUZZ_CHECK(std::strcmp(argv[tokens.size()], "localLogin=TRUE") == 0);
        PW_FUZZ_CHECK(request.LocalLogin() == "localLogin=TRUE");
    }
    PW_FUZZ_CHECK(!request.LocalLogin().empty());
    PW_FUZZ_CHECK(pw::core::IsModuleName(request.DAName()));
}

std::string Joined(const PipewayProviderImpl& request) {
    std::string text;
    for (unsigned i = 0; i < request.Argc(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        text += request.Argv()[i];
    }
    return text;
}

void CheckExecution(PipewayProviderImpl& request, std::uint32_t mask) {
    std::string answer = "untouched";
    const PipewayMgtData::PPImplStatus status = request.ExecuteMethod(answer);
    if (request.Status() != 0) {
        PW_FUZZ_CHECK(status.code == request.Status() && answer == "untouched");
        return;
    }
    if (!request.IsAuthorizedRequest()) {
        PW_FUZZ_CHECK(status.code == 200 && answer == "untouched");
        return;
    }
    if (request.DAName() == "kordo64") {
        // The common-services stand-in is no DA module.
        PW_FUZZ_CHECK(status.code == 105 && status.text == "sendCmd not found");
        return;
    }
    PW_FUZZ_CHECK(status.code == 0);
    if (request.DAName() == "rukda64") {
        PW_FUZZ_CHECK(answer == pwfuzz::MaskAnswer(mask));
    } else {
        // The echo modules answer with the array they received, after any decoding.
        PW_FUZZ_CHECK(answer == Joined(request));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pwfuzz::AttachCore();
    pwfuzz::TraceToNull();
    pwfuzz::SilenceStandardOutput();
    pwfuzz::UseTestDAModules();
    g_fixture = new Fixture;
    g_fixture->root.WriteExclusionFile(pwfuzz::kSamplePolicy);
    g_fixture->root.Report();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return -1;
    }
    const char separator = static_cast<char>(data[0]);
    const std::uint32_t mask = kMasks[data[1] % kMasks.size()];
    const std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    std::vector<std::string> tokens;
    if (!rest.empty()) {
        tokens = pwfuzz::Split(rest, separator);
    }
    g_fixture->rights.Answer(pwfuzz::MaskAnswer(mask));

    // Constructed while impersonating the client, as the provider does it.
    PwSetCallContext(L"HOST\\alice", 3);
    PW_FUZZ_CHECK(SUCCEEDED(CoImpersonateClient()));
    auto request = std::make_unique<PipewayProviderImpl>("HOST\\alice", tokens);
    PW_FUZZ_CHECK(PwIsImpersonating());  // the rights query came back to the client
    CoRevertToSelf();
    PwClearCallContext();

    const std::int32_t status = request->Status();
    PW_FUZZ_CHECK(status == 0 || (status >= 100 && status <= 104));
    PW_FUZZ_CHECK(!request->IsAuthorizedRequest() || status == 0);
    PW_FUZZ_CHECK(request->Args() == tokens);
    CheckArgv(*request, tokens);
    if (status == 0) {
        if (mask == 0) {
            PW_FUZZ_CHECK(!request->IsAuthorizedRequest());
        }
        if (mask == 0x40007) {
            PW_FUZZ_CHECK(request->IsAuthorizedRequest());
        }
    }
    CheckExecution(*request, mask);
    request.reset();

    PW_FUZZ_CHECK(!PwIsImpersonating());
    PW_FUZZ_CHECK(g_fixture->rights.Outstanding() == 0 && g_fixture->lumda.Outstanding() == 0);
    PW_FUZZ_CHECK(g_fixture->rights.BadFrees() == 0 && g_fixture->lumda.BadFrees() == 0);
    return 0;
}
