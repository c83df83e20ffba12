// The rasteriser through the GDI calls: GDI's integer rules, table-driven, and the exact pixels of
// the dialog's cross, button and progress bar.
#include "gdi32/dc.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace {

using winlayer::Surface;

constexpr uint32_t kBlank = 0x000001;  // never a colour drawn here

// A window-like surface with a DC over all of it (or over the given clip).
struct Canvas {
    Surface surface;
    HDC dc;
    Canvas(int width, int height, std::vector<RECT> clip = {})
        : surface(width, height, kBlank),
          dc(winlayer::CreateSurfaceDC(
              &surface, {0, 0}, clip.empty() ? std::vector<RECT>{{0, 0, width, height}} : clip)) {}
    ~Canvas() { winlayer::ReleaseSurfaceDC(dc); }
    // The pixel as a COLORREF.
    COLORREF At(int x, int y) const {
        uint32_t p = surface.Row(y)[x];
        return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
    }
    bool Painted(int x, int y) const { return surface.Row(y)[x] != kBlank; }
    std::set<std::pair<int, int>> PaintedPixels() const {
        std::set<std::pair<int, int>> pixels;
        for (int y = 0; y < surface.height; ++y)
            for (int x = 0; x < surface.width; ++x)
                if (Painted(x, y))
                    pixels.insert({x, y});
        return pixels;
    }
};

// Selects a pen and a brush for one scope and deletes them afterwards.
struct Tools {
    HDC dc;
    HPEN pen;
    HBRUSH brush;
    HGDIOBJ oldPen, oldBrush;
    Tools(HDC d, COLORREF penColor, COLORREF brushColor, bool nullPen = false)
        : dc(d),
          pen(CreatePen(nullPen ? PS_NULL : PS_SOLID, 1, penColor)),
          brush(CreateSolidBrush(brushColor)),
          oldPen(SelectObject(d, pen)),
          oldBrush(SelectObject(d, brush)) {}
    ~Tools() {
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        EXPECT_TRUE(DeleteObject(pen));
        EXPECT_TRUE(DeleteObject(brush));
    }
};

std::set<std::pair<int, int>> LinePixels(POINT from, POINT to) {
    Canvas canvas(64, 64);
    Tools tools(canvas.dc, 0xFFFFFF, 0);
    MoveToEx(canvas.dc, from.x, from.y, nullptr);
    LineTo(canvas.dc, to.x, to.y);
    POINT current{};
    MoveToEx(canvas.dc, 0, 0, &current);
    EXPECT_EQ(current.x, to.x);
    EXPECT_EQ(current.y, to.y);
    return canvas.PaintedPixels();
}

TEST(Raster, LinesInEveryOctantLeaveOutTheirEnd) {
    const POINT from{30, 30};
    const POINT offsets[] = {{7, 3},  {3, 7},   {-3, 7}, {-7, 3},  {-7, -3}, {-3, -7},
                             {3, -7}, {7, -3},  {9, 9},  {-9, 9},  {9, -9},  {-9, -9},
                             {12, 0}, {-12, 0}, {0, 12}, {0, -12}, {8, 4},   {-8, -4},
                             {4, -8}, {-4, 8},  {20, 1}, {1, -20}, {-13, 5}, {5, 13}};
    for (POINT d : offsets) {
        SCOPED_TRACE(testing::Message() << "to " << d.x << "," << d.y);
        POINT to{from.x + d.x, from.y + d.y};
        auto pixels = LinePixels(from, to);
        int ax = std::abs(d.x), ay = std::abs(d.y), major = std::max(ax, ay);
        EXPECT_EQ(static_cast<int>(pixels.size()), major);
        EXPECT_TRUE(pixels.count({from.x, from.y}));
        EXPECT_FALSE(pixels.count({to.x, to.y}));
        for (auto [x, y] : pixels) {
            // Within half a pixel of the ideal line along the minor axis.
            if (ax >= ay) {
                double ideal = from.y + static_cast<double>(d.y) * (x - from.x) / d.x;
                EXPECT_LE(std::abs(y - ideal), 0.5) << x << "," << y;
            } else {
                double ideal = from.x + static_cast<double>(d.x) * (y - from.y) / d.y;
                EXPECT_LE(std::abs(x - ideal), 0.5) << x << "," << y;
            }
        }
        // Drawn backwards, the same pixels but for the two ends.
        auto backwards = LinePixels(to, from);
        pixels.insert({to.x, to.y});
        backwards.insert({from.x, from.y});
        EXPECT_EQ(pixels, backwards);
    }
}

