// The account of the installer's HTTPS build that the end-to-end tests run: the build's account
// with https:// in front of its endpoint, trusting only the CA bundle named by the environment
// variable BRIVOSTEL_TEST_CA_BUNDLE (the test CA that a test makes). It takes the place of
// core/storage_account.cpp when that program is linked; the installer itself reads no account
// value from the environment.
#include <cstdlib>
#include <string>

#include "core/storage_account.h"

StorageAccount BuildStorageAccount() {
    std::string endpoint = INSTALLER_OSS_ENDPOINT;
    const size_t scheme = endpoint.find("://");
    if (scheme != std::string::npos) {
        endpoint.erase(0, scheme + 3);
    }
    const char* bundle = std::getenv("BRIVOSTEL_TEST_CA_BUNDLE");
    return StorageAccount{"https://" + endpoint, INSTALLER_OSS_BUCKET, INSTALLER_OSS_ACCESS_KEY_ID,
                          INSTALLER_OSS_ACCESS_KEY_SECRET, bundle != nullptr ? bundle : ""};
}
