// The shape rasteriser (see raster.h). Everything ends in spans and single pixels clipped to the
// canvas's rectangles; the shapes follow GDI's integer rules.
#include "gdi32/raster.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace winlayer::raster {

uint32_t Target::Get(int x, int y) const {
    const uint8_t* p = Row(y) + x * (bitsPerPixel / 8);
    if (bitsPerPixel == 32) {
        uint32_t pixel;
        std::memcpy(&pixel, p, sizeof pixel);
        return pixel & 0x00FFFFFFu;
    }
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16;
}

void Target::Put(int x, int y, uint32_t pixel) const {
    uint8_t* p = Row(y) + x * (bitsPerPixel / 8);
    if (bitsPerPixel == 32) {
        std::memcpy(p, &pixel, sizeof pixel);
        return;
    }
    p[0] = static_cast<uint8_t>(pixel);
    p[1] = static_cast<uint8_t>(pixel >> 8);
    p[2] = static_cast<uint8_t>(pixel >> 16);
}

namespace {

// Fills [x0, x1) of row y, already clipped.
void FillRun(const Target& target, int y, int x0, int x1, uint32_t pixel) {
    if (target.bitsPerPixel == 32) {
        // Rows of 32-bit targets are 32-bit words (Surface pixels, BitmapObject storage).
        uint32_t* row = reinterpret_cast<uint32_t*>(target.Row(y));
        std::fill(row + x0, row + x1, pixel);
        return;
    }
    for (int x = x0; x < x1; ++x)
        target.Put(x, y, pixel);
}

}  // namespace

void Span(const Canvas& canvas, int y, int x0, int x1, uint32_t pixel) {
    for (const RECT& clip : canvas.clip) {
        if (y < clip.top || y >= clip.bottom)
            continue;
        int a = std::max<int>(x0, clip.left);
        int b = std::min<int>(x1, clip.right);
        if (a < b)
            FillRun(canvas.target, y, a, b, pixel);
    }
}

void Dot(const Canvas& canvas, int x, int y, uint32_t pixel) {
    for (const RECT& clip : canvas.clip) {
        if (x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom) {
            canvas.target.Put(x, y, pixel);
            return;
        }
    }
}

void FillRect(const Canvas& canvas, const RECT& rect, uint32_t pixel) {
    for (const RECT& clip : canvas.clip) {
        int left = std::max(rect.left, clip.left);
        int right = std::min(rect.right, clip.right);
        int top = std::max(rect.top, clip.top);
        int bottom = std::min(rect.bottom, clip.bottom);
        if (left >= right)
            continue;
        for (int y = top; y < bottom; ++y)
            FillRun(canvas.target, y, left, right, pixel);
    }
}

void FrameRect(const Canvas& canvas, const RECT& rect, uint32_t pixel) {
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    FillRect(canvas, {rect.left, rect.top, rect.right, rect.top + 1}, pixel);
    FillRect(canvas, {rect.left, rect.bottom - 1, rect.right, rect.bottom}, pixel);
    FillRect(canvas, {rect.left, rect.top + 1, rect.left + 1, rect.bottom - 1}, pixel);
    FillRect(canvas, {rect.right - 1, rect.top + 1, rect.right, rect.bottom - 1}, pixel);
}

void Line(const Canvas& canvas, POINT from, POINT to, uint32_t pixel) {
    int dx = to.x - from.x;
    int dy = to.y - from.y;
    if (dy == 0) {
        if (dx > 0)
            Span(canvas, from.y, from.x, to.x, pixel);
        else if (dx < 0)
            Span(canvas, from.y, to.x + 1, from.x + 1, pixel);
        return;
    }
    int ax = std::abs(dx), ay = std::abs(dy);
    int sx = dx > 0 ? 1 : -1, sy = dy > 0 ? 1 : -1;
    // Major steps i = 0 .. n-1 (the end pixel is left out); the minor offset is the ideal one
    // rounded to the nearest pixel, ties toward the smaller coordinate.
    bool xMajor = ax >= ay;
    int major = xMajor ? ax : ay;
    int minor = xMajor ? ay : ax;
    int minorSign = xMajor ? sy : sx;
    int q = 0, r = 0;  // minor * i = q * major + r
    for (int i = 0; i < major; ++i) {
        int offset = q;
        if (2 * r > major || (2 * r == major && minorSign < 0))
            ++offset;
        if (xMajor)
            Dot(canvas, from.x + sx * i, from.y + sy * offset, pixel);
        else
            Dot(canvas, from.x + sx * offset, from.y + sy * i, pixel);
        r += minor;
        if (r >= major) {
            r -= major;
            ++q;
        }
    }
}

void Rectangle(const Canvas& canvas, RECT rect, const Paint& paint) {
    if (rect.left > rect.right)
        std::swap(rect.left, rect.right);
    if (rect.top > rect.bottom)
        std::swap(rect.top, rect.bottom);
    if (!paint.outline) {
        // Without a pen the shape is one pixel smaller to the right and bottom, as in Windows.
        if (paint.fill)
            FillRect(canvas, {rect.left, rect.top, rect.right - 1, rect.bottom - 1},
                     paint.fillPixel);
        return;
    }
    if (paint.fill)
        FillRect(canvas, {rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1},
                 paint.fillPixel);
    FrameRect(canvas, rect, paint.outlinePixel);
}

