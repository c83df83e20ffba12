// The x11 display driver: one X window per top-level window, one X connection per thread that
// owns windows (X delivers a window's events on the connection that created it, so each thread
// wakes for its own windows only), monitors from XRandR. Only this folder includes X headers.
#pragma once

#include "drivers/display_driver.h"
#include "drivers/x11/x11_connection.h"
#include "drivers/x11/x11_open.h"

#include <X11/Xlib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace winlayer::x11 {

class X11Driver : public DisplayDriver {
  public:
    // Takes the connection used for queries from any thread (monitors, pointer).
    explicit X11Driver(::Display* query);
    ~X11Driver() override;

    std::vector<MonitorDesc> Monitors() override;
    POINT CursorPos() override;
    UINT ButtonsDown() override;

    bool CreateTopLevel(const TopLevelDesc& desc) override;
    void DestroyTopLevel(HWND window) override;
    void SetVisible(HWND window, bool show, bool activate) override;
    void SetRect(HWND window, const RECT& rect) override;
    void SetTitle(HWND window, std::u16string_view title) override;
    void SetIcons(HWND window, const IconImage& big, const IconImage& small) override;
    void Present(HWND window, const Surface& surface, const RECT& dirty) override;
    void SetCapture(HWND window) override;
    bool MovePointer(POINT screen) override;

    uint64_t FindForeignTopLevel(const char16_t* className, const char16_t* title) override;
    bool RaiseForeign(uint64_t id) override;

    int ThreadFd() override;
    void ProcessEvents(EventSink& sink) override;
    void Flush() override;

    // The primary monitor's origin in root coordinates: screen = root - origin.
    POINT Origin() const { return {origin_x_.load(), origin_y_.load()}; }

  private:
    void HandleEvent(Connection& c, XEvent& e, EventSink& sink);
    // The pointer's root position and X button and key state, from the query connection.
    bool QueryPointer(POINT* root, unsigned int* state);

    std::mutex query_lock_;
    ::Display* query_ = nullptr;
    std::atomic<int> origin_x_{0}, origin_y_{0};
};

}  // namespace winlayer::x11
