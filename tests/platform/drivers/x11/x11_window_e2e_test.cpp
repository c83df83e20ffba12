// A layer window on a real X server: where it is mapped, what its title is, what the pointer
// does to it and what it shows.
#include "x11_e2e_support.h"

#include "user32/icons.h"

#include <X11/Xlib.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using e2e::Seen;
using e2e::UiWindow;

POINT ClientPoint(LPARAM lParam) {
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

auto Is(UINT message) {
    return [message](const Seen& s) { return s.message == message; };
}

TEST(X11Window, IsMappedAtItsPlaceAndSizeWithItsTitle) {
    UiWindow::Options o;
    o.rect = {200, 150, 520, 390};
    o.title = u"远帆 e2e";
    UiWindow window(o);
    unsigned long xid = e2e::FindXWindow("远帆 e2e");
    ASSERT_NE(xid, 0u) << "no X window titled 远帆 e2e";
    e2e::Geometry g = e2e::XGeometry(xid);
    EXPECT_EQ(g.x, 200);
    EXPECT_EQ(g.y, 150);
    EXPECT_EQ(g.width, 320);
    EXPECT_EQ(g.height, 240);
}

TEST(X11Window, ButtonsArriveAtClientCoordinatesWithTheirFlags) {
    UiWindow window({});
    ASSERT_NE(e2e::FindXWindow("e2e window"), 0u);
    Seen s;

    ASSERT_EQ(e2e::Xdotool("mousemove --sync 250 190 click 1").status, 0);
    ASSERT_TRUE(window.log.WaitFor(Is(WM_LBUTTONDOWN), &s));
    EXPECT_EQ(ClientPoint(s.lParam).x, 50);
    EXPECT_EQ(ClientPoint(s.lParam).y, 40);
    EXPECT_EQ(s.wParam, static_cast<WPARAM>(MK_LBUTTON));
    ASSERT_TRUE(window.log.WaitFor(Is(WM_LBUTTONUP), &s));
    EXPECT_EQ(ClientPoint(s.lParam).x, 50);
    EXPECT_EQ(s.wParam, 0u);

    // The modifiers held during a click come with it; the button's own flag only while it is down.
    ASSERT_EQ(e2e::Xdotool("keydown ctrl mousemove --sync 300 200 click 3 keyup ctrl").status, 0);
    ASSERT_TRUE(window.log.WaitFor(Is(WM_RBUTTONDOWN), &s));
    EXPECT_EQ(ClientPoint(s.lParam).x, 100);
    EXPECT_EQ(ClientPoint(s.lParam).y, 50);
    EXPECT_EQ(s.wParam, static_cast<WPARAM>(MK_RBUTTON | MK_CONTROL));
    ASSERT_TRUE(window.log.WaitFor(Is(WM_RBUTTONUP), &s));
    EXPECT_EQ(s.wParam, static_cast<WPARAM>(MK_CONTROL));

    ASSERT_EQ(e2e::Xdotool("keydown shift mousemove --sync 210 160 click 1 keyup shift").status, 0);
    ASSERT_TRUE(window.log.WaitFor(Is(WM_LBUTTONDOWN), &s));
    EXPECT_EQ(ClientPoint(s.lParam).x, 10);
    EXPECT_EQ(ClientPoint(s.lParam).y, 10);
    EXPECT_EQ(s.wParam, static_cast<WPARAM>(MK_LBUTTON | MK_SHIFT));

    // GetCursorPos reads the pointer of the X server.
    POINT p{};
    ASSERT_TRUE(GetCursorPos(&p));
    EXPECT_EQ(p.x, 210);
    EXPECT_EQ(p.y, 160);
}

TEST(X11Window, DragMovesTheWindowByThePointersDelta) {
    UiWindow::Options o;
    o.dragOnClick = true;
    UiWindow window(o);
    unsigned long xid = e2e::FindXWindow("e2e window");
    ASSERT_NE(xid, 0u);

    auto movedTo = [](int x, int y) {
        return [x, y](const Seen& s) {
            return s.message == WM_MOVE && ClientPoint(s.lParam).x == x &&
                   ClientPoint(s.lParam).y == y;
        };
    };
    // Step by step, each once the window has taken the one before, as a hand would.
    ASSERT_EQ(e2e::Xdotool("mousemove --sync 250 190 mousedown 1").status, 0);
    ASSERT_TRUE(window.log.WaitFor(Is(WM_ENTERSIZEMOVE))) << "no move loop";
    ASSERT_EQ(e2e::Xdotool("mousemove --sync 280 230").status, 0);
    ASSERT_TRUE(window.log.WaitFor(movedTo(230, 190))) << "the window never reached 230,190";
    ASSERT_EQ(e2e::Xdotool("mousemove --sync 330 270").status, 0);
    ASSERT_TRUE(window.log.WaitFor(movedTo(280, 230))) << "the window never reached 280,230";
    ASSERT_EQ(e2e::Xdotool("mouseup 1").status, 0);
    ASSERT_TRUE(window.log.WaitFor(Is(WM_EXITSIZEMOVE)));
    e2e::Geometry g = e2e::XGeometry(xid);
    EXPECT_EQ(g.x, 280);
    EXPECT_EQ(g.y, 230);
    EXPECT_EQ(g.width, 320);
    RECT r{};
    GetWindowRect(window.hwnd(), &r);
    EXPECT_EQ(r.left, 280);
    EXPECT_EQ(r.top, 230);
    // The drag loop took the release, and the grab is gone: the next click reaches the window.
    ASSERT_EQ(e2e::Xdotool("click 3").status, 0);
    Seen next;
    ASSERT_TRUE(window.log.WaitFor(
        [](const Seen& s) { return s.message == WM_LBUTTONUP || s.message == WM_RBUTTONUP; },
        &next));
    EXPECT_EQ(next.message, static_cast<UINT>(WM_RBUTTONUP));
}

TEST(X11Window, TheScreenIsOneMonitorFromRandR) {
    // Xvfb's one screen of 1600x900 (tools/xvfb-session) is the primary monitor, at (0, 0).
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1600);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 900);
    DISPLAY_DEVICEW device{};
    device.cb = sizeof device;
    ASSERT_TRUE(EnumDisplayDevicesW(nullptr, 0, &device, 0));
    EXPECT_EQ(std::u16string(device.DeviceName), u"\\\\.\\DISPLAY1");
    EXPECT_TRUE(device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE);
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    ASSERT_TRUE(EnumDisplaySettingsExW(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode, 0));
    EXPECT_EQ(mode.dmPosition.x, 0);
    EXPECT_EQ(mode.dmPosition.y, 0);
    EXPECT_EQ(mode.dmPelsWidth, 1600u);
    EXPECT_EQ(mode.dmPelsHeight, 900u);
    device.cb = sizeof device;
    EXPECT_FALSE(EnumDisplayDevicesW(nullptr, 1, &device, 0));
}

