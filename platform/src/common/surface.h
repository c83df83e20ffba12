// A surface of 32-bit pixels 0x00RRGGBB, rows top-down with no padding: the layout of cairo's
// RGB24, an X depth-24 ZPixmap and Windows' 32-bpp BI_RGB (bytes B, G, R, unused), so the windows'
// backing stores, memory bitmaps and the display share pixels without conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace winlayer {

struct Surface {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // width * height, row after row

    Surface() = default;
    Surface(int w, int h, uint32_t fill = 0)
        : width(w > 0 ? w : 0),
          height(h > 0 ? h : 0),
          pixels(static_cast<size_t>(width) * static_cast<size_t>(height), fill) {}

    uint32_t* Row(int y) { return pixels.data() + static_cast<size_t>(y) * width; }
    const uint32_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * width; }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

}  // namespace winlayer
