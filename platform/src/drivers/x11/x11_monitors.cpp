// The x11 driver's monitors and pointer. Monitors come from XRandR 1.5 on every query (cheap, and
// it follows hot-plugging); Windows puts the primary monitor's origin at (0, 0), so every root
// position is shifted by it. Without RandR the screen is one monitor.
#include "drivers/x11/x11_driver.h"

#include <X11/extensions/Xrandr.h>

#include <algorithm>

namespace winlayer::x11 {

namespace {

std::u16string DeviceName(size_t index) {
    std::string ascii = "\\\\.\\DISPLAY" + std::to_string(index + 1);
    return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace

std::vector<MonitorDesc> X11Driver::Monitors() {
    std::vector<MonitorDesc> monitors;
    POINT primaryRoot{0, 0};
    {
        std::lock_guard<std::mutex> lock(query_lock_);
        ::Display* dpy = query_;
        int event = 0, error = 0, major = 0, minor = 0;
        if (XRRQueryExtension(dpy, &event, &error) && XRRQueryVersion(dpy, &major, &minor) &&
            (major > 1 || (major == 1 && minor >= 5))) {
            int n = 0;
            XRRMonitorInfo* info = XRRGetMonitors(dpy, DefaultRootWindow(dpy), True, &n);
            for (int i = 0; info && i < n; ++i) {
                MonitorDesc m;
                m.rect = {info[i].x, info[i].y, info[i].x + info[i].width,
                          info[i].y + info[i].height};
                m.primary = info[i].primary;
                monitors.push_back(m);
            }
            if (info)
                XRRFreeMonitors(info);
        }
        if (monitors.empty()) {
            int screen = DefaultScreen(dpy);
            MonitorDesc m;
            m.rect = {0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen)};
            monitors.push_back(m);
        }
    }
    // The primary first (the first one when the server names none), at (0, 0).
    auto primary = std::find_if(monitors.begin(), monitors.end(),
                                [](const MonitorDesc& m) { return m.primary; });
    if (primary == monitors.end())
        primary = monitors.begin();
    std::rotate(monitors.begin(), primary, primary + 1);
    primaryRoot = {monitors[0].rect.left, monitors[0].rect.top};
    for (size_t i = 0; i < monitors.size(); ++i) {
        MonitorDesc& m = monitors[i];
        m.primary = i == 0;
        m.rect = {m.rect.left - primaryRoot.x, m.rect.top - primaryRoot.y,
                  m.rect.right - primaryRoot.x, m.rect.bottom - primaryRoot.y};
        m.name = DeviceName(i);
    }
    origin_x_ = primaryRoot.x;
    origin_y_ = primaryRoot.y;
    return monitors;
}

bool X11Driver::QueryPointer(POINT* root, unsigned int* state) {
    std::lock_guard<std::mutex> lock(query_lock_);
    ::Window rootWindow, child;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    if (!XQueryPointer(query_, DefaultRootWindow(query_), &rootWindow, &child, &rootX, &rootY, &x,
                       &y, state)) {
        return false;
    }
    *root = POINT{rootX, rootY};
    return true;
}

POINT X11Driver::CursorPos() {
    POINT root{};
    unsigned int state = 0;
    if (!QueryPointer(&root, &state))
        return {0, 0};
    POINT o = Origin();
    return {root.x - o.x, root.y - o.y};
}

bool X11Driver::MovePointer(POINT screen) {
    POINT o = Origin();
    std::lock_guard<std::mutex> lock(query_lock_);
    XWarpPointer(query_, None, DefaultRootWindow(query_), 0, 0, 0, 0, screen.x + o.x,
                 screen.y + o.y);
    XSync(query_, False);
    return true;
}

UINT X11Driver::ButtonsDown() {
    POINT root{};
    unsigned int state = 0;
    return QueryPointer(&root, &state) ? KeysFromState(state) : 0;
}

}  // namespace winlayer::x11
