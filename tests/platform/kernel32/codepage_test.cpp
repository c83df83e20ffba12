#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

std::u16string Decode(UINT codePage, const std::string& bytes, DWORD flags = 0) {
    int n = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'#');
    if (n > 0)
        MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                            out.data(), n);
    return out;
}

// Each maximal ill-formed subpart becomes one U+FFFD, as Windows decodes UTF-8.
TEST(CodePageTest, IllFormedUtf8GivesOneReplacementPerSubpart) {
    struct Row {
        const char* bytes;
        std::u16string expected;
    } rows[] = {
        {"\xE4\xB8\xAD", u"\u4E2D"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xED\xA0\x80", u"\uFFFD\uFFFD"},  // an encoded surrogate
        {"\xE4\xB8"
         "A",
         u"\uFFFDA"},                                 // cut short before another character
        {"a\xF0\x9F\x98", u"a\uFFFD"},                // cut short by the end
        {"\xC0\x80", u"\uFFFD\uFFFD"},                // C0 never begins a character
        {"\xE0\x80\x80", u"\uFFFD\uFFFD"},            // overlong
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {"\x80\xBF", u"\uFFFD\uFFFD"},                // continuation bytes alone
        {"\xFF"
         "b",
         u"\uFFFDb"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Decode(CP_UTF8, row.bytes), row.expected) << row.bytes;
        bool wellFormed = row.expected.find(u'\uFFFD') == std::u16string::npos;
        SetLastError(kSentinel);
        int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, row.bytes, -1, nullptr, 0);
        EXPECT_EQ(n, wellFormed ? static_cast<int>(row.expected.size()) + 1 : 0) << row.bytes;
        EXPECT_EQ(GetLastError(), wellFormed ? kSentinel : ERROR_NO_UNICODE_TRANSLATION);
    }
}

// Windows' table of code page 936 gives 0x80 to the euro sign and 0xFF to U+F8F5, both ways.
TEST(CodePageTest, Gbk80AndFFFollowWindowsTable) {
    EXPECT_EQ(Decode(936, "\x80"), u"\u20AC");
    EXPECT_EQ(Decode(936,
                     "a\xFF"
                     "b"),
              u"a\uF8F5b");
    EXPECT_EQ(Decode(CP_ACP, "\xFF", MB_ERR_INVALID_CHARS), u"\uF8F5");
    char bytes[8] = {};
    BOOL usedDefault = TRUE;
    EXPECT_EQ(
        WideCharToMultiByte(936, 0, u"\uF8F5\u20AC", 2, bytes, sizeof bytes, nullptr, &usedDefault),
        2);
    EXPECT_EQ(std::string(bytes, 2), "\xFF\x80");
    EXPECT_FALSE(usedDefault);
}

}  // namespace
