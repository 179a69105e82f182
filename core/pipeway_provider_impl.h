// The request: one per WMI method call. It validates the command line, authorizes the caller
// and runs the command through its DA module.
#pragma once

#include "core/argument_array.h"
#include "core/da_cache.h"
#include "core/pp_status.h"
#include "pw/token_list.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pw::core {
struct SharedState;
}

class PipewayProviderImpl {
  public:
    // Validates the tokens and, when they are valid, authorizes the caller. Outcomes are kept
    // in Status() and IsAuthorizedRequest(); only out-of-memory and similar failures throw.
    // The request loads its modules and asks its store in `shared`, which must outlive it; the
    // form without it uses the process's default state (tools and tests).
    PipewayProviderImpl(pw::core::SharedState& shared, const std::string& userName,
                        pw::TokenList args);
    PipewayProviderImpl(const std::string& userName, pw::TokenList args);
    // Validation alone, as the constructor above runs it, and no authorization: for tools that
    // explain what the provider decides. Status(), DAName(), Command() and Args() tell what
    // validation settled.
    struct ValidationOnly {};
    PipewayProviderImpl(ValidationOnly, pw::TokenList args);
    ~PipewayProviderImpl();
    PipewayProviderImpl(const PipewayProviderImpl&) = delete;
    PipewayProviderImpl& operator=(const PipewayProviderImpl&) = delete;

    // Runs the validated, authorized command. On code 0 `answer` holds the module's text;
    // otherwise it is left as it was.
    PipewayMgtData::PPImplStatus ExecuteMethod(std::string& answer);

    // Splits a command-line string into name=value tokens appended to `args`. The text is
    // consumed: on return it holds what was left unread. Code 0 or 7.
    static PipewayMgtData::PPImplStatus ConvertStrToVec(std::string& text, pw::TokenList& args);
    // Cleans one name ("NAME") or value (any other kind) in place; false refuses it.
    static bool ProcessArgument(std::string& text, std::string_view kind);

    // The module of that name in `cache` (without it, the default state's), loaded on first
    // use; throws PPImplStatus (105, 8). The record stays in place until the cache is released.
    static DAInfo* getDAInfo(pw::core::DACache& cache, const std::string& name);
    static DAInfo* getDAInfo(const std::string& name);
    // Releases every module of the default state's cache and empties it.
    static void CleanUpDAInfo();

    // Read access to what validation and authorization settled.
    const std::string& UserName() const { return m_userName; }
    char* const* Argv() const { return m_arguments ? m_arguments->Argv() : nullptr; }
    unsigned Argc() const { return m_arguments ? m_arguments->Argc() : 0; }
    const std::string& DAName() const { return m_daName; }
    const std::string& Command() const { return m_command; }
    const std::string& LocalLogin() const { return m_localLogin; }
    const pw::TokenList& Args() const { return m_args; }
    std::int32_t Status() const { return m_status; }
    bool IsAuthorizedRequest() const { return m_authorized; }

    // Validation's pieces (validation.cpp).
    struct TokenParts;
    struct Seen;

  private:
    std::int32_t IsValidOperation();
    std::int32_t TakeToken(const TokenParts& parts, Seen& seen);
    std::int32_t TakeDAName(std::string_view value);
    std::int32_t FinishValidation(const Seen& seen);
    bool IsAuthorized();
    void NormalizeDAName(std::string& name);

    pw::core::SharedState* m_shared;
    std::string m_userName;
    // The argument array, once validation has made it.
    std::optional<pw::core::ArgumentArray> m_arguments;
    std::string m_daName;
    std::string m_command;
    std::string m_localLogin;
    pw::TokenList m_args;
    std::int32_t m_status = 0;
    bool m_authorized = false;
};

namespace pw::core {

// The user-rights mask that the rights module "rukda64" of `modules` (without it, the default
// state's) gives the user, asked as a request asks it (with the request's local-login token); 0
// when it answers no mask, nothing when the module cannot be used.
std::optional<std::int32_t> QueryUserRightsMask(DACache& modules, const std::string& userName,
                                                const std::string& localLogin);
std::optional<std::int32_t> QueryUserRightsMask(const std::string& userName,
                                                const std::string& localLogin);

// Carriage return, line feed and tab become blanks; then leading and trailing blanks go.
void TrimWhitespace(std::string& text);
// Without the leading (side 0), trailing (1) or both (2) characters found in `characters`;
// any other side returns the text unchanged.
std::string TrimString(const std::string& text, const std::string& characters, int side);
// True when `entry` is `value`, or `value` followed by "64"; byte-exact.
bool MatchesDAName(const std::string& value, std::string_view entry);

}  // namespace pw::core
