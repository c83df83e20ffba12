#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// The written count and the text of one narrow call.
template <class... Args>
std::pair<int, std::string> Narrow(const char* format, Args... args) {
    char buffer[1024];
    int written = wsprintfA(buffer, format, args...);
    return {written, buffer};
}

TEST(UserFormat, ConvertsLikeWsprintf) {
    struct Row {
        std::pair<int, std::string> got;
        std::string expected;
    } rows[] = {
        {Narrow("%d|%i|%u|%x|%X", -12, 34, 4000000000u, 255u, 255u), "-12|34|4000000000|ff|FF"},
        {Narrow("[%5d][%-5d][%05d][%.3d]", 42, 42, -42, 7), "[   42][42   ][-0042][007]"},
        {Narrow("%#x %I64d %I64u", 26u, -5000000000LL, 18000000000000000000ULL),
         "0x1a -5000000000 18000000000000000000"},
        {Narrow("%s|%.2s|%6s|%-4s|", "abc", "abc", "ab", "x"), "abc|ab|    ab|x   |"},
        {Narrow("%S|%ls|%hs", u"wide", u"wide", "narrow"), "wide|wide|narrow"},
        {Narrow("%c%C%%", 'a', u'b'), "ab%"},
        {Narrow("%s", static_cast<const char*>(nullptr)), "(null)"},
        {Narrow("%q stays"), "%q stays"},
        {Narrow("%s", "\xcc\xe1\xca\xbe"), "\xcc\xe1\xca\xbe"},  // GBK bytes pass unchanged
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.got.second, row.expected);
        EXPECT_EQ(row.got.first, static_cast<int>(row.expected.size())) << row.expected;
    }
}

TEST(UserFormat, WideStringsTakeTheirOwnWidthAndConvertTheOther) {
    WCHAR buffer[1024];
    EXPECT_EQ(wsprintfW(buffer, u"%s\\%s", u"C:\\inst", u"brivostel v9.5.exe"), 26);
    EXPECT_EQ(std::u16string(buffer), u"C:\\inst\\brivostel v9.5.exe");
    wsprintfW(buffer, u"%S|%hs|%c|%d", "\xcc\xe1\xca\xbe", "ab", u'\u63d0', 5);
    EXPECT_EQ(std::u16string(buffer), u"\u63d0\u793a|ab|\u63d0|5");
}

TEST(UserFormat, StopsAt1023CharactersAndTerminates) {
    std::string longText(3000, 'x');
    char narrow[1100];
    std::fill(std::begin(narrow), std::end(narrow), '#');
    EXPECT_EQ(wsprintfA(narrow, "ab%s", longText.c_str()), 1023);
    EXPECT_EQ(narrow[1023], '\0');
    EXPECT_EQ(narrow[1024], '#') << "nothing is written past the 1024-character limit";
    EXPECT_EQ(std::string(narrow, 2), "ab");

    std::u16string longWide(1023, u'y');
    WCHAR wide[1100];
    std::fill(std::begin(wide), std::end(wide), u'#');
    EXPECT_EQ(wsprintfW(wide, u"%s", longWide.c_str()), 1023) << "exactly fits";
    EXPECT_EQ(wide[1023], u'\0');
    EXPECT_EQ(wide[1024], u'#');
    longWide += u'z';
    EXPECT_EQ(wsprintfW(wide, u"%s", longWide.c_str()), 1023) << "one over is cut";
    EXPECT_EQ(wide[1022], u'y');
}

}  // namespace
