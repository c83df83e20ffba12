// xwm: what a window manager does to a window, for the e2e tests on a display without one.
//
//   xwm close ID   asks the window to close: a WM_PROTOCOLS client message with
//                  WM_DELETE_WINDOW, as a window manager's close button sends it
//   xwm top        prints the id of the frontmost mapped top-level window (decimal)
//
// ID is decimal or 0x-hexadecimal, as xdotool prints it. Exit status: 0 done; 1 the window does
// not take WM_DELETE_WINDOW, or no window is mapped; 2 bad arguments; 3 the display failed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: xwm close ID | xwm top\n");
    return 2;
}

bool TakesDeleteWindow(Display* dpy, Window window, Atom deleteWindow) {
    Atom* protocols = nullptr;
    int count = 0;
    bool found = false;
    if (XGetWMProtocols(dpy, window, &protocols, &count)) {
        for (int i = 0; i < count; ++i)
            found = found || protocols[i] == deleteWindow;
        XFree(protocols);
    }
    return found;
}

int Close(Display* dpy, Window window) {
    Atom protocolsAtom = XInternAtom(dpy, "WM_PROTOCOLS", False);
    Atom deleteWindow = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    if (!TakesDeleteWindow(dpy, window, deleteWindow)) {
        std::fprintf(stderr, "xwm: window 0x%lx does not take WM_DELETE_WINDOW\n", window);
        return 1;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocolsAtom;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, window, False, NoEventMask, &event);
    XSync(dpy, False);
    return 0;
}

// XQueryTree lists the root's children bottom to top.
int Top(Display* dpy) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count))
        return 3;
    Window top = 0;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(dpy, children[i], &attributes) &&
            attributes.map_state == IsViewable)
            top = children[i];
    }
    if (children != nullptr)
        XFree(children);
    if (top == 0)
        return 1;
    std::printf("%lu\n", top);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const bool close = std::strcmp(argv[1], "close") == 0;
    if (close ? argc != 3 : (std::strcmp(argv[1], "top") != 0 || argc != 2))
        return Usage();
    Window window = 0;
    if (close) {
        char* end = nullptr;
        window = std::strtoul(argv[2], &end, 0);
        if (end == argv[2] || *end != '\0' || window == 0)
            return Usage();
    }
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        std::fprintf(stderr, "xwm: cannot open the display\n");
        return 3;
    }
    const int status = close ? Close(dpy, window) : Top(dpy);
    XCloseDisplay(dpy);
    return status;
}
