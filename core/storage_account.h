// The storage account, endpoint, bucket and trusted certificate authorities of the installer.
#pragma once

#include <string>

struct StorageAccount {
    // host[:port]; with "https://" in front every request goes over TLS and the server's
    // certificate is verified; bare or with "http://", requests use plain HTTP.
    std::string endpoint;
    std::string bucket;
    std::string accessKeyId;
    std::string accessKeySecret;
    // A PEM file holding the only certificate authorities trusted over TLS; empty trusts the
    // system's store (OpenSSL's on Linux, Schannel's on Windows).
    std::string caBundleFile;
};

// The build's account: the INSTALLER_OSS_* cache variables, compiled in. Nothing of it comes from
// the environment: the program runs elevated, and the environment it inherits can be set by the
// user without elevation.
StorageAccount BuildStorageAccount();
