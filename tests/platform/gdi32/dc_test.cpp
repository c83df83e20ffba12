// Device contexts and the objects selected into them.
#include "gdi32/dc.h"

#include <windows.h>
#include <winlayer/gdi.h>

#include <gtest/gtest.h>

namespace {

using winlayer::CreateSurfaceDC;
using winlayer::ReleaseSurfaceDC;
using winlayer::Surface;
using winlayer::testing::GdiObjectCount;

TEST(DeviceContexts, SelectObjectReturnsWhatWasSelected) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
    HPEN pen = CreatePen(PS_SOLID, 1, 0x4140D9);
    HBRUSH brush = CreateSolidBrush(0x1015A5);
    EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(SelectObject(dc, GetStockObject(BLACK_PEN)), pen);
    EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), brush);
    EXPECT_EQ(SelectObject(dc, nullptr), nullptr);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
}

TEST(DeviceContexts, SelectedObjectsCannotBeDeleted) {
    HDC dc = CreateCompatibleDC(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 4, 4);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(dc)) << "a DC goes with DeleteDC";
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBitmap);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(DeleteObject(bitmap));
    // Deleting a DC releases what it holds.
    HBRUSH brush = CreateSolidBrush(0);
    SelectObject(dc, brush);
    DeleteDC(dc);
    EXPECT_TRUE(DeleteObject(brush));
}

TEST(DeviceContexts, ABitmapSitsInOneDcAtATime) {
    HDC first = CreateCompatibleDC(nullptr);
    HDC second = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(first, 2, 2);
    HGDIOBJ old = SelectObject(first, bitmap);
    EXPECT_EQ(old, winlayer::DefaultBitmap());
    EXPECT_EQ(SelectObject(second, bitmap), nullptr);
    SelectObject(first, old);
    EXPECT_NE(SelectObject(second, bitmap), nullptr);
    DeleteDC(second);
    DeleteDC(first);
    DeleteObject(bitmap);
}

TEST(DeviceContexts, StockObjectsOutliveDeleteObject) {
    HGDIOBJ white = GetStockObject(WHITE_BRUSH);
    EXPECT_TRUE(DeleteObject(white));
    EXPECT_EQ(GetObjectType(white), static_cast<DWORD>(OBJ_BRUSH));
    LOGPEN pen{};
    ASSERT_EQ(GetObjectW(GetStockObject(NULL_PEN), sizeof pen, &pen), static_cast<int>(sizeof pen));
    EXPECT_EQ(pen.lopnStyle, static_cast<UINT>(PS_NULL));
    EXPECT_EQ(GetStockObject(-1), nullptr);
}

TEST(DeviceContexts, StateCallsReturnThePreviousValue) {
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, 7), 0);
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    EXPECT_EQ(SetTextColor(dc, 0xE7E7E7), 0u);
    EXPECT_EQ(SetTextColor(dc, 0), 0xE7E7E7u);
    EXPECT_EQ(SetBkColor(dc, 0x123456), 0xFFFFFFu);
    POINT previous{-1, -1};
    EXPECT_TRUE(MoveToEx(dc, 484, 8, &previous));
    EXPECT_EQ(previous.x, 0);
    EXPECT_TRUE(MoveToEx(dc, 1, 2, &previous));
    EXPECT_EQ(previous.x, 484);
    EXPECT_EQ(previous.y, 8);
    DeleteDC(dc);
    EXPECT_EQ(SetTextColor(dc, 0), CLR_INVALID);
    EXPECT_FALSE(MoveToEx(dc, 0, 0, nullptr));
    EXPECT_TRUE(GdiFlush());
}

TEST(DeviceContexts, SurfaceDcDrawsAtItsOriginInsideItsClip) {
    Surface surface(40, 30, 0x000000);
    // The client area at (10, 5); only its left half may be painted.
    HDC dc = CreateSurfaceDC(&surface, {10, 5}, {{10, 5, 20, 30}, {-5, -5, 0, 0}});
    EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_DC));
    HBRUSH brush = CreateSolidBrush(RGB(0x11, 0x22, 0x33));
    RECT all{0, 0, 100, 100};
    EXPECT_NE(FillRect(dc, &all, brush), 0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            EXPECT_EQ(surface.Row(y)[x], x >= 10 && x < 20 && y >= 5 ? 0x112233u : 0u)
                << x << "," << y;
    EXPECT_EQ(GetPixel(dc, 0, 0), 0x332211u);
    EXPECT_EQ(GetPixel(dc, 15, 0), CLR_INVALID) << "outside the clip";
    // A memory DC cannot take a window surface's place: bitmaps go into memory DCs only.
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 3, 3);
    EXPECT_EQ(SelectObject(dc, bitmap), nullptr);
    BITMAP described{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof described, &described), static_cast<int>(sizeof described));
    EXPECT_EQ(described.bmBitsPixel, 32);
    DeleteObject(bitmap);
    DeleteObject(brush);
    ReleaseSurfaceDC(dc);
    EXPECT_EQ(GetObjectType(dc), 0u);
}

