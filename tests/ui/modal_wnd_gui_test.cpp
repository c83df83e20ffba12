// The window framework on the headless display: the default painting, the close cross, dragging,
// the modal loop's close request and its message filter.
#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "core/settings.h"
#include "modal_runner.h"
#include "ui/mem_dc.h"
#include "ui/modal_wnd.h"

namespace {

using uitest::ModalRunner;
using uitest::Observed;
namespace display = winlayer::testing;

// What the other windows of the user-interface thread received.
std::mutex receivedMutex;
std::vector<std::pair<HWND, UINT>> received;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT || message == WM_LBUTTONDOWN || message >= WM_USER) {
        std::lock_guard<std::mutex> lock(receivedMutex);
        received.emplace_back(window, message);
    }
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool Received(HWND window, UINT message) {
    std::lock_guard<std::mutex> lock(receivedMutex);
    for (const auto& entry : received)
        if (entry.first == window && entry.second == message)
            return true;
    return false;
}

// A plain modal window at (100, 100), 500 × 310, with windows of its thread around it: another
// top-level window, and a chain of four nested children of the modal window.
class TestWindow : public TModalWnd {
  public:
    TestWindow() { caption = u"Caption"; }

    void OnInit() override {
        RECT rect{};
        GetWindowRect(hwnd, &rect);
        initSize = {rect.right - rect.left, rect.bottom - rect.top};
        initVisible = IsWindowVisible(hwnd) != FALSE;

        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.lpszClassName = u"RecordingWindow";
        RegisterClassExW(&windowClass);
        other = CreateWindowExW(0, u"RecordingWindow", u"", WS_POPUP | WS_VISIBLE, 700, 0, 50, 50,
                                nullptr, nullptr, nullptr, nullptr);
        HWND parent = hwnd;
        for (HWND& child : nested) {
            child = CreateWindowExW(0, u"RecordingWindow", u"", WS_CHILD, 0, 0, 0, 0, parent,
                                    nullptr, nullptr, nullptr);
            parent = child;
        }
    }
    void PlaceOnScreen() override { MoveWindow(hwnd, 100, 100, 500, 310, TRUE); }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (messages.empty())
                firstHwnd = hwnd;
            messages.push_back(message);
        }
        return TModalWnd::HandleMessage(message, wParam, lParam);
    }
    bool Got(UINT message) {
        std::lock_guard<std::mutex> lock(mutex);
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }

    std::mutex mutex;
    std::vector<UINT> messages;
    HWND firstHwnd = nullptr;
    SIZE initSize{-1, -1};
    bool initVisible = true;
    HWND other = nullptr;
    HWND nested[4] = {};
};

class ModalWndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitSharedResources();
        runner.Start([] { return std::make_unique<Observed<TestWindow>>(); });
    }
    TestWindow& window() { return *runner.window; }

    ModalRunner<TestWindow> runner;
};

constexpr COLORREF kCaption = 0x2D42DA;
constexpr COLORREF kBorder = 0x464646;
constexpr COLORREF kLight = 0xE7E7E7;
constexpr COLORREF kGrey = 0x969696;

// The cross of the default painting: {480, 10}–{490, 20}, both diagonals.
void ExpectCross(const display::Image& image, COLORREF color) {
    for (int i = 0; i <= 10; ++i) {
        EXPECT_EQ(image.At(480 + i, 10 + i), color) << i;
        EXPECT_EQ(image.At(480 + i, 20 - i), color) << i;
    }
    EXPECT_NE(image.At(491, 21), color);
    EXPECT_NE(image.At(485, 10), color);
}

