#include <windows.h>
#include <winlayer/display.h>

#include <gtest/gtest.h>

#include <mutex>

#include "ui_thread.h"
#include "window_test_support.h"

namespace {

using namespace windowtest;
namespace display = winlayer::testing;

struct Mouse {
    HWND hwnd;
    UINT message;
    WPARAM keys;
    POINT client;
    SHORT shiftState;
};

std::mutex mouseMutex;
std::vector<Mouse> mouse;

std::vector<Mouse> MouseLog() {
    std::lock_guard lock(mouseMutex);
    return mouse;
}

void ClearMouseLog() {
    std::lock_guard lock(mouseMutex);
    mouse.clear();
}

// Records mouse messages; a press outside the child turns into a caption drag, as the
// framework's StartDrag does.
LRESULT CALLBACK MouseProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if ((message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_MOUSELEAVE) {
        std::lock_guard lock(mouseMutex);
        mouse.push_back(
            {hwnd, message, wParam,
             POINT{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))},
             GetKeyState(VK_SHIFT)});
    }
    if (message == WM_LBUTTONDOWN && wParam == MK_LBUTTON &&
        !(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD))
        PostMessageW(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND MakeMouseWindows() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MouseProc;
    wc.lpszClassName = u"MouseWindow";
    RegisterClassExW(&wc);
    HWND top = CreateWindowExW(WS_EX_TOPMOST, u"MouseWindow", nullptr, WS_POPUP | WS_CLIPCHILDREN,
                               100, 100, 500, 310, nullptr, nullptr, nullptr, nullptr);
    CreateWindowExW(0, u"MouseWindow", nullptr, WS_CHILD | WS_VISIBLE, 34, 260, 434, 15, top,
                    nullptr, nullptr, nullptr);
    ShowWindow(top, SW_SHOWNA);
    return top;
}

// The progress-bar-like child, found where it lies on screen.
HWND ChildOf(HWND top) {
    POINT inChild{100 + 40, 100 + 265};
    HWND found = WindowFromPoint(inChild);
    return GetParent(found) == top ? found : nullptr;
}

class InputTest : public ::testing::Test {
  protected:
    InputTest() : ui(MakeMouseWindows) {
        display::MovePointer({10, 10});
        EXPECT_TRUE(ui.Idle());
        ClearMouseLog();
    }
    UiThread ui;
};

TEST_F(InputTest, MouseMessagesCarryButtonsAndKeys) {
    HWND child = ChildOf(ui.hwnd());
    ASSERT_NE(child, ui.hwnd());
    display::Click({100 + 50, 100 + 270}, MK_SHIFT);
    ASSERT_TRUE(ui.Idle());
    std::vector<Mouse> log = MouseLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(log[1].message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(log[1].keys, static_cast<WPARAM>(MK_LBUTTON | MK_SHIFT));
    EXPECT_LT(log[1].shiftState, 0) << "GetKeyState follows the messages";
    EXPECT_EQ(log[2].message, static_cast<UINT>(WM_LBUTTONUP));
    EXPECT_EQ(log[2].keys, static_cast<WPARAM>(MK_SHIFT));
    for (const Mouse& m : log) {
        EXPECT_EQ(m.hwnd, child);
        EXPECT_EQ(m.client.x, 16);
        EXPECT_EQ(m.client.y, 10);
    }
    EXPECT_EQ(GetAsyncKeyState(VK_LBUTTON), 0);
    EXPECT_EQ(GetAsyncKeyState(VK_SHIFT), 0);
}

LRESULT CALLBACK TrackingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_MOUSEMOVE) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&track);
    }
    return MouseProc(hwnd, message, wParam, lParam);
}