namespace {

// The top-left quarter of the w x h ellipse inscribed in [0, w-1] x [0, h-1] (Zingl's integer
// ellipse algorithm): for each row y <= (h-1)/2, the run [lo, hi] of its pixels with
// x <= (w-1)/2.
struct Quarter {
    std::vector<int> lo, hi;
};

Quarter EllipseQuarter(int w, int h) {
    int rows = (h - 1) / 2 + 1;
    int lastColumn = (w - 1) / 2;
    Quarter quarter{std::vector<int>(rows, lastColumn + 1), std::vector<int>(rows, -1)};
    auto plot = [&](long x, long y) {
        if (x < 0 || x > lastColumn || y < 0 || y >= rows)
            return;
        int row = static_cast<int>(y);
        quarter.lo[row] = std::min(quarter.lo[row], static_cast<int>(x));
        quarter.hi[row] = std::max(quarter.hi[row], static_cast<int>(x));
    };
    long a = w - 1, b = h - 1, b1 = b & 1;
    long dx = 4 * (1 - a) * b * b, dy = 4 * (b1 + 1) * a * a;
    long err = dx + dy + b1 * a * a;
    long x0 = 0, x1 = a;
    long y0 = (b + 1) / 2, y1 = y0 - b1;
    long a8 = 8 * a * a, b8 = 8 * b * b;
    do {
        plot(x0, y1);  // the upper left quarter; the others mirror it
        plot(x1, y1);
        plot(x0, y0);
        long e2 = 2 * err;
        if (e2 <= dy) {
            ++y0;
            --y1;
            err += dy += a8;
        }
        if (e2 >= dx || 2 * err > dy) {
            ++x0;
            --x1;
            err += dx += b8;
        }
    } while (x0 <= x1);
    while (y0 - y1 < b) {  // the tips of very flat ellipses
        plot(x0 - 1, y0++);
        plot(x0 - 1, y1--);
    }
    return quarter;
}

}  // namespace

void RoundRect(const Canvas& canvas, RECT rect, int w, int h, const Paint& paint) {
    if (rect.left > rect.right)
        std::swap(rect.left, rect.right);
    if (rect.top > rect.bottom)
        std::swap(rect.top, rect.bottom);
    if (!paint.outline) {
        --rect.right;
        --rect.bottom;
    }
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    w = std::min(std::abs(w), width);
    h = std::min(std::abs(h), height);
    if (w <= 2 || h <= 2) {
        Paint plain = paint;
        if (!paint.outline) {  // already made one pixel smaller
            ++rect.right;
            ++rect.bottom;
        }
        Rectangle(canvas, rect, plain);
        return;
    }
    Quarter quarter = EllipseQuarter(w, h);
    int cornerRows = static_cast<int>(quarter.lo.size());
    int l = rect.left, r = rect.right - 1;  // outline columns
    for (int Y = 0; Y < height; ++Y) {
        int y = rect.top + Y;
        int row = Y < cornerRows ? Y : (height - 1 - Y < cornerRows ? height - 1 - Y : -1);
        if (row < 0) {  // between the corners: straight sides
            if (paint.fill)
                Span(canvas, y, l, r + 1, paint.fillPixel);
            if (paint.outline) {
                Dot(canvas, l, y, paint.outlinePixel);
                Dot(canvas, r, y, paint.outlinePixel);
            }
            continue;
        }
        int lo = quarter.lo[row], hi = quarter.hi[row];
        if (paint.fill)
            Span(canvas, y, l + lo, r - lo + 1, paint.fillPixel);
        if (!paint.outline)
            continue;
        if (row == 0) {  // the top or bottom edge joins the two corners
            Span(canvas, y, l + lo, r - lo + 1, paint.outlinePixel);
        } else {
            Span(canvas, y, l + lo, l + hi + 1, paint.outlinePixel);
            Span(canvas, y, r - hi, r - lo + 1, paint.outlinePixel);
        }
    }
}

void Blit(const Canvas& canvas, int x, int y, int width, int height, const Target& source, int sx,
          int sy) {
    // Keep to the source's pixels.
    int i0 = std::max(0, -sx), j0 = std::max(0, -sy);
    int i1 = std::min(width, source.width - sx), j1 = std::min(height, source.height - sy);
    if (i0 >= i1 || j0 >= j1)
        return;
    // A copy within one target reads from a snapshot, so overlapping areas come out whole.
    std::vector<uint32_t> snapshot;
    const Target* from = &source;
    Target copy;
    if (source.top == canvas.target.top) {
        int w = i1 - i0, h = j1 - j0;
        snapshot.resize(static_cast<size_t>(w) * h);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                snapshot[static_cast<size_t>(j) * w + i] = source.Get(sx + i0 + i, sy + j0 + j);
        copy = Target{reinterpret_cast<uint8_t*>(snapshot.data()), w * 4, w, h, 32};
        from = &copy;
        sx = -i0;
        sy = -j0;
    }
    for (const RECT& clip : canvas.clip) {
        int left = std::max<int>(x + i0, clip.left), right = std::min<int>(x + i1, clip.right);
        int top = std::max<int>(y + j0, clip.top), bottom = std::min<int>(y + j1, clip.bottom);
        if (left >= right)
            continue;
        for (int ty = top; ty < bottom; ++ty) {
            int fy = sy + ty - y;
            int fx = sx + left - x;
            if (from->bitsPerPixel == 32 && canvas.target.bitsPerPixel == 32) {
                std::memcpy(canvas.target.Row(ty) + left * 4, from->Row(fy) + fx * 4,
                            static_cast<size_t>(right - left) * 4);
                continue;
            }
            for (int tx = left; tx < right; ++tx)
                canvas.target.Put(tx, ty, from->Get(fx + tx - left, fy));
        }
    }
}

}  // namespace winlayer::raster
