// The x11 driver's connections: one per thread, opened on first need with the surfaces' visual
// and the atoms the driver uses, closed with the thread; Xlib's error handling; the X window ids
// of every thread's windows.
#include "drivers/x11/x11_connection.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

namespace winlayer::x11 {

namespace {

const char* const kAtomNames[kAtomCount] = {
    "_NET_WM_NAME",        "_NET_WM_ICON_NAME",
    "UTF8_STRING",         "_NET_WM_ICON",
    "WM_PROTOCOLS",        "WM_DELETE_WINDOW",
    "_NET_WM_STATE",       "_NET_WM_STATE_ABOVE",
    "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DIALOG",
    "_MOTIF_WM_HINTS",     "_NET_WM_USER_TIME",
    "_NET_WM_PID",         "_WINLAYER_CLASS",
    "_NET_ACTIVE_WINDOW",
};

// The server going away is reported once on stderr; each connection then only marks itself lost
// so that its thread's message loop ends instead of Xlib exiting the process.
int OnIoError(::Display*) {
    static std::once_flag said;
    std::call_once(said, [] { std::fputs("winlayer: the X display is gone\n", stderr); });
    return 0;
}
void OnIoErrorExit(::Display*, void* connection) {
    static_cast<Connection*>(connection)->lost = true;
}
// A protocol error (a request about a window the server no longer has, say) is not fatal.
int OnError(::Display* dpy, XErrorEvent* e) {
    static std::atomic<int> said{0};
    if (said++ < 5) {
        char text[128];
        XGetErrorText(dpy, e->error_code, text, sizeof text);
        std::fprintf(stderr, "winlayer: X error: %s (request %d)\n", text, e->request_code);
    }
    return 0;
}

// A depth-24 TrueColor visual with 0xRRGGBB masks, the layout of the surfaces.
Visual* SurfaceVisual(::Display* dpy) {
    XVisualInfo info;
    int screen = DefaultScreen(dpy);
    auto fits = [](const Visual* v) {
        return v->red_mask == 0xFF0000 && v->green_mask == 0xFF00 && v->blue_mask == 0xFF;
    };
    Visual* def = DefaultVisual(dpy, screen);
    if (DefaultDepth(dpy, screen) == 24 && def->c_class == TrueColor && fits(def))
        return def;
    if (XMatchVisualInfo(dpy, screen, 24, TrueColor, &info) && fits(info.visual)) {
        return info.visual;
    }
    return nullptr;
}

// Per-thread connection. The pointer is trivially destructible, so other thread-exit clean-ups
// that run after the closer still read it safely (as null).
thread_local Connection* t_connection = nullptr;
struct ConnectionCloser {
    ~ConnectionCloser() {
        delete t_connection;
        t_connection = nullptr;
    }
};
thread_local ConnectionCloser t_closer;

// X window ids of all threads' windows, for WM_TRANSIENT_FOR across threads.
std::mutex g_xids_lock;
std::unordered_map<HWND, ::Window> g_xids;

}  // namespace

void InstallErrorHandlers() {
    XSetIOErrorHandler(OnIoError);
    XSetErrorHandler(OnError);
}

void NoteXid(HWND hwnd, ::Window xid) {
    std::lock_guard<std::mutex> lock(g_xids_lock);
    g_xids[hwnd] = xid;
}

void ForgetXid(HWND hwnd) {
    std::lock_guard<std::mutex> lock(g_xids_lock);
    g_xids.erase(hwnd);
}

::Window XidOf(HWND hwnd) {
    std::lock_guard<std::mutex> lock(g_xids_lock);
    auto it = g_xids.find(hwnd);
    return it == g_xids.end() ? 0 : it->second;
}

std::string Utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a lone surrogate
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

Connection::~Connection() {
    {
        std::lock_guard<std::mutex> lock(g_xids_lock);
        for (auto& [hwnd, t] : windows)
            g_xids.erase(hwnd);
    }
    if (!dpy)
        return;
    for (auto& [hwnd, t] : windows) {
        XFreeGC(dpy, t.gc);
        if (!lost)
            XDestroyWindow(dpy, t.xid);
    }
    if (colormap && !lost)
        XFreeColormap(dpy, colormap);
    XCloseDisplay(dpy);
}

TopLevel* Connection::Find(HWND hwnd) {
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : &it->second;
}

HWND Connection::Find(::Window xid) const {
    auto it = byXid.find(xid);
    return it == byXid.end() ? nullptr : it->second;
}

Connection* ThreadConnection(bool open) {
    if (t_connection || !open)
        return t_connection;
    (void)&t_closer;  // registers the closer for this thread's exit
    ::Display* dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return nullptr;
    auto c = std::make_unique<Connection>();
    c->dpy = dpy;
    XSetIOErrorExitHandler(dpy, OnIoErrorExit, c.get());
    c->visual = SurfaceVisual(dpy);
    if (!c->visual) {
        std::fputs("winlayer: the X display has no 24-bit TrueColor visual\n", stderr);
        return nullptr;  // the connection closes with c
    }
    if (c->visual != DefaultVisual(dpy, DefaultScreen(dpy))) {
        c->colormap = XCreateColormap(dpy, DefaultRootWindow(dpy), c->visual, AllocNone);
    }
    XInternAtoms(dpy, const_cast<char**>(kAtomNames), kAtomCount, False, c->atoms);
    t_connection = c.release();
    return t_connection;
}

UINT KeysFromState(unsigned int state) {
    UINT keys = 0;
    if (state & Button1Mask)
        keys |= MK_LBUTTON;
    if (state & Button2Mask)
        keys |= MK_MBUTTON;
    if (state & Button3Mask)
        keys |= MK_RBUTTON;
    if (state & ShiftMask)
        keys |= MK_SHIFT;
    if (state & ControlMask)
        keys |= MK_CONTROL;
    return keys;
}

}  // namespace winlayer::x11