TEST_F(ModalWndTest, WindowExistsHiddenAndEmptyForOnInitAndObjectGetsMessagesFromNcCreate) {
    EXPECT_EQ(window().initSize.cx, 0);
    EXPECT_EQ(window().initSize.cy, 0);
    EXPECT_FALSE(window().initVisible);
    // WM_GETMINMAXINFO comes before WM_NCCREATE and goes to the default procedure.
    std::lock_guard<std::mutex> lock(window().mutex);
    ASSERT_FALSE(window().messages.empty());
    EXPECT_EQ(window().messages.front(), static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(window().firstHwnd, runner.hwnd);
    EXPECT_EQ(GetWindowLongPtrW(runner.hwnd, 0), reinterpret_cast<LONG_PTR>(runner.window));
    EXPECT_EQ(GetWindowLongW(runner.hwnd, GWL_STYLE) & 0x82000000, 0x82000000);
    EXPECT_TRUE(IsWindowVisible(runner.hwnd));
}

TEST_F(ModalWndTest, DefaultPaintingShowsBorderCaptionBarCaptionAndCross) {
    display::Image image = runner.Capture();
    ASSERT_EQ(image.width, 500);
    ASSERT_EQ(image.height, 310);
    for (int x : {0, 1, 250, 499})
        for (int y : {0, 15, 29})
            EXPECT_EQ(image.At(x, y), kCaption) << x << "," << y;
    EXPECT_EQ(image.At(250, 30), 0xFFFFFFu);
    for (int y : {30, 150, 309}) {
        EXPECT_EQ(image.At(0, y), kBorder) << y;
        EXPECT_EQ(image.At(499, y), kBorder) << y;
    }
    EXPECT_EQ(image.At(250, 309), kBorder);
    EXPECT_EQ(image.At(1, 150), 0xFFFFFFu);
    ExpectCross(image, kGrey);
    EXPECT_EQ(window().closeRect.left, 479);
    EXPECT_EQ(window().closeRect.top, 9);
    EXPECT_EQ(window().closeRect.right, 491);
    EXPECT_EQ(window().closeRect.bottom, 21);

    // The caption, centred in the bar.
    RECT ink = uitest::InkBox(image, kLight, {0, 0, 500, 30});
    ASSERT_LT(ink.left, ink.right);
    EXPECT_LE(std::abs(ink.left - (500 - ink.right)), 3);
    EXPECT_LE(std::abs(ink.top - (30 - ink.bottom)), 4);
}

TEST_F(ModalWndTest, CrossLightsUpUnderThePointerAndDimsWhenItLeaves) {
    runner.MoveTo(479, 9);  // the hit area's corner
    ExpectCross(runner.Capture(), kLight);
    runner.MoveTo(478, 9);
    ExpectCross(runner.Capture(), kGrey);
    runner.MoveTo(490, 20);
    ExpectCross(runner.Capture(), kLight);
    display::MovePointer({1000, 900});  // off the window
    ASSERT_TRUE(runner.Idle());
    ExpectCross(runner.Capture(), kGrey);
}

TEST_F(ModalWndTest, EveryPaintingIsOnePresentationAndLeavesNoGdiObject) {
    const int objects = winlayer::testing::GdiObjectCount();
    const int presented = display::PresentCount(runner.hwnd);
    runner.MoveTo(200, 200);
    EXPECT_EQ(display::PresentCount(runner.hwnd), presented + 1);
    EXPECT_EQ(winlayer::testing::GdiObjectCount(), objects);
    runner.MoveTo(484, 12);
    EXPECT_EQ(display::PresentCount(runner.hwnd), presented + 2);
    EXPECT_EQ(winlayer::testing::GdiObjectCount(), objects);
}

TEST_F(ModalWndTest, PressOnAFreePointDragsTheWindowByThePointersMove) {
    display::MovePointer(runner.Screen(200, 15));
    display::PressButton(MK_LBUTTON);
    ASSERT_TRUE(runner.Idle());
    display::MovePointer(runner.Screen(230, 35));
    ASSERT_TRUE(runner.Idle());
    display::ReleaseButton(MK_LBUTTON);
    ASSERT_TRUE(runner.Idle());
    RECT rect = runner.WindowRect();
    EXPECT_EQ(rect.left, 130);
    EXPECT_EQ(rect.top, 120);
    EXPECT_TRUE(IsWindow(runner.hwnd));
}

TEST_F(ModalWndTest, PressesWithShiftOrControlOrOnTheCrossNeverDrag) {
    struct Case {
        POINT at;
        UINT keys;
    } cases[] = {{{200, 100}, MK_SHIFT}, {{200, 100}, MK_CONTROL}, {{480, 10}, 0}};
    for (const Case& c : cases) {
        display::SetKeys(c.keys);
        display::MovePointer(runner.Screen(c.at.x, c.at.y));
        display::PressButton(MK_LBUTTON);
        ASSERT_TRUE(runner.Idle());
        display::MovePointer(runner.Screen(c.at.x + 40, c.at.y + 30));
        ASSERT_TRUE(runner.Idle());
        // Released away from the cross, so nothing closes.
        display::ReleaseButton(MK_LBUTTON);
        display::SetKeys(0);
        ASSERT_TRUE(runner.Idle());
        RECT rect = runner.WindowRect();
        EXPECT_EQ(rect.left, 100) << c.at.x << " keys " << c.keys;
        EXPECT_EQ(rect.top, 100) << c.at.x << " keys " << c.keys;
    }
    EXPECT_TRUE(IsWindow(runner.hwnd));
}

TEST_F(ModalWndTest, ReleaseInTheCrossClosesTheWindowAndEndsTheLoop) {
    runner.ClickAt(490, 20);
    ASSERT_TRUE(runner.WaitForEnd());
    EXPECT_FALSE(IsWindow(runner.hwnd));
}

TEST_F(ModalWndTest, SysCloseWithLParamZeroClosesWithoutReachingTheWindow) {
    ASSERT_TRUE(PostMessageW(runner.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0));
    ASSERT_TRUE(runner.WaitForEnd());
    EXPECT_FALSE(IsWindow(runner.hwnd));
}

TEST_F(ModalWndTest, SysCloseWithAnotherLParamIsDispatchedAndItsCloseEndsTheLoop) {
    runner.afterLoop = [](Observed<TestWindow>& window) {
        EXPECT_TRUE(window.Got(WM_SYSCOMMAND));
        EXPECT_TRUE(window.Got(WM_CLOSE));
        EXPECT_FALSE(window.running);
    };
    ASSERT_TRUE(PostMessageW(runner.hwnd, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(600, 300)));
    // The default procedure turns it into WM_CLOSE and destroys the window; the loop must not
    // wait on for a window that is gone.
    ASSERT_TRUE(runner.WaitForEnd());
    EXPECT_FALSE(IsWindow(runner.hwnd));
}

TEST_F(ModalWndTest, FilterDropsInputForOtherWindowsButNeverPaintOrNotifications) {
    TestWindow& w = window();
    constexpr UINT kNotification = WM_USER + 107;
    runner.Post(WM_NULL, 0, 0);  // settle
    ASSERT_TRUE(PostMessageW(w.other, WM_LBUTTONDOWN, MK_LBUTTON, 0));
    ASSERT_TRUE(PostMessageW(w.other, kNotification, 0, 57));
    for (HWND child : w.nested)
        ASSERT_TRUE(PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, 0));
    ASSERT_TRUE(InvalidateRect(w.other, nullptr, FALSE));
    ASSERT_TRUE(runner.Idle());  // idle means the queue is empty: dropped messages are gone

    EXPECT_FALSE(Received(w.other, WM_LBUTTONDOWN));
    EXPECT_TRUE(Received(w.other, kNotification));
    EXPECT_TRUE(Received(w.other, WM_PAINT));
    // Descendants within three parent steps get their input; the fourth level does not.
    EXPECT_TRUE(Received(w.nested[0], WM_LBUTTONDOWN));
    EXPECT_TRUE(Received(w.nested[1], WM_LBUTTONDOWN));
    EXPECT_TRUE(Received(w.nested[2], WM_LBUTTONDOWN));
    EXPECT_FALSE(Received(w.nested[3], WM_LBUTTONDOWN));
}

}  // namespace
