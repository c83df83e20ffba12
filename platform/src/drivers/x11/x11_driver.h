// The x11 display driver: one X window per top-level window, one X connection per thread that
// owns windows (X delivers a window's events on the connection that created it, so each thread
// wakes for its own windows only), monitors from XRandR. Only this folder includes X headers.
#pragma once

#include "drivers/display_driver.h"
#include "drivers/x11/x11_open.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace winlayer::x11 {

enum AtomId {
    kNetWmName,
    kNetWmIconName,
    kUtf8String,
    kNetWmIcon,
    kWmProtocols,
    kWmDeleteWindow,
    kNetWmState,
    kNetWmStateAbove,
    kNetWmWindowType,
    kNetWmWindowTypeDialog,
    kMotifWmHints,
    kNetWmUserTime,
    kNetWmPid,
    kWinlayerClass,  // the window's Win32 class name (UTF-8), for FindWindowW of other processes
    kNetActiveWindow,
    kAtomCount
};

// An X window standing for a top-level window.
struct TopLevel {
    ::Window xid = 0;
    GC gc = nullptr;
    RECT rect{};  // the rectangle last asked for, screen coordinates
    // Requests older than this one were sent before the last move: their ConfigureNotify is stale.
    unsigned long moveSerial = 0;
    bool managed = true;
    bool fixedSize = true;
};

// One thread's X connection and the windows it created.
struct Connection {
    ::Display* dpy = nullptr;
    Visual* visual = nullptr;  // depth-24 TrueColor 0xRRGGBB: the surfaces' pixel layout
    Colormap colormap = 0;     // 0: the screen's default
    Atom atoms[kAtomCount]{};
    std::atomic<bool> lost{false};  // the server went away (set from Xlib's IO error path)
    bool lostReported = false;
    std::unordered_map<HWND, TopLevel> windows;
    std::unordered_map<::Window, HWND> byXid;

    ~Connection();
    TopLevel* Find(HWND hwnd);
    HWND Find(::Window xid) const;
};

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

    std::mutex query_lock_;
    ::Display* query_ = nullptr;
    std::atomic<int> origin_x_{0}, origin_y_{0};
};

// The calling thread's connection: opened on first need when `open`, closed at thread exit.
Connection* ThreadConnection(bool open);

// X key and button state → MK_ flags.
UINT KeysFromState(unsigned int state);

std::string Utf8(std::u16string_view text);

}  // namespace winlayer::x11
