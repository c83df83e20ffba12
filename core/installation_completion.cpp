#include "core/installation_completion.h"

#include <windows.h>

#include <string>
#include <vector>

#include "core/folder_replacement.h"
#include "core/install_log.h"
#include "core/settings.h"
#include "system/desktop_shortcut.h"
#include "system/registration.h"

namespace {

void OpenInstallationLog() {
    OpenInstallLog((GetInstallerSettings().installFolder + "\\log\\install.log").c_str(), "ab+");
}

}  // namespace

void CompletePlacedInstallation() {
    OpenInstallationLog();
    DeleteSetAsideFolders();
    RegisterUninstallEntry();
    RegisterUrlProtocol();
    CreateDesktopShortcut();
    CloseInstallLog();
    EndSwap();
}

void RecoverInterruptedInstallation() {
    if (GetFileAttributesA(SwapJournalPath().c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    std::vector<std::string> report;
    const SwapState state = FinishOrRollBackSwap(&report);
    OpenInstallationLog();  // fails, writing nothing, when no installation is in place
    for (const std::string& line : report)
        WriteInstallLog(line.c_str());
    if (state == SwapState::Placed) {
        // The uninstall entry names the version of the installation in place.
        InstallerSettings& settings = GetInstallerSettings();
        char version[21] = {};
        GetPrivateProfileStringA("version", "cur", "", version, sizeof version,
                                 (settings.installFolder + "\\update.ini").c_str());
        settings.installedVersion = version;
        WriteInstallLog("Completing the interrupted installation");
        CloseInstallLog();
        CompletePlacedInstallation();
        return;
    }
    if (state == SwapState::None)
        DeleteSetAsideFolders();  // leftovers of earlier swaps
    CloseInstallLog();
    if (state == SwapState::None)
        EndSwap();
}
