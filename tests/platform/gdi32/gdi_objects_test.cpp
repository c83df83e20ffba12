#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(GdiObjects, FontsDescribeTheirParameters) {
    HFONT font = CreateFontW(-27, 0, 0, 0, FW_DONTCARE, FALSE, TRUE, FALSE, DEFAULT_CHARSET,
                             OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                             VARIABLE_PITCH, u"Microsoft Yahei");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
    EXPECT_EQ(GetObjectW(font, 0, nullptr), static_cast<int>(sizeof(LOGFONTW)));
    LOGFONTW described;
    std::memset(&described, 0x55, sizeof described);
    EXPECT_EQ(GetObjectW(font, sizeof described, &described), static_cast<int>(sizeof described));
    EXPECT_EQ(described.lfHeight, -27);
    EXPECT_EQ(described.lfWeight, FW_DONTCARE);
    EXPECT_EQ(described.lfItalic, 0);
    EXPECT_EQ(described.lfUnderline, 1);
    EXPECT_EQ(described.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(described.lfOutPrecision, OUT_OUTLINE_PRECIS);
    EXPECT_EQ(described.lfQuality, CLEARTYPE_QUALITY);
    EXPECT_EQ(described.lfPitchAndFamily, VARIABLE_PITCH);
    EXPECT_EQ(std::u16string(described.lfFaceName), u"Microsoft Yahei");
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_FALSE(DeleteObject(font)) << "already deleted";
    EXPECT_EQ(GetObjectType(font), 0u);
}

TEST(GdiObjects, LongFaceNamesKeepThirtyOneCharacters) {
    HFONT font = CreateFontW(20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                             u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij");
    LOGFONTW described;
    GetObjectW(font, sizeof described, &described);
    EXPECT_EQ(std::u16string(described.lfFaceName), u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde");
    DeleteObject(font);
}

TEST(GdiObjects, SolidBrushesDescribeTheirColour) {
    HBRUSH brush = CreateSolidBrush(RGB(0xFF, 0xFF, 0xFF));
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
    LOGBRUSH described{};
    EXPECT_EQ(GetObjectW(brush, sizeof described, &described), static_cast<int>(sizeof described));
    EXPECT_EQ(described.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(described.lbColor, 0xFFFFFFu);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(nullptr));
    EXPECT_EQ(GetObjectW(brush, sizeof described, &described), 0);
}

}  // namespace
