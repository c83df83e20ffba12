#include <windows.h>
#include <winlayer/resources.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

class ResourcesTest : public ::testing::Test {
  protected:
    void TearDown() override { winlayer::testing::ResetStringResources(); }
};

TEST_F(ResourcesTest, TheBuildsStringsComeBackInTheAnsiCodePage) {
    struct Row {
        UINT id;
        const char* ansi;
        const char16_t* wide;
    } rows[] = {
        {103, "471203", u"471203"},
        {104, "\xBF\xAD\xC4\xAC(\xCF\xE3\xB8\xDB)", u"\u51EF\u9ED8(\u9999\u6E2F)"},  // 凯默(香港)
        {105, "\x84\x50\xC4\xAC(\xCF\xE3\xB8\xDB)", u"\u51F1\u9ED8(\u9999\u6E2F)"},  // 凱默(香港)
        {106, "Kelmorin(HK)", u"Kelmorin(HK)"},
    };
    for (const Row& row : rows) {
        char ansi[260];
        std::memset(ansi, '#', sizeof ansi);
        EXPECT_EQ(LoadStringA(nullptr, row.id, ansi, sizeof ansi),
                  static_cast<int>(std::strlen(row.ansi)))
            << row.id;
        EXPECT_STREQ(ansi, row.ansi) << row.id;
        WCHAR wide[260];
        EXPECT_EQ(LoadStringW(nullptr, row.id, wide, 260),
                  static_cast<int>(std::char_traits<char16_t>::length(row.wide)));
        EXPECT_EQ(std::u16string(wide), row.wide);
    }
}

TEST_F(ResourcesTest, MissingStringsLoadAsEmpty) {
    for (UINT id : {107u, 0u, 102u}) {
        char ansi[8] = "poison";
        SetLastError(kSentinel);
        EXPECT_EQ(LoadStringA(nullptr, id, ansi, sizeof ansi), 0) << id;
        EXPECT_STREQ(ansi, "") << id;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    }
}

TEST_F(ResourcesTest, StringsAreCutToTheBufferAndTerminated) {
    struct Row {
        UINT id;
        int bufferMax;
        int result;
        const char* expected;
    } rows[] = {
        {106, 13, 12, "Kelmorin(HK)"},   {106, 12, 11, "Kelmorin(HK"}, {106, 1, 0, ""},
        {104, 5, 4, "\xBF\xAD\xC4\xAC"},  // 凯默 exactly
        {104, 4, 2, "\xBF\xAD"},          // a double-byte character is never split
    };
    for (const Row& row : rows) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(LoadStringA(nullptr, row.id, buffer, row.bufferMax), row.result)
            << row.id << " " << row.bufferMax;
        EXPECT_STREQ(buffer, row.expected);
        EXPECT_EQ(buffer[row.bufferMax], '#') << "nothing written beyond the buffer";
    }
    WCHAR wide[8];
    std::fill(std::begin(wide), std::end(wide), u'#');
    EXPECT_EQ(LoadStringW(nullptr, 106, wide, 4), 3);
    EXPECT_EQ(std::u16string(wide), u"Kel");
    EXPECT_EQ(wide[4], u'#');
}

TEST_F(ResourcesTest, LoadStringWWithoutBufferPointsIntoTheResource) {
    const WCHAR* text = nullptr;
    EXPECT_EQ(LoadStringW(nullptr, 105, reinterpret_cast<LPWSTR>(&text), 0), 6);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text, 6), u"\u51F1\u9ED8(\u9999\u6E2F)");
}

TEST_F(ResourcesTest, TestsCanAddReplaceAndRemoveStrings) {
    winlayer::testing::SetStringResource(107, u"Other");
    winlayer::testing::RemoveStringResource(103);
    char buffer[16];
    EXPECT_EQ(LoadStringA(nullptr, 107, buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, "Other");
    EXPECT_EQ(LoadStringA(nullptr, 103, buffer, sizeof buffer), 0);
    winlayer::testing::ResetStringResources();
    EXPECT_EQ(LoadStringA(nullptr, 107, buffer, sizeof buffer), 0);
    EXPECT_EQ(LoadStringA(nullptr, 103, buffer, sizeof buffer), 6);
}

}  // namespace
