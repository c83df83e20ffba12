// The test interface of <winlayer/display.h> over the headless driver. Being for tests, it also
// reads the message queues' idle state and the open message boxes of the user-interface library.
#include <winlayer/display.h>

#include "drivers/headless/headless_driver.h"
#include "user32/message_box_window.h"
#include "user32/thread_queue.h"

#include <cairo.h>

#include <chrono>
#include <cstring>
#include <memory>

namespace winlayer::testing {
namespace {

bool NoEventsPending(DWORD threadId) {
    HeadlessDriver* headless = Headless();
    return headless == nullptr || !headless->HasPendingEvents(static_cast<pid_t>(threadId));
}

}  // namespace

COLORREF Image::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height)
        return CLR_INVALID;
    uint32_t pixel = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

void SetMonitors(std::vector<Monitor> monitors) {
    HeadlessDriver* headless = Headless();
    if (headless == nullptr)
        return;
    std::vector<MonitorDesc> descs;
    for (const Monitor& m : monitors) {
        MonitorDesc desc;
        desc.rect = m.rect;
        desc.dpi = m.dpi;
        desc.primary = m.primary;
        desc.attached = m.attached;
        descs.push_back(desc);
    }
    bool anyPrimary = false;
    for (const MonitorDesc& d : descs)
        anyPrimary = anyPrimary || d.primary;
    if (!anyPrimary && !descs.empty())
        descs.front().primary = true;
    headless->SetMonitors(std::move(descs));
}

void MovePointer(POINT screen) {
    if (HeadlessDriver* headless = Headless())
        headless->MovePointer(screen);
}

void PressButton(UINT button) {
    if (HeadlessDriver* headless = Headless())
        headless->PressButton(button);
}

void ReleaseButton(UINT button) {
    if (HeadlessDriver* headless = Headless())
        headless->ReleaseButton(button);
}

void SetKeys(UINT keys) {
    if (HeadlessDriver* headless = Headless())
        headless->SetKeys(keys);
}

void RequestClose(HWND window) {
    if (HeadlessDriver* headless = Headless())
        headless->RequestClose(window);
}

void Click(POINT screen, UINT keys) {
    MovePointer(screen);
    SetKeys(keys);
    PressButton(MK_LBUTTON);
    ReleaseButton(MK_LBUTTON);
    SetKeys(0);
}

bool WaitForIdle(DWORD threadId, DWORD timeoutMs) {
    return WaitForThreadIdle(threadId, timeoutMs, NoEventsPending);
}

Image CaptureWindow(HWND hwnd) {
    Image image;
    HeadlessDriver* headless = Headless();
    if (headless == nullptr)
        return image;
    HWND top = hwnd;
    while (GetWindowLongPtrW(top, GWL_STYLE) & WS_CHILD)
        top = GetParent(top);
    RECT topRect, rect;
    if (!GetWindowRect(top, &topRect) || !GetWindowRect(hwnd, &rect))
        return image;
    std::optional<Surface> shown = headless->Shown(top);
    if (!shown)
        return image;
    int left = rect.left - topRect.left, topEdge = rect.top - topRect.top;
    image.width = std::max(0, std::min<int>(rect.right - rect.left, shown->width - left));
    image.height = std::max(0, std::min<int>(rect.bottom - rect.top, shown->height - topEdge));
    image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    for (int y = 0; y < image.height; ++y) {
        const uint32_t* row = shown->Row(topEdge + y) + left;
        std::copy(row, row + image.width,
                  image.pixels.begin() + static_cast<ptrdiff_t>(y) * image.width);
    }
    return image;
}

bool SavePng(const Image& image, const std::string& path) {
    if (image.empty())
        return false;
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.width, image.height),
        cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return false;
    cairo_surface_flush(surface.get());
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < image.height; ++y) {
        std::memcpy(data + static_cast<ptrdiff_t>(y) * stride,
                    image.pixels.data() + static_cast<ptrdiff_t>(y) * image.width,
                    static_cast<size_t>(image.width) * sizeof(uint32_t));
    }
    cairo_surface_mark_dirty(surface.get());
    return cairo_surface_write_to_png(surface.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

int PresentCount(HWND hwnd) {
    HeadlessDriver* headless = Headless();
    if (headless == nullptr)
        return 0;
    HWND top = hwnd;
    while (GetWindowLongPtrW(top, GWL_STYLE) & WS_CHILD)
        top = GetParent(top);
    return headless->PresentCount(top);
}

void SetMessageBoxWindows(bool enabled) {
    winlayer::SetMessageBoxWindowsOnHeadless(enabled);
}

std::optional<MessageBoxWindow> WaitForMessageBox(DWORD timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::optional<OpenMessageBox> box = WaitForOpenMessageBox(timeoutMs);
    if (!box)
        return std::nullopt;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (!WaitForIdle(box->threadId, static_cast<DWORD>(std::max<long long>(left.count(), 0))))
        return std::nullopt;
    return MessageBoxWindow{box->hwnd, box->text, box->caption, box->type, box->threadId};
}

bool ClickMessageBoxButton(HWND box, int id) {
    std::optional<RECT> button = MessageBoxButtonRect(box, id);
    if (!button)
        return false;
    Click(POINT{(button->left + button->right) / 2, (button->top + button->bottom) / 2});
    return true;
}

}  // namespace winlayer::testing