TEST(Raster, LineTiesGoToTheSmallerCoordinate) {
    // Halfway points: (1, 0.5) and (3, 1.5) forwards, the same points backwards.
    std::set<std::pair<int, int>> forwards{{0, 0}, {1, 0}, {2, 1}, {3, 1}};
    EXPECT_EQ(LinePixels({0, 0}, {4, 2}), forwards);
    std::set<std::pair<int, int>> backwards{{4, 2}, {3, 1}, {2, 1}, {1, 0}};
    EXPECT_EQ(LinePixels({4, 2}, {0, 0}), backwards);
    std::set<std::pair<int, int>> steep{{5, 5}, {5, 6}, {6, 7}, {6, 8}};
    EXPECT_EQ(LinePixels({5, 5}, {7, 9}), steep);
    EXPECT_TRUE(LinePixels({3, 3}, {3, 3}).empty());
}

TEST(Raster, TheCloseCrossIsTwoDiagonalsOfNinePixels) {
    Canvas canvas(500, 310);
    Tools tools(canvas.dc, 0xE7E7E7, 0);
    // From (left, top) to (right + 1, bottom + 1) and from (left, bottom) to (right + 1, top - 1)
    // of {484, 8, 492, 16}.
    MoveToEx(canvas.dc, 484, 8, nullptr);
    LineTo(canvas.dc, 493, 17);
    MoveToEx(canvas.dc, 484, 16, nullptr);
    LineTo(canvas.dc, 493, 7);
    std::set<std::pair<int, int>> expected;
    for (int i = 0; i <= 8; ++i) {
        expected.insert({484 + i, 8 + i});
        expected.insert({484 + i, 16 - i});
    }
    EXPECT_EQ(canvas.PaintedPixels(), expected);
    EXPECT_EQ(canvas.At(488, 12), 0xE7E7E7u);
    EXPECT_EQ(canvas.At(492, 16), 0xE7E7E7u);
    EXPECT_EQ(canvas.At(492, 8), 0xE7E7E7u);
}

TEST(Raster, TheButtonRoundRectLeavesOnePixelPerCorner) {
    Canvas canvas(500, 310);
    Tools tools(canvas.dc, 0x4140D9, 0x1015A5);
    RoundRect(canvas.dc, 200, 202, 300, 238, 5, 5);
    const COLORREF pen = 0x4140D9, brush = 0x1015A5;
    for (auto [x, y] : {std::pair{200, 202}, {299, 202}, {200, 237}, {299, 237}})
        EXPECT_FALSE(canvas.Painted(x, y)) << x << "," << y;
    // The outline: top and bottom rows from 201 to 298, sides from 203 to 236, on 299 and 237.
    for (int x = 201; x <= 298; ++x) {
        EXPECT_EQ(canvas.At(x, 202), pen) << x;
        EXPECT_EQ(canvas.At(x, 237), pen) << x;
    }
    for (int y = 203; y <= 236; ++y) {
        EXPECT_EQ(canvas.At(200, y), pen) << y;
        EXPECT_EQ(canvas.At(299, y), pen) << y;
        EXPECT_FALSE(canvas.Painted(300, y));
        EXPECT_FALSE(canvas.Painted(199, y));
    }
    EXPECT_FALSE(canvas.Painted(250, 238));
    EXPECT_FALSE(canvas.Painted(250, 201));
    // Inside, the brush, the corners' inner pixels included.
    for (auto [x, y] : {std::pair{201, 203}, {298, 203}, {201, 236}, {298, 236}, {250, 220}})
        EXPECT_EQ(canvas.At(x, y), brush) << x << "," << y;
    EXPECT_EQ(canvas.PaintedPixels().size(), 100u * 36u - 4u);
}

// The progress bar's painting at 434 x 15: the track, then the fill to its right edge with a
// square end unless full.
void PaintProgress(Canvas& canvas, int position) {
    HBRUSH white = CreateSolidBrush(0xFFFFFF);
    RECT client{0, 0, 434, 15};
    FillRect(canvas.dc, &client, white);
    HGDIOBJ oldBrush = SelectObject(canvas.dc, white);
    HPEN track = CreatePen(PS_SOLID, 1, 0xE2E2E2);
    HGDIOBJ oldPen = SelectObject(canvas.dc, track);
    RoundRect(canvas.dc, 0, 0, 434, 15, 12, 12);
    HPEN fillPen = CreatePen(PS_SOLID, 1, 0x7373FC);
    HBRUSH fillBrush = CreateSolidBrush(0x7373FC);
    RECT inner{3, 3, 431, 12};
    int right = static_cast<int>(inner.left + (inner.right - inner.left) * position / 100.0);
    SelectObject(canvas.dc, fillPen);
    SelectObject(canvas.dc, fillBrush);
    RoundRect(canvas.dc, inner.left, inner.top, right, inner.bottom, 5, 5);
    if (right < inner.right) {
        RECT end{right - 4, inner.top, right, inner.bottom};
        FillRect(canvas.dc, &end, fillBrush);
    }
    SelectObject(canvas.dc, oldPen);
    SelectObject(canvas.dc, oldBrush);
    DeleteObject(track);
    DeleteObject(fillPen);
    DeleteObject(fillBrush);
    DeleteObject(white);
}

