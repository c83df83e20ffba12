// Bitmaps: device-dependent (32-bit, or monochrome from a fresh memory DC) and DIB sections of 24
// or 32 bits in either row order.
#include "gdi32/dc.h"
#include "gdi32/gdi_object.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace winlayer {

namespace {

// The pixel memory of deleted bitmaps, kept for the next bitmaps: a painting makes and deletes
// bitmaps of the window's size every time, and fresh memory would cost a page fault per page.
class SparePixels {
  public:
    std::vector<uint32_t> Take(size_t words) {
        std::vector<uint32_t> pixels;
        {
            std::lock_guard lock(mutex_);
            for (auto it = spare_.begin(); it != spare_.end(); ++it) {
                if (it->capacity() >= words && it->capacity() <= 2 * words + 4096) {
                    pixels = std::move(*it);
                    spare_.erase(it);
                    break;
                }
            }
        }
        pixels.assign(words, 0);
        return pixels;
    }

    void Give(std::vector<uint32_t>&& pixels) {
        if (pixels.capacity() < kSmallest || pixels.capacity() > kLargest)
            return;
        std::lock_guard lock(mutex_);
        if (spare_.size() >= kKept)
            spare_.erase(spare_.begin());
        spare_.push_back(std::move(pixels));
    }

  private:
    static constexpr size_t kSmallest = 16 * 1024;       // smaller ones are cheap anyway
    static constexpr size_t kLargest = 8 * 1024 * 1024;  // 32 MB
    static constexpr size_t kKept = 6;
    std::mutex mutex_;
    std::vector<std::vector<uint32_t>> spare_;
};

SparePixels& Spare() {
    static auto* spare = new SparePixels();  // lives as long as the process's last bitmap
    return *spare;
}

}  // namespace

BitmapObject::BitmapObject(int width, int height, int bitsPerPixel, bool dib, bool topDown)
    : width_(width), height_(height), bitsPerPixel_(bitsPerPixel), dib_(dib), topDown_(topDown) {
    // A DIB section's rows are padded to 4 bytes; other bitmaps keep 32-bit pixels (monochrome
    // ones as black and white).
    stride_ = dib ? (width * bitsPerPixel + 31) / 32 * 4 : width * 4;
    size_t bytes = static_cast<size_t>(stride_) * static_cast<size_t>(height);
    bits_ = Spare().Take((bytes + 3) / 4);
}

BitmapObject::~BitmapObject() {
    Spare().Give(std::move(bits_));
}

raster::Target BitmapObject::Target() {
    auto* data = reinterpret_cast<uint8_t*>(bits_.data());
    int targetBits = dib_ ? bitsPerPixel_ : 32;
    if (topDown_)
        return {data, stride_, width_, height_, targetBits};
    return {data + static_cast<std::ptrdiff_t>(stride_) * (height_ - 1), -stride_, width_, height_,
            targetBits};
}

int BitmapObject::Describe(int size, void* buffer) const {
    BITMAP bitmap{};
    bitmap.bmWidth = width_;
    bitmap.bmHeight = height_;
    // Device-dependent rows are described padded to 2 bytes, DIB rows to 4.
    bitmap.bmWidthBytes = dib_ ? stride_ : (width_ * bitsPerPixel_ + 15) / 16 * 2;
    bitmap.bmPlanes = 1;
    bitmap.bmBitsPixel = static_cast<WORD>(bitsPerPixel_);
    bitmap.bmBits = dib_ ? const_cast<uint32_t*>(bits_.data()) : nullptr;
    if (dib_ && (buffer == nullptr || size >= static_cast<int>(sizeof(DIBSECTION)))) {
        if (buffer == nullptr)
            return sizeof(DIBSECTION);
        DIBSECTION section{};
        section.dsBm = bitmap;
        section.dsBmih = header;
        section.dsBmih.biSizeImage = static_cast<DWORD>(stride_ * height_);
        std::memcpy(buffer, &section, sizeof section);
        return sizeof section;
    }
    if (buffer == nullptr)
        return sizeof(BITMAP);
    int count = std::min<int>(size, sizeof bitmap);
    if (count <= 0)
        return 0;
    std::memcpy(buffer, &bitmap, static_cast<size_t>(count));
    return count;
}

}  // namespace winlayer

using namespace winlayer;

namespace {

// Bitmaps past this many pixels fail as out of memory instead of exhausting it.
constexpr long long kMaxPixels = 1LL << 26;

}  // namespace

HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height) {
    std::shared_ptr<DcObject> found = DcFromHandle(dc);
    if (!found || width < 0 || height < 0) {
        SetLastError(found ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // An empty size gives the 1 x 1 stock bitmap, as in Windows.
    if (width == 0 || height == 0)
        return static_cast<HBITMAP>(DefaultBitmap());
    if (static_cast<long long>(width) * height > kMaxPixels) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    bool monochrome = !found->surface && found->bitmap && found->bitmap->monochrome();
    auto bitmap = std::make_shared<BitmapObject>(width, height, monochrome ? 1 : 32, false, true);
    return static_cast<HBITMAP>(NewGdiObject(std::move(bitmap)));
}

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits,
                                HANDLE section, DWORD offset) {
    if (bits)
        *bits = nullptr;
    if (info == nullptr || usage != DIB_RGB_COLORS || section != nullptr || offset != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0 ||
        header.biPlanes != 1 || (header.biBitCount != 24 && header.biBitCount != 32) ||
        header.biCompression != BI_RGB) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    long long height =
        header.biHeight < 0 ? -static_cast<long long>(header.biHeight) : header.biHeight;
    if (header.biWidth * height > kMaxPixels) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto bitmap = std::make_shared<BitmapObject>(header.biWidth, static_cast<int>(height),
                                                 header.biBitCount, true, header.biHeight < 0);
    bitmap->header = header;
    bitmap->header.biSize = sizeof(BITMAPINFOHEADER);
    if (bits)
        *bits = bitmap->bits();
    return static_cast<HBITMAP>(NewGdiObject(std::move(bitmap)));
}
