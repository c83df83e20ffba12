#include "core/search_path.h"

#include "scoped_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// The layer matches variable names without regard to case, so "Path" lands in Linux's PATH.
class SearchPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        env.Set("Path", nullptr).Set("path", nullptr).Set("SystemRoot", nullptr);
        env.Set("WINLAYER_NO_SYSTEMROOT", nullptr);
    }
    std::optional<std::string> RepairedPath(const char* before) {
        env.Set("PATH", before);
        RepairSearchPath();
        const char* after = std::getenv("PATH");
        if (after == nullptr)
            after = std::getenv("Path");  // the spelling of a variable that did not exist
        return after ? std::optional<std::string>(after) : std::nullopt;
    }
    testsupport::ScopedEnv env;
};

TEST_F(SearchPathTest, AppendsTheSystemFolderAfterOneSeparator) {
    EXPECT_EQ(RepairedPath("/usr/bin"), "/usr/bin;C:\\windows\\system32;");
    EXPECT_EQ(RepairedPath("C:\\tools;"), "C:\\tools;C:\\windows\\system32;");
    // Appended again even when it is already there.
    EXPECT_EQ(RepairedPath("C:\\windows\\system32;"),
              "C:\\windows\\system32;C:\\windows\\system32;");
}

TEST_F(SearchPathTest, EmptyOrMissingPathBecomesTheSystemFolderAlone) {
    EXPECT_EQ(RepairedPath(""), "C:\\windows\\system32;");
    EXPECT_EQ(RepairedPath(nullptr), "C:\\windows\\system32;");
}

// A value that does not fit is kept whole rather than replaced by the system folder alone.
TEST_F(SearchPathTest, PathTooLongForTheBufferIsLeftUntouched) {
    const std::string fits(65535, 'a');
    EXPECT_EQ(RepairedPath(fits.c_str()), fits + ";C:\\windows\\system32;");
    const std::string tooLong = std::string(70000, 'a') + ";/usr/bin";
    EXPECT_EQ(RepairedPath(tooLong.c_str()), tooLong);
}

TEST_F(SearchPathTest, MissingSystemRootLeavesPathUntouched) {
    env.Set("WINLAYER_NO_SYSTEMROOT", "1");
    EXPECT_EQ(RepairedPath("/usr/bin"), "/usr/bin");  // not even the ";"
    EXPECT_EQ(RepairedPath(nullptr), std::nullopt);
}

TEST_F(SearchPathTest, SystemRootIsConvertedFromCodePage936) {
    env.Set("SystemRoot", "D:\\视窗");
    EXPECT_EQ(RepairedPath("x"), "x;D:\\视窗\\system32;");
}

TEST_F(SearchPathTest, EntryLongerThanTheConversionBufferBecomesEmpty) {
    // The entry is SystemRoot and "\system32;" (10 characters), plus the terminator: 1,024 fit.
    const std::string longest = "C:\\" + std::string(1010, 'w');
    env.Set("SystemRoot", longest.c_str());
    EXPECT_EQ(RepairedPath("x"), "x;" + longest + "\\system32;");
    const std::string tooLong = longest + "w";
    env.Set("SystemRoot", tooLong.c_str());
    EXPECT_EQ(RepairedPath("x"), "x;");
    // The limit counts UTF-16 characters, not GBK bytes: 700 two-byte characters fit.
    std::string wide = "C:\\";
    for (int i = 0; i < 700; ++i)
        wide += "视";
    env.Set("SystemRoot", wide.c_str());
    EXPECT_EQ(RepairedPath("x"), "x;" + wide + "\\system32;");
}

}  // namespace