TEST(Raster, TheProgressFillEndsAt7And127And431) {
    struct Row {
        int position, right;
    } rows[] = {{1, 7}, {29, 127}, {100, 431}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.position << "%");
        Canvas canvas(434, 15);
        PaintProgress(canvas, row.position);
        for (int y = 4; y <= 10; ++y) {
            EXPECT_EQ(canvas.At(row.right - 1, y), 0x7373FCu) << y;
            EXPECT_EQ(canvas.At(row.right, y), 0xFFFFFFu) << y;
        }
        EXPECT_EQ(canvas.At(3, 7), 0x7373FCu);
        if (row.position > 1) {  // at 1 % the square end covers the whole fill
            EXPECT_EQ(canvas.At(3, 3), 0xFFFFFFu) << "the fill's left end is round";
        }
        // The moving end is square; only a full bar is round at both ends.
        COLORREF corner = canvas.At(row.right - 1, 3);
        EXPECT_EQ(corner, row.position == 100 ? 0xFFFFFFu : 0x7373FCu);
        // The track: outline on 433 and 14, its 12 x 12 corners leave the very corners out.
        EXPECT_EQ(canvas.At(0, 7), 0xE2E2E2u);
        EXPECT_EQ(canvas.At(433, 7), 0xE2E2E2u);
        EXPECT_EQ(canvas.At(200, 0), 0xE2E2E2u);
        EXPECT_EQ(canvas.At(200, 14), 0xE2E2E2u);
        EXPECT_EQ(canvas.At(0, 0), 0xFFFFFFu);
        EXPECT_EQ(canvas.At(433, 14), 0xFFFFFFu);
        EXPECT_EQ(canvas.At(1, 1), 0xFFFFFFu);
    }
}

// Every painted pixel, as a set, for a RoundRect in a canvas with room around it.
struct Shape {
    Canvas canvas{72, 72};
    Shape(RECT box, int w, int h) {
        Tools tools(canvas.dc, 0x0000FF, 0x00FF00);
        RoundRect(canvas.dc, box.left, box.top, box.right, box.bottom, w, h);
    }
};

TEST(Raster, RoundRectCornersOfEverySizeKeepGdiRules) {
    const RECT boxes[] = {{4, 4, 28, 28}, {10, 6, 40, 23}, {2, 3, 62, 45}, {20, 20, 25, 60}};
    for (const RECT& box : boxes) {
        for (int w = 3; w <= 24; ++w) {
            for (int h = 3; h <= 24; ++h) {
                SCOPED_TRACE(testing::Message()
                             << "box " << box.left << "," << box.top << "," << box.right << ","
                             << box.bottom << " corner " << w << "x" << h);
                Shape shape(box, w, h);
                const Canvas& c = shape.canvas;
                int midX = (box.left + box.right) / 2, midY = (box.top + box.bottom) / 2;
                // The outline lies on right - 1 and bottom - 1; nothing at right or bottom.
                ASSERT_EQ(c.At(box.right - 1, midY), 0x0000FFu);
                ASSERT_EQ(c.At(midX, box.bottom - 1), 0x0000FFu);
                ASSERT_EQ(c.At(box.left, midY), 0x0000FFu);
                ASSERT_EQ(c.At(midX, box.top), 0x0000FFu);
                int painted = 0;
                for (int y = 0; y < 72; ++y) {
                    int first = -1, last = -1;
                    for (int x = 0; x < 72; ++x) {
                        if (!c.Painted(x, y))
                            continue;
                        ++painted;
                        ASSERT_TRUE(x >= box.left && x < box.right && y >= box.top &&
                                    y < box.bottom);
                        // Mirror images left to right and top to bottom.
                        ASSERT_EQ(c.At(x, y), c.At(box.left + box.right - 1 - x, y));
                        ASSERT_EQ(c.At(x, y), c.At(x, box.top + box.bottom - 1 - y));
                        if (first < 0)
                            first = x;
                        last = x;
                    }
                    if (first < 0)
                        continue;
                    // Each row is one run with the pen at both ends; the top and bottom rows
                    // are all pen.
                    ASSERT_EQ(last - first + 1, [&] {
                        int n = 0;
                        for (int x = first; x <= last; ++x)
                            n += c.Painted(x, y);
                        return n;
                    }());
                    ASSERT_EQ(c.At(first, y), 0x0000FFu);
                    ASSERT_EQ(c.At(last, y), 0x0000FFu);
                    if (y == box.top || y == box.bottom - 1) {
                        for (int x = first; x <= last; ++x)
                            ASSERT_EQ(c.At(x, y), 0x0000FFu);
                    }
                }
                ASSERT_LT(painted, (box.right - box.left) * (box.bottom - box.top));
                if (w == 5 && h == 5) {
                    ASSERT_EQ(painted, (box.right - box.left) * (box.bottom - box.top) - 4);
                }
            }
        }
    }
}

