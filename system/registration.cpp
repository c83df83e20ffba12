#include "system/registration.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/install_log.h"
#include "core/settings.h"
#include "system/active_user_folder.h"
#include "system/processes_and_files.h"

namespace {

const char kPublisher[] = "Tavrin Information";
const char kProtocolName[] = "BrivostelProtocol";
const char kUninstallKeyOf64BitWindows[] =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Registry data is formatted into buffers of this many bytes or UTF-16 code units.
constexpr int kDataBufferSize = 1024;

using GetNativeSystemInfoProc = void(WINAPI*)(LPSYSTEM_INFO);

// On x64 and Itanium Windows the entry goes below Wow6432Node, into the 32-bit view of the
// registry, although this program is 64-bit. Without GetNativeSystemInfo the plain key is used.
const char* UninstallParentKey() {
    HMODULE kernel = GetModuleHandleW(TEXT("kernel32"));
    FARPROC proc = kernel ? GetProcAddress(kernel, "GetNativeSystemInfo") : nullptr;
    if (proc == nullptr)
        return kUninstallKey;
    SYSTEM_INFO info{};
    reinterpret_cast<GetNativeSystemInfoProc>(reinterpret_cast<void (*)()>(proc))(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                   info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64
               ? kUninstallKeyOf64BitWindows
               : kUninstallKey;
}

// Writes narrow REG_SZ data that snprintf formatted into `data` with result `length`: text that
// did not fit the buffer is not written at all. The size excludes the terminating NUL.
bool SetNarrowValue(HKEY key, const char* name, const char* data, int length) {
    if (length < 0 || length >= kDataBufferSize)
        return false;
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                          static_cast<DWORD>(length)) == ERROR_SUCCESS;
}

// Writes code page 936 text as UTF-16 REG_SZ data, converted into a buffer of 1024 code units;
// text that does not fit is not written. The size excludes the terminating NUL.
bool SetWideValue(HKEY key, const WCHAR* name, const std::string& text) {
    WCHAR data[kDataBufferSize] = {};
    int units = MultiByteToWideChar(kNarrowCodePage, 0, text.c_str(), -1, data, kDataBufferSize);
    if (units <= 0)
        return false;
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                          static_cast<DWORD>(units - 1) * sizeof(WCHAR)) == ERROR_SUCCESS;
}

// Writes the values of the uninstall entry in order; returns the log line of the first value
// that fails, or null.
const char* WriteEntryValues(HKEY entry, const InstallerSettings& settings,
                             const std::string& displayName) {
    const char* folder = settings.installFolder.c_str();
    char data[kDataBufferSize];
    if (!SetWideValue(entry, TEXT("DisplayName"), displayName))
        return "DisplayName Setvalue Failed";
    int length = std::snprintf(data, sizeof data, "%s\\uninstall.exe", folder);
    if (!SetNarrowValue(entry, "UninstallString", data, length))
        return "UninstallString Setvalue Failed";
    length = std::snprintf(data, sizeof data, "%s\\%s", folder, kClientExecutableName);
    if (!SetNarrowValue(entry, "DisplayIcon", data, length))
        return "DisplayIcon Setvalue Failed";
    length = std::snprintf(data, sizeof data, "%s", settings.installedVersion.c_str());
    if (!SetNarrowValue(entry, "DisplayVersion", data, length))
        return "DisplayVersion Setvalue Failed";
    if (!SetWideValue(entry, TEXT("Publisher"), kPublisher))
        return "Publisher Setvalue Failed";
    // The console user's own desktop, even when this process runs under another account.
    std::string shortcut;
    GetActiveUserFolder(CSIDL_DESKTOPDIRECTORY, shortcut);
    shortcut += "\\" + displayName + ".lnk";
    if (!SetWideValue(entry, TEXT("Shortcut"), shortcut))
        return "Shortcut Setvalue Failed";
    return nullptr;
}

