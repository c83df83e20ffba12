// What the installer dialog's tests share: a root with the console user's folders and the
// broker's settings, the shared drawing objects, and a dialog run on its own thread that can
// place its progress bar as an installation would and records what its notifications showed.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "core/install_notifications.h"
#include "core/package_download.h"
#include "core/testing/package_download.h"
#include "core/settings.h"
#include "modal_runner.h"
#include "scoped_env.h"
#include "ui/brivostel_dlg.h"
#include "ui/localized_texts.h"
#include "ui/progress_bar.h"
#include "winroot.h"

namespace uitest {

// Posted to the test dialog: put the progress bar where StartInstall puts it.
inline constexpr UINT kPlaceBar = WM_APP + 1;

// What the dialog showed after one install notification.
struct Shown {
    UINT message;
    LPARAM value;
    InstallState state;
    std::u16string statusText;
    int position;
};

class TestDialog : public TBrivostelDlg {
  public:
    explicit TestDialog(std::string endpoint) : endpoint_(std::move(endpoint)) {}

    void OnInit() override {
        TBrivostelDlg::OnInit();
        if (!endpoint_.empty())
            CreateStorageClient(*this, endpoint_);
    }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kPlaceBar) {
            MoveWindow(progressBar->hwnd, kProgressBarRect.left, kProgressBarRect.top,
                       kProgressBarRect.right - kProgressBarRect.left,
                       kProgressBarRect.bottom - kProgressBarRect.top, FALSE);
            return 0;
        }
        LRESULT result = TBrivostelDlg::HandleMessage(message, wParam, lParam);
        if (message >= WM_INSTALL_PROGRESS && message <= WM_INSTALL_STEP) {
            std::lock_guard<std::mutex> lock(mutex_);
            shown_.push_back({message, lParam, state, statusText, progressBar->position});
            changed_.notify_all();
            if (closeOn && closeOn(message, lParam)) {
                closeOn = nullptr;
                PostMessageW(hwnd, closeMessage, closeWParam, 0);
            }
        }
        return result;
    }

    // Set before the run: a notification upon which the dialog is asked to close.
    std::function<bool(UINT, LPARAM)> closeOn;
    UINT closeMessage = WM_SYSCOMMAND;
    WPARAM closeWParam = SC_CLOSE;

    std::vector<Shown> shown() {
        std::lock_guard<std::mutex> lock(mutex_);
        return shown_;
    }
    // Waits until the dialog has handled `message` (30 s at most).
    bool WaitFor(UINT message) {
        return WaitForShown([message](const std::vector<Shown>& shown) {
            for (const Shown& s : shown)
                if (s.message == message)
                    return true;
            return false;
        });
    }
    // Waits until what the dialog has shown so far `matches` (30 s at most).
    bool WaitForShown(const std::function<bool(const std::vector<Shown>&)>& matches) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return matches(shown_); });
    }

  private:
    std::string endpoint_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Shown> shown_;
};

class DialogTest : public testsupport::WinRootTest {
  protected:
    void SetUp() override {
        env.Set("WINLAYER_USER", "admin").Set("WINLAYER_CONSOLE_USER", "user1");
        InitSharedResources();
        InstallerSettings& settings = GetInstallerSettings();
        settings.brokerCode = "471203";
        settings.uiLanguage = 2052;
    }
    void TearDown() override { InstallerWindow = nullptr; }

    void Start(std::string endpoint = std::string()) {
        runner.Start([endpoint] { return std::make_unique<Observed<TestDialog>>(endpoint); });
    }
    TestDialog& dialog() { return *runner.window; }

    std::filesystem::path InstallFolder() const {
        return winroot.driveC() / "Users/user1/AppData/Local/BRivostel471203v9.5";
    }
    std::filesystem::path StagingFolder() const {
        return winroot.driveC() / "Users/user1/AppData/Local/BRivostel471203v9.5temp";
    }

    testsupport::ScopedEnv env;
    ModalRunner<TestDialog> runner;
};

}  // namespace uitest
