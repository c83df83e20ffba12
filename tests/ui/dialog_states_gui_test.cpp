// What clicks and close requests do to the installer dialog in each state, and where it opens.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "dialog_fixture.h"

namespace {

using uitest::DialogTest;
using uitest::kPlaceBar;
namespace display = winlayer::testing;
namespace fs = std::filesystem;

class DialogStatesTest : public DialogTest {
  protected:
    void Enter(InstallState state) {
        runner.Post(kPlaceBar, 0, 0);
        if (state == InstallState::Idle)
            return;
        runner.Post(WM_INSTALL_PROGRESS, 0, 48);
        if (state == InstallState::Failed)
            runner.Post(WM_INSTALL_FAILED, 0, 4);
        if (state == InstallState::Finished)
            runner.Post(WM_INSTALL_DONE, 0, 0);
        ASSERT_EQ(dialog().state, state);
    }
    // Presses at a client point, moves the pointer by (40, 30) with the button held, releases;
    // true when the window moved.
    bool DragFrom(int x, int y) {
        RECT before = runner.WindowRect();
        display::MovePointer(runner.Screen(x, y));
        display::PressButton(MK_LBUTTON);
        EXPECT_TRUE(runner.Idle());
        display::MovePointer({runner.Screen(x, y).x + 40, runner.Screen(x, y).y + 30});
        EXPECT_TRUE(runner.Idle());
        display::ReleaseButton(MK_LBUTTON);
        EXPECT_TRUE(runner.Idle());
        RECT after = runner.WindowRect();
        return after.left != before.left || after.top != before.top;
    }
};

TEST_F(DialogStatesTest, WhileInstallingButtonAndCrossDoNothingAndTheButtonNeverDrags) {
    Start();
    Enter(InstallState::Installing);
    runner.ClickAt(250, 220);
    ASSERT_TRUE(runner.Idle());
    runner.ClickAt(488, 12);
    ASSERT_TRUE(runner.Idle());
    EXPECT_FALSE(runner.Ended());
    EXPECT_EQ(dialog().state, InstallState::Installing);
    EXPECT_FALSE(DragFrom(250, 220));
    EXPECT_TRUE(DragFrom(100, 100));  // elsewhere the window still drags
}

TEST_F(DialogStatesTest, WhenFailedTheButtonDoesNothingAndTheCrossClosesAndRemovesStaging) {
    Start();
    fs::create_directories(StagingFolder() / "log");
    testsupport::WriteFileBytes(StagingFolder() / "base.zip", "partial");
    Enter(InstallState::Failed);
    EXPECT_FALSE(DragFrom(250, 220));
    runner.ClickAt(250, 220);
    ASSERT_TRUE(runner.Idle());
    EXPECT_FALSE(runner.Ended());
    runner.ClickAt(488, 12);
    ASSERT_TRUE(runner.WaitForEnd());
    EXPECT_FALSE(IsWindow(runner.hwnd));
    EXPECT_FALSE(fs::exists(StagingFolder()));
}

TEST_F(DialogStatesTest, IdleCrossClosesAndLeavesTheFoldersAlone) {
    Start();
    fs::create_directories(StagingFolder());
    runner.ClickAt(484, 8);
    ASSERT_TRUE(runner.WaitForEnd());
    EXPECT_TRUE(fs::exists(StagingFolder()));
}

TEST_F(DialogStatesTest, FinishedButtonHidesLaunchesAndClosesEvenWithoutAClient) {
    Start();
    Enter(InstallState::Finished);
    runner.afterLoop = [](uitest::Observed<uitest::TestDialog>& dialog) {
        EXPECT_FALSE(dialog.running);
    };
    runner.ClickAt(250, 220);
    ASSERT_TRUE(runner.WaitForEnd());
    EXPECT_FALSE(IsWindow(runner.hwnd));
}

TEST_F(DialogStatesTest, ProgressAfterFailureOrSuccessTurnsInstallingAgain) {
    Start();
    Enter(InstallState::Failed);
    runner.Post(WM_INSTALL_PROGRESS, 0, 50);
    EXPECT_EQ(dialog().state, InstallState::Installing);
    runner.Post(WM_INSTALL_DONE, 0, 0);
    runner.Post(WM_INSTALL_PROGRESS, 0, 60);
    EXPECT_EQ(dialog().state, InstallState::Installing);
    EXPECT_EQ(dialog().progressBar->position, 60);
}

TEST_F(DialogStatesTest, FailureWordFollowsTheStepInEachLanguage) {
    Start();
    struct Row {
        int language;
        const char16_t* text;
    } rows[] = {
        {2052, u"\u4E0B\u8F7D\u914D\u7F6E\u6587\u4EF6\u5931\u8D25"},
        {1028, u"\u4E0B\u8F09\u914D\u7F6E\u6587\u4EF6\u5931\u6557"},
        {1033, u"Download configuration file Fail"},
    };
    for (const Row& row : rows) {
        GetInstallerSettings().uiLanguage = row.language;
        runner.Post(WM_INSTALL_FAILED, 0, 3);
        EXPECT_EQ(dialog().statusText, std::u16string(row.text)) << row.language;
        runner.Post(WM_INSTALL_STEP, 0, 13);
        EXPECT_EQ(dialog().statusText, std::u16string(StepText(13))) << row.language;
    }
}

TEST_F(DialogStatesTest, CloseRequestEndsTheDialogInEveryState) {
    Start();
    Enter(InstallState::Installing);
    ASSERT_TRUE(PostMessageW(runner.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0));
    ASSERT_TRUE(runner.WaitForEnd());
    EXPECT_FALSE(IsWindow(runner.hwnd));
}

// Placement: centred horizontally on the monitor under the pointer, vertically by the primary.
struct Placement {
    const char* name;
    std::vector<display::Monitor> monitors;
    POINT pointer;
    LONG left;
    LONG top;
};

void PrintTo(const Placement& placement, std::ostream* out) {
    *out << placement.name;
}

class DialogPlacementTest : public DialogTest, public ::testing::WithParamInterface<Placement> {};

TEST_P(DialogPlacementTest, OpensWhereThePointerIs) {
    display::SetMonitors(GetParam().monitors);
    display::MovePointer(GetParam().pointer);
    Start();
    RECT rect = runner.WindowRect();
    EXPECT_EQ(rect.left, GetParam().left);
    // -1: the primary's height as the system reports it at that dpi.
    const LONG top =
        GetParam().top == -1 ? (GetSystemMetrics(SM_CYSCREEN) - 310) / 2 : GetParam().top;
    EXPECT_EQ(rect.top, top);
    EXPECT_EQ(rect.right - rect.left, 500);
    EXPECT_EQ(rect.bottom - rect.top, 310);
}

INSTANTIATE_TEST_SUITE_P(
    Monitors, DialogPlacementTest,
    ::testing::Values(
        Placement{"primary", {{{0, 0, 1920, 1080}, 96, true}}, {100, 100}, 710, 385},
        // The primary's height, not the secondary's, decides the vertical place.
        Placement{"secondary",
                  {{{0, 0, 1920, 1080}, 96, true}, {{1920, 0, 3200, 1024}, 96}},
                  {2500, 900},
                  1920 + 390,
                  385},
        // Left of the primary, off every monitor: the span is the primary's.
        Placement{"off_monitors_with_primary",
                  {{{0, 0, 1920, 1080}, 96, true}, {{1920, 0, 3200, 1024}, 96}},
                  {-300, 500},
                  710,
                  385},
        // No monitor under the pointer and none at (0, 0): 250 pixels left of the pointer.
        Placement{"off_monitors_none_at_origin",
                  {{{100, 0, 1380, 1024}, 96, true}},
                  {50, 1500},
                  50 - 250,
                  (1024 - 310) / 2},
        // 144 dpi: the mode's position and size count in 96-dpi units.
        Placement{"high_dpi_primary", {{{0, 0, 2880, 1620}, 144, true}}, {100, 100}, 710, -1},
        Placement{"high_dpi_secondary",
                  {{{0, 0, 1920, 1080}, 96, true}, {{1920, 0, 4800, 1620}, 144}},
                  {2000, 100},
                  1280 + 710,
                  385},
        // A monitor that is not attached is skipped.
        Placement{"unattached",
                  {{{0, 0, 1920, 1080}, 96, true}, {{1920, 0, 3200, 1024}, 96, false, false}},
                  {2500, 100},
                  710,
                  385}),
    [](const ::testing::TestParamInfo<Placement>& info) { return std::string(info.param.name); });

}  // namespace
