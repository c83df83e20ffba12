#include <windows.h>
#include <winlayer/display.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "window_test_support.h"

namespace {

using namespace windowtest;

// Dispatches what the queue holds; returns the windows that got WM_PAINT, in order.
std::vector<HWND> Paints() {
    std::vector<HWND> painted;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_PAINT)
            painted.push_back(msg.hwnd);
        DispatchMessageW(&msg);
    }
    return painted;
}

int Count(const std::vector<UINT>& log, UINT message) {
    return static_cast<int>(std::count(log.begin(), log.end(), message));
}

class PaintingTest : public ::testing::Test {
  protected:
    PaintingTest() {
        parent = MakeWindow(WS_POPUP | WS_CLIPCHILDREN, nullptr, {0, 0, 500, 310});
        child = MakeWindow(WS_CHILD | WS_VISIBLE, parent, {34, 260, 468, 275});
        Paints();
        MessageLog::Get().Clear();
    }
    ~PaintingTest() override { DestroyWindow(parent); }
    HWND parent, child;
};

TEST_F(PaintingTest, HiddenWindowsArePaintedWhenShown) {
    InvalidateRect(parent, nullptr, FALSE);
    EXPECT_EQ(Paints(), std::vector<HWND>{}) << "hidden";
    ShowWindow(parent, SW_SHOWNA);
    EXPECT_EQ(Paints(), (std::vector<HWND>{parent, child})) << "parents first";
    auto log = MessageLog::Get().Of(parent);
    EXPECT_EQ(Count(log, WM_ERASEBKGND), 1) << "showing erases";
    EXPECT_EQ(Paints(), std::vector<HWND>{}) << "painting validated both";
}

TEST_F(PaintingTest, InvalidationMergesAndErasesOnlyWhenAsked) {
    ShowWindow(parent, SW_SHOWNA);
    Paints();
    MessageLog::Get().Clear();
    int presents = winlayer::testing::PresentCount(parent);
    for (int i = 0; i < 10; ++i) {
        RECT part{i * 10, 0, i * 10 + 10, 10};
        InvalidateRect(parent, &part, FALSE);
    }
    RECT update;
    EXPECT_TRUE(GetUpdateRect(parent, &update, FALSE));
    RECT expected{0, 0, 100, 10};
    EXPECT_TRUE(EqualRect(&update, &expected));
    EXPECT_EQ(Paints(), std::vector<HWND>{parent}) << "a burst gives one WM_PAINT";
    EXPECT_EQ(Count(MessageLog::Get().Of(parent), WM_ERASEBKGND), 0);
    EXPECT_EQ(winlayer::testing::PresentCount(parent), presents + 1) << "one presentation";

    MessageLog::Get().Clear();
    InvalidateRect(parent, nullptr, TRUE);
    EXPECT_EQ(Paints(), std::vector<HWND>{parent}) << "WS_CLIPCHILDREN leaves the child alone";
    EXPECT_EQ(Count(MessageLog::Get().Of(parent), WM_ERASEBKGND), 1);

    SetWindowLongPtrW(parent, GWL_STYLE, WS_POPUP | WS_VISIBLE);
    InvalidateRect(parent, nullptr, FALSE);
    EXPECT_EQ(Paints(), (std::vector<HWND>{parent, child})) << "without it the child repaints";

    ValidateRect(parent, nullptr);
    InvalidateRect(parent, nullptr, FALSE);
    ValidateRect(parent, nullptr);
    EXPECT_EQ(Paints(), std::vector<HWND>{child});
}

TEST_F(PaintingTest, MovingWithAndWithoutRepaint) {
    ShowWindow(parent, SW_SHOWNA);
    HWND bar = MakeWindow(WS_CHILD | WS_VISIBLE, parent);  // 0 × 0: nothing to paint
    Paints();
    MoveWindow(bar, 34, 240, 434, 15, FALSE);
    EXPECT_EQ(Paints(), std::vector<HWND>{}) << "no repaint asked";
    InvalidateRect(bar, nullptr, FALSE);
    EXPECT_EQ(Paints(), std::vector<HWND>{bar});
    MoveWindow(bar, 34, 240, 400, 15, TRUE);
    EXPECT_EQ(Paints(), std::vector<HWND>{bar}) << "resized with CS_HREDRAW";
    ShowWindow(bar, SW_HIDE);
    EXPECT_EQ(Paints(), std::vector<HWND>{parent}) << "the parent shows through";
}

TEST_F(PaintingTest, UpdateWindowPaintsAtOnce) {
    ShowWindow(parent, SW_SHOWNA);
    Paints();
    MessageLog::Get().Clear();
    InvalidateRect(parent, nullptr, FALSE);
    EXPECT_TRUE(UpdateWindow(parent));
    EXPECT_EQ(Count(MessageLog::Get().Of(parent), WM_PAINT), 1);
    EXPECT_EQ(Paints(), std::vector<HWND>{});
}

HWND MakeBrushed(LPCWSTR className, COLORREF color, DWORD style, HWND parent, RECT rect) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = className;
    wc.hbrBackground = CreateSolidBrush(color);
    RegisterClassExW(&wc);
    return CreateWindowExW(0, className, nullptr, style, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, parent, nullptr, nullptr,
                           nullptr);
}

TEST(PaintingPixels, ChildrenPaintIntoTheTopLevelSurfaceAndClipChildrenKeepsThem) {
    const COLORREF blue = RGB(0, 0, 255), red = RGB(255, 0, 0), green = RGB(0, 255, 0);
    HWND parent =
        MakeBrushed(u"BlueWindow", blue, WS_POPUP | WS_CLIPCHILDREN, nullptr, {200, 100, 300, 200});
    HWND child = MakeBrushed(u"RedWindow", red, WS_CHILD | WS_VISIBLE, parent, {10, 10, 30, 30});
    ShowWindow(parent, SW_SHOWNA);
    Paints();
    auto shown = winlayer::testing::CaptureWindow(parent);
    EXPECT_EQ(shown.At(5, 5), blue);
    EXPECT_EQ(shown.At(15, 15), red);
    EXPECT_EQ(shown.At(30, 30), blue) << "right and bottom edges are outside";
    EXPECT_EQ(winlayer::testing::CaptureWindow(child).At(0, 0), red);

    HGDIOBJ oldBrush = reinterpret_cast<HGDIOBJ>(SetClassLongPtrW(
        child, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(CreateSolidBrush(green))));
    DeleteObject(oldBrush);
    InvalidateRect(parent, nullptr, TRUE);
    Paints();
    EXPECT_EQ(winlayer::testing::CaptureWindow(parent).At(15, 15), red) << "clipped out";

    SetWindowLongPtrW(parent, GWL_STYLE, WS_POPUP | WS_VISIBLE);
    InvalidateRect(parent, nullptr, TRUE);
    Paints();
    EXPECT_EQ(winlayer::testing::CaptureWindow(parent).At(15, 15), green) << "child repainted";

    int presents = winlayer::testing::PresentCount(parent);
    HDC dc = GetDC(child);
    ASSERT_NE(dc, nullptr);
    RECT all{0, 0, 100, 100};
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    EXPECT_EQ(ReleaseDC(child, dc), 1);
    EXPECT_EQ(winlayer::testing::PresentCount(parent), presents + 1);
    shown = winlayer::testing::CaptureWindow(parent);
    EXPECT_EQ(shown.At(29, 29), RGB(1, 2, 3));
    EXPECT_EQ(shown.At(30, 30), blue) << "a child's DC stays inside the child";
    DestroyWindow(parent);
}

}  // namespace
