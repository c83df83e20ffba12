// Text through pango: GDI's metrics, DrawTextW's placement rules and crisp glyphs. Glyphs are not
// compared: the tests look at colours, ink boxes and the cells that OPAQUE paints.
#include "gdi32/dc.h"

#include <windows.h>
#include <winlayer/gdi.h>

#include <gtest/gtest.h>

#include "scoped_env.h"
#include "winroot.h"

#include <set>
#include <string>
#include <thread>

namespace {

using winlayer::Surface;
using winlayer::testing::FontFaceUsed;
using winlayer::testing::MissingGlyphs;

constexpr COLORREF kBack = 0x2D42DA;
constexpr COLORREF kText = 0xE7E7E7;
constexpr COLORREF kCell = 0x00FF00;

HFONT DialogFont(int height) {
    return CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, VARIABLE_PITCH,
                       u"Microsoft Yahei");
}

constexpr uint32_t Pixel(COLORREF c) {
    return winlayer::raster::PixelFromColor(c);
}

// A surface of the background colour with a DC over it and a font selected.
struct TextCanvas {
    Surface surface;
    HDC dc;
    HFONT font;
    HGDIOBJ old;
    TextCanvas(int height, int width = 300, int rows = 80)
        : surface(width, rows, Pixel(kBack)),
          dc(winlayer::CreateSurfaceDC(&surface, {0, 0}, {{0, 0, width, rows}})),
          font(DialogFont(height)),
          old(SelectObject(dc, font)) {
        SetTextColor(dc, kText);
        SetBkMode(dc, TRANSPARENT);
    }
    ~TextCanvas() {
        SelectObject(dc, old);
        DeleteObject(font);
        winlayer::ReleaseSurfaceDC(dc);
    }
    // The bounding box of the pixels of one colour (empty when there is none).
    RECT Box(COLORREF color) const {
        RECT box{surface.width, surface.height, -1, -1};
        for (int y = 0; y < surface.height; ++y)
            for (int x = 0; x < surface.width; ++x)
                if (surface.Row(y)[x] == Pixel(color)) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box.right < 0 ? RECT{} : box;
    }
    std::set<uint32_t> Colours() const {
        return std::set<uint32_t>(surface.pixels.begin(), surface.pixels.end());
    }
    int Draw(std::u16string_view text, RECT rect, UINT format) {
        return DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rect, format);
    }
    SIZE Extent(std::u16string_view text) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
        return size;
    }
};

TEST(Text, TheDialogFontsUseTheCjkFaceWithGdiHeights) {
    for (int height : {20, 22, 27}) {
        SCOPED_TRACE(height);
        TextCanvas canvas(height);
        ASSERT_EQ(FontFaceUsed(canvas.font), "WenQuanYi Micro Hei")
            << "install the Debian package fonts-wqy-microhei";
        TEXTMETRICW metrics{};
        ASSERT_TRUE(GetTextMetricsW(canvas.dc, &metrics));
        EXPECT_EQ(metrics.tmHeight, height);
        EXPECT_EQ(metrics.tmAscent + metrics.tmDescent, height);
        EXPECT_GT(metrics.tmAscent, 3 * metrics.tmDescent);
        EXPECT_EQ(canvas.Extent(u"Install").cy, height);
    }
    // A negative height is the em: the cell comes out larger.
    TextCanvas em(-20);
    TEXTMETRICW metrics{};
    GetTextMetricsW(em.dc, &metrics);
    EXPECT_GT(metrics.tmHeight, 20);
    // Faces this system has stand for themselves; unknown ones fall back to an installed face.
    HFONT other = CreateFontW(20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, u"No Such Face 123");
    EXPECT_FALSE(FontFaceUsed(other).empty());
    DeleteObject(other);
}

TEST(Text, TheThreeLanguagesHaveEveryGlyph) {
    HFONT font = DialogFont(20);
    for (std::u16string_view text :
         {u"下载配置文件失败", u"安装中，请稍后...", u"删除备份文件", u"下載配置文件失敗",
          u"安裝中，請稍後...", u"刪除備份文件", u"打開", u"Download configuration file Fail",
          u"Installing, please wait...", u"471203", u"57%"})
        EXPECT_EQ(MissingGlyphs(font, text), 0) << winlayer::testing::FontFaceUsed(font);
    DeleteObject(font);
}

