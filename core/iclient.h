// The record of one installation: the storage account and client, the versions the remote
// manifest names, and the download counters behind the progress bar. The installer dialog
// carries it as its second base; the install worker reaches the outside only through it and
// through InstallerWindow.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/install_stop.h"
#include "core/settings.h"

namespace oss {
class OssClient;
}
class ReleaseManifest;

class IClient {
  public:
    IClient() = default;
    // Shuts the storage library down; the storage client itself lives until the process ends.
    ~IClient();
    IClient(const IClient&) = delete;
    IClient& operator=(const IClient&) = delete;

    std::string accessKeyId;
    std::string accessKeySecret;
    std::string endpoint;
    std::string bucket;
    std::string remoteFolder = kRemoteFolder;  // prefix of every object key
    oss::OssClient* client = nullptr;
    std::int64_t configStamp = 0;
    char fixVersion[21] = {};
    char quantVersion[21] = {};
    bool downloadDependencies = false;
    std::int32_t plannedDownloads = 0;    // divisor of the progress: 5, plus 1 with Quant
    std::int32_t completedDownloads = 0;  // transfers attempted after a successful existence test
    std::int32_t progress = 0;            // the last percentage computed
    bool hasQuant = false;
    // The release key of the build (core/release_verification.h): empty, nothing is checked;
    // otherwise every object must match the manifest of a summary.sig signed with it.
    std::string releaseKey;
    std::shared_ptr<const ReleaseManifest> releaseManifest;  // once summary.sig is verified
    bool releaseVerified = false;  // summary.sig verified and summary.ini matched it
    // Asked for by a close of the window; PrepareInstallation clears it.
    InstallStop installStop;
};
