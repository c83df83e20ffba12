// The progress bar on the headless display: the track, the fill's right edge and its square end.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/settings.h"
#include "modal_runner.h"
#include "ui/modal_wnd.h"
#include "ui/progress_bar.h"

namespace {

using uitest::ModalRunner;
using uitest::Observed;

constexpr UINT kSetPosition = WM_APP + 2;  // lParam: the position
constexpr UINT kPlaceBar = WM_APP + 3;
constexpr int kBarX = 34;
constexpr int kBarY = 260;

// A modal window holding one bar, which it places and fills when asked, as the dialog does.
class BarHost : public TModalWnd {
  public:
    ~BarHost() { delete bar; }
    void OnInit() override {
        bar = new TProcess();
        bar->Create(u"TProcess", hwnd, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0);
    }
    void PlaceOnScreen() override { MoveWindow(hwnd, 0, 0, 500, 310, TRUE); }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kPlaceBar) {
            MoveWindow(bar->hwnd, kBarX, kBarY, 434, 15, FALSE);
            InvalidateRect(bar->hwnd, nullptr, FALSE);
            return 0;
        }
        if (message == kSetPosition) {
            bar->position = static_cast<int>(lParam);
            InvalidateRect(bar->hwnd, nullptr, FALSE);
            return 0;
        }
        return TModalWnd::HandleMessage(message, wParam, lParam);
    }
    TProcess* bar = nullptr;
};

class ProgressBarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitSharedResources();
        runner.Start([] { return std::make_unique<Observed<BarHost>>(); });
    }
    // The last column of the fill in the bar's middle row, in bar coordinates; -1 without fill.
    int FillEnd(const winlayer::testing::Image& image) {
        int end = -1;
        for (int x = 0; x < 434; ++x)
            if (image.At(kBarX + x, kBarY + 7) == kProgressFillColor)
                end = x;
        return end;
    }
    int FillPixels(const winlayer::testing::Image& image) {
        return uitest::CountColor(image, kProgressFillColor,
                                  {kBarX, kBarY, kBarX + 434, kBarY + 15});
    }
    void Show(int position) { runner.Post(kSetPosition, 0, position); }

    ModalRunner<BarHost> runner;
};

TEST_F(ProgressBarTest, UnplacedBarIsNotVisible) {
    Show(50);
    winlayer::testing::Image image = runner.Capture();
    EXPECT_EQ(FillPixels(image), 0);
    EXPECT_EQ(uitest::CountColor(image, kProgressTrackColor, {0, 30, 500, 310}), 0);
}

TEST_F(ProgressBarTest, FillEndsAtTheTruncatedShareOfTheInnerWidth) {
    runner.Post(kPlaceBar, 0, 0);
    struct Row {
        int position;
        int rightEdge;  // first column after the fill
    } rows[] = {{1, 7}, {29, 127}, {57, 246}, {100, 431}};
    for (const Row& row : rows) {
        Show(row.position);
        winlayer::testing::Image image = runner.Capture();
        EXPECT_EQ(FillEnd(image), row.rightEdge - 1) << row.position;
        EXPECT_EQ(image.At(kBarX + row.rightEdge, kBarY + 7), 0xFFFFFFu) << row.position;
        EXPECT_EQ(image.At(kBarX + 3, kBarY + 7), kProgressFillColor) << row.position;
        // The track's outline: grey on the bar's outer rows.
        EXPECT_EQ(image.At(kBarX + 200, kBarY), kProgressTrackColor) << row.position;
        EXPECT_EQ(image.At(kBarX + 200, kBarY + 14), kProgressTrackColor) << row.position;
    }
    EXPECT_EQ(ProgressFillRight({3, 3, 431, 12}, 1), 7);
    EXPECT_EQ(ProgressFillRight({3, 3, 431, 12}, 29), 127);
    EXPECT_EQ(ProgressFillRight({3, 3, 431, 12}, 100), 431);
}

TEST_F(ProgressBarTest, MovingEndIsSquareAndOnlyAFullBarIsRoundedAtBothEnds) {
    runner.Post(kPlaceBar, 0, 0);
    Show(29);
    winlayer::testing::Image image = runner.Capture();
    EXPECT_EQ(image.At(kBarX + 126, kBarY + 3), kProgressFillColor);
    EXPECT_EQ(image.At(kBarX + 126, kBarY + 11), kProgressFillColor);
    EXPECT_NE(image.At(kBarX + 3, kBarY + 3), kProgressFillColor);  // the rounded start
    Show(100);
    image = runner.Capture();
    EXPECT_NE(image.At(kBarX + 430, kBarY + 3), kProgressFillColor);
    EXPECT_NE(image.At(kBarX + 430, kBarY + 11), kProgressFillColor);
    EXPECT_EQ(image.At(kBarX + 429, kBarY + 7), kProgressFillColor);
}

TEST_F(ProgressBarTest, PositionsOutsideOneToHundredShowTheEmptyTrack) {
    runner.Post(kPlaceBar, 0, 0);
    for (int position : {0, -5, 101, 1000}) {
        Show(position);
        winlayer::testing::Image image = runner.Capture();
        EXPECT_EQ(FillPixels(image), 0) << position;
        EXPECT_EQ(image.At(kBarX + 200, kBarY), kProgressTrackColor) << position;
        EXPECT_EQ(image.At(kBarX + 200, kBarY + 7), 0xFFFFFFu) << position;
    }
}

TEST_F(ProgressBarTest, PaintingLeavesNoGdiObjectAndPresentsOnce) {
    runner.Post(kPlaceBar, 0, 0);
    const int objects = winlayer::testing::GdiObjectCount();
    const int presented = winlayer::testing::PresentCount(runner.hwnd);
    Show(57);
    EXPECT_EQ(winlayer::testing::PresentCount(runner.hwnd), presented + 1);
    EXPECT_EQ(winlayer::testing::GdiObjectCount(), objects);
}

}  // namespace
