#include "system/desktop_shortcut.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/install_log.h"
#include "core/settings.h"
#include "system/processes_and_files.h"

namespace {

constexpr int kPathBufferSize = 1024;  // UTF-16 code units

// Converts code page 936 text into `wide` (kPathBufferSize code units); false when the result
// is empty or does not fit.
bool ToWide(const std::string& text, WCHAR* wide) {
    int units = MultiByteToWideChar(kNarrowCodePage, 0, text.c_str(), -1, wide, kPathBufferSize);
    return units > 1;
}

void LogResult(const char* step, HRESULT hr) {
    char line[128];
    std::snprintf(line, sizeof line, "%s : %d", step, static_cast<int>(hr));
    WriteInstallLog(line);
}

}  // namespace

bool CreateDesktopShortcut() {
    const InstallerSettings& settings = GetInstallerSettings();

    std::vector<char> desktop(65536, '\0');
    SHGetSpecialFolderPathA(nullptr, desktop.data(), CSIDL_COMMON_DESKTOPDIRECTORY, FALSE);
    desktop.back() = '\0';
    if (desktop[0] == '\0')
        WriteInstallLog("CreateShortcut: Get DeskTopDir error");

    std::string shortcutPath =
        std::string(desktop.data()) + "\\" + settings.brokerName + kVersionSuffix + ".lnk";
    WCHAR shortcutWide[kPathBufferSize] = {};
    if (!ToWide(shortcutPath, shortcutWide))
        return false;
    WriteInstallLog(shortcutPath.c_str());

    std::string target = settings.installFolder + "\\" + kClientExecutableName;
    WCHAR targetWide[kPathBufferSize] = {};
    WCHAR folderWide[kPathBufferSize] = {};
    if (!ToWide(target, targetWide) || !ToWide(settings.installFolder, folderWide))
        return false;
    WriteInstallLog(target.c_str());
    WriteInstallLog(settings.installFolder.c_str());

    HRESULT hr = CoInitialize(nullptr);
    LogResult("CoInitialize", hr);
    if (FAILED(hr))
        return true;

    IShellLinkW* link = nullptr;
    hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                          reinterpret_cast<void**>(&link));
    LogResult("CoCreateInstance", hr);
    if (FAILED(hr)) {
        CoUninitialize();
        return true;
    }
    LogResult("IShellLink::SetPath", link->SetPath(targetWide));
    LogResult("IShellLink::SetWorkingDirectory", link->SetWorkingDirectory(folderWide));

    // The broker's icon when the installation ships one; otherwise the executable's own.
    std::string icon = settings.installFolder + "\\Server\\config\\shortcut\\shortcut" +
                       settings.brokerCode + ".ico";
    WCHAR iconWide[kPathBufferSize] = {};
    FILE* iconFile = nullptr;
    if (ToWide(icon, iconWide) && fopen_s(&iconFile, icon.c_str(), "r") == 0) {
        link->SetIconLocation(iconWide, 0);
        fclose(iconFile);
    }

    IPersistFile* file = nullptr;
    hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    LogResult("IShellLink::QueryInterface", hr);
    if (SUCCEEDED(hr)) {
        LogResult("IPersistFile::Save", file->Save(shortcutWide, FALSE));
        file->Release();
    }
    link->Release();
    CoUninitialize();
    return true;
}
