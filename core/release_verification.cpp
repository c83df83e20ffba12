#include "core/release_verification.h"

#include <istream>
#include <iterator>
#include <memory>

#include "core/install_log.h"
#include "oss/object_requests.h"
#include "oss/oss_client.h"
#include "release/signed_manifest.h"

namespace {

void Log(const std::string& key, const std::string& why) {
    WriteInstallLog((key + ": " + why).c_str());
}

}  // namespace

std::string BuildReleaseKey() {
    return ReleaseKeyOfHex(INSTALLER_RELEASE_PUBLIC_KEY);
}

bool VerifyReleaseSignature(IClient& client) {
    client.releaseManifest = nullptr;
    const std::string key = client.remoteFolder + kSignatureSuffix;
    if (!client.client->ObjectExists(client.bucket, key)) {
        Log(key, "missing: this build installs only releases signed with its release key");
        return false;
    }
    // Without a stream factory the body stays in memory, within the transport's cap.
    oss::GetObjectRequest request(client.bucket, key);
    auto outcome = client.client->GetObject(request);
    if (!outcome.succeeded()) {
        const oss::ServiceError& error = outcome.error();
        Log(key, "cannot be fetched: " + error.code + " " + error.message);
        return false;
    }
    std::string text;
    if (const std::shared_ptr<std::iostream>& body = outcome.result().content()) {
        body->seekg(0);
        text.assign(std::istreambuf_iterator<char>(*body), std::istreambuf_iterator<char>());
    }
    auto manifest = std::make_shared<ReleaseManifest>();
    std::string failure;
    if (!VerifySignedManifest(text, client.releaseKey, manifest.get(), &failure)) {
        Log(key, failure);
        return false;
    }
    client.releaseManifest = std::move(manifest);
    return true;
}

const ManifestEntry* SignedEntryOf(const IClient& client, const std::string& key) {
    const ManifestEntry* entry =
        client.releaseManifest ? client.releaseManifest->Find(key) : nullptr;
    if (entry == nullptr) {
        Log(key, client.releaseManifest ? "not named in the signed release manifest"
                                        : "refused: the release's signature was not verified");
    }
    return entry;
}

bool MatchesSignedEntry(const std::string& key, const ManifestEntry& entry, std::uint64_t size,
                        const std::string& sha256) {
    if (sha256.empty()) {
        Log(key, "its SHA-256 could not follow the download");
        return false;
    }
    const std::string mismatch = CompareWithEntry(entry, size, sha256);
    if (!mismatch.empty())
        Log(key, mismatch);
    return mismatch.empty();
}
