// The x11 driver's windows of other processes: found by the Win32 class and title that the
// layer puts on every X window it makes, and raised on request, as FindWindowW and
// SetForegroundWindow reach any process's windows on Windows.
#include "drivers/x11/x11_driver.h"

#include <X11/Xatom.h>

#include <cctype>
#include <string>
#include <vector>

namespace winlayer::x11 {

namespace {

// A UTF-8 text property of the window, or nothing.
bool TextProperty(::Display* dpy, ::Window window, Atom property, Atom type, std::string* text) {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, window, property, 0, 1024, False, type, &actual, &format, &count,
                           &after, &data) != Success ||
        data == nullptr) {
        return false;
    }
    const bool found = actual == type && format == 8;
    if (found)
        text->assign(reinterpret_cast<const char*>(data), count);
    XFree(data);
    return found;
}

bool EqualsAsciiFolded(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::vector<::Window> Children(::Display* dpy, ::Window parent) {
    ::Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    std::vector<::Window> list;
    if (XQueryTree(dpy, parent, &root, &up, &children, &count)) {
        list.assign(children, children + count);
        if (children != nullptr)
            XFree(children);
    }
    return list;
}

}  // namespace

uint64_t X11Driver::FindForeignTopLevel(const char16_t* className, const char16_t* title) {
    Connection* c = ThreadConnection(true);
    if (!c || c->lost)
        return 0;
    const std::string wantedClass = className ? Utf8(className) : std::string();
    const std::string wantedTitle = title ? Utf8(title) : std::string();
    auto matches = [&](::Window w) {
        std::string windowClass, windowTitle;
        if (c->byXid.count(w) ||  // this thread's own window
            !TextProperty(c->dpy, w, c->atoms[kWinlayerClass], c->atoms[kUtf8String], &windowClass))
            return false;
        if (className && !EqualsAsciiFolded(windowClass, wantedClass))
            return false;
        return !title || (TextProperty(c->dpy, w, c->atoms[kNetWmName], c->atoms[kUtf8String],
                                       &windowTitle) &&
                          windowTitle == wantedTitle);
    };
    // Children bottom to top, so the frontmost match is the last; a reparenting window manager
    // puts a managed window one level down, inside its frame.
    uint64_t found = 0;
    for (int depth = 0; depth < 2 && found == 0; ++depth) {
        std::vector<::Window> level = Children(c->dpy, DefaultRootWindow(c->dpy));
        if (depth == 1) {
            std::vector<::Window> inner;
            for (::Window frame : level)
                for (::Window w : Children(c->dpy, frame))
                    inner.push_back(w);
            level = std::move(inner);
        }
        for (size_t i = level.size(); i-- > 0 && found == 0;)
            if (matches(level[i]))
                found = level[i];
    }
    return found;
}

bool X11Driver::RaiseForeign(uint64_t id) {
    Connection* c = ThreadConnection(true);
    if (!c || c->lost || id == 0)
        return false;
    const ::Window window = static_cast<::Window>(id);
    // An override-redirect window is raised directly; a managed one through the window manager,
    // where there is one.
    XRaiseWindow(c->dpy, window);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = c->atoms[kNetActiveWindow];
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;  // from an application
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(c->dpy, DefaultRootWindow(c->dpy), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(c->dpy, False);
    return true;
}

}  // namespace winlayer::x11
