// Digests, keyed digests, signature checks and encodings: those of the storage client's requests
// and those of the installer's release checks. Each target has one backend: crypto_openssl.cpp
// (libcrypto) or crypto_cng.cpp (Windows' CNG and CryptBinaryToString). No other file includes a
// crypto library's header.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace oss {

// Standard Base64 with "=" padding, on one line.
std::string Base64Encode(const unsigned char* data, size_t length);

// The raw 20-byte HMAC-SHA1 of `data` under `key` (any length, empty included); empty when the
// backend fails.
std::string HmacSha1(const std::string& key, const std::string& data);

enum class DigestAlgorithm { Md5, Sha256 };

inline constexpr size_t kSha256Length = 32;
// An ECDSA P-256 public key as the uncompressed point: 0x04, then X and Y, 32 bytes each,
// big-endian. Both backends take it without any ASN.1 decoding.
inline constexpr size_t kP256PublicKeyLength = 65;
// An ECDSA P-256 signature as r then s, 32 bytes each, big-endian (CNG's own form; OpenSSL's DER
// form is made from it).
inline constexpr size_t kP256SignatureLength = 64;

// True when `signature` is a valid ECDSA P-256 signature over the SHA-256 digest of `message`
// under `publicKey` (the forms above). False for a wrong signature, for a key or signature of
// the wrong length, for a point not on the curve, and for any failure of the backend.
bool VerifyEcdsaP256Sha256(const std::string& publicKey, const std::string& message,
                           const std::string& signature);

// A digest over data given in pieces. Any failure of the backend is kept, and finish() answers
// empty then.
class Digest {
  public:
    explicit Digest(DigestAlgorithm algorithm);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    void update(const void* data, size_t length);
    // The raw digest (16 bytes for MD5, 32 for SHA-256), once; empty after a failure or a second
    // call.
    std::string finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace oss
