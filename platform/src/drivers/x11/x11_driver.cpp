// The x11 driver's connections and windows: creation (override-redirect or managed), titles,
// icons, placement, presentation of the surface and the pointer grab.
#include "drivers/x11/x11_driver.h"

#include <X11/Xatom.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <errno.h>

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

constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            EnterWindowMask | LeaveWindowMask | StructureNotifyMask;

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

void SetCardinal(::Display* dpy, ::Window w, Atom property, long value) {
    XChangeProperty(dpy, w, property, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&value), 1);
}

void SetSizeHints(::Display* dpy, const TopLevel& t) {
    XSizeHints* hints = XAllocSizeHints();
    if (!hints)
        return;
    int w = std::max<int>(1, t.rect.right - t.rect.left);
    int h = std::max<int>(1, t.rect.bottom - t.rect.top);
    // The layer places its windows itself: ask the window manager to keep the position.
    hints->flags = USPosition | USSize | PPosition | PSize;
    hints->x = t.rect.left;
    hints->y = t.rect.top;
    hints->width = w;
    hints->height = h;
    if (t.fixedSize) {
        hints->flags |= PMinSize | PMaxSize;
        hints->min_width = hints->max_width = w;
        hints->min_height = hints->max_height = h;
    }
    XSetWMNormalHints(dpy, t.xid, hints);
    XFree(hints);
}

}  // namespace

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

std::unique_ptr<DisplayDriver> OpenDisplayDriver(std::string* why) {
    XInitThreads();
    ::Display* query = XOpenDisplay(nullptr);
    if (!query) {
        const char* name = XDisplayName(nullptr);
        if (why)
            *why = *name ? std::string("cannot open X display ") + name : "DISPLAY is not set";
        return nullptr;
    }
    XSetIOErrorHandler(OnIoError);
    XSetErrorHandler(OnError);
    return std::make_unique<X11Driver>(query);
}

X11Driver::X11Driver(::Display* query) : query_(query) {
    // The query connection only marks itself lost: monitors and the pointer then read as empty.
    XSetIOErrorExitHandler(
        query_, [](::Display*, void*) {}, nullptr);
    Monitors();  // learns the primary monitor's origin
}

X11Driver::~X11Driver() {
    if (query_)
        XCloseDisplay(query_);
}