TEST(Raster, SmallOrClampedCornersAndEllipses) {
    // A corner of 2 pixels or less is a plain rectangle.
    Shape flat({4, 4, 20, 12}, 2, 9);
    EXPECT_EQ(flat.canvas.PaintedPixels().size(), 16u * 8u);
    // Corners larger than the box are clamped to it: the box's ellipse.
    Shape clamped({4, 4, 24, 16}, 100, 100);
    Canvas ellipse(72, 72);
    {
        Tools tools(ellipse.dc, 0x0000FF, 0x00FF00);
        Ellipse(ellipse.dc, 4, 4, 24, 16);
    }
    EXPECT_EQ(clamped.canvas.PaintedPixels(), ellipse.PaintedPixels());
    EXPECT_FALSE(ellipse.Painted(4, 4));
    EXPECT_TRUE(ellipse.Painted(4, 10));
    EXPECT_TRUE(ellipse.Painted(14, 15));
    EXPECT_FALSE(ellipse.Painted(14, 16));
}

TEST(Raster, RectanglePenOnTheEdgesBrushInside) {
    Canvas canvas(20, 20);
    {
        Tools tools(canvas.dc, 0x0000FF, 0x00FF00);
        Rectangle(canvas.dc, 2, 3, 8, 9);
    }
    EXPECT_EQ(canvas.At(2, 3), 0xFFu);
    EXPECT_EQ(canvas.At(7, 8), 0xFFu);
    EXPECT_EQ(canvas.At(3, 4), 0xFF00u);
    EXPECT_EQ(canvas.PaintedPixels().size(), 36u);
    // Without a pen the fill is one pixel smaller to the right and bottom.
    Canvas bare(20, 20);
    {
        Tools tools(bare.dc, 0, 0x00FF00, true);
        Rectangle(bare.dc, 2, 3, 8, 9);
    }
    EXPECT_EQ(bare.PaintedPixels().size(), 25u);
    EXPECT_TRUE(bare.Painted(2, 3));
    EXPECT_FALSE(bare.Painted(7, 8));
}

TEST(Raster, FrameRectPaintsOnePixelInside) {
    struct Row {
        RECT rect;
        size_t pixels;
    } rows[] = {
        {{2, 2, 6, 6}, 12}, {{5, 5, 6, 10}, 5}, {{5, 5, 10, 6}, 5}, {{5, 5, 6, 6}, 1},
        {{5, 5, 5, 10}, 0}, {{5, 5, 4, 10}, 0}, {{5, 5, 10, 5}, 0}, {{2, 2, 4, 4}, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.rect.left << "," << row.rect.top << ","
                                        << row.rect.right << "," << row.rect.bottom);
        Canvas canvas(16, 16);
        HBRUSH brush = CreateSolidBrush(0x464646);
        EXPECT_NE(FrameRect(canvas.dc, &row.rect, brush), 0);
        DeleteObject(brush);
        auto pixels = canvas.PaintedPixels();
        EXPECT_EQ(pixels.size(), row.pixels);
        for (auto [x, y] : pixels) {
            EXPECT_TRUE(x == row.rect.left || x == row.rect.right - 1 || y == row.rect.top ||
                        y == row.rect.bottom - 1);
        }
    }
    // FillRect keeps right and bottom out.
    Canvas canvas(16, 16);
    HBRUSH brush = CreateSolidBrush(0x2D42DA);
    RECT rect{1, 2, 4, 6};
    FillRect(canvas.dc, &rect, brush);
    RECT inverted{6, 6, 2, 2};
    FillRect(canvas.dc, &inverted, brush);
    DeleteObject(brush);
    EXPECT_EQ(canvas.PaintedPixels().size(), 12u);
    EXPECT_TRUE(canvas.Painted(3, 5));
    EXPECT_FALSE(canvas.Painted(4, 5));
    EXPECT_FALSE(canvas.Painted(3, 6));
}