TEST_F(InputTest, LeaveNotificationComesOnceAlsoOntoAChild) {
    SetWindowLongPtrW(ui.hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TrackingProc));
    auto leaves = [] {
        int count = 0;
        for (const Mouse& m : MouseLog())
            count += m.message == WM_MOUSELEAVE;
        return count;
    };
    display::MovePointer({200, 150});
    display::MovePointer({210, 150});
    ASSERT_TRUE(ui.Idle());
    EXPECT_EQ(leaves(), 0);
    display::MovePointer({100 + 50, 100 + 270});  // onto the child
    ASSERT_TRUE(ui.Idle());
    EXPECT_EQ(leaves(), 1);
    display::MovePointer({100 + 60, 100 + 270});
    display::MovePointer({2000, 900});  // off every window
    ASSERT_TRUE(ui.Idle());
    EXPECT_EQ(leaves(), 1) << "the child asked for nothing";
    display::MovePointer({200, 150});
    display::MovePointer({2000, 900});
    ASSERT_TRUE(ui.Idle());
    EXPECT_EQ(leaves(), 2);
    EXPECT_EQ(MouseLog().back().hwnd, ui.hwnd());
}

TEST_F(InputTest, DragMovesByThePointersDeltaAndSwallowsTheRelease) {
    display::MovePointer({300, 200});
    display::PressButton(MK_LBUTTON);
    ASSERT_TRUE(ui.Idle());  // now in the move loop, waiting
    display::MovePointer({330, 180});
    ASSERT_TRUE(ui.Idle());
    RECT rect;
    GetWindowRect(ui.hwnd(), &rect);
    EXPECT_EQ(rect.left, 130);
    EXPECT_EQ(rect.top, 80);
    display::MovePointer({250, 260});
    display::ReleaseButton(MK_LBUTTON);
    ASSERT_TRUE(ui.Idle());
    GetWindowRect(ui.hwnd(), &rect);
    EXPECT_EQ(rect.left, 50);
    EXPECT_EQ(rect.top, 160);
    EXPECT_EQ(rect.right - rect.left, 500);
    for (const Mouse& m : MouseLog())
        EXPECT_NE(m.message, static_cast<UINT>(WM_LBUTTONUP)) << "the release ended the drag";

    // The move loop gave the pointer back: moves go to the window under it again.
    ClearMouseLog();
    display::MovePointer({60, 170});
    ASSERT_TRUE(ui.Idle());
    ASSERT_FALSE(MouseLog().empty());
    EXPECT_EQ(MouseLog().back().client.x, 10);

    // A click that is over before the loop starts moves nothing, and its release is a click.
    ClearMouseLog();
    display::Click({300, 300});
    ASSERT_TRUE(ui.Idle());
    GetWindowRect(ui.hwnd(), &rect);
    EXPECT_EQ(rect.left, 50);
    EXPECT_EQ(MouseLog().back().message, static_cast<UINT>(WM_LBUTTONUP));
}

TEST_F(InputTest, ModifiedPressesDoNotDrag) {
    display::MovePointer({300, 200});
    display::SetKeys(MK_CONTROL);
    display::PressButton(MK_LBUTTON);
    ASSERT_TRUE(ui.Idle());
    display::MovePointer({350, 250});
    display::ReleaseButton(MK_LBUTTON);
    display::SetKeys(0);
    ASSERT_TRUE(ui.Idle());
    RECT rect;
    GetWindowRect(ui.hwnd(), &rect);
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(MouseLog().back().message, static_cast<UINT>(WM_LBUTTONUP));
}

TEST(Cursor, PositionAndCapture) {
    display::MovePointer({1234, 567});
    POINT pt{};
    EXPECT_TRUE(GetCursorPos(&pt));
    EXPECT_EQ(pt.x, 1234);
    EXPECT_EQ(pt.y, 567);
    EXPECT_TRUE(SetCursorPos(5, 6));
    GetCursorPos(&pt);
    EXPECT_EQ(pt.x, 5);
    EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorW(reinterpret_cast<HINSTANCE>(0x400000), IDC_ARROW), nullptr);

    HWND hwnd = MakeWindow(WS_POPUP | WS_VISIBLE, nullptr, {0, 0, 100, 100});
    MessageLog::Get().Clear();
    EXPECT_EQ(SetCapture(hwnd), nullptr);
    EXPECT_EQ(GetCapture(), hwnd);
    display::MovePointer({300, 300});  // outside, but captured
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, hwnd);
    EXPECT_EQ(static_cast<SHORT>(LOWORD(msg.lParam)), 300);
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(MessageLog::Get().Of(hwnd), std::vector<UINT>{WM_CAPTURECHANGED});
    DestroyWindow(hwnd);
}

}  // namespace
