// Downloads of single objects of the release bucket into local files: the remote manifest and
// the packages of the update plan. Every download first asks the store whether the object
// exists, then fetches it with progress reports, and logs any failure in the install log.
#pragma once

#include <string>

#include "core/iclient.h"

// Fills the build's storage account, endpoint and bucket into `client`, resets the download
// counters (plannedDownloads 5, completedDownloads 0, no dependency download), initialises the
// storage library and creates the storage client with default settings but for the account's
// CA bundle. The client is never destroyed.
void CreateStorageClient(IClient& client);

// Downloads object `key` into the file `localPath` (a Windows path): true when the object was
// downloaded. A missing object (an existence test that the store refused) logs
// key + ",文件不存在"; an existence test that got no answer (a network failure, a refused TLS
// certificate) logs key + ",Request Fail,code:..,message:.."; neither creates a file. A failed
// transfer logs "Downfile Fail,code:..,message:..,requestId:..". The file is
// created, or an existing one emptied, only when the first body bytes of a successful answer
// arrive, so an empty object leaves no file.
bool DownloadObject(IClient& client, const std::string& key, const std::string& localPath);

// Post step 4 (runtime) or 5 (Quant) and download remoteFolder + "/fix/" or "/quant/" +
// fileName into stagingFolder + "/" + fileName.
bool DownloadRuntimePackage(IClient& client, const std::string& fileName);
bool DownloadQuantPackage(IClient& client, const std::string& fileName);
