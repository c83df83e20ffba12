// The program's pictures: bitmaps 101 and 104 and icon group 102, embedded at build time from the
// BMP and ICO files that resources/make_artwork.py draws. LoadBitmapW, LoadImageW, LoadIconW and
// DestroyIcon.
#include "common/handle_table.h"
#include "gdi32/gdi_object.h"
#include "user32/icons.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

extern "C" {
extern const unsigned char winlayer_bitmap_101[];
extern const unsigned winlayer_bitmap_101_size;
extern const unsigned char winlayer_bitmap_104[];
extern const unsigned winlayer_bitmap_104_size;
extern const unsigned char winlayer_icon_102[];
extern const unsigned winlayer_icon_102_size;
}

namespace winlayer {
namespace {

std::optional<std::span<const unsigned char>> BitmapResource(UINT id) {
    switch (id) {
        case 101:
            return std::span(winlayer_bitmap_101, winlayer_bitmap_101_size);
        case 104:
            return std::span(winlayer_bitmap_104, winlayer_bitmap_104_size);
        default:
            return std::nullopt;
    }
}

std::optional<std::span<const unsigned char>> IconResource(UINT id) {
    if (id == 102)
        return std::span(winlayer_icon_102, winlayer_icon_102_size);
    return std::nullopt;
}

// Resources are named by number here (MAKEINTRESOURCE); 0 for a name given as a string.
UINT ResourceId(LPCWSTR name) {
    auto value = reinterpret_cast<ULONG_PTR>(name);
    return value >> 16 == 0 ? static_cast<UINT>(value) : 0;
}

uint32_t Read32(std::span<const unsigned char> data, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, data.data() + at, sizeof value);
    return value;
}

uint16_t Read16(std::span<const unsigned char> data, size_t at) {
    uint16_t value = 0;
    std::memcpy(&value, data.data() + at, sizeof value);
    return value;
}

// The pixels of an uncompressed 24- or 32-bit DIB (header, then rows) as 0x00RRGGBB, top-down,
// and the alpha bytes of a 32-bit one. `height` is the image's own (icons store it doubled).
struct Pixels {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;
    std::vector<uint8_t> alpha;
};

std::optional<Pixels> ReadDib(std::span<const unsigned char> dib, int height) {
    if (dib.size() < sizeof(BITMAPINFOHEADER))
        return std::nullopt;
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib.data(), sizeof header);
    int bits = header.biBitCount;
    if (header.biSize < sizeof header || header.biWidth <= 0 || header.biWidth > 4096 ||
        (bits != 24 && bits != 32) || header.biCompression != BI_RGB || height <= 0 ||
        height > 4096)
        return std::nullopt;
    bool topDown = header.biHeight < 0;
    size_t stride = (static_cast<size_t>(header.biWidth) * bits + 31) / 32 * 4;
    size_t start = header.biSize;
    if (start + stride * height > dib.size())
        return std::nullopt;
    Pixels pixels{header.biWidth, height, {}, {}};
    pixels.rgb.resize(static_cast<size_t>(header.biWidth) * height);
    pixels.alpha.resize(pixels.rgb.size());
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = dib.data() + start + stride * (topDown ? y : height - 1 - y);
        for (int x = 0; x < header.biWidth; ++x) {
            const unsigned char* p = row + x * (bits / 8);
            size_t at = static_cast<size_t>(y) * header.biWidth + x;
            pixels.rgb[at] =
                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
            pixels.alpha[at] = bits == 32 ? p[3] : 0xFF;
        }
    }
    return pixels;
}

// A bitmap resource decoded once: the dialog loads its picture at every painting.
const Pixels* DecodedBitmap(UINT id) {
    static std::mutex lock;
    static std::map<UINT, std::optional<Pixels>> decoded;
    std::lock_guard hold(lock);
    auto found = decoded.find(id);
    if (found != decoded.end())
        return found->second ? &*found->second : nullptr;
    std::optional<Pixels> pixels;
    std::optional<std::span<const unsigned char>> file = BitmapResource(id);
    // A BMP file: a 14-byte file header, then the DIB.
    if (file && file->size() >= 14 + sizeof(BITMAPINFOHEADER) && (*file)[0] == 'B' &&
        (*file)[1] == 'M') {
        std::span<const unsigned char> dib = file->subspan(14);
        auto height = static_cast<int32_t>(Read32(dib, 8));
        pixels = ReadDib(dib, height < 0 ? -height : height);
    }
    auto& entry = decoded[id] = std::move(pixels);
    return entry ? &*entry : nullptr;
}

