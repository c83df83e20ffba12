// Device contexts: what a DC holds (its target, origin, clip, selected objects, current point,
// colours and background mode) and the two ways USER32 makes one over a window's surface.
#pragma once

#include "common/surface.h"
#include "gdi32/gdi_object.h"
#include "gdi32/raster.h"

#include <windows.h>

#include <memory>
#include <vector>

namespace winlayer {

// A DC drawing into a window's surface at `origin` (the client area's offset in the top-level
// surface), clipped to `clip` (surface coordinates; intersected with the surface). The surface
// must outlive the DC. Freed with ReleaseSurfaceDC (or DeleteDC).
HDC CreateSurfaceDC(Surface* surface, POINT origin, std::vector<RECT> clip);
// Frees a DC of CreateSurfaceDC; the objects selected into it are released, not deleted.
void ReleaseSurfaceDC(HDC dc);

class DcObject : public GdiObject {
  public:
    DcObject();
    ~DcObject() override;
    DWORD Type() const override { return surface ? OBJ_DC : OBJ_MEMDC; }
    int Describe(int, void*) const override { return 0; }

    // Where drawing goes: the window surface, or the memory DC's bitmap.
    raster::Target Target() const;
    // The canvas of the clip rectangles (DC coordinates are turned into the target's by origin).
    raster::Canvas Canvas() const { return {Target(), clip}; }
    // A colour as this DC's pixels hold it: black or white for a monochrome bitmap.
    uint32_t Pixel(COLORREF color) const;

    // Replaces the selected object of the object's kind; returns the previous handle.
    HGDIOBJ Select(HGDIOBJ handle, std::shared_ptr<GdiObject> object);

    Surface* surface = nullptr;  // window DCs
    POINT origin{};
    std::vector<RECT> clip;  // target coordinates, inside the target

    HGDIOBJ penHandle = nullptr, brushHandle = nullptr, fontHandle = nullptr,
            bitmapHandle = nullptr;
    std::shared_ptr<PenObject> pen;
    std::shared_ptr<BrushObject> brush;
    std::shared_ptr<FontObject> font;
    std::shared_ptr<BitmapObject> bitmap;  // memory DCs

    POINT current{};
    COLORREF textColor = 0x000000;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;

  private:
    void Hold(GdiObject* object);
    void Drop(GdiObject* object);
};

// The DC behind a handle, or null.
std::shared_ptr<DcObject> DcFromHandle(HDC dc);

// The brush of FillRect and friends: a brush handle, or a system colour index + 1 as Windows
// allows. False when the handle is neither.
bool BrushColor(HBRUSH brush, COLORREF* color, bool* paints);

}  // namespace winlayer
