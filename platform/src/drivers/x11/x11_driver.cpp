// The x11 driver's windows: creation (override-redirect or managed), titles, icons, placement,
// presentation of the surface and the pointer grab.
#include "drivers/x11/x11_driver.h"

#include <X11/Xatom.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <errno.h>

namespace winlayer::x11 {

namespace {

constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            EnterWindowMask | LeaveWindowMask | StructureNotifyMask;

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

std::unique_ptr<DisplayDriver> OpenDisplayDriver(std::string* why) {
    XInitThreads();
    ::Display* query = XOpenDisplay(nullptr);
    if (!query) {
        const char* name = XDisplayName(nullptr);
        if (why)
            *why = *name ? std::string("cannot open X display ") + name : "DISPLAY is not set";
        return nullptr;
    }
    InstallErrorHandlers();
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
    if (::Window owner = XidOf(desc.owner)) {
        XSetTransientForHint(dpy, t.xid, owner);
        long dialog = static_cast<long>(c->atoms[kNetWmWindowTypeDialog]);
        XChangeProperty(dpy, t.xid, c->atoms[kNetWmWindowType], XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&dialog), 1);
    }
    c->byXid[t.xid] = desc.hwnd;
    c->windows[desc.hwnd] = t;
    NoteXid(desc.hwnd, t.xid);
    SetTitle(desc.hwnd, desc.title);
    return true;
}

void X11Driver::DestroyTopLevel(HWND window) {
    Connection* c = ThreadConnection(false);
    TopLevel* t = c ? c->Find(window) : nullptr;
    if (!t)
        return;
    ForgetXid(window);
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
