#include "core/staging_folder.h"

#include <windows.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "core/folder_replacement.h"
#include "core/install_log.h"
#include "core/settings.h"
#include "core/testing/staging_folder.h"
#include "system/processes_and_files.h"

namespace {

// Written by the user-interface thread before the worker starts, read by the worker.
std::atomic<bool> stagingFolderReady{true};

bool Exists(const std::string& path) {
    return _access(path.c_str(), 0) == 0;
}

}  // namespace

bool ClearStagingFolder() {
    const std::string& staging = GetInstallerSettings().stagingFolder;
    // A swap that the start could not finish keeps its complete release here.
    if (!SwapUnderWay())
        DeleteFileTree(staging.c_str());
    stagingFolderReady.store(!Exists(staging));
    return stagingFolderReady.load();
}

bool StagingFolderReady() {
    return stagingFolderReady.load();
}

bool StagingFolderHoldsOnlyCopy() {
    const InstallerSettings& settings = GetInstallerSettings();
    return SwapUnderWay() ||
           (!Exists(settings.installFolder) && Exists(settings.stagingFolder + "\\update.ini"));
}

std::string FailedAttemptLogPath() {
    return GetInstallerSettings().installFolder + "failed.log";
}

void RemoveStagingFolderAfterFailure() {
    if (StagingFolderHoldsOnlyCopy())
        return;
    const std::string& staging = GetInstallerSettings().stagingFolder;
    // The log of the attempt is the one record of what failed: it stays for the next run.
    const std::string kept = FailedAttemptLogPath();
    DeleteFileA(kept.c_str());
    rename((staging + "\\log\\install.log").c_str(), kept.c_str());
    DeleteFileTree(staging.c_str());
}

void CarryOverFailedAttemptLog() {
    const std::string kept = FailedAttemptLogPath();
    FILE* file = nullptr;
    if (fopen_s(&file, kept.c_str(), "rb") != 0)
        return;
    WriteInstallLog("Log of the earlier attempt that failed:");
    char line[2048];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        WriteInstallLog(("  " + text).c_str());
    }
    fclose(file);
    DeleteFileA(kept.c_str());
}