HBITMAP LoadBitmapResource(UINT id, bool dibSection) {
    if (!BitmapResource(id)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const Pixels* pixels = DecodedBitmap(id);
    if (!pixels) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    // LoadBitmapW gives a bitmap of the display's format; LR_CREATEDIBSECTION keeps the
    // resource's 24 bits, rows bottom-up.
    auto bitmap =
        dibSection ? std::make_shared<BitmapObject>(pixels->width, pixels->height, 24, true, false)
                   : std::make_shared<BitmapObject>(pixels->width, pixels->height, 32, false, true);
    raster::Target target = bitmap->Target();
    if (dibSection) {
        bitmap->header = {
            sizeof(BITMAPINFOHEADER), pixels->width, pixels->height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        for (int y = 0; y < pixels->height; ++y)
            for (int x = 0; x < pixels->width; ++x)
                target.Put(x, y, pixels->rgb[static_cast<size_t>(y) * pixels->width + x]);
    } else {
        std::memcpy(target.top, pixels->rgb.data(), pixels->rgb.size() * sizeof(uint32_t));
    }
    return static_cast<HBITMAP>(NewGdiObject(std::move(bitmap)));
}

// --- Icons ---

struct IconObject {
    IconImage image;
};

HandleTable<IconObject>& Icons() {
    static HandleTable<IconObject> table(0x30000000);
    return table;
}

IconImage IconPixels(HICON icon) {
    std::shared_ptr<IconObject> found = Icons().Find(reinterpret_cast<ULONG_PTR>(icon));
    return found ? found->image : IconImage{};
}

// Whether an icon image of width w suits the asked size better than one of width best.
bool Nearer(int w, int best, int size) {
    if (best == size || w == best)
        return false;
    if (w == size)
        return true;
    if (w > size)
        return best < size || w < best;
    return best < size && w > best;
}

// The image of the group nearest the asked size: the exact size, else the smallest larger one,
// else the largest. A size of 0 takes the group's first image.
HICON LoadIconResource(UINT id, int size) {
    std::optional<std::span<const unsigned char>> file = IconResource(id);
    if (!file || file->size() < 6 || Read16(*file, 2) != 1) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    int count = Read16(*file, 4);
    if (file->size() < 6 + 16u * count || count == 0) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    auto widthOf = [&](int i) { return (*file)[6 + 16 * i] == 0 ? 256 : (*file)[6 + 16 * i]; };
    int chosen = 0;
    for (int i = 1; i < count && size != 0; ++i)
        if (Nearer(widthOf(i), widthOf(chosen), size))
            chosen = i;
    size_t entry = 6 + 16 * static_cast<size_t>(chosen);
    uint32_t bytes = Read32(*file, entry + 8), offset = Read32(*file, entry + 12);
    if (offset > file->size() || bytes > file->size() - offset) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    std::span<const unsigned char> dib = file->subspan(offset, bytes);
    int width = static_cast<int>(Read32(dib, 4));
    std::optional<Pixels> pixels = ReadDib(dib, width);  // square; the stored height is doubled
    if (!pixels) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    auto icon = std::make_shared<IconObject>();
    icon->image.width = pixels->width;
    icon->image.height = pixels->height;
    for (size_t i = 0; i < pixels->rgb.size(); ++i)
        icon->image.argb.push_back(static_cast<uint32_t>(pixels->alpha[i]) << 24 | pixels->rgb[i]);
    // WM_SETICON finds the pixels of the icons made here.
    static const bool registered = (SetIconImageSource(IconPixels), true);
    (void)registered;
    return reinterpret_cast<HICON>(Icons().Add(std::move(icon)));
}

}  // namespace
}  // namespace winlayer

using namespace winlayer;

HBITMAP WINAPI LoadBitmapW(HINSTANCE, LPCWSTR name) {
    return LoadBitmapResource(ResourceId(name), false);
}

HANDLE WINAPI LoadImageW(HINSTANCE, LPCWSTR name, UINT type, int cx, int cy, UINT flags) {
    UINT id = ResourceId(name);
    switch (type) {
        case IMAGE_BITMAP:
            return LoadBitmapResource(id, (flags & LR_CREATEDIBSECTION) != 0);
        case IMAGE_ICON: {
            int size = cx != 0 ? cx : cy;
            if (size == 0 && (flags & LR_DEFAULTSIZE))
                size = 32;  // SM_CXICON
            return LoadIconResource(id, size);
        }
        default:
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return nullptr;
    }
}

HICON WINAPI LoadIconW(HINSTANCE, LPCWSTR name) {
    return LoadIconResource(ResourceId(name), 32);  // SM_CXICON
}

BOOL WINAPI DestroyIcon(HICON icon) {
    if (!Icons().Remove(reinterpret_cast<ULONG_PTR>(icon))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
