// The program's pictures as resources: bitmaps 101 and 104, icon group 102.
#include "gdi32/gdi_object.h"
#include "user32/icons.h"

#include <windows.h>
#include <winlayer/gdi.h>

#include <gtest/gtest.h>

namespace {

COLORREF PixelOf(HBITMAP bitmap, int x, int y) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    COLORREF color = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return color;
}

bool Reddish(COLORREF c) {
    return GetRValue(c) > 150 && GetGValue(c) < 120 && GetBValue(c) < 110;
}

TEST(ResourceImages, BitmapsAre500By310WithTheirRoles) {
    for (UINT id : {101u, 104u}) {
        SCOPED_TRACE(id);
        HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(id));
        ASSERT_NE(bitmap, nullptr);
        BITMAP described{};
        ASSERT_EQ(GetObjectW(bitmap, sizeof described, &described),
                  static_cast<int>(sizeof described));
        EXPECT_EQ(described.bmWidth, 500);
        EXPECT_EQ(described.bmHeight, 310);
        EXPECT_EQ(described.bmBitsPixel, 32) << "in the display's format";
        // Red at the top corners, under the caption bar's cross.
        EXPECT_TRUE(Reddish(PixelOf(bitmap, 2, 2)));
        EXPECT_TRUE(Reddish(PixelOf(bitmap, 488, 12)));
        if (id == 104) {
            // The white band behind the status line and the progress bar, from y = 216.
            for (int y : {216, 234, 260, 309})
                for (int x : {0, 34, 250, 467, 499})
                    EXPECT_EQ(PixelOf(bitmap, x, y), 0xFFFFFFu) << x << "," << y;
            EXPECT_TRUE(Reddish(PixelOf(bitmap, 250, 214)));
        } else {
            EXPECT_TRUE(Reddish(PixelOf(bitmap, 250, 300)));
            EXPECT_EQ(PixelOf(bitmap, 240, 85), 0xFFFFFFu) << "the logo's sail";
        }
        EXPECT_TRUE(DeleteObject(bitmap));
    }
    // As a DIB section the resource keeps its 24 bits.
    HANDLE dib =
        LoadImageW(nullptr, MAKEINTRESOURCEW(104), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    DIBSECTION section{};
    ASSERT_EQ(GetObjectW(dib, sizeof section, &section), static_cast<int>(sizeof section));
    EXPECT_EQ(section.dsBm.bmBitsPixel, 24);
    EXPECT_EQ(section.dsBmih.biHeight, 310);
    EXPECT_EQ(PixelOf(static_cast<HBITMAP>(dib), 100, 300), 0xFFFFFFu);
    DeleteObject(dib);
}

TEST(ResourceImages, MissingResourcesFail) {
    SetLastError(0);
    EXPECT_EQ(LoadBitmapW(nullptr, MAKEINTRESOURCEW(102)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadBitmapW(nullptr, u"NAMED"), nullptr);
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(101)), nullptr);
    EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(102), IMAGE_CURSOR, 0, 0, 0), nullptr);
    EXPECT_FALSE(DestroyIcon(nullptr));
}

TEST(ResourceImages, IconGroupServesEachSize) {
    struct Row {
        int asked, got;
        UINT flags;
    } rows[] = {{16, 16, 0},
                {32, 32, 0},
                {48, 48, 0},
                {20, 32, 0},
                {64, 48, 0},
                {0, 16, 0},
                {0, 32, LR_DEFAULTSIZE}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.asked);
        auto icon = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(102), IMAGE_ICON,
                                                  row.asked, row.asked, row.flags));
        ASSERT_NE(icon, nullptr);
        winlayer::IconImage image = winlayer::IconImageOf(icon);
        EXPECT_EQ(image.width, row.got);
        EXPECT_EQ(image.height, row.got);
        ASSERT_EQ(image.argb.size(), static_cast<size_t>(row.got * row.got));
        // Opaque red in the middle of the left edge, transparent at the rounded corner.
        uint32_t edge = image.argb[static_cast<size_t>(row.got / 2) * row.got + 1];
        EXPECT_EQ(edge >> 24, 0xFFu);
        EXPECT_GT((edge >> 16) & 0xFF, 150u);
        EXPECT_EQ(image.argb[0] >> 24, 0u);
        EXPECT_TRUE(DestroyIcon(icon));
        EXPECT_FALSE(DestroyIcon(icon));
        EXPECT_TRUE(winlayer::IconImageOf(icon).argb.empty());
    }
    HICON standard = LoadIconW(nullptr, MAKEINTRESOURCEW(102));
    EXPECT_EQ(winlayer::IconImageOf(standard).width, 32);
    DestroyIcon(standard);
}

}  // namespace
