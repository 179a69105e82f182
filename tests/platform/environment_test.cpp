// The environment calls with the Windows size conventions that the provider's "PATH" handling
// relies on. Built for Windows too, where they run against the real API.
#include "tests/support/test_support.h"

namespace {

constexpr char kName[] = "PW_ENVIRONMENT_TEST";

class Environment : public ::testing::Test {
  protected:
    void TearDown() override { SetEnvironmentVariableA(kName, nullptr); }
};

TEST_F(Environment, SizeWithoutBufferCountsTheTerminator) {
    ASSERT_TRUE(SetEnvironmentVariableA(kName, "abcdef"));
    EXPECT_EQ(GetEnvironmentVariableA(kName, nullptr, 0), 7u);
}

TEST_F(Environment, ReadIntoBufferGivesTheLengthWithoutTerminator) {
    ASSERT_TRUE(SetEnvironmentVariableA(kName, "abcdef"));
    char buffer[7] = {};
    EXPECT_EQ(GetEnvironmentVariableA(kName, buffer, sizeof buffer), 6u);
    EXPECT_STREQ(buffer, "abcdef");
}

TEST_F(Environment, BufferTooSmallGivesTheSizeNeeded) {
    ASSERT_TRUE(SetEnvironmentVariableA(kName, "abcdef"));
    char buffer[6] = {};
    EXPECT_EQ(GetEnvironmentVariableA(kName, buffer, sizeof buffer), 7u);
}

TEST_F(Environment, MissingVariableGivesZeroAndItsError) {
    SetEnvironmentVariableA(kName, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(GetEnvironmentVariableA(kName, buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

}  // namespace
