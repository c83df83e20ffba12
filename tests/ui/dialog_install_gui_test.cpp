// Whole installations through the installer dialog against a local bucket serving the sample
// release: success up to the started client, a failure in each language, and closing the window
// while the worker runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "dialog_fixture.h"
#include "local_bucket.h"

namespace {

using uitest::DialogTest;
using uitest::Shown;
namespace display = winlayer::testing;
namespace fs = std::filesystem;

constexpr char kRemote[] = "9.5BRivostelIE";

class DialogInstallTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        const fs::path release = fs::path(SAMPLE_RELEASE_ROOT) / INSTALLER_OSS_BUCKET / kRemote;
        for (const auto& entry : fs::recursive_directory_iterator(release)) {
            if (entry.is_regular_file())
                bucket.putObject(std::string(kRemote) + "/" +
                                     fs::relative(entry.path(), release).generic_string(),
                                 testsupport::ReadFileBytes(entry.path()));
        }
        record = winroot.root() / "started.txt";
        env.Set("BRIVOSTEL_CLIENT_RECORD", record.c_str());
    }
    void TearDown() override {
        runner.Stop();
        if (clientPid > 0)
            kill(clientPid, SIGKILL);
        DialogTest::TearDown();
    }

    // Starts the dialog on the bucket and presses Install.
    void Install() {
        Start(bucket.endpoint());
        runner.ClickAt(250, 220);
    }

    // The started client's record, once it has written it (another process: polled, 10 s).
    std::map<std::string, std::string> ClientRecord() {
        for (int i = 0; i < 1000 && !fs::exists(record); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::map<std::string, std::string> values;
        std::string text = testsupport::ReadFileBytes(record);
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find('\n', at);
            std::string line = text.substr(at, end == std::string::npos ? end : end - at);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            values[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
            at = end == std::string::npos ? text.size() : end + 1;
        }
        if (!values["pid"].empty())
            clientPid = std::stoi(values["pid"]);
        return values;
    }

    testing_oss::LocalBucket bucket;
    fs::path record;
    pid_t clientPid = 0;
};

TEST_F(DialogInstallTest, InstallThenOpenStartsTheInstalledClient) {
    Install();
    ASSERT_TRUE(dialog().WaitFor(WM_INSTALL_DONE));
    ASSERT_TRUE(runner.Idle());

    std::vector<int> steps;
    int lastProgress = -1;
    for (const Shown& shown : dialog().shown()) {
        if (shown.message == WM_INSTALL_STEP) {
            steps.push_back(static_cast<int>(shown.value));
            EXPECT_EQ(shown.statusText, std::u16string(StepText(static_cast<int>(shown.value))));
        } else if (shown.message == WM_INSTALL_PROGRESS) {
            EXPECT_EQ(shown.state, InstallState::Installing);
            EXPECT_EQ(shown.position, shown.value);
            lastProgress = static_cast<int>(shown.value);
        } else if (shown.message == WM_INSTALL_DONE) {
            EXPECT_EQ(shown.state, InstallState::Finished);
        }
    }
    EXPECT_EQ(steps, (std::vector<int>{2, 3, 4, 5, 6, 7, 9, 8, 10, 11, 12, 13}));
    EXPECT_EQ(lastProgress, 80);
    EXPECT_EQ(dialog().shown().back().message, WM_INSTALL_DONE);
    EXPECT_TRUE(fs::exists(InstallFolder() / "update.ini"));
    EXPECT_FALSE(fs::exists(StagingFolder()));
    EXPECT_FALSE(IsWindowVisible(dialog().progressBar->hwnd));
    ASSERT_TRUE(display::SavePng(runner.Capture(), uitest::OutputPath("install-finished.png")));

    runner.ClickAt(250, 220);  // Open
    ASSERT_TRUE(runner.WaitForEnd());
    std::map<std::string, std::string> started = ClientRecord();
    EXPECT_EQ(started["argc"], "2");
    EXPECT_EQ(started["argv[1]"], "end");
    EXPECT_NE(started["image"].find("BRivostel471203v9.5\\brivostel v9.5.exe"), std::string::npos);
}

// A thread that cannot be started (the system at its limit) leaves no worker to report: the
// dialog shows the failure at once and the cross ends it.
TEST_F(DialogInstallTest, WorkerThatCannotStartShowsAFailure) {
    env.Set("WINLAYER_NO_NEW_THREADS", "1");
    Install();
    ASSERT_TRUE(dialog().WaitFor(WM_INSTALL_FAILED));
    ASSERT_TRUE(runner.Idle());
    EXPECT_EQ(dialog().state, InstallState::Failed);
    EXPECT_EQ(dialog().statusText, std::u16string(StepText(2)) + UiText(6));
    runner.ClickAt(488, 12);
    ASSERT_TRUE(runner.WaitForEnd());
    EXPECT_FALSE(fs::exists(StagingFolder()));
}

