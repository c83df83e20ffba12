// For tests and benchmarks: the storage client set up against another store than the build's.
#pragma once

#include <string>

#include "core/iclient.h"
#include "core/storage_account.h"

// CreateStorageClient (core/package_download.h) with another endpoint than the build's (a local
// bucket of a test, for instance).
void CreateStorageClient(IClient& client, const std::string& endpoint);
// The same with another account.
void CreateStorageClient(IClient& client, const StorageAccount& account);
