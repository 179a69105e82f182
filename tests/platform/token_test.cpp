// Thread tokens and the user name, as the provider's impersonation gate reads them. Built for
// Windows too: there the thread impersonates itself (ImpersonateSelf), here a client of the
// host's call context, and the same expectations hold for both.
#define SECURITY_WIN32
#include "tests/support/test_support.h"

#include <security.h>
#if !defined(_WIN32)
#include <pw_call_context.h>
#endif

#include <string>

namespace {

// The calling thread impersonates at the given client level (1 anonymous .. 4 delegate) for
// the life of the object.
class Impersonation {
  public:
    explicit Impersonation(DWORD clientLevel) {
#if defined(_WIN32)
        m_started = ImpersonateSelf(static_cast<SECURITY_IMPERSONATION_LEVEL>(clientLevel - 1));
#else
        PwSetCallContext(L"CORVANE\\alice", clientLevel);
        m_started = SUCCEEDED(CoImpersonateClient());
#endif
    }
    ~Impersonation() {
#if defined(_WIN32)
        RevertToSelf();
#else
        CoRevertToSelf();
        PwClearCallContext();
#endif
    }
    Impersonation(const Impersonation&) = delete;
    Impersonation& operator=(const Impersonation&) = delete;
    bool Started() const {
        return m_started;
    }

  private:
    bool m_started = false;
};

// The token level of the thread's token, or -1 when it has none.
int TokenLevel() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        return -1;
    }
    SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
    DWORD returned = 0;
    const BOOL read =
        GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof level, &returned);
    EXPECT_TRUE(CloseHandle(token));
    EXPECT_TRUE(read);
    EXPECT_EQ(returned, sizeof level);
    return read ? static_cast<int>(level) : -1;
}

std::wstring UserName() {
    ULONG size = 0;
    SetLastError(0);
    EXPECT_FALSE(GetUserNameExW(NameSamCompatible, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    std::wstring name(size, L'\0');
    EXPECT_TRUE(GetUserNameExW(NameSamCompatible, name.data(), &size));
    EXPECT_EQ(size, name.size() - 1);
    name.resize(size);
    return name;
}

// A thread has a token while it impersonates, and none before or after.
TEST(Token, ImpersonatingThreadAloneHasATokenWithTheLevel) {
    HANDLE token = nullptr;
    SetLastError(0);
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    {
        Impersonation impersonation(RPC_C_IMP_LEVEL_IMPERSONATE);
        ASSERT_TRUE(impersonation.Started());
        EXPECT_EQ(TokenLevel(), static_cast<int>(SecurityImpersonation));

        ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
        TOKEN_TYPE type = TokenPrimary;
        DWORD returned = 0;
        EXPECT_TRUE(GetTokenInformation(token, TokenType, &type, sizeof type, &returned));
        EXPECT_EQ(type, TokenImpersonation);
        WORD tooSmall = 0;
        SetLastError(0);
        EXPECT_FALSE(GetTokenInformation(token, TokenImpersonationLevel, &tooSmall, sizeof tooSmall,
                                         &returned));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(returned, sizeof(SECURITY_IMPERSONATION_LEVEL));
        EXPECT_TRUE(CloseHandle(token));
    }
    EXPECT_EQ(TokenLevel(), -1);
}

struct LevelCase {
    const char* what;
    DWORD clientLevel;
    int tokenLevel;
};

class TokenLevelOfClient : public ::testing::TestWithParam<LevelCase> {};

TEST_P(TokenLevelOfClient, IsTheClientLevelLessOne) {
#if defined(_WIN32)
    GTEST_SKIP() << "client levels come from the COM call context, which the host sets on POSIX";
#else
    Impersonation impersonation(GetParam().clientLevel);
    ASSERT_TRUE(impersonation.Started());
    EXPECT_EQ(TokenLevel(), GetParam().tokenLevel);
#endif
}

INSTANTIATE_TEST_SUITE_P(Levels, TokenLevelOfClient,
                         ::testing::Values(LevelCase{"Anonymous", 1, 0},
                                           LevelCase{"Identify", 2, 1},
                                           LevelCase{"Impersonate", 3, 2},
                                           LevelCase{"Delegate", 4, 3}),
                         pwtest::CaseName());

TEST(Impersonation, WithoutACallContextTheCallIsComplete) {
    EXPECT_EQ(CoImpersonateClient(), RPC_E_CALL_COMPLETE);
    EXPECT_EQ(CoRevertToSelf(), RPC_E_CALL_COMPLETE);
}

// The process account's name, "COMPUTER\\user"; a buffer too small for it gives
// ERROR_MORE_DATA and the size it needs.
TEST(UserName, ProcessAccountIsComputerBackslashUser) {
    const std::wstring name = UserName();
    const std::size_t slash = name.find(L'\\');
    ASSERT_NE(slash, std::wstring::npos) << name.size();
    EXPECT_GT(slash, 0u);
    EXPECT_LT(slash + 1, name.size());
    for (std::size_t i = 0; i < slash; ++i) {
        EXPECT_FALSE(name[i] >= L'a' && name[i] <= L'z') << "computer names are upper case";
    }
    wchar_t buffer[2] = {};
    ULONG size = 2;
    SetLastError(0);
    EXPECT_FALSE(GetUserNameExW(NameSamCompatible, buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(size, name.size() + 1);
}

TEST(UserName, ImpersonatingThreadAnswersTheClient) {
#if defined(_WIN32)
    GTEST_SKIP() << "the client's name comes from the COM call context, which the host sets on "
                    "POSIX";
#else
    const std::wstring own = UserName();
    {
        Impersonation impersonation(RPC_C_IMP_LEVEL_IMPERSONATE);
        ASSERT_TRUE(impersonation.Started());
        EXPECT_EQ(UserName(), L"CORVANE\\alice");
    }
    EXPECT_EQ(UserName(), own);
#endif
}

TEST(UserName, OtherFormatsAreNotMapped) {
#if defined(_WIN32)
    GTEST_SKIP() << "a Windows account may have other names";
#else
    wchar_t buffer[64] = {};
    ULONG size = 64;
    SetLastError(0);
    EXPECT_FALSE(GetUserNameExW(NameUserPrincipal, buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NONE_MAPPED));
#endif
}

}  // namespace
