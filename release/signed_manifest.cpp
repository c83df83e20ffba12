#include "release/signed_manifest.h"

#include "oss/crypto.h"

namespace {

constexpr char kSignaturePrefix[] = "signature ";

}  // namespace

std::string ReleaseKeyOfHex(const std::string& hex) {
    const std::string key = BytesOfHex(hex);
    if (key.size() != oss::kP256PublicKeyLength || key[0] != '\x04')
        return std::string();
    return key;
}

bool VerifySignedManifest(const std::string& fileText, const std::string& publicKey,
                          ReleaseManifest* manifest, std::string* failure) {
    if (fileText.size() > kMaxSignedManifestBytes) {
        *failure = "larger than " + std::to_string(kMaxSignedManifestBytes) + " bytes";
        return false;
    }
    // The signature line is the last one: it starts after the last line feed but the final one.
    const size_t lastFeed =
        fileText.size() < 2 ? std::string::npos : fileText.rfind('\n', fileText.size() - 2);
    const size_t lineStart = lastFeed == std::string::npos ? 0 : lastFeed + 1;
    const std::string line = fileText.substr(lineStart);
    const std::string prefix = kSignaturePrefix;
    if (line.compare(0, prefix.size(), prefix) != 0 || line.back() != '\n') {
        *failure = "its last line is not \"signature R||S\"";
        return false;
    }
    const std::string hex = line.substr(prefix.size(), line.size() - prefix.size() - 1);
    const std::string signature = BytesOfHex(hex);
    if (signature.size() != oss::kP256SignatureLength) {
        *failure = "its signature is not 128 lower-case hex digits";
        return false;
    }
    const std::string signedText = fileText.substr(0, lineStart);
    if (!oss::VerifyEcdsaP256Sha256(publicKey, signedText, signature)) {
        *failure = "its signature is not one of this build's release key";
        return false;
    }
    std::string why;
    if (!manifest->Parse(signedText, &why)) {
        *failure = "its manifest is malformed: " + why;
        return false;
    }
    return true;
}