bool X11Driver::CreateTopLevel(const TopLevelDesc& desc) {
    Connection* c = ThreadConnection(true);
    if (!c || c->lost || c->Find(desc.hwnd))
        return false;
    ::Display* dpy = c->dpy;
    POINT o = Origin();
    TopLevel t;
    t.rect = desc.rect;
    t.managed = desc.managed;
    t.fixedSize = !(desc.style & WS_THICKFRAME);
    int w = std::max<int>(1, desc.rect.right - desc.rect.left);
    int h = std::max<int>(1, desc.rect.bottom - desc.rect.top);

    XSetWindowAttributes attrs{};
    unsigned long mask = CWEventMask | CWBackPixmap | CWBitGravity | CWBorderPixel;
    attrs.event_mask = kEventMask;
    attrs.background_pixmap = None;  // exposed parts are shown from the surface, never cleared
    attrs.bit_gravity = NorthWestGravity;
    attrs.border_pixel = 0;
    if (c->colormap) {
        attrs.colormap = c->colormap;
        mask |= CWColormap;
    }
    if (!desc.managed) {
        attrs.override_redirect = True;
        mask |= CWOverrideRedirect;
    }
    t.xid = XCreateWindow(dpy, DefaultRootWindow(dpy), desc.rect.left + o.x, desc.rect.top + o.y, w,
                          h, 0, 24, InputOutput, c->visual, mask, &attrs);
    if (!t.xid)
        return false;
    t.gc = XCreateGC(dpy, t.xid, 0, nullptr);

    XClassHint klass;
    std::string name = program_invocation_short_name;
    klass.res_name = name.data();
    klass.res_class = name.data();
    XWMHints wm{};
    wm.flags = InputHint | StateHint;
    wm.input = True;
    wm.initial_state = NormalState;
    XSetClassHint(dpy, t.xid, &klass);
    XSetWMHints(dpy, t.xid, &wm);
    SetSizeHints(dpy, t);
    SetCardinal(dpy, t.xid, c->atoms[kNetWmPid], getpid());
    std::string className = Utf8(desc.className);
    XChangeProperty(dpy, t.xid, c->atoms[kWinlayerClass], c->atoms[kUtf8String], 8, PropModeReplace,
                    reinterpret_cast<unsigned char*>(className.data()),
                    static_cast<int>(className.size()));
    // The window manager's close arrives as a message to the window (WM_SYSCOMMAND SC_CLOSE)
    // instead of ending the connection.
    XSetWMProtocols(dpy, t.xid, &c->atoms[kWmDeleteWindow], 1);
    if (desc.managed && !(desc.style & WS_CAPTION)) {
        // _MOTIF_WM_HINTS: flags = decorations, decorations = none (a captionless window).
        long motif[5] = {2, 0, 0, 0, 0};
        XChangeProperty(dpy, t.xid, c->atoms[kMotifWmHints], c->atoms[kMotifWmHints], 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(motif), 5);
    }
    if (desc.managed && (desc.exStyle & WS_EX_TOPMOST)) {
        long above = static_cast<long>(c->atoms[kNetWmStateAbove]);
        XChangeProperty(dpy, t.xid, c->atoms[kNetWmState], XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&above), 1);
    }
    if (desc.owner) {
        std::lock_guard<std::mutex> lock(g_xids_lock);
        auto it = g_xids.find(desc.owner);
        if (it != g_xids.end()) {
            XSetTransientForHint(dpy, t.xid, it->second);
            long dialog = static_cast<long>(c->atoms[kNetWmWindowTypeDialog]);
            XChangeProperty(dpy, t.xid, c->atoms[kNetWmWindowType], XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&dialog), 1);
        }
    }
    c->byXid[t.xid] = desc.hwnd;
    c->windows[desc.hwnd] = t;
    {
        std::lock_guard<std::mutex> lock(g_xids_lock);
        g_xids[desc.hwnd] = t.xid;
    }
    SetTitle(desc.hwnd, desc.title);
    return true;
}

void X11Driver::DestroyTopLevel(HWND window) {
    Connection* c = ThreadConnection(false);
    TopLevel* t = c ? c->Find(window) : nullptr;
    if (!t)
        return;
    {
        std::lock_guard<std::mutex> lock(g_xids_lock);
        g_xids.erase(window);
    }
    XFreeGC(c->dpy, t->gc);  // frees the client's copy even when the server is gone
    if (!c->lost) {
        XDestroyWindow(c->dpy, t->xid);
        XFlush(c->dpy);
    }
    c->byXid.erase(t->xid);
    c->windows.erase(window);
}

void X11Driver::SetVisible(HWND window, bool show, bool activate) {
    Connection* c = ThreadConnection(false);
    TopLevel* t = c ? c->Find(window) : nullptr;
    if (!t || c->lost)
        return;
    if (!show) {
        XWithdrawWindow(c->dpy, t->xid, DefaultScreen(c->dpy));
    } else {
        // A window shown without activation asks the window manager not to focus it.
        if (t->managed && !activate)
            SetCardinal(c->dpy, t->xid, c->atoms[kNetWmUserTime], 0);
        XMapRaised(c->dpy, t->xid);
    }
    XFlush(c->dpy);
}

void X11Driver::SetRect(HWND window, const RECT& rect) {
    Connection* c = ThreadConnection(false);
    TopLevel* t = c ? c->Find(window) : nullptr;
    if (!t || c->lost)
        return;
    bool resized = rect.right - rect.left != t->rect.right - t->rect.left ||
                   rect.bottom - rect.top != t->rect.bottom - t->rect.top;
    t->rect = rect;
    if (resized)
        SetSizeHints(c->dpy, *t);
    POINT o = Origin();
    t->moveSerial = NextRequest(c->dpy);
    XMoveResizeWindow(c->dpy, t->xid, rect.left + o.x, rect.top + o.y,
                      std::max<int>(1, rect.right - rect.left),
                      std::max<int>(1, rect.bottom - rect.top));
    XFlush(c->dpy);
}

