#include "core/folder_replacement.h"

#include <windows.h>
#include <io.h>

#include <cerrno>
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

// Renames a folder; a failure gives its log line.
bool RenameFolder(const std::string& from, const std::string& to, std::string* failure) {
    if (rename(from.c_str(), to.c_str()) == 0)
        return true;
    char line[1024] = {};
    std::snprintf(line, sizeof line, "Rename Fail,from:%s,to:%s,errno:%d", from.c_str(), to.c_str(),
                  errno);
    *failure = line;
    return false;
}

}  // namespace

bool MoveInstallFolderAside(bool* moved, std::string* failure) {
    *moved = false;
    const std::string& installFolder = GetInstallerSettings().installFolder;
    if (!Exists(installFolder))
        return true;
    const std::string aside = AsideFolder();
    if (Exists(aside))
        DeleteFileTree(aside.c_str());
    *moved = RenameFolder(installFolder, aside, failure);
    return *moved;
}

bool MoveStagingFolderIntoPlace(bool oldMovedAside, std::string* failure) {
    const InstallerSettings& settings = GetInstallerSettings();
    if (RenameFolder(settings.stagingFolder, settings.installFolder, failure))
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