// _NET_WM_ICON: for each image its width, its height, then its ARGB pixels (format-32 longs).
std::vector<unsigned long> IconProperty(unsigned long xid) {
    std::vector<unsigned long> values;
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return values;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, xid, XInternAtom(dpy, "_NET_WM_ICON", False), 0, 1 << 20, False,
                           AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
        data && format == 32) {
        auto* longs = reinterpret_cast<unsigned long*>(data);
        values.assign(longs, longs + count);
    }
    if (data)
        XFree(data);
    XCloseDisplay(dpy);
    return values;
}

TEST(X11Window, GivesItsIconsToTheWindowManager) {
    UiWindow window({});
    unsigned long xid = e2e::FindXWindow("e2e window");
    ASSERT_NE(xid, 0u);
    EXPECT_TRUE(IconProperty(xid).empty());
    winlayer::IconImage expected;
    window.OnUiThread([&] {
        HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(102));
        ASSERT_NE(icon, nullptr);
        expected = winlayer::IconImageOf(icon);
        SendMessageW(window.hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(window.hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    });
    std::vector<unsigned long> icons = IconProperty(xid);
    // Two images, each complete and not fully transparent. (Xlib hands format-32 values back as
    // sign-extended longs: only the low 32 bits are the pixel.)
    int images = 0;
    size_t at = 0;
    while (at + 2 <= icons.size()) {
        unsigned long w = icons[at], h = icons[at + 1];
        ASSERT_GT(w * h, 0u);
        ASSERT_LE(at + 2 + w * h, icons.size());
        unsigned long visible = 0;
        for (size_t i = at + 2; i < at + 2 + w * h; ++i)
            visible += (icons[i] & 0xFF000000) != 0;
        EXPECT_GT(visible, 0u) << "image " << images << " is fully transparent";
        at += 2 + w * h;
        ++images;
    }
    EXPECT_EQ(at, icons.size());
    EXPECT_EQ(images, 2);
    // The pixels are the icon's own.
    ASSERT_GE(icons.size(), 2 + expected.argb.size());
    EXPECT_EQ(icons[0], static_cast<unsigned long>(expected.width));
    for (size_t i = 0; i < expected.argb.size(); ++i) {
        ASSERT_EQ(icons[2 + i] & 0xFFFFFFFF, expected.argb[i]) << "pixel " << i;
    }
}

TEST(X11Window, EndsItsLoopWhenTheServerGoesAway) {
    UiWindow window({});
    ASSERT_NE(e2e::FindXWindow("e2e window"), 0u);
    const char* server = std::getenv("XVFB_SESSION_PID");
    ASSERT_NE(server, nullptr);
    ASSERT_EQ(kill(std::atoi(server), SIGTERM), 0);
    // GetMessageW returns instead of the process exiting; the window is destroyed afterwards.
    EXPECT_TRUE(window.WaitForLoopEnd());
}

}  // namespace
