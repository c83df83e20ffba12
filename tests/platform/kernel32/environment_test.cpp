#include <windows.h>

#include "winroot.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

class EnvironmentTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("WLTEST_Value", "abc", 1); }
    void TearDown() override {
        unsetenv("WLTEST_Value");
        unsetenv("WLTEST_NEW");
    }
};

TEST_F(EnvironmentTest, NamesCompareWithoutRegardToCaseAndSizesFollowWin32) {
    struct Row {
        const char16_t* name;
        DWORD size;
        DWORD result;
        const char16_t* written;  // null: buffer untouched
        DWORD error;
    } rows[] = {
        {u"WLTEST_Value", 16, 3, u"abc", ERROR_SUCCESS},
        {u"wltest_value", 16, 3, u"abc", ERROR_SUCCESS},
        {u"WLTEST_VALUE", 4, 3, u"abc", ERROR_SUCCESS},
        {u"WLTEST_VALUE", 3, 4, nullptr, ERROR_SUCCESS},
        {u"WLTEST_VALUE", 0, 4, nullptr, ERROR_SUCCESS},
        {u"WLTEST_MISSING", 16, 0, nullptr, ERROR_ENVVAR_NOT_FOUND},
    };
    for (const Row& row : rows) {
        WCHAR buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        SetLastError(kSentinel);
        EXPECT_EQ(GetEnvironmentVariableW(row.name, buffer, row.size), row.result) << row.size;
        EXPECT_EQ(GetLastError(), row.error);
        if (row.written)
            EXPECT_EQ(std::u16string(buffer), row.written);
        else
            EXPECT_EQ(buffer[0], u'#');
    }
    char narrow[8];
    EXPECT_EQ(GetEnvironmentVariableA("wltest_VALUE", narrow, sizeof narrow), 3u);
    EXPECT_STREQ(narrow, "abc");
}

TEST_F(EnvironmentTest, SetKeepsTheExistingSpellingAndNullRemoves) {
    EXPECT_TRUE(SetEnvironmentVariableW(u"wltest_value", u"\u5B89"));
    EXPECT_STREQ(std::getenv("WLTEST_Value"), "\xE5\xAE\x89") << "UTF-8 in the Linux environment";
    char narrow[8];
    EXPECT_EQ(GetEnvironmentVariableA("WLTEST_VALUE", narrow, sizeof narrow), 2u);
    EXPECT_STREQ(narrow, "\xB0\xB2") << "GBK on the A side";
    EXPECT_TRUE(SetEnvironmentVariableA("WLTEST_New", "x"));
    EXPECT_STREQ(std::getenv("WLTEST_New"), "x");
    unsetenv("WLTEST_New");
    EXPECT_TRUE(SetEnvironmentVariableW(u"WLTEST_VALUE", nullptr));
    EXPECT_EQ(std::getenv("WLTEST_Value"), nullptr);
    SetLastError(kSentinel);
    EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetEnvironmentVariableA("", "x"));
}

TEST_F(EnvironmentTest, SystemRootIsTheWindowsFolder) {
    if (std::getenv("SystemRoot") == nullptr) {
        char buffer[MAX_PATH];
        EXPECT_EQ(GetEnvironmentVariableA("SYSTEMROOT", buffer, MAX_PATH), 10u);
        EXPECT_STREQ(buffer, "C:\\windows");
    }
}

TEST_F(EnvironmentTest, DupenvFindsNamesWithoutRegardToCase) {
    char* value = reinterpret_cast<char*>(1);
    size_t size = 99;
    EXPECT_EQ(_dupenv_s(&value, &size, "wltest_value"), 0);
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, "abc");
    EXPECT_EQ(size, 4u);
    std::free(value);
    value = reinterpret_cast<char*>(1);
    EXPECT_EQ(_dupenv_s(&value, &size, "WLTEST_MISSING"), 0);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(_dupenv_s(nullptr, &size, "PATH"), EINVAL);
}

class CurrentDirectoryTest : public testsupport::WinRootTest {};

// Inside the root the working directory is on C:, elsewhere on Z:.
TEST_F(CurrentDirectoryTest, TheWorkingDirectoryIsInTheLayersWindowsForm) {
    std::filesystem::create_directories(winroot.driveC() / "sub/\xE5\xAE\x89");  // "安"
    struct Row {
        std::filesystem::path directory;
        std::string expected;  // code page 936
    } rows[] = {
        {winroot.driveC(), "C:\\"},
        {winroot.driveC() / "sub/\xE5\xAE\x89", "C:\\sub\\\xB0\xB2"},
        {"/tmp", "Z:\\tmp"},
    };
    for (const Row& row : rows) {
        std::filesystem::current_path(row.directory);
        char buffer[512];
        DWORD length = static_cast<DWORD>(row.expected.size());
        EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), length) << row.expected;
        EXPECT_EQ(std::string(buffer), row.expected);
        EXPECT_EQ(GetCurrentDirectoryA(length, buffer), length + 1) << "one short";
        EXPECT_EQ(GetCurrentDirectoryA(length + 1, buffer), length) << "exact fit";
    }
}

}  // namespace
