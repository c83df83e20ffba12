#include "core/staging_folder.h"

#include <io.h>

#include <atomic>

#include "core/folder_replacement.h"
#include "core/settings.h"
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

void RemoveStagingFolderAfterFailure() {
    if (!StagingFolderHoldsOnlyCopy())
        DeleteFileTree(GetInstallerSettings().stagingFolder.c_str());
}
