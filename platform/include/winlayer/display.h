// The layer's test interface for windows on the headless display: monitors, the pointer, its
// buttons and keys, waiting until a thread is idle, what a window shows, and message box windows.
// Tests only; product code never includes it. Every call does nothing (or fails) when the
// process's display is not the headless one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winlayer::testing {

struct Monitor {
    RECT rect{};  // virtual-screen pixels; the primary's origin should be 0, 0
    int dpi = 96;
    bool primary = false;  // none marked: the first is the primary
    bool attached = true;
};

// Replaces the monitor layout (empty: one 1920 × 1080 monitor at 96 dpi).
void SetMonitors(std::vector<Monitor> monitors);

// Pointer and buttons, as a user would move and press them. The window under the pointer (or the
// one that captured it) gets the messages on its own thread.
void MovePointer(POINT screen);
void PressButton(UINT button);  // MK_LBUTTON, MK_RBUTTON or MK_MBUTTON
void ReleaseButton(UINT button);
void SetKeys(UINT keys);  // MK_SHIFT | MK_CONTROL held from now on (0: none)
// The user closes a top-level window through the display, as a window manager's close does:
// the window's thread gets WM_SYSCOMMAND SC_CLOSE.
void RequestClose(HWND window);
// Moves there, holds `keys`, presses and releases the left button, lets the keys go.
void Click(POINT screen, UINT keys = 0);

// Waits until the thread is blocked in its message wait (nested loops too) with nothing queued,
// no display event pending and no paint due. False when the timeout passes first.
bool WaitForIdle(DWORD threadId, DWORD timeoutMs = 10000);

// Pixels as the display shows them, 0x00RRGGBB, rows top-down.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    bool empty() const { return pixels.empty(); }
    // The pixel as a COLORREF (0x00BBGGRR); CLR_INVALID outside the image.
    COLORREF At(int x, int y) const;
};

// What the display shows of a window (its window rectangle), children included: what its
// top-level window presented last. Empty for an unknown window.
Image CaptureWindow(HWND window);
bool SavePng(const Image& image, const std::string& path);
// How many times the top-level window (of a child: its top-level) was presented.
int PresentCount(HWND window);

// Whether MessageBoxA/W shows a window on the headless display (default: no, boxes are printed
// and get their default answer unless a test answers them).
void SetMessageBoxWindows(bool enabled);

struct MessageBoxWindow {
    HWND hwnd = nullptr;
    std::string text;     // UTF-8
    std::string caption;  // UTF-8
    UINT type = 0;
    DWORD threadId = 0;
};

// Waits until a message box window is up and idle (waiting for an answer); its description, or
// nothing when the timeout passes first.
std::optional<MessageBoxWindow> WaitForMessageBox(DWORD timeoutMs = 10000);
// Clicks the box's button with that id (IDOK, IDRETRY, ...); false when it has no such button.
bool ClickMessageBoxButton(HWND box, int id);

}  // namespace winlayer::testing

#ifndef CLR_INVALID
#define CLR_INVALID 0xFFFFFFFF
#endif
