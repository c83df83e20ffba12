// A layer window on a real X server: where it is mapped, what its title is, what the pointer
// does to it and what it shows.
#include "x11_e2e_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdlib>

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