// Draws every kind of shape across the clip's (or the surface's) edges.
void DrawAcross(HDC dc, RECT edge) {
    Tools tools(dc, 0x0000FF, 0x00FF00);
    int l = edge.left, t = edge.top, r = edge.right, b = edge.bottom;
    RECT fill{l - 3, t - 3, l + 4, t + 4};
    FillRect(dc, &fill, tools.brush);
    RoundRect(dc, r - 6, t - 5, r + 6, t + 7, 8, 8);
    Ellipse(dc, l - 5, b - 6, l + 7, b + 5);
    Rectangle(dc, r - 4, b - 4, r + 4, b + 4);
    MoveToEx(dc, l - 6, (t + b) / 2, nullptr);
    LineTo(dc, r + 6, (t + b) / 2 + 3);
    MoveToEx(dc, (l + r) / 2, t - 7, nullptr);
    LineTo(dc, (l + r) / 2 - 4, b + 7);
    RECT frame{l - 2, t + 8, r + 2, b - 8};
    FrameRect(dc, &frame, tools.brush);
}

TEST(Raster, ClippingKeepsEveryShapeInsideAtEveryEdge) {
    const RECT clip{20, 15, 44, 40};
    Canvas whole(64, 56);
    DrawAcross(whole.dc, clip);
    Canvas clipped(64, 56, {clip});
    DrawAcross(clipped.dc, clip);
    for (int y = 0; y < 56; ++y)
        for (int x = 0; x < 64; ++x) {
            bool inside = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
            ASSERT_EQ(clipped.surface.Row(y)[x], inside ? whole.surface.Row(y)[x] : kBlank)
                << x << "," << y;
        }
    // Two clip rectangles paint their union; shapes past the surface's edges stop at them.
    Canvas two(64, 56, {{0, 0, 10, 56}, {30, 0, 64, 56}, {-10, -10, 100, 0}});
    DrawAcross(two.dc, {0, 0, 64, 56});
    Canvas full(64, 56);
    DrawAcross(full.dc, {0, 0, 64, 56});
    for (int y = 0; y < 56; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(two.surface.Row(y)[x], x < 10 || x >= 30 ? full.surface.Row(y)[x] : kBlank);
}

TEST(Raster, BitBltCopiesOverlappingAreasWhole) {
    struct Row {
        int dx, dy;
    } rows[] = {{3, 2}, {-3, -2}, {4, -1}, {-2, 5}, {0, 1}, {1, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.dx << "," << row.dy);
        Canvas canvas(24, 24);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                canvas.surface.Row(y)[x] = static_cast<uint32_t>(y * 100 + x);
        Surface before = canvas.surface;
        EXPECT_TRUE(BitBlt(canvas.dc, 6 + row.dx, 6 + row.dy, 10, 10, canvas.dc, 6, 6, SRCCOPY));
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) {
                int sx = x - row.dx, sy = y - row.dy;
                bool copied = sx >= 6 && sx < 16 && sy >= 6 && sy < 16;
                ASSERT_EQ(canvas.surface.Row(y)[x], copied ? before.Row(sy)[sx] : before.Row(y)[x])
                    << x << "," << y;
            }
    }
}

TEST(Raster, BitBltBetweenFormatsAndPastTheSourceEdges) {
    // A 24-bit bottom-up DIB section to a window surface, partly outside the source.
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 5, 4, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, dib);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            SetPixel(memory, x, y, RGB(x * 10, y * 10, 7));
    Canvas canvas(12, 12);
    EXPECT_TRUE(BitBlt(canvas.dc, 2, 2, 10, 10, memory, -1, 0, SRCCOPY));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            int sx = x - 2 - 1, sy = y - 2;
            if (sx >= 0 && sx < 5 && sy >= 0 && sy < 4) {
                ASSERT_EQ(canvas.At(x, y), RGB(sx * 10, sy * 10, 7)) << x << "," << y;
            } else {
                ASSERT_FALSE(canvas.Painted(x, y)) << x << "," << y;
            }
        }
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(dib);
}

}  // namespace
