#include "core/folder_replacement.h"

#include <windows.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "core/settings.h"
#include "system/processes_and_files.h"

namespace {

std::string AsideFolder() {
    return GetInstallerSettings().installFolder + "old";
}

bool Exists(const std::string& path) {
    return _access(path.c_str(), 0) == 0;
}

}  // namespace

bool MoveInstallFolderAside() {
    const std::string& installFolder = GetInstallerSettings().installFolder;
    if (!Exists(installFolder))
        return false;
    const std::string aside = AsideFolder();
    if (Exists(aside))
        DeleteFileTree(aside.c_str());
    return rename(installFolder.c_str(), aside.c_str()) == 0;
}

bool MoveStagingFolderIntoPlace(bool oldMovedAside) {
    const InstallerSettings& settings = GetInstallerSettings();
    if (rename(settings.stagingFolder.c_str(), settings.installFolder.c_str()) == 0)
        return true;
    if (oldMovedAside)
        rename(AsideFolder().c_str(), settings.installFolder.c_str());
    return false;
}

void DeleteOldInstallFolder() {
    const std::string aside = AsideFolder();
    if (Exists(aside))
        DeleteFileTree(aside.c_str());
}
