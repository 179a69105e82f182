// CompareStringW as the path check uses it, and the thread locale. Built for Windows too, where
// the same expectations run against the real API.
#include "tests/support/test_support.h"

#include <thread>

namespace {

constexpr LCID kEnglishUnitedStates = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 0);

struct CompareCase {
    const char* what;
    const wchar_t* first;
    const wchar_t* second;
    DWORD flags;
    int expected;
};

class CompareString : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareString, OrdersAsAStringSort) {
    const CompareCase& c = GetParam();
    EXPECT_EQ(CompareStringW(kEnglishUnitedStates, c.flags, c.first, -1, c.second, -1), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompareString,
    ::testing::Values(
        CompareCase{"SameText", L"ZOLM_OEM_DataAccessModule", L"ZOLM_OEM_DataAccessModule", 0,
                    CSTR_EQUAL},
        CompareCase{"IgnoreCaseAscii", L"ZOLM_OEM_DataAccessModule", L"zolm_oem_dataaccessMODULE",
                    NORM_IGNORECASE, CSTR_EQUAL},
        CompareCase{"IgnoreCaseLatin", L"\u00C9T\u00C9", L"\u00E9t\u00E9", NORM_IGNORECASE,
                    CSTR_EQUAL},
        CompareCase{"IgnoreCaseStillOrders", L"abc", L"ABD", NORM_IGNORECASE, CSTR_LESS_THAN},
        CompareCase{"CaseMattersWithoutTheFlag", L"abc", L"ABC", 0, CSTR_LESS_THAN},
        CompareCase{"UpperAfterLower", L"A", L"a", 0, CSTR_GREATER_THAN},
        CompareCase{"LettersBeforeCase", L"a", L"B", 0, CSTR_LESS_THAN},
        CompareCase{"PrefixFirst", L"Module", L"Module1", NORM_IGNORECASE, CSTR_LESS_THAN},
        CompareCase{"DigitsBeforeLetters", L"9", L"a", 0, CSTR_LESS_THAN},
        CompareCase{"SymbolsBeforeDigits", L"~", L"1", 0, CSTR_LESS_THAN},
        CompareCase{"UnderscoreBeforeLetters", L"_", L"A", 0, CSTR_LESS_THAN},
        CompareCase{"OtherClass", L"ZOLM_OEM_DataAccessModule", L"ZOLM_OEM_Other", NORM_IGNORECASE,
                    CSTR_LESS_THAN}),
    pwtest::CaseName());

TEST(CompareStringLengths, ExplicitLengthsCompareThatManyCharacters) {
    EXPECT_EQ(CompareStringW(kEnglishUnitedStates, 0, L"abcdef", 3, L"abc", -1), CSTR_EQUAL);
    EXPECT_EQ(CompareStringW(kEnglishUnitedStates, 0, L"abc", 2, L"abc", 3), CSTR_LESS_THAN);
}

TEST(CompareStringLengths, NullStringIsAnInvalidParameter) {
    SetLastError(0);
    EXPECT_EQ(CompareStringW(kEnglishUnitedStates, 0, nullptr, -1, L"a", -1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ThreadLocale, BelongsToTheThread) {
    const LCID before = GetThreadLocale();
    const LCID german = MAKELCID(MAKELANGID(0x07, SUBLANG_DEFAULT), SORT_DEFAULT);
    ASSERT_TRUE(SetThreadLocale(german));
    EXPECT_EQ(GetThreadLocale(), german);
    LCID other = 0;
    std::thread([&other] { other = GetThreadLocale(); }).join();
    EXPECT_NE(other, german);
    EXPECT_TRUE(SetThreadLocale(before));
}

TEST(ThreadLocale, StartsAsEnglishUnitedStatesOnPosix) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows starts from the user's locale";
#else
    LCID locale = 0;
    std::thread([&locale] { locale = GetThreadLocale(); }).join();
    EXPECT_EQ(locale, kEnglishUnitedStates);
#endif
}

}  // namespace
