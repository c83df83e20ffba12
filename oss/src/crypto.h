// Digests, keyed digests and encodings of the storage client, kept out of the public headers.
// Each target has one backend: crypto_openssl.cpp (libcrypto) or crypto_cng.cpp (Windows' CNG
// and CryptBinaryToString). No other file includes a crypto library's header.
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

enum class DigestAlgorithm { Md5 };

// A digest over data given in pieces. Any failure of the backend is kept, and finish() answers
// empty then.
class Digest {
  public:
    explicit Digest(DigestAlgorithm algorithm);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    void update(const void* data, size_t length);
    // The raw digest (16 bytes for MD5), once; empty after a failure or a second call.
    std::string finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace oss
