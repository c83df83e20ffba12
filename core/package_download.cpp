#include "core/package_download.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "core/install_log.h"
#include "core/install_notifications.h"
#include "core/release_verification.h"
#include "core/shared_file_stream.h"
#include "core/storage_account.h"
#include "core/testing/package_download.h"
#include "core/update_plan.h"
#include "oss/client_settings.h"
#include "oss/object_requests.h"
#include "oss/oss_client.h"
#include "oss/sdk.h"
#include "system/processes_and_files.h"

namespace {

// ",文件不存在" (file does not exist), in code page 936.
constexpr char kMissingObject[] = ",\xce\xc4\xbc\xfe\xb2\xbb\xb4\xe6\xd4\xda";

// The storage clients of the process. They are never destroyed: the list itself is never freed.
oss::OssClient* KeepClient(std::unique_ptr<oss::OssClient> client) {
    static auto* clients = new std::vector<std::unique_ptr<oss::OssClient>>();
    clients->push_back(std::move(client));
    return clients->back().get();
}

// The progress callback of every download (`userData` is the IClient): posts the share of the
// first 80 percent that the downloads done so far and this transfer's fraction cover. A transfer
// of unknown size (total not positive) counts as just started.
void OnDownloadProgress(uint64_t, int64_t transferred, int64_t total, void* userData) {
    IClient& client = *static_cast<IClient*>(userData);
    const double fraction = total > 0 ? static_cast<double>(transferred) / total : 0.0;
    client.progress = static_cast<int32_t>((fraction + client.completedDownloads) *
                                           (0.8 / client.plannedDownloads) * 100);
    PostInstallNotification(WM_INSTALL_PROGRESS, client.progress);
}

bool DownloadVersionedPackage(IClient& client, const char* folder, const std::string& fileName,
                              LPARAM step) {
    const std::string key = client.remoteFolder + folder + fileName;
    const std::string localPath = GetInstallerSettings().stagingFolder + "/" + fileName;
    PostInstallNotification(WM_INSTALL_STEP, step);
    return DownloadObject(client, key, localPath);
}

}  // namespace

void CreateStorageClient(IClient& client) {
    CreateStorageClient(client, BuildStorageAccount());
}

void CreateStorageClient(IClient& client, const std::string& endpoint) {
    StorageAccount account = BuildStorageAccount();
    account.endpoint = endpoint;
    CreateStorageClient(client, account);
}

void CreateStorageClient(IClient& client, const StorageAccount& account) {
    client.accessKeyId = account.accessKeyId;
    client.accessKeySecret = account.accessKeySecret;
    client.endpoint = account.endpoint;
    client.bucket = account.bucket;
    client.releaseKey = BuildReleaseKey();
    client.downloadDependencies = false;
    client.plannedDownloads = kPlannedDownloadsWithoutQuant;
    client.completedDownloads = 0;
    oss::InitializeSdk();
    oss::OssClientSettings settings;
    settings.caBundleFile = account.caBundleFile;
    client.client = KeepClient(std::make_unique<oss::OssClient>(client.endpoint, client.accessKeyId,
                                                                client.accessKeySecret, settings));
}

bool DownloadObject(IClient& client, const std::string& key, const std::string& localPath) {
    // A build with a release key fetches only what the signed manifest names.
    const ManifestEntry* signedEntry = nullptr;
    if (ChecksRelease(client) && (signedEntry = SignedEntryOf(client, key)) == nullptr)
        return false;
    auto meta = client.client->GetObjectMeta(oss::GetObjectMetaRequest(client.bucket, key));
    if (!meta.succeeded()) {
        const oss::ServiceError& error = meta.error();
        if (error.code.rfind("ClientError:", 0) != 0) {
            WriteInstallLog((key + kMissingObject).c_str());
        } else {
            // The store never answered (no connection, a refused certificate): that is no
            // missing object, and the log says why.
            char line[2046] = {};
            std::snprintf(line, sizeof line, "%s,Request Fail,code:%s,message:%s", key.c_str(),
                          error.code.c_str(), error.message.c_str());
            WriteInstallLog(line);
        }
        return false;
    }
    bool succeeded = false;
    // The digest of the file the last stream wrote; none when no body byte arrived.
    auto digest = std::make_shared<std::shared_ptr<StreamDigest>>();
    {
        oss::GetObjectRequest request(client.bucket, key);
        // The path text outlives the request, and with it every call of the factory.
        const char* path = localPath.c_str();
        const bool hashed = signedEntry != nullptr;
        request.SetResponseStreamFactory([path, digest, hashed] {
            *digest = hashed ? std::make_shared<StreamDigest>() : nullptr;
            return OpenSharedFileStream(path, *digest);
        });
        // A close of the window aborts the transfer, even one where no bytes arrive.
        request.SetTransferProgress(oss::TransferProgress{
            OnDownloadProgress, &client, [&client] { return client.installStop.Requested(); }});
        MakeParentFolders(path);
        auto outcome = client.client->GetObject(request);
        client.completedDownloads += 1;
        succeeded = outcome.succeeded();
        if (!succeeded) {
            const oss::ServiceError& error = outcome.error();
            // Longer texts are cut to the buffer.
            char line[2046] = {};
            std::snprintf(line, sizeof line, "Downfile Fail,code:%s,message:%s,requestId:%s",
                          error.code.c_str(), error.message.c_str(), error.requestId.c_str());
            WriteInstallLog(line);
        }
    }
    if (succeeded && signedEntry != nullptr) {
        if (!*digest)
            *digest = std::make_shared<StreamDigest>();  // an empty object: no file, no bytes
        if (!MatchesSignedEntry(key, *signedEntry, (*digest)->Size(), (*digest)->Finish())) {
            // What arrived is not the release: it must not be extracted by anyone.
            DeleteFileA(localPath.c_str());
            return false;
        }
    }
    return succeeded;
}

bool DownloadRuntimePackage(IClient& client, const std::string& fileName) {
    return DownloadVersionedPackage(client, kRuntimeFolder, fileName, 4);
}

bool DownloadQuantPackage(IClient& client, const std::string& fileName) {
    return DownloadVersionedPackage(client, kQuantFolder, fileName, 5);
}
