// PNG pictures of bitmaps, for tests and for people to look at.
#include "gdi32/gdi_object.h"

#include <winlayer/gdi.h>

#include <cairo.h>

namespace winlayer::testing {

bool SaveBitmapPng(HBITMAP bitmap, const std::string& path) {
    std::shared_ptr<BitmapObject> found = GdiObjectFromHandle<BitmapObject>(bitmap);
    if (!found)
        return false;
    raster::Target source = found->Target();
    cairo_surface_t* picture =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, source.width, source.height);
    cairo_surface_flush(picture);
    unsigned char* data = cairo_image_surface_get_data(picture);
    int stride = cairo_image_surface_get_stride(picture);
    for (int y = 0; y < source.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < source.width; ++x)
            row[x] = source.Get(x, y);
    }
    cairo_surface_mark_dirty(picture);
    bool written = cairo_surface_write_to_png(picture, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(picture);
    return written;
}

}  // namespace winlayer::testing
