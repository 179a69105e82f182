// Code-page conversion as the provider uses it. Built for Windows too, where the same
// expectations run against the real API: wide strings are UTF-16 there and UTF-32 here, so
// expected wide texts come from wide literals.
#include "tests/support/test_support.h"

#include <string>

namespace {

std::wstring ToWide(UINT codePage, DWORD flags, const std::string& text, int length) {
    const int size = MultiByteToWideChar(codePage, flags, text.c_str(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    if (size > 0) {
        EXPECT_EQ(MultiByteToWideChar(codePage, flags, text.c_str(), length, wide.data(), size),
                  size);
    }
    return wide;
}

std::string ToNarrow(UINT codePage, const std::wstring& text, int length) {
    const int size =
        WideCharToMultiByte(codePage, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    if (size > 0) {
        EXPECT_EQ(WideCharToMultiByte(codePage, 0, text.c_str(), length, narrow.data(), size,
                                      nullptr, nullptr),
                  size);
    }
    return narrow;
}

struct RoundTripCase {
    const char* what;
    std::string utf8;
    std::wstring wide;
};

class Utf8RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(Utf8RoundTrip, NarrowAndWideConvertIntoEachOther) {
    const RoundTripCase& c = GetParam();
    EXPECT_EQ(ToWide(CP_UTF8, 0, c.utf8, static_cast<int>(c.utf8.size())), c.wide);
    EXPECT_EQ(ToNarrow(CP_UTF8, c.wide, static_cast<int>(c.wide.size())), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf8RoundTrip,
    ::testing::Values(RoundTripCase{"Ascii", "DataAccess", L"DataAccess"},
                      RoundTripCase{"TwoByte", "caf\xC3\xA9", L"caf\u00E9"},
                      RoundTripCase{"ThreeByte", "\xE4\xB8\xAD\xE6\x96\x87", L"\u4E2D\u6587"},
                      RoundTripCase{"FourByte", "x\xF0\x9F\x98\x80y", L"x\U0001F600y"}),
    pwtest::CaseName());

// The call fails, leaving `error` as the thread's last error.
template <typename Call>
void ExpectFails(DWORD error, Call call) {
    SetLastError(0);
    EXPECT_EQ(call(), 0);
    EXPECT_EQ(GetLastError(), error);
}

// A length of -1 counts the terminator; a buffer too small, an empty or a missing input fail.
TEST(Conversion, LengthsAndBuffers) {
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 0), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"ab\u00E9", -1, nullptr, 0, nullptr, nullptr), 5);
    EXPECT_EQ(ToWide(CP_UTF8, 0, "abc", -1), std::wstring(L"abc", 4));

    wchar_t wide[4] = {};
    char narrow[4] = {};
    ExpectFails(ERROR_INSUFFICIENT_BUFFER,
                [&] { return MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 3); });
    ExpectFails(ERROR_INSUFFICIENT_BUFFER, [&] {
        return WideCharToMultiByte(CP_UTF8, 0, L"ab\u00E9", -1, narrow, 4, nullptr, nullptr);
    });
    ExpectFails(ERROR_INVALID_PARAMETER,
                [&] { return MultiByteToWideChar(CP_UTF8, 0, "abc", 0, wide, 4); });
    ExpectFails(ERROR_INVALID_PARAMETER,
                [&] { return MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, wide, 4); });
}

// Invalid UTF-8 becomes the replacement character, a sequence cut short counting as one bad
// character, or fails the call when asked to; so does a lone surrogate the other way.
TEST(Conversion, InvalidTextBecomesTheReplacementCharacterOrFails) {
    EXPECT_EQ(ToWide(CP_UTF8, 0,
                     "a\xFF"
                     "b",
                     3),
              L"a\uFFFDb");
    EXPECT_EQ(ToWide(CP_UTF8, 0, "a\xE4\xB8", 3), L"a\uFFFD");
    ExpectFails(ERROR_NO_UNICODE_TRANSLATION, [] {
        return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, nullptr, 0);
    });

    const std::wstring lone = {L'a', static_cast<wchar_t>(0xD800), L'b'};
    EXPECT_EQ(ToNarrow(CP_UTF8, lone, 3),
              "a\xEF\xBF\xBD"
              "b");
    ExpectFails(ERROR_NO_UNICODE_TRANSLATION, [&] {
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone.c_str(), 3, nullptr, 0,
                                   nullptr, nullptr);
    });
}

TEST(Conversion, AnsiCodePageUsesTheDefaultCharacterForWhatItCannotEncode) {
    const std::wstring lone = {L'a', static_cast<wchar_t>(0xD800), L'b'};
    char narrow[8] = {};
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, lone.c_str(), 3, narrow,
                                         sizeof narrow, nullptr, &usedDefault);
    EXPECT_EQ(std::string(narrow, static_cast<std::size_t>(size)), "a?b");
    EXPECT_TRUE(usedDefault);

    usedDefault = TRUE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, L"plain", -1, narrow, sizeof narrow,
                                  nullptr, &usedDefault),
              6);
    EXPECT_FALSE(usedDefault);
}

TEST(Conversion, Utf8TakesNoDefaultCharacterAndNoBestFitFlag) {
#if defined(_WIN32)
    GTEST_SKIP() << "Wine accepts both, where Windows documents that it refuses them";
#endif
    char narrow[8] = {};
    BOOL usedDefault = FALSE;
    ExpectFails(ERROR_INVALID_PARAMETER, [&] {
        return WideCharToMultiByte(CP_UTF8, 0, L"a", -1, narrow, sizeof narrow, nullptr,
                                   &usedDefault);
    });
    ExpectFails(ERROR_INVALID_FLAGS, [&] {
        return WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, L"a", -1, narrow, sizeof narrow,
                                   nullptr, nullptr);
    });
}

TEST(Conversion, AnsiCodePageIsUtf8OnPosix) {
#if defined(_WIN32)
    GTEST_SKIP() << "the ANSI code page of Windows is a legacy one";
#else
    EXPECT_EQ(ToWide(CP_ACP, 0, "caf\xC3\xA9", -1), std::wstring(L"caf\u00E9", 5));
    EXPECT_EQ(ToNarrow(CP_ACP, L"\U0001F600", -1), std::string("\xF0\x9F\x98\x80", 5));
#endif
}

}  // namespace
