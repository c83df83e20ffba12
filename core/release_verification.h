// The installer's side of signed releases. A build configured with a release key
// (INSTALLER_RELEASE_PUBLIC_KEY) trusts nothing it downloads until it has verified the release's
// "summary.sig" with that key; then every object it downloads, "summary.ini" included, must be
// named by the signed manifest with the size and SHA-256 that arrived. A build without a key
// never asks for "summary.sig" and checks nothing.
#pragma once

#include <cstdint>
#include <string>

#include "core/iclient.h"
#include "release/release_manifest.h"

inline constexpr char kSignatureSuffix[] = "/summary.sig";

// The release key compiled into the build as the 65 bytes of its point; empty without one.
std::string BuildReleaseKey();

// Whether `client` checks the release: its releaseKey is set.
inline bool ChecksRelease(const IClient& client) {
    return !client.releaseKey.empty();
}

// Fetches remoteFolder + "/summary.sig" (no file, no progress) and verifies it with the
// client's release key; on success keeps its manifest in client.releaseManifest. False, with
// the object and the reason logged, when it is missing, cannot be fetched, or its signature or
// manifest is bad.
bool VerifyReleaseSignature(IClient& client);

// The signed manifest's entry for object `key`; null, with the reason logged, when no verified
// manifest names it.
const ManifestEntry* SignedEntryOf(const IClient& client, const std::string& key);

// Whether the object `key` that arrived with `size` bytes and SHA-256 `sha256` (raw; empty when
// the digest could not follow the download) is the one `entry` names; a mismatch is logged.
bool MatchesSignedEntry(const std::string& key, const ManifestEntry& entry, std::uint64_t size,
                        const std::string& sha256);
