#include "core/update_plan.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "core/package_download.h"
#include "core/settings.h"

bool ReadRemoteManifest(IClient& client) {
    const InstallerSettings& settings = GetInstallerSettings();
    const std::string key = client.remoteFolder + kManifestSuffix;
    const std::string localPath = settings.stagingFolder + kManifestSuffix;
    if (!DownloadObject(client, key, localPath))
        return false;

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

void SaveInstalledVersions(IClient& client) {
    InstallerSettings& settings = GetInstallerSettings();
    const std::string path = settings.stagingFolder + "\\update.ini";
    char stamp[101] = {};
    std::snprintf(stamp, sizeof stamp, "%lld", static_cast<long long>(client.configStamp));
    WritePrivateProfileStringA("cfgstamp", "time", stamp, path.c_str());
    WritePrivateProfileStringA("version", "cur", client.fixVersion, path.c_str());
    WritePrivateProfileStringA("version", "quant", client.quantVersion, path.c_str());
    settings.installedVersion = client.fixVersion;
}

void WriteClientSettings() {
    const InstallerSettings& settings = GetInstallerSettings();
    const std::string pub = settings.installFolder + "\\config\\brivostel.Default.pub";
    WritePrivateProfileStringA("brivostel", "package", settings.brokerCode.c_str(), pub.c_str());
    char language[260] = {};
    std::snprintf(language, sizeof language, "%d", settings.uiLanguage);
    const std::string pri = settings.installFolder + "\\config\\brivostel.Default.pri";
    WritePrivateProfileStringA("brivostel", "language", language, pri.c_str());
}
