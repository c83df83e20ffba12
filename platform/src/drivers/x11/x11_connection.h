// The x11 driver's connections: one X connection per thread that owns windows (X delivers a
// window's events on the connection that created it), with the top-level windows it made.
#pragma once

#include <windows.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <string>
#include <string_view>
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

// The calling thread's connection: opened on first need when `open`, closed at thread exit.
Connection* ThreadConnection(bool open);

// X key and button state → MK_ flags.
UINT KeysFromState(unsigned int state);

std::string Utf8(std::u16string_view text);

// Xlib's handlers for the process: a lost server ends each thread's message loop instead of the
// process, and protocol errors are reported, not fatal.
void InstallErrorHandlers();

// The X window ids of every thread's top-level windows, for WM_TRANSIENT_FOR across threads.
void NoteXid(HWND hwnd, ::Window xid);
void ForgetXid(HWND hwnd);
// 0 for a window without one.
::Window XidOf(HWND hwnd);

}  // namespace winlayer::x11
