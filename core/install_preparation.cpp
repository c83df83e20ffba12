#include "core/install_preparation.h"

#include <windows.h>

#include <string>

#include "core/install_log.h"
#include "core/settings.h"
#include "core/staging_folder.h"
#include "system/processes_and_files.h"

void PrepareInstallation(IClient& client) {
    client.installStop.Reset();
    const InstallerSettings& settings = GetInstallerSettings();
    WCHAR executable[101] = {};
    if (MultiByteToWideChar(kNarrowCodePage, 0, kClientExecutableName, -1, executable, 101) == 0)
        executable[0] = 0;
    EndRunningCopy(executable);
    // A folder that could not be emptied keeps its log: the failure is appended to it.
    const bool cleared = ClearStagingFolder();
    const std::string log = settings.stagingFolder + "\\log\\install.log";
    MakeParentFolders(log.c_str());
    OpenInstallLog(log.c_str(), cleared ? "wb" : "ab+");
    CarryOverFailedAttemptLog();
}