TEST(DeviceContexts, FillRectTakesSystemColours) {
    Surface surface(4, 4, 0);
    HDC dc = CreateSurfaceDC(&surface, {0, 0}, {{0, 0, 4, 4}});
    RECT rect{1, 1, 3, 3};
    EXPECT_NE(FillRect(dc, &rect, reinterpret_cast<HBRUSH>(5 + 1)), 0);  // COLOR_WINDOW
    EXPECT_EQ(surface.Row(1)[1], 0xFFFFFFu);
    EXPECT_EQ(surface.Row(3)[3], 0u);
    EXPECT_EQ(FillRect(dc, &rect, reinterpret_cast<HBRUSH>(0x12345678)), 0);
    ReleaseSurfaceDC(dc);
}

TEST(Bitmaps, CompatibleBitmapsFollowTheDcFormat) {
    HDC dc = CreateCompatibleDC(nullptr);
    // A fresh memory DC holds a 1 x 1 monochrome bitmap, so its compatible bitmaps are monochrome.
    HBITMAP mono = CreateCompatibleBitmap(dc, 8, 2);
    BITMAP described{};
    GetObjectW(mono, sizeof described, &described);
    EXPECT_EQ(described.bmBitsPixel, 1);
    EXPECT_EQ(described.bmWidthBytes, 2);
    EXPECT_EQ(described.bmBits, nullptr);
    // An empty size gives the stock bitmap, which DeleteObject leaves alone.
    HBITMAP empty = CreateCompatibleBitmap(dc, 0, 0);
    EXPECT_EQ(empty, winlayer::DefaultBitmap());
    EXPECT_TRUE(DeleteObject(empty));
    EXPECT_EQ(CreateCompatibleBitmap(dc, -1, 5), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, 5, 5), nullptr);
    DeleteObject(mono);
    DeleteDC(dc);
}

BITMAPINFO DibInfo(int width, int height, int bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

TEST(Bitmaps, DibSectionsKeepTheirRowOrderAndPadding) {
    struct Row {
        int height, bits, stride;
    } rows[] = {{3, 24, 12}, {-3, 24, 12}, {3, 32, 12}, {-3, 32, 12}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.height << " rows, " << row.bits << " bits");
        BITMAPINFO info = DibInfo(3, row.height, row.bits);
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(dib, nullptr);
        ASSERT_NE(bits, nullptr);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, dib);
        HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
        RECT top{1, 0, 2, 1};  // one pixel of the top row
        FillRect(dc, &top, brush);
        int topRow = row.height < 0 ? 0 : 2;  // in memory
        auto* byte = static_cast<uint8_t*>(bits) + topRow * row.stride + row.bits / 8;
        EXPECT_EQ(byte[0], 3);  // B, G, R
        EXPECT_EQ(byte[1], 2);
        EXPECT_EQ(byte[2], 1);
        EXPECT_EQ(GetPixel(dc, 1, 0), RGB(1, 2, 3));
        DIBSECTION section{};
        EXPECT_EQ(GetObjectW(dib, sizeof section, &section), static_cast<int>(sizeof section));
        EXPECT_EQ(section.dsBm.bmHeight, 3);
        EXPECT_EQ(section.dsBm.bmWidthBytes, row.stride);
        EXPECT_EQ(section.dsBm.bmBits, bits);
        EXPECT_EQ(section.dsBmih.biHeight, row.height);
        SelectObject(dc, old);
        DeleteObject(brush);
        DeleteDC(dc);
        DeleteObject(dib);
    }
}

TEST(Bitmaps, DibSectionsRefuseWhatTheyCannotHold) {
    void* bits = reinterpret_cast<void*>(1);
    BITMAPINFO eight = DibInfo(4, 4, 8);
    EXPECT_EQ(CreateDIBSection(nullptr, &eight, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    BITMAPINFO empty = DibInfo(4, 0, 32);
    EXPECT_EQ(CreateDIBSection(nullptr, &empty, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    BITMAPINFO huge = DibInfo(1 << 20, 1 << 20, 32);
    EXPECT_EQ(CreateDIBSection(nullptr, &huge, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(GdiObjectCounting, APaintingLeavesNothingBehind) {
    Surface surface(50, 20, 0);
    int before = GdiObjectCount();
    HDC window = CreateSurfaceDC(&surface, {0, 0}, {{0, 0, 50, 20}});
    HDC memory = CreateCompatibleDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(window, 50, 20);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    HPEN pen = CreatePen(PS_SOLID, 1, 0x969696);
    HGDIOBJ oldPen = SelectObject(memory, pen);
    EXPECT_EQ(GdiObjectCount(), before + 4);
    SelectObject(memory, oldPen);
    DeleteObject(pen);
    BitBlt(window, 0, 0, 50, 20, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldBitmap);
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseSurfaceDC(window);
    EXPECT_EQ(GdiObjectCount(), before);
}

}  // namespace
