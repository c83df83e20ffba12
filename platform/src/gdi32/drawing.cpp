// The drawing calls: DC coordinates and colours turned into the target's pixels, then the
// rasteriser.
#include "gdi32/dc.h"
#include "gdi32/raster.h"

namespace winlayer {
namespace {

// Default colours of the system colour indices that FillRect accepts as (HBRUSH)(index + 1).
COLORREF SystemColor(int index) {
    switch (index) {
        case 5:  // COLOR_WINDOW
            return 0xFFFFFF;
        case 6:  // COLOR_WINDOWFRAME
            return 0x646464;
        case 8:  // COLOR_WINDOWTEXT
        case 7:  // COLOR_MENUTEXT
            return 0x000000;
        case 15:  // COLOR_BTNFACE
            return 0xF0F0F0;
        case 16:  // COLOR_BTNSHADOW
            return 0xA0A0A0;
        case 1:  // COLOR_BACKGROUND
            return 0x000000;
        default:
            return 0xFFFFFF;
    }
}

RECT Offset(const RECT& rect, POINT by) {
    return {rect.left + by.x, rect.top + by.y, rect.right + by.x, rect.bottom + by.y};
}

raster::Paint ShapePaint(const DcObject& dc) {
    raster::Paint paint;
    if (dc.pen && dc.pen->Paints()) {
        paint.outline = true;
        paint.outlinePixel = dc.Pixel(dc.pen->pen().lopnColor);
    }
    if (dc.brush && dc.brush->Paints()) {
        paint.fill = true;
        paint.fillPixel = dc.Pixel(dc.brush->brush().lbColor);
    }
    return paint;
}

}  // namespace

bool BrushColor(HBRUSH brush, COLORREF* color, bool* paints) {
    auto value = reinterpret_cast<ULONG_PTR>(brush);
    if (value >= 1 && value <= 31) {
        *color = SystemColor(static_cast<int>(value) - 1);
        *paints = true;
        return true;
    }
    std::shared_ptr<BrushObject> found = GdiObjectFromHandle<BrushObject>(brush);
    if (!found)
        return false;
    *color = found->brush().lbColor;
    *paints = found->Paints();
    return true;
}

}  // namespace winlayer

using namespace winlayer;

namespace {

// FillRect and FrameRect: the rectangle in DC coordinates, the given brush.
int BrushRect(HDC dc, const RECT* rect, HBRUSH brush, bool frame) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    COLORREF color = 0;
    bool paints = false;
    if (!found || rect == nullptr || !BrushColor(brush, &color, &paints)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!paints)
        return 1;
    RECT at = Offset(*rect, found->origin);
    if (frame)
        raster::FrameRect(found->Canvas(), at, found->Pixel(color));
    else
        raster::FillRect(found->Canvas(), at, found->Pixel(color));
    return 1;
}

}  // namespace

int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    return BrushRect(dc, rect, brush, false);
}

int WINAPI FrameRect(HDC dc, const RECT* rect, HBRUSH brush) {
    return BrushRect(dc, rect, brush, true);
}

BOOL WINAPI LineTo(HDC dc, int x, int y) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    if (!found) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    POINT from = found->current;
    found->current = {x, y};
    if (found->pen && found->pen->Paints())
        raster::Line(found->Canvas(), {from.x + found->origin.x, from.y + found->origin.y},
                     {x + found->origin.x, y + found->origin.y},
                     found->Pixel(found->pen->pen().lopnColor));
    return TRUE;
}

BOOL WINAPI Rectangle(HDC dc, int left, int top, int right, int bottom) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    if (!found) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    raster::Rectangle(found->Canvas(), Offset({left, top, right, bottom}, found->origin),
                      ShapePaint(*found));
    return TRUE;
}

BOOL WINAPI RoundRect(HDC dc, int left, int top, int right, int bottom, int width, int height) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    if (!found) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    raster::RoundRect(found->Canvas(), Offset({left, top, right, bottom}, found->origin), width,
                      height, ShapePaint(*found));
    return TRUE;
}

BOOL WINAPI Ellipse(HDC dc, int left, int top, int right, int bottom) {
    int width = right > left ? right - left : left - right;
    int height = bottom > top ? bottom - top : top - bottom;
    return RoundRect(dc, left, top, right, bottom, width, height);
}

BOOL WINAPI PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    if (!found) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    uint32_t pixel;
    if (rop == BLACKNESS)
        pixel = 0;
    else if (rop == WHITENESS)
        pixel = found->Pixel(0xFFFFFF);
    else if (rop == PATCOPY && found->brush)
        pixel = found->Pixel(found->brush->brush().lbColor);
    else
        return FALSE;
    if (rop == PATCOPY && !found->brush->Paints())
        return TRUE;
    RECT rect{x, y, x + width, y + height};
    if (width < 0)
        std::swap(rect.left, rect.right);
    if (height < 0)
        std::swap(rect.top, rect.bottom);
    raster::FillRect(found->Canvas(), Offset(rect, found->origin), pixel);
    return TRUE;
}

BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX,
                   int sourceY, DWORD rop) {
    if (rop != SRCCOPY)
        return PatBlt(dest, x, y, width, height, rop);
    std::shared_ptr<DcObject> to = DcFromHandle(dest);
    std::shared_ptr<DcObject> from = DcFromHandle(source);
    if (!to || !from) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (width <= 0 || height <= 0)
        return TRUE;
    raster::Blit(to->Canvas(), x + to->origin.x, y + to->origin.y, width, height, from->Target(),
                 sourceX + from->origin.x, sourceY + from->origin.y);
    return TRUE;
}

COLORREF WINAPI GetPixel(HDC dc, int x, int y) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    if (!found)
        return CLR_INVALID;
    raster::Target target = found->Target();
    x += found->origin.x;
    y += found->origin.y;
    for (const RECT& clip : found->clip)
        if (x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom)
            return raster::ColorFromPixel(target.Get(x, y));
    return CLR_INVALID;
}

COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF color) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    if (!found)
        return CLR_INVALID;
    raster::Dot(found->Canvas(), x + found->origin.x, y + found->origin.y, found->Pixel(color));
    return color & 0x00FFFFFF;
}
