// GDI objects behind HGDIOBJ handles: one table for pens, brushes, fonts, bitmaps and device
// contexts. Drawing code finds an object's description through its class.
#pragma once

#include "gdi32/raster.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

namespace winlayer {

class GdiObject {
  public:
    virtual ~GdiObject() = default;
    // OBJ_PEN, OBJ_BRUSH, OBJ_FONT, OBJ_BITMAP, OBJ_DC or OBJ_MEMDC.
    virtual DWORD Type() const = 0;
    // The structure of GetObjectW: its size when `buffer` is null, else the bytes copied (at most
    // `size`).
    virtual int Describe(int size, void* buffer) const = 0;

    // Stock objects live for the process: DeleteObject leaves them alone.
    bool stock = false;
    // Device contexts holding the object; DeleteObject refuses it while any does.
    std::atomic<int> selections{0};
};

class BrushObject : public GdiObject {
  public:
    explicit BrushObject(const LOGBRUSH& brush) : brush_(brush) {}
    DWORD Type() const override { return OBJ_BRUSH; }
    int Describe(int size, void* buffer) const override;
    const LOGBRUSH& brush() const { return brush_; }
    bool Paints() const { return brush_.lbStyle != BS_NULL; }

  private:
    LOGBRUSH brush_;
};

class PenObject : public GdiObject {
  public:
    explicit PenObject(const LOGPEN& pen) : pen_(pen) {}
    DWORD Type() const override { return OBJ_PEN; }
    int Describe(int size, void* buffer) const override;
    const LOGPEN& pen() const { return pen_; }
    bool Paints() const { return pen_.lopnStyle != PS_NULL; }

  private:
    LOGPEN pen_;
};

class RealizedFont;

class FontObject : public GdiObject {
  public:
    explicit FontObject(const LOGFONTW& font) : font_(font) {}
    DWORD Type() const override { return OBJ_FONT; }
    int Describe(int size, void* buffer) const override;
    const LOGFONTW& font() const { return font_; }
    // The font as the text code draws it, realised on first use; null when no face
    // can be found.
    std::shared_ptr<RealizedFont> Realized();

  private:
    LOGFONTW font_;
    std::shared_ptr<RealizedFont> realized_;
    bool tried_ = false;
};

// A bitmap's pixels. Device-dependent bitmaps are 32 bits a pixel, rows top-down; monochrome ones
// keep 32-bit black and white pixels but report 1 bit. DIB sections keep the caller's layout.
class BitmapObject : public GdiObject {
  public:
    BitmapObject(int width, int height, int bitsPerPixel, bool dib, bool topDown);
    ~BitmapObject() override;
    BitmapObject(const BitmapObject&) = delete;
    BitmapObject& operator=(const BitmapObject&) = delete;
    DWORD Type() const override { return OBJ_BITMAP; }
    int Describe(int size, void* buffer) const override;

    int width() const { return width_; }
    int height() const { return height_; }
    int bitsPerPixel() const { return bitsPerPixel_; }
    bool monochrome() const { return bitsPerPixel_ == 1; }
    void* bits() { return bits_.data(); }
    raster::Target Target();

    BITMAPINFOHEADER header{};  // of a DIB section

  private:
    int width_;
    int height_;
    int bitsPerPixel_;
    bool dib_;
    bool topDown_;
    int stride_;
    std::vector<uint32_t> bits_;  // words, so 32-bit rows can be written as such
};

// Registers the object and returns its new handle; DeleteObject removes it.
HGDIOBJ NewGdiObject(std::shared_ptr<GdiObject> object);
// The object behind a handle, or null.
std::shared_ptr<GdiObject> LookupGdiObject(HGDIOBJ handle);
// Removes a device context from the table (DeleteDC and ReleaseSurfaceDC).
bool RemoveGdiObject(HGDIOBJ handle);

template <class T>
std::shared_ptr<T> GdiObjectFromHandle(HGDIOBJ handle) {
    return std::dynamic_pointer_cast<T>(LookupGdiObject(handle));
}

// The 1 x 1 monochrome bitmap that a fresh memory DC holds (Windows' DEFAULT_BITMAP).
HGDIOBJ DefaultBitmap();

}  // namespace winlayer
