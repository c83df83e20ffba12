// The shape rasteriser: GDI's integer rules drawn as spans into 32- or 24-bit pixels through a
// list of clip rectangles. Coordinates are the target's pixels (a DC's origin already applied);
// colours are pixels 0x00RRGGBB.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace winlayer::raster {

// Pixels in memory: row 0 is the top row; `stride` is the byte step to the row below (negative
// for a bottom-up DIB). bitsPerPixel is 32 (B, G, R, unused) or 24 (B, G, R).
struct Target {
    uint8_t* top = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 32;

    uint8_t* Row(int y) const { return top + stride * y; }
    uint32_t Get(int x, int y) const;
    void Put(int x, int y, uint32_t pixel) const;
};

// Where drawing may go: the target and the clip rectangles (within the target's bounds).
struct Canvas {
    Target target;
    std::span<const RECT> clip;
};

// What a shape paints: the outline (pen) and the inside (brush), each optional.
struct Paint {
    bool outline = false;
    uint32_t outlinePixel = 0;
    bool fill = false;
    uint32_t fillPixel = 0;
};

// COLORREF 0x00BBGGRR as a pixel 0x00RRGGBB, and back.
constexpr uint32_t PixelFromColor(COLORREF color) {
    return ((color & 0xFFu) << 16) | (color & 0xFF00u) | ((color >> 16) & 0xFFu);
}
constexpr COLORREF ColorFromPixel(uint32_t pixel) {
    return ((pixel & 0xFFu) << 16) | (pixel & 0xFF00u) | ((pixel >> 16) & 0xFFu);
}

// The horizontal span [x0, x1) of row y.
void Span(const Canvas& canvas, int y, int x0, int x1, uint32_t pixel);
void Dot(const Canvas& canvas, int x, int y, uint32_t pixel);

// [left, right) x [top, bottom); an empty or inverted rectangle paints nothing.
void FillRect(const Canvas& canvas, const RECT& rect, uint32_t pixel);
// One pixel inside each edge of the rectangle; nothing when its width or height is <= 0.
void FrameRect(const Canvas& canvas, const RECT& rect, uint32_t pixel);
// A line from `from` to `to` without its last pixel. Ties (the ideal line passing exactly
// between two pixels) go to the smaller minor coordinate whichever way the line runs, so a line
// paints the same pixels in both directions apart from its ends.
void Line(const Canvas& canvas, POINT from, POINT to, uint32_t pixel);
// The pen on the rectangle's edges left..right-1 x top..bottom-1, the brush inside.
void Rectangle(const Canvas& canvas, RECT rect, const Paint& paint);
// A rectangle with corners of the w x h ellipse: the brush fills the region row by row, then the
// pen draws the outline through the corner ellipses' pixels (outline on right-1 and bottom-1).
// Corners are clamped to the box; a corner of 2 pixels or less gives a plain Rectangle.
void RoundRect(const Canvas& canvas, RECT rect, int w, int h, const Paint& paint);
// Copies width x height pixels from `source` at (sx, sy) to (x, y), both clipped; the source may
// be the canvas's own target, overlapping or not.
void Blit(const Canvas& canvas, int x, int y, int width, int height, const Target& source, int sx,
          int sy);

}  // namespace winlayer::raster
