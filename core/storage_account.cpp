#include "core/storage_account.h"

// This file holds nothing else, so that a program can be linked with another account (the
// end-to-end tests' HTTPS build of the installer does).
StorageAccount BuildStorageAccount() {
    return StorageAccount{INSTALLER_OSS_ENDPOINT, INSTALLER_OSS_BUCKET, INSTALLER_OSS_ACCESS_KEY_ID,
                          INSTALLER_OSS_ACCESS_KEY_SECRET, INSTALLER_OSS_CA_BUNDLE};
}
