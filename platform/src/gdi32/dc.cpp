// Device contexts: window DCs over surfaces, memory DCs over bitmaps, the objects selected into
// them and their drawing state.
#include "gdi32/dc.h"

#include <algorithm>
#include <utility>

namespace winlayer {

DcObject::DcObject() {
    Select(GetStockObject(BLACK_PEN), LookupGdiObject(GetStockObject(BLACK_PEN)));
    Select(GetStockObject(WHITE_BRUSH), LookupGdiObject(GetStockObject(WHITE_BRUSH)));
    Select(GetStockObject(SYSTEM_FONT), LookupGdiObject(GetStockObject(SYSTEM_FONT)));
}

DcObject::~DcObject() {
    Drop(pen.get());
    Drop(brush.get());
    Drop(font.get());
    Drop(bitmap.get());
}

void DcObject::Hold(GdiObject* object) {
    if (object)
        ++object->selections;
}

void DcObject::Drop(GdiObject* object) {
    if (object)
        --object->selections;
}

raster::Target DcObject::Target() const {
    if (surface)
        return raster::Target{reinterpret_cast<uint8_t*>(surface->pixels.data()),
                              static_cast<std::ptrdiff_t>(surface->width) * 4, surface->width,
                              surface->height, 32};
    return bitmap ? bitmap->Target() : raster::Target{};
}

uint32_t DcObject::Pixel(COLORREF color) const {
    uint32_t pixel = raster::PixelFromColor(color);
    if (bitmap && bitmap->monochrome()) {
        // The nearer of the two colours of a monochrome bitmap.
        int luma = 299 * GetRValue(color) + 587 * GetGValue(color) + 114 * GetBValue(color);
        return luma >= 128 * 1000 ? 0xFFFFFF : 0x000000;
    }
    return pixel;
}

HGDIOBJ DcObject::Select(HGDIOBJ handle, std::shared_ptr<GdiObject> object) {
    HGDIOBJ previous = nullptr;
    switch (object ? object->Type() : 0) {
        case OBJ_PEN:
            previous = penHandle;
            Drop(pen.get());
            pen = std::static_pointer_cast<PenObject>(object);
            penHandle = handle;
            Hold(pen.get());
            return previous;
        case OBJ_BRUSH:
            previous = brushHandle;
            Drop(brush.get());
            brush = std::static_pointer_cast<BrushObject>(object);
            brushHandle = handle;
            Hold(brush.get());
            return previous;
        case OBJ_FONT:
            previous = fontHandle;
            Drop(font.get());
            font = std::static_pointer_cast<FontObject>(object);
            fontHandle = handle;
            Hold(font.get());
            return previous;
        case OBJ_BITMAP: {
            // Only memory DCs take bitmaps, and a bitmap sits in one DC at a time (the 1 x 1 stock
            // bitmap excepted).
            if (surface)
                return nullptr;
            auto selected = std::static_pointer_cast<BitmapObject>(object);
            if (selected == bitmap)
                return handle;
            if (selected->selections > 0 && !selected->stock)
                return nullptr;
            previous = bitmapHandle;
            Drop(bitmap.get());
            bitmap = std::move(selected);
            bitmapHandle = handle;
            Hold(bitmap.get());
            clip.assign(1, RECT{0, 0, bitmap->width(), bitmap->height()});
            return previous;
        }
        default:
            return nullptr;
    }
}

std::shared_ptr<DcObject> DcFromHandle(HDC dc) {
    return GdiObjectFromHandle<DcObject>(reinterpret_cast<HGDIOBJ>(dc));
}

HDC CreateSurfaceDC(Surface* surface, POINT origin, std::vector<RECT> clip) {
    auto dc = std::make_shared<DcObject>();
    dc->surface = surface;
    dc->origin = origin;
    for (RECT& rect : clip) {
        rect.left = std::max<LONG>(rect.left, 0);
        rect.top = std::max<LONG>(rect.top, 0);
        rect.right = std::min<LONG>(rect.right, surface ? surface->width : 0);
        rect.bottom = std::min<LONG>(rect.bottom, surface ? surface->height : 0);
    }
    std::erase_if(clip, [](const RECT& r) { return r.left >= r.right || r.top >= r.bottom; });
    dc->clip = std::move(clip);
    return reinterpret_cast<HDC>(NewGdiObject(std::move(dc)));
}

void ReleaseSurfaceDC(HDC dc) {
    if (DcFromHandle(dc))
        RemoveGdiObject(reinterpret_cast<HGDIOBJ>(dc));
}

}  // namespace winlayer

using namespace winlayer;

HDC WINAPI CreateCompatibleDC(HDC dc) {
    if (dc != nullptr && !DcFromHandle(dc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto memory = std::make_shared<DcObject>();
    memory->Select(DefaultBitmap(), LookupGdiObject(DefaultBitmap()));
    return reinterpret_cast<HDC>(NewGdiObject(std::move(memory)));
}

BOOL WINAPI DeleteDC(HDC dc) {
    if (!DcFromHandle(dc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return RemoveGdiObject(reinterpret_cast<HGDIOBJ>(dc)) ? TRUE : FALSE;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    std::shared_ptr<DcObject> target = DcFromHandle(dc);
    std::shared_ptr<GdiObject> selected = LookupGdiObject(object);
    if (!target || !selected) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return target->Select(object, std::move(selected));
}

HGDIOBJ WINAPI GetCurrentObject(HDC dc, UINT type) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    if (!found)
        return nullptr;
    switch (type) {
        case OBJ_PEN:
            return found->penHandle;
        case OBJ_BRUSH:
            return found->brushHandle;
        case OBJ_FONT:
            return found->fontHandle;
        case OBJ_BITMAP:
            return found->bitmapHandle;
        default:
            return nullptr;
    }
}

int WINAPI SetBkMode(HDC dc, int mode) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    if (!found || (mode != TRANSPARENT && mode != OPAQUE)) {
        SetLastError(found ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    return std::exchange(found->bkMode, mode);
}

int WINAPI GetBkMode(HDC dc) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    return found ? found->bkMode : 0;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    return found ? std::exchange(found->textColor, color & 0x00FFFFFF) : CLR_INVALID;
}

COLORREF WINAPI GetTextColor(HDC dc) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    return found ? found->textColor : CLR_INVALID;
}

COLORREF WINAPI SetBkColor(HDC dc, COLORREF color) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    return found ? std::exchange(found->bkColor, color & 0x00FFFFFF) : CLR_INVALID;
}

COLORREF WINAPI GetBkColor(HDC dc) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    return found ? found->bkColor : CLR_INVALID;
}

BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT previous) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    if (!found) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (previous)
        *previous = found->current;
    found->current = {x, y};
    return TRUE;
}

// Drawing is never batched: every call has reached the pixels when it returns.
BOOL WINAPI GdiFlush() {
    return TRUE;
}