// The preparation's message box (a folder that cannot be made) runs a nested message loop while
// the dialog still takes presses: a second press on Install starts nothing, and one worker runs.
TEST_F(DialogInstallTest, PressOnInstallDuringThePreparationsMessageBoxStartsNothing) {
    Start(bucket.endpoint());
    // The staging folder lies under a file, so its folders cannot be made.
    testsupport::WriteFileBytes(winroot.driveC() / "blocker", "a file");
    GetInstallerSettings().stagingFolder = "C:\\blocker\\staging";
    display::SetMessageBoxWindows(true);
    struct BoxesPrintedAgain {
        ~BoxesPrintedAgain() { display::SetMessageBoxWindows(false); }
    } restore;
    runner.ClickAt(250, 220);
    std::optional<display::MessageBoxWindow> box = display::WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->threadId, runner.threadId);
    // Pressed again while the box waits: the pointer on the button, the press to the dialog.
    display::MovePointer(runner.Screen(250, 220));
    PostMessageW(runner.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(250, 220));
    PostMessageW(runner.hwnd, WM_LBUTTONUP, 0, MAKELPARAM(250, 220));
    ASSERT_TRUE(runner.Idle());
    // Every box is answered until the installation has failed and no box comes any more.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (std::optional<display::MessageBoxWindow> next = display::WaitForMessageBox(1500)) {
            ASSERT_TRUE(display::ClickMessageBoxButton(next->hwnd, IDOK));
            continue;
        }
        std::vector<Shown> shown = dialog().shown();
        if (!shown.empty() && shown.back().message == WM_INSTALL_FAILED)
            break;
    }
    ASSERT_TRUE(runner.Idle());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // a second worker would report

    int failures = 0;
    for (const Shown& shown : dialog().shown())
        failures += shown.message == WM_INSTALL_FAILED;
    EXPECT_EQ(failures, 1);
    int manifestReads = 0;
    for (const testing_oss::RecordedRequest& request : bucket.requests())
        manifestReads +=
            request.method == "HEAD" && request.path.find("summary.ini") != std::string::npos;
    EXPECT_EQ(manifestReads, 1) << "one preparation, one manifest";
}

class DialogFailureTest : public DialogInstallTest, public ::testing::WithParamInterface<int> {};

TEST_P(DialogFailureTest, FailedStepShowsWithTheFailureWordAndTheCrossEndsIt) {
    GetInstallerSettings().uiLanguage = GetParam();
    fs::remove(bucket.objectFile(std::string(kRemote) + "/config.zip"));
    Install();
    ASSERT_TRUE(dialog().WaitFor(WM_INSTALL_FAILED));
    ASSERT_TRUE(runner.Idle());
    EXPECT_EQ(dialog().state, InstallState::Failed);
    EXPECT_EQ(dialog().statusText, std::u16string(StepText(3)) + UiText(6));
    display::Image image = runner.Capture();
    RECT ink = uitest::InkBox(image, 0x000000, {32, 220, 466, 258});
    ASSERT_LT(ink.left, ink.right);
    EXPECT_GE(ink.top, 234);
    EXPECT_GE(ink.right, 463);
    const std::string name = GetParam() == 1033 ? "en" : GetParam() == 1028 ? "zh-TW" : "zh-CN";
    ASSERT_TRUE(display::SavePng(image, uitest::OutputPath("install-failed-" + name + ".png")));
    EXPECT_TRUE(fs::exists(StagingFolder()));

    runner.ClickAt(488, 12);
    ASSERT_TRUE(runner.WaitForEnd());
    EXPECT_FALSE(fs::exists(StagingFolder()));
}

INSTANTIATE_TEST_SUITE_P(Languages, DialogFailureTest, ::testing::Values(2052, 1028, 1033));

// Closing while the worker runs: the end of the dialog waits for the worker, which stops before
// it replaces the installation folder or, once it has begun to, finishes. The old installation
// is then either intact or wholly replaced, and nothing is used after it was freed (the
// address-sanitizer build runs these too).
enum class Outcome { Either, OldKept, Replaced };

struct CloseMoment {
    const char* name;
    UINT message;
    LPARAM value;
    UINT closeMessage;
    // What must follow where the timing is certain: the worker's fixed pauses before the
    // replacement (700 ms from its start) outlast the close's 500 ms pause; a close posted once
    // the replacement has begun lets the worker finish.
    Outcome outcome;
};

