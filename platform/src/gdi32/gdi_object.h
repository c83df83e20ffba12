// GDI objects behind HGDIOBJ handles: one table for pens, brushes, fonts and bitmaps. Drawing
// code finds an object's description through its class.
#pragma once

#include <windows.h>

#include <memory>

namespace winlayer {

class GdiObject {
  public:
    virtual ~GdiObject() = default;
    // OBJ_PEN, OBJ_BRUSH, OBJ_FONT or OBJ_BITMAP.
    virtual DWORD Type() const = 0;
    // The LOG* structure of GetObjectW: its size when `buffer` is null, else the bytes copied
    // (at most `size`).
    virtual int Describe(int size, void* buffer) const = 0;
};

class BrushObject : public GdiObject {
  public:
    explicit BrushObject(const LOGBRUSH& brush) : brush_(brush) {}
    DWORD Type() const override { return OBJ_BRUSH; }
    int Describe(int size, void* buffer) const override;
    const LOGBRUSH& brush() const { return brush_; }

  private:
    LOGBRUSH brush_;
};

class FontObject : public GdiObject {
  public:
    explicit FontObject(const LOGFONTW& font) : font_(font) {}
    DWORD Type() const override { return OBJ_FONT; }
    int Describe(int size, void* buffer) const override;
    const LOGFONTW& font() const { return font_; }

  private:
    LOGFONTW font_;
};

// Registers the object and returns its new handle; DeleteObject removes it.
HGDIOBJ NewGdiObject(std::shared_ptr<GdiObject> object);
// The object behind a handle, or null.
std::shared_ptr<GdiObject> LookupGdiObject(HGDIOBJ handle);

template <class T>
std::shared_ptr<T> GdiObjectFromHandle(HGDIOBJ handle) {
    return std::dynamic_pointer_cast<T>(LookupGdiObject(handle));
}

}  // namespace winlayer