void X11Driver::SetTitle(HWND window, std::u16string_view title) {
    Connection* c = ThreadConnection(false);
    TopLevel* t = c ? c->Find(window) : nullptr;
    if (!t || c->lost)
        return;
    std::string utf8 = Utf8(title);
    char* list[] = {utf8.data()};
    XTextProperty text{};
    // WM_NAME for older window managers, in whatever encoding the text fits best.
    if (Xutf8TextListToTextProperty(c->dpy, list, 1, XStdICCTextStyle, &text) >= Success) {
        XSetWMName(c->dpy, t->xid, &text);
        XSetWMIconName(c->dpy, t->xid, &text);
        XFree(text.value);
    }
    auto* bytes = reinterpret_cast<unsigned char*>(utf8.data());
    int length = static_cast<int>(utf8.size());
    XChangeProperty(c->dpy, t->xid, c->atoms[kNetWmName], c->atoms[kUtf8String], 8, PropModeReplace,
                    bytes, length);
    XChangeProperty(c->dpy, t->xid, c->atoms[kNetWmIconName], c->atoms[kUtf8String], 8,
                    PropModeReplace, bytes, length);
    XFlush(c->dpy);
}

void X11Driver::SetIcons(HWND window, const IconImage& big, const IconImage& small) {
    Connection* c = ThreadConnection(false);
    TopLevel* t = c ? c->Find(window) : nullptr;
    if (!t || c->lost)
        return;
    // _NET_WM_ICON: width, height, then ARGB pixels, for each size; format-32 data is longs.
    std::vector<long> data;
    for (const IconImage* icon : {&big, &small}) {
        size_t n = static_cast<size_t>(std::max(0, icon->width)) * std::max(0, icon->height);
        if (n == 0 || icon->argb.size() < n)
            continue;
        data.push_back(icon->width);
        data.push_back(icon->height);
        data.insert(data.end(), icon->argb.begin(), icon->argb.begin() + n);
    }
    if (data.empty()) {
        XDeleteProperty(c->dpy, t->xid, c->atoms[kNetWmIcon]);
    } else {
        XChangeProperty(c->dpy, t->xid, c->atoms[kNetWmIcon], XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(data.data()),
                        static_cast<int>(data.size()));
    }
    XFlush(c->dpy);
}

void X11Driver::Present(HWND window, const Surface& surface, const RECT& dirty) {
    Connection* c = ThreadConnection(false);
    TopLevel* t = c ? c->Find(window) : nullptr;
    if (!t || c->lost || surface.width <= 0 || surface.height <= 0)
        return;
    int left = std::max<int>(0, dirty.left), top = std::max<int>(0, dirty.top);
    int right = std::min<int>(surface.width, dirty.right);
    int bottom = std::min<int>(surface.height, dirty.bottom);
    if (left >= right || top >= bottom)
        return;
    // The image wraps the surface's pixels (0x00RRGGBB words in host order); no copy is made.
    XImage* image =
        XCreateImage(c->dpy, c->visual, 24, ZPixmap, 0,
                     reinterpret_cast<char*>(const_cast<uint32_t*>(surface.pixels.data())),
                     surface.width, surface.height, 32, surface.width * 4);
    if (!image)
        return;
    image->byte_order = LSBFirst;
    XPutImage(c->dpy, t->xid, t->gc, image, left, top, left, top, right - left, bottom - top);
    image->data = nullptr;  // the pixels belong to the surface
    XDestroyImage(image);
    XFlush(c->dpy);
}

void X11Driver::SetCapture(HWND window) {
    Connection* c = ThreadConnection(false);
    if (!c || c->lost)
        return;
    if (!window) {
        XUngrabPointer(c->dpy, CurrentTime);
    } else if (TopLevel* t = c->Find(window)) {
        XGrabPointer(c->dpy, t->xid, False,
                     ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                         LeaveWindowMask,
                     GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    }
    XFlush(c->dpy);
}

int X11Driver::ThreadFd() {
    Connection* c = ThreadConnection(false);
    // A lost connection's socket stays readable: polling it would spin.
    return c && !c->lost ? ConnectionNumber(c->dpy) : -1;
}

void X11Driver::Flush() {
    Connection* c = ThreadConnection(false);
    if (c && !c->lost)
        XFlush(c->dpy);
}

}  // namespace winlayer::x11