void PrintTo(const CloseMoment& moment, std::ostream* out) {
    *out << moment.name;
}

class DialogCloseTest : public DialogInstallTest,
                        public ::testing::WithParamInterface<CloseMoment> {};

TEST_P(DialogCloseTest, ClosingWhileInstallingLeavesOldOrNewInstallationWhole) {
    const CloseMoment& moment = GetParam();
    fs::create_directories(InstallFolder());
    testsupport::WriteFileBytes(InstallFolder() / "old-release.txt", "old");
    Start(bucket.endpoint());
    dialog().closeMessage = moment.closeMessage;
    dialog().closeWParam = moment.closeMessage == WM_SYSCOMMAND ? SC_CLOSE : 0;
    dialog().closeOn = [moment](UINT message, LPARAM value) {
        return message == moment.message &&
               (message == WM_INSTALL_PROGRESS || value == moment.value);
    };
    runner.ClickAt(250, 220);
    ASSERT_TRUE(runner.WaitForEnd());  // the dialog object, and the worker, are done

    const bool oldKept = fs::exists(InstallFolder() / "old-release.txt");
    const bool newInPlace = fs::exists(InstallFolder() / "update.ini");
    EXPECT_NE(oldKept, newInPlace) << moment.name;
    if (newInPlace) {
        EXPECT_TRUE(fs::exists(InstallFolder() / "brivostel v9.5.exe"));
        EXPECT_FALSE(fs::exists(StagingFolder()));
    } else {
        EXPECT_FALSE(fs::exists(StagingFolder()));  // a stopped installation leaves nothing
    }
    EXPECT_FALSE(fs::exists(InstallFolder().string() + "old"));
    if (moment.outcome == Outcome::Replaced) {
        EXPECT_TRUE(newInPlace) << moment.name;
    }
    if (moment.outcome == Outcome::OldKept) {
        EXPECT_TRUE(oldKept) << moment.name;
    }
}

// The system's close (a window manager's, through the display) during a download whose body
// stalls: the transfer is aborted from its progress callback instead of waiting for the stall
// rule, the dialog ends within a few seconds, the staging folder is removed and the old
// installation stays as it was.
TEST_F(DialogInstallTest, CloseThroughTheDisplayDuringAStalledDownloadEndsAtOnce) {
    fs::create_directories(InstallFolder());
    testsupport::WriteFileBytes(InstallFolder() / "old-release.txt", "old");
    bucket.addFaults(R"({"method": "GET", "key": "9.5BRivostelIE/base.zip",
                         "stall_after": 1000, "stall_seconds": 60})");
    Install();
    // The base package's first bytes have arrived: a progress report after its step.
    ASSERT_TRUE(dialog().WaitForShown([](const std::vector<Shown>& shown) {
        bool downloading = false;
        for (const Shown& s : shown) {
            if (downloading && s.message == WM_INSTALL_PROGRESS)
                return true;
            downloading = downloading || (s.message == WM_INSTALL_STEP && s.value == 2);
        }
        return false;
    }));
    const auto start = std::chrono::steady_clock::now();
    display::RequestClose(runner.hwnd);
    ASSERT_TRUE(runner.WaitForEnd());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));

    EXPECT_EQ(testsupport::ReadFileBytes(InstallFolder() / "old-release.txt"), "old");
    EXPECT_FALSE(fs::exists(InstallFolder() / "update.ini"));
    EXPECT_FALSE(fs::exists(StagingFolder()));
}

INSTANTIATE_TEST_SUITE_P(
    Moments, DialogCloseTest,
    ::testing::Values(
        CloseMoment{"manifest", WM_INSTALL_PROGRESS, 0, WM_SYSCOMMAND, Outcome::OldKept},
        CloseMoment{"base_download", WM_INSTALL_STEP, 2, WM_SYSCOMMAND, Outcome::Either},
        CloseMoment{"base_extraction", WM_INSTALL_STEP, 7, WM_SYSCOMMAND, Outcome::Either},
        // A window manager's close reaches WM_CLOSE without the 500 ms pause.
        CloseMoment{"window_manager_at_clean_up", WM_INSTALL_STEP, 11, WM_CLOSE, Outcome::OldKept},
        CloseMoment{"replacing", WM_INSTALL_STEP, 13, WM_SYSCOMMAND, Outcome::Replaced}),
    [](const ::testing::TestParamInfo<CloseMoment>& info) { return std::string(info.param.name); });

}  // namespace
