#include "core/update_plan.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "core/install_log.h"
#include "core/package_download.h"
#include "core/release_verification.h"
#include "core/settings.h"
#include "core/staging_folder.h"

bool ReadRemoteManifest(IClient& client) {
    const InstallerSettings& settings = GetInstallerSettings();
    const std::string key = client.remoteFolder + kManifestSuffix;
    const std::string localPath = settings.stagingFolder + kManifestSuffix;
    client.releaseVerified = false;
    if (!StagingFolderReady())
        return false;
    // A keyed build verifies the signed manifest first, so that summary.ini, like every object
    // after it, is checked against it as it arrives and read only when it matches.
    if (ChecksRelease(client) && !VerifyReleaseSignature(client))
        return false;
    if (!DownloadObject(client, key, localPath))
        return false;
    client.releaseVerified = ChecksRelease(client);

    const char* manifest = localPath.c_str();
    const char* broker = settings.brokerCode.c_str();
    char stamp[101] = {};
    GetPrivateProfileStringA("cfgstamp", "time", "", stamp, sizeof stamp, manifest);
    client.configStamp = _atoi64(stamp);
    GetPrivateProfileStringA("fixstamp", broker, "", client.fixVersion, sizeof client.fixVersion,
                             manifest);
    GetPrivateProfileStringA("quant", broker, "", client.quantVersion, sizeof client.quantVersion,
                             manifest);
    client.hasQuant = client.quantVersion[0] != '\0';
    if (client.hasQuant)
        client.plannedDownloads += 1;
    return true;
}

namespace {

// Writes one profile entry; a failure is logged with the file and the system's error code.
bool WriteEntry(const char* section, const char* key, const char* value, const std::string& path,
                bool logMissingFolder) {
    if (WritePrivateProfileStringA(section, key, value, path.c_str()))
        return true;
    const DWORD error = GetLastError();
    if (logMissingFolder || error != ERROR_PATH_NOT_FOUND) {
        char line[1024] = {};
        std::snprintf(line, sizeof line, "WritePrivateProfileString Fail,path:%s,error:%lu",
                      path.c_str(), static_cast<unsigned long>(error));
        WriteInstallLog(line);
    }
    return false;
}

}  // namespace

bool SaveInstalledVersions(IClient& client) {
    InstallerSettings& settings = GetInstallerSettings();
    const std::string path = settings.stagingFolder + "\\update.ini";
    char stamp[101] = {};
    std::snprintf(stamp, sizeof stamp, "%lld", static_cast<long long>(client.configStamp));
    // The installed client cannot do without its local manifest: the first failure fails all.
    if (!WriteEntry("cfgstamp", "time", stamp, path, true) ||
        !WriteEntry("version", "cur", client.fixVersion, path, true) ||
        !WriteEntry("version", "quant", client.quantVersion, path, true))
        return false;
    settings.installedVersion = client.fixVersion;
    return true;
}

void WriteClientSettings(const std::string& folder) {
    const InstallerSettings& settings = GetInstallerSettings();
    const std::string pub = folder + "\\config\\brivostel.Default.pub";
    WriteEntry("brivostel", "package", settings.brokerCode.c_str(), pub, false);
    char language[260] = {};
    std::snprintf(language, sizeof language, "%d", settings.uiLanguage);
    const std::string pri = folder + "\\config\\brivostel.Default.pri";
    WriteEntry("brivostel", "language", language, pri, false);
}