TEST(Text, GlyphsComeInTheTextColourAloneInsideTheRectangle) {
    for (std::u16string_view text : {u"安装", u"Install", u"471203", u"打開", u"Open", u"57%"}) {
        for (int height : {20, 22, 27}) {
            TextCanvas canvas(height);
            RECT rect{40, 10, 200, 60};
            canvas.Draw(text, rect, DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER | DT_CENTER);
            EXPECT_EQ(canvas.Colours(), (std::set<uint32_t>{Pixel(kBack), Pixel(kText)}));
            RECT ink = canvas.Box(kText);
            EXPECT_GE(ink.left, rect.left);
            EXPECT_LE(ink.right, rect.right);
            EXPECT_GE(ink.top, rect.top);
            EXPECT_LE(ink.bottom, rect.bottom);
        }
    }
}

TEST(Text, HorizontalPlacementFollowsTheFlags) {
    TextCanvas canvas(22);
    RECT rect{20, 10, 220, 46};
    const std::u16string_view label = u"Install";
    SIZE size = canvas.Extent(label);
    canvas.Draw(label, rect, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    RECT ink = canvas.Box(kText);
    EXPECT_LE(std::abs((ink.left - rect.left) - (rect.right - ink.right)), 2);
    // The cell that OPAQUE paints shows the exact placement: x = (left + right - cx) / 2.
    SetBkMode(canvas.dc, OPAQUE);
    SetBkColor(canvas.dc, kCell);
    canvas.Draw(label, {20, 50, 221, 80}, DT_SINGLELINE | DT_CENTER);
    RECT cell = canvas.Box(kCell);
    EXPECT_EQ(cell.left, (20 + 221 - size.cx) / 2);
    EXPECT_EQ(cell.right, cell.left + size.cx);
    EXPECT_EQ(cell.top, 50);
}

TEST(Text, RightAlignedPercentagesLineUp) {
    LONG right = -1;
    for (std::u16string_view text : {u"0%", u"29%", u"57%", u"100%"}) {
        TextCanvas canvas(20);
        canvas.Draw(text, {32, 20, 266, 40}, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
        RECT ink = canvas.Box(kText);
        EXPECT_GE(ink.right, 266 - 3);
        EXPECT_LE(ink.right, 266);
        if (right >= 0) {
            EXPECT_EQ(ink.right, right) << std::string(text.begin(), text.end());
        }
        right = ink.right;
    }
}

TEST(Text, VerticalFlagsActOnlyOnASingleLine) {
    struct Row {
        UINT format;
        int cellTop;  // for the rectangle {10, 20, 200, 70} and tmHeight 20
        int result;
    } rows[] = {
        {DT_SINGLELINE, 20, 20},
        {DT_SINGLELINE | DT_VCENTER, 20 + 50 / 2 - 20 / 2, 35},  // top to the text's bottom
        {DT_SINGLELINE | DT_BOTTOM, 50, 50},
        {DT_BOTTOM | DT_RIGHT, 20, 20},  // the failed step's text: DT_BOTTOM ignored
        {DT_VCENTER, 20, 20},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.format);
        TextCanvas canvas(20);
        SetBkMode(canvas.dc, OPAQUE);
        SetBkColor(canvas.dc, kCell);
        EXPECT_EQ(canvas.Draw(u"Download configuration file Fail", {10, 20, 200, 70}, row.format),
                  row.result);
        RECT cell = canvas.Box(kCell);
        EXPECT_EQ(cell.top, row.cellTop);
        EXPECT_EQ(cell.bottom, row.cellTop + 20);
        if (row.format & DT_RIGHT) {
            EXPECT_EQ(cell.right, 200);
        }
    }
}

TEST(Text, LineBreaksClippingAndPrefixes) {
    TextCanvas canvas(20);
    SetBkMode(canvas.dc, OPAQUE);
    SetBkColor(canvas.dc, kCell);
    // CR LF, LF and CR each end a line.
    EXPECT_EQ(canvas.Draw(u"one\r\ntwo\nthree\rfour", {0, 0, 300, 80}, DT_LEFT), 80);
    EXPECT_EQ(canvas.Box(kCell).bottom, 80);
    // Without DT_NOCLIP nothing leaves the rectangle; with it the text goes past.
    TextCanvas clipped(20);
    clipped.Draw(u"Installing, please wait...", {10, 10, 60, 20}, DT_SINGLELINE);
    RECT ink = clipped.Box(kText);
    EXPECT_LE(ink.right, 60);
    EXPECT_LE(ink.bottom, 20);
    TextCanvas unclipped(20);
    unclipped.Draw(u"Installing, please wait...", {10, 10, 60, 20}, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_GT(unclipped.Box(kText).right, 60);
    EXPECT_GT(unclipped.Box(kText).bottom, 20);
    // "&&" shows one "&"; "&O" underlines the O; DT_NOPREFIX shows every "&".
    TextCanvas prefixed(20);
    SIZE both = prefixed.Extent(u"A&B");
    RECT measure{0, 0, 0, 0};
    DrawTextW(prefixed.dc, u"A&&B", -1, &measure, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(measure.right, both.cx);
    EXPECT_EQ(measure.bottom, 20);
    measure = {0, 0, 0, 0};
    DrawTextW(prefixed.dc, u"A&&B", -1, &measure, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_GT(measure.right, both.cx);
    TextCanvas plain(20), underlined(20);
    plain.Draw(u"Mo", {0, 0, 100, 30}, DT_SINGLELINE);
    underlined.Draw(u"&Mo", {0, 0, 100, 30}, DT_SINGLELINE);
    RECT letters = plain.Box(kText), line = underlined.Box(kText);
    EXPECT_LE(line.left, letters.left);
    EXPECT_GT(line.bottom, letters.bottom) << "a line under the M";
}

TEST(Text, BadArgumentsFail) {
    TextCanvas canvas(20);
    RECT rect{0, 0, 10, 10};
    EXPECT_EQ(DrawTextW(canvas.dc, u"x", 1, nullptr, 0), 0);
    EXPECT_EQ(DrawTextW(nullptr, u"x", 1, &rect, 0), 0);
    EXPECT_EQ(DrawTextW(canvas.dc, u"", -1, &rect, 0), 0);
    SIZE size{};
    EXPECT_FALSE(GetTextExtentPoint32W(canvas.dc, u"x", -1, &size));
    TEXTMETRICW metrics{};
    EXPECT_FALSE(GetTextMetricsW(nullptr, &metrics));
    // Text into a 24-bit DIB section, through TextOutW, also comes in exact colours.
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 80, 30, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ oldBitmap = SelectObject(memory, dib);
    HGDIOBJ oldFont = SelectObject(memory, canvas.font);
    SetTextColor(memory, 0x0000FF);
    EXPECT_TRUE(TextOutW(memory, 2, 2, u"安装", 2));
    std::set<COLORREF> colours;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 80; ++x)
            colours.insert(GetPixel(memory, x, y));
    EXPECT_EQ(colours, (std::set<COLORREF>{0x000000, 0xFFFFFF, 0x0000FF}))
        << "black bitmap, white OPAQUE cell, red glyphs";
    SelectObject(memory, oldFont);
    SelectObject(memory, oldBitmap);
    DeleteDC(memory);
    DeleteObject(dib);
}

TEST(Text, ThreadsDrawAtOnce) {
    // The message box's worker thread draws while the dialog's thread paints.
    auto draw = [](std::u16string_view text, RECT* ink) {
        TextCanvas canvas(20);
        for (int i = 0; i < 20; ++i)
            canvas.Draw(text, {0, 0, 300, 80}, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
        *ink = canvas.Box(kText);
    };
    RECT first{}, second{};
    std::thread worker(draw, u"下载配置文件失败", &first);
    draw(u"Installing, please wait...", &second);
    worker.join();
    EXPECT_GT(first.right, first.left);
    EXPECT_GT(second.right, second.left);
}

TEST(Text, TraceNamesWhatWasDrawnOneLineEach) {
    testsupport::TempWinRoot root;
    const std::string trace = (root.root() / "texts.txt").string();
    testsupport::ScopedEnv env;
    env.Set("WINLAYER_TEXT_TRACE", trace.c_str());
    TextCanvas canvas(20);
    canvas.Draw(u"下载配置文件失败", {0, 0, 300, 80}, DT_RIGHT);
    RECT measured{0, 0, 300, 80};
    DrawTextW(canvas.dc, u"measured only", -1, &measured, DT_CALCRECT);
    EXPECT_TRUE(TextOutW(canvas.dc, 0, 0, u"two\nlines", 9));
    EXPECT_EQ(testsupport::ReadFileBytes(trace),
              "\xe4\xb8\x8b\xe8\xbd\xbd\xe9\x85\x8d\xe7\xbd\xae\xe6\x96\x87\xe4\xbb\xb6"
              "\xe5\xa4\xb1\xe8\xb4\xa5\ntwo lines\n");
}

}  // namespace