// Writes the values and subkeys of the URL scheme in order; returns the log line of the first
// step that fails, or null. `clientPath` is the executable path, stored bare: unquoted and
// without arguments.
const char* WriteSchemeValues(HKEY scheme, const std::string& clientPath) {
    char path[kDataBufferSize];
    // A path longer than the buffer is not registered cut short: the steps that use it fail.
    int pathLength = std::snprintf(path, sizeof path, "%s", clientPath.c_str());
    if (!SetNarrowValue(scheme, "URL Protocol", path, pathLength))
        return "URL Schemes: URL Protocol Setvalue Failed";
    if (!SetNarrowValue(scheme, nullptr, kProtocolName, static_cast<int>(strlen(kProtocolName))))
        return "URL Schemes: BrivostelProtocol Setvalue Failed";

    HKEY icon = nullptr;
    if (RegCreateKeyA(scheme, "DefaultIcon", &icon) != ERROR_SUCCESS)
        return "URL Schemes: Create DefaultIcon key Failed";
    char iconData[kDataBufferSize];
    bool iconSet = SetNarrowValue(icon, nullptr, iconData,
                                  std::snprintf(iconData, sizeof iconData, "%s,1", path));
    RegCloseKey(icon);
    if (!iconSet)
        return "URL Schemes: DefaultIcon Setvalue Failed";

    const struct {
        const char* path;
        const char* failure;
    } keysOnly[] = {
        {"shell", "URL Schemes: Create shell key Failed"},
        {"shell\\open", "URL Schemes: Create shellopen key Failed"},
    };
    for (const auto& step : keysOnly) {
        HKEY key = nullptr;
        if (RegCreateKeyA(scheme, step.path, &key) != ERROR_SUCCESS)
            return step.failure;
        RegCloseKey(key);
    }
    HKEY command = nullptr;
    if (RegCreateKeyA(scheme, "shell\\open\\command", &command) != ERROR_SUCCESS)
        return "URL Schemes: Create shellopencommand key Failed";
    bool commandSet = SetNarrowValue(command, nullptr, path, pathLength);
    RegCloseKey(command);
    if (!commandSet)
        return "URL Schemes: shellopencommand Setvalue Failed";
    return nullptr;
}

}  // namespace

void RegisterUninstallEntry() {
    const InstallerSettings& settings = GetInstallerSettings();
    std::string displayName = settings.brokerName + kVersionSuffix;
    HKEY parent = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallParentKey(), 0, KEY_SET_VALUE, &parent) !=
        ERROR_SUCCESS) {
        WriteInstallLog("Local_Machine open Failed");
        return;
    }
    std::string entryName = "Brivostel_" + settings.brokerCode + kVersionSuffix;
    HKEY entry = nullptr;
    if (RegCreateKeyA(parent, entryName.c_str(), &entry) != ERROR_SUCCESS) {
        RegCloseKey(parent);
        WriteInstallLog("Create key Failed");
        return;
    }
    const char* failure = WriteEntryValues(entry, settings, displayName);
    RegCloseKey(entry);
    RegCloseKey(parent);
    if (failure != nullptr)
        WriteInstallLog(failure);
}

void RegisterUrlProtocol() {
    const InstallerSettings& settings = GetInstallerSettings();
    WriteInstallLog("URL Schemes: Start");
    std::string schemeName = "BRivostel" + settings.brokerCode;
    HKEY scheme = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, schemeName.c_str(), 0, KEY_SET_VALUE, &scheme) !=
        ERROR_SUCCESS) {
        HKEY created = nullptr;
        if (RegCreateKeyA(HKEY_CLASSES_ROOT, schemeName.c_str(), &created) != ERROR_SUCCESS) {
            WriteInstallLog("URL Schemes: Create url key Failed");
            return;
        }
        RegCloseKey(created);
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, schemeName.c_str(), 0, KEY_SET_VALUE, &scheme) !=
            ERROR_SUCCESS) {
            WriteInstallLog("URL Schemes: Open url key Failed");
            return;
        }
    }
    const char* failure =
        WriteSchemeValues(scheme, settings.installFolder + "\\" + kClientExecutableName);
    RegCloseKey(scheme);
    WriteInstallLog(failure != nullptr ? failure : "URL Schemes: Finish");
}
