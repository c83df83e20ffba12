// The display seam: what USER32 asks of a display, and what a display tells USER32. Two drivers
// implement it, headless (windows in memory) and x11 (one X window per top-level window).
//
// Coordinates are virtual-screen pixels with the primary monitor's origin at (0, 0), as Windows
// has them. Only top-level windows reach the driver: children live in their top-level's surface.
// Window calls come on the thread that owns the window.
#pragma once

#include "common/surface.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace winlayer {

struct MonitorDesc {
    RECT rect{};  // virtual-screen pixels
    int dpi = 96;
    bool primary = false;
    bool attached = true;
    std::u16string name;  // \\.\DISPLAY1 ...
};

// What the driver needs to make the display's window of a top-level window.
struct TopLevelDesc {
    HWND hwnd = nullptr;
    RECT rect{};  // window rectangle, screen coordinates
    DWORD style = 0;
    DWORD exStyle = 0;
    // Unactivated captionless popups stay where they are put and above others without the help
    // of a window manager (an X override-redirect window); other windows are managed.
    bool managed = true;
    // The owner window (a message box's), which the display keeps this window above; or null.
    HWND owner = nullptr;
    std::u16string title;
    std::u16string className;  // the Win32 class, by which other processes find the window
};

// An icon's pixels for the display: 0xAARRGGBB, rows top-down.
struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;
};

// Events a driver reports, translated to the layer's terms. Called on the thread whose
// ProcessEvents is running.
class EventSink {
  public:
    virtual ~EventSink() = default;
    // Pointer position in screen coordinates; keys are MK_ flags (buttons, Shift, Ctrl).
    virtual void PointerMoved(HWND window, POINT screen, UINT keys) = 0;
    // message is WM_LBUTTONDOWN/UP, WM_RBUTTONDOWN/UP or WM_MBUTTONDOWN/UP.
    virtual void ButtonChanged(HWND window, UINT message, POINT screen, UINT keys) = 0;
    virtual void PointerLeft(HWND window) = 0;
    // Part of the window (window coordinates) must be shown again from its surface.
    virtual void Exposed(HWND window, const RECT& area) = 0;
    // The display moved or resized the window (screen coordinates).
    virtual void Moved(HWND window, const RECT& rect) = 0;
    // The display is gone: the thread's message loop must end.
    virtual void DisplayLost() = 0;
    // The user asked the display to close the window (an X window manager's WM_DELETE_WINDOW).
    virtual void CloseRequested(HWND window) = 0;
};

class DisplayDriver {
  public:
    virtual ~DisplayDriver() = default;

    virtual std::vector<MonitorDesc> Monitors() = 0;
    virtual POINT CursorPos() = 0;
    virtual UINT ButtonsDown() = 0;  // MK_LBUTTON | MK_RBUTTON | MK_MBUTTON | MK_SHIFT | MK_CONTROL

    virtual bool CreateTopLevel(const TopLevelDesc& desc) = 0;
    virtual void DestroyTopLevel(HWND window) = 0;
    virtual void SetVisible(HWND window, bool show, bool activate) = 0;
    virtual void SetRect(HWND window, const RECT& rect) = 0;
    virtual void SetTitle(HWND window, std::u16string_view title) = 0;
    virtual void SetIcons(HWND window, const IconImage& big, const IconImage& small) = 0;
    // Shows the dirty rectangle (window coordinates) of the window's surface.
    virtual void Present(HWND window, const Surface& surface, const RECT& dirty) = 0;
    // Grabs the pointer for the window (the drag loop); null releases it.
    virtual void SetCapture(HWND window) = 0;
    // Puts the pointer at a screen position (SetCursorPos); false when the display cannot.
    virtual bool MovePointer(POINT screen) {
        (void)screen;
        return false;
    }

    // Top-level windows of other processes of the layer on this display, as FindWindowW finds
    // them on Windows: the display's id of the frontmost whose class (ASCII case ignored) and
    // title match (null: any), or 0.
    virtual uint64_t FindForeignTopLevel(const char16_t* className, const char16_t* title) {
        (void)className;
        (void)title;
        return 0;
    }
    // Brings such a window to the front (SetForegroundWindow); false when the display cannot.
    virtual bool RaiseForeign(uint64_t id) {
        (void)id;
        return false;
    }

    // A file descriptor that becomes readable when the calling thread has display events, or -1.
    virtual int ThreadFd() = 0;
    // Translates the calling thread's pending display events into sink calls; never blocks.
    virtual void ProcessEvents(EventSink& sink) = 0;
    // Sends what the calling thread has buffered to the display, before it sleeps.
    virtual void Flush() = 0;
};

// The driver chosen at start: WINLAYER_DISPLAY=x11|headless; unset, x11 when DISPLAY opens, else
// headless. Made on first use, lives for the process.
DisplayDriver& Display();

}  // namespace winlayer
