// What the installation tests share: a root with the console user's folders, the broker's
// settings, a local bucket serving the sample release, an IClient on it, and a window on the
// test's thread that records the install notifications.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/iclient.h"
#include "core/install_log.h"
#include "core/install_notifications.h"
#include "core/install_preparation.h"
#include "core/install_worker.h"
#include "core/package_download.h"
#include "core/settings.h"
#include "core/staging_folder.h"
#include "core/testing/package_download.h"
#include "core/testing/staging_folder.h"
#include "core/update_plan.h"
#include "local_bucket.h"
#include "scoped_env.h"
#include "winroot.h"

namespace installtest {

inline constexpr char kBrokerNameGbk[] = "\xbf\xad\xc4\xac(\xcf\xe3\xb8\xdb)";  // 凯默(香港)
inline constexpr char kFix[] = "9.5.7.2";
inline constexpr char kQuant[] = "9.5.1.3";
inline constexpr char kRemote[] = "9.5BRivostelIE";

// One install notification, as the window received it.
struct Notification {
    UINT message;
    LPARAM value;
};

// The notifications in short form: "P16" progress, "S2" step, "F4" failure, "D" done; a run of
// progress values is written as its last value, after checking that it never goes down.
inline std::string Condense(const std::vector<Notification>& notes) {
    std::string text;
    LPARAM lastProgress = -1;
    bool inProgressRun = false;
    for (const Notification& note : notes) {
        if (note.message == WM_INSTALL_PROGRESS) {
            EXPECT_TRUE(note.value >= 0 && note.value <= 100) << note.value;
            if (inProgressRun) {
                EXPECT_GE(note.value, lastProgress) << text;
            }
            lastProgress = note.value;
            inProgressRun = true;
            continue;
        }
        if (inProgressRun)
            text += "P" + std::to_string(lastProgress) + " ";
        inProgressRun = false;
        if (note.message == WM_INSTALL_STEP)
            text += "S" + std::to_string(note.value) + " ";
        else if (note.message == WM_INSTALL_FAILED)
            text += "F" + std::to_string(note.value) + " ";
        else if (note.message == WM_INSTALL_DONE)
            text += "D ";
    }
    if (inProgressRun)
        text += "P" + std::to_string(lastProgress) + " ";
    if (!text.empty())
        text.pop_back();
    return text;
}

// The last `count` notifications, each written out.
inline std::string Last(const std::vector<Notification>& notes, size_t count) {
    std::vector<Notification> tail(notes.end() - std::min(count, notes.size()), notes.end());
    std::string text;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
    // (GCC 12 at -O3 sees a false overlap in the inlined string copy here: GCC bug 105329.)
    for (const Notification& note : tail)
        text += (text.empty() ? "" : " ") + Condense({note});
#pragma GCC diagnostic pop
    return text;
}

class InstallTest : public testsupport::WinRootTest {
  public:
    void SetUp() override {
        env.Set("WINLAYER_USER", "admin").Set("WINLAYER_CONSOLE_USER", "user1");
        InstallerSettings& settings = GetInstallerSettings();
        settings = InstallerSettings();
        settings.brokerCode = "471203";
        settings.brokerName = kBrokerNameGbk;
        settings.uiLanguage = 2052;
        settings.ComputeFolders();
        PublishSampleRelease(true);
        CreateStorageClient(client, bucket.endpoint());
        CreateRecordingWindow();
    }
    void TearDown() override {
        CloseInstallLog();
        if (IsWindow(window))
            DestroyWindow(window);
        InstallerWindow = nullptr;
    }

    // Copies the sample release into the bucket; without Quant the manifest names none.
    void PublishSampleRelease(bool withQuant) {
        namespace fs = std::filesystem;
        const fs::path release = fs::path(SAMPLE_RELEASE_ROOT) / INSTALLER_OSS_BUCKET / kRemote;
        for (const auto& entry : fs::recursive_directory_iterator(release)) {
            if (!entry.is_regular_file())
                continue;
            std::string key =
                std::string(kRemote) + "/" + fs::relative(entry.path(), release).generic_string();
            bucket.putObject(key, testsupport::ReadFileBytes(entry.path()));
        }
        if (!withQuant)
            PutManifest(
                "[cfgstamp]\r\ntime=20261209\r\n[fixstamp]\r\n471203=9.5.7.2\r\n"
                "[quant]\r\n100001=9.5.0.9\r\n471203=\r\n");
    }
    void PutManifest(const std::string& text) {
        bucket.putObject(std::string(kRemote) + "/summary.ini", text);
    }
    void RemoveObject(const std::string& suffix) {
        std::filesystem::remove(bucket.objectFile(std::string(kRemote) + suffix));
    }

    void CreateRecordingWindow() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.lpszClassName = u"InstallTestWindow";
        RegisterClassExW(&windowClass);
        window = CreateWindowExW(0, u"InstallTestWindow", u"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        InstallerWindow = window;
    }

    // The install notifications waiting in the test thread's queue, taken without blocking.
    std::vector<Notification> TakeNotifications() {
        std::vector<Notification> notes;
        MSG msg;
        while (PeekMessageW(&msg, window, WM_INSTALL_PROGRESS, WM_INSTALL_STEP, PM_REMOVE))
            notes.push_back({msg.message, msg.lParam});
        return notes;
    }

    // What StartInstall does, then the notifications until the worker's last one, waiting for
    // the worker thread to end.
    std::vector<Notification> RunInstallation() {
        PrepareForWorker();
        return RunWorker();
    }
    void PrepareForWorker() {
        PrepareInstallation(client);
        ReadRemoteManifest(client);
    }
    std::vector<Notification> RunWorker() {
        HANDLE worker = StartInstallWorker(client);
        EXPECT_NE(worker, nullptr);
        EXPECT_EQ(WaitForSingleObject(worker, 60000), WAIT_OBJECT_0);
        CloseHandle(worker);
        return TakeNotifications();
    }

    std::filesystem::path InstallFolder() const {
        return winroot.driveC() / "Users/user1/AppData/Local/BRivostel471203v9.5";
    }
    std::filesystem::path StagingFolder() const {
        return winroot.driveC() / "Users/user1/AppData/Local/BRivostel471203v9.5temp";
    }
    std::string Read(const std::filesystem::path& path) const {
        return testsupport::ReadFileBytes(path);
    }

    testsupport::ScopedEnv env;
    testing_oss::LocalBucket bucket;
    IClient client;
    HWND window = nullptr;
};

}  // namespace installtest
