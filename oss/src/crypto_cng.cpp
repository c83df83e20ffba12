// The crypto seam over Windows' CNG (bcrypt) for digests and signature checks, and
// CryptBinaryToString for Base64.
#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "oss/crypto.h"

namespace oss {

namespace {

// One provider per algorithm for the life of the process; CNG lets threads share it.
class Provider {
  public:
    Provider(LPCWSTR algorithm, ULONG flags) {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle_, algorithm, nullptr, flags))) {
            handle_ = nullptr;
        }
    }
    ~Provider() {
        if (handle_ != nullptr) {
            BCryptCloseAlgorithmProvider(handle_, 0);
        }
    }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;

    BCRYPT_ALG_HANDLE get() const { return handle_; }

  private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

BCRYPT_ALG_HANDLE ProviderOf(DigestAlgorithm algorithm) {
    static const Provider md5(BCRYPT_MD5_ALGORITHM, 0);
    static const Provider sha256(BCRYPT_SHA256_ALGORITHM, 0);
    switch (algorithm) {
        case DigestAlgorithm::Md5:
            return md5.get();
        case DigestAlgorithm::Sha256:
            return sha256.get();
    }
    return nullptr;
}

BCRYPT_ALG_HANDLE EcdsaP256Provider() {
    static const Provider ecdsa(BCRYPT_ECDSA_P256_ALGORITHM, 0);
    return ecdsa.get();
}

// An imported key, destroyed with its owner.
class KeyHandle {
  public:
    KeyHandle() = default;
    ~KeyHandle() {
        if (handle_ != nullptr) {
            BCryptDestroyKey(handle_);
        }
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;

    BCRYPT_KEY_HANDLE* out() { return &handle_; }
    BCRYPT_KEY_HANDLE get() const { return handle_; }

  private:
    BCRYPT_KEY_HANDLE handle_ = nullptr;
};

BCRYPT_ALG_HANDLE HmacSha1Provider() {
    static const Provider hmac(BCRYPT_SHA1_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
    return hmac.get();
}

bool FitsInUlong(size_t length) {
    return length <= std::numeric_limits<ULONG>::max();
}

// The digest of a finished hash object, empty on failure.
std::string FinishHash(BCRYPT_HASH_HANDLE hash) {
    DWORD length = 0;
    ULONG got = 0;
    if (!BCRYPT_SUCCESS(BCryptGetProperty(
            hash, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length), sizeof length, &got, 0)) ||
        got != sizeof length || length == 0 || length > 64) {
        return std::string();
    }
    std::string digest(length, '\0');
    if (!BCRYPT_SUCCESS(
            BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(digest.data()), length, 0))) {
        return std::string();
    }
    return digest;
}

}  // namespace

std::string Base64Encode(const unsigned char* data, size_t length) {
    if (length == 0 || !FitsInUlong(length)) {
        return std::string();
    }
    constexpr DWORD kFlags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    DWORD size = 0;
    if (!CryptBinaryToStringA(data, static_cast<DWORD>(length), kFlags, nullptr, &size) ||
        size == 0) {
        return std::string();
    }
    std::string text(size, '\0');
    if (!CryptBinaryToStringA(data, static_cast<DWORD>(length), kFlags, text.data(), &size)) {
        return std::string();
    }
    // The second call answers the length without the terminator.
    text.resize(size);
    return text;
}

std::string HmacSha1(const std::string& key, const std::string& data) {
    const BCRYPT_ALG_HANDLE provider = HmacSha1Provider();
    if (provider == nullptr || !FitsInUlong(key.size()) || !FitsInUlong(data.size())) {
        return std::string();
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    // std::string's data() is never null, so an empty key is an empty secret, not a missing one.
    if (!BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0,
                                         reinterpret_cast<PUCHAR>(const_cast<char*>(key.data())),
                                         static_cast<ULONG>(key.size()), 0))) {
        return std::string();
    }
    std::string digest;
    if (BCRYPT_SUCCESS(BCryptHashData(hash,
                                      reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                                      static_cast<ULONG>(data.size()), 0))) {
        digest = FinishHash(hash);
    }
    BCryptDestroyHash(hash);
    return digest;
}

bool VerifyEcdsaP256Sha256(const std::string& publicKey, const std::string& message,
                           const std::string& signature) {
    const BCRYPT_ALG_HANDLE provider = EcdsaP256Provider();
    if (provider == nullptr || publicKey.size() != kP256PublicKeyLength || publicKey[0] != '\x04' ||
        signature.size() != kP256SignatureLength) {
        return false;
    }
    // An ECCPUBLIC blob is its header followed by X and Y: the point without its 0x04.
    constexpr size_t kCoordinates = kP256PublicKeyLength - 1;
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + kCoordinates] = {};
    BCRYPT_ECCKEY_BLOB header = {};
    header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = kCoordinates / 2;
    std::memcpy(blob, &header, sizeof header);
    std::memcpy(blob + sizeof header, publicKey.data() + 1, kCoordinates);
    // CNG checks that the point lies on the curve when it imports it.
    KeyHandle key;
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(provider, nullptr, BCRYPT_ECCPUBLIC_BLOB, key.out(),
                                            blob, sizeof blob, 0))) {
        return false;
    }
    Digest digest(DigestAlgorithm::Sha256);
    digest.update(message.data(), message.size());
    std::string hash = digest.finish();
    if (hash.size() != kSha256Length) {
        return false;
    }
    std::string raw = signature;
    return BCRYPT_SUCCESS(BCryptVerifySignature(
        key.get(), nullptr, reinterpret_cast<PUCHAR>(hash.data()), static_cast<ULONG>(hash.size()),
        reinterpret_cast<PUCHAR>(raw.data()), static_cast<ULONG>(raw.size()), 0));
}

struct Digest::State {
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = false;
};

Digest::Digest(DigestAlgorithm algorithm) : state_(std::make_unique<State>()) {
    const BCRYPT_ALG_HANDLE provider = ProviderOf(algorithm);
    state_->ok = provider != nullptr && BCRYPT_SUCCESS(BCryptCreateHash(provider, &state_->hash,
                                                                        nullptr, 0, nullptr, 0, 0));
    if (!state_->ok) {
        state_->hash = nullptr;
    }
}

Digest::~Digest() {
    if (state_->hash != nullptr) {
        BCryptDestroyHash(state_->hash);
    }
}

void Digest::update(const void* data, size_t length) {
    // CNG takes at most 4 GiB - 1 a call; larger pieces go in slices.
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (state_->ok && length > 0) {
        const ULONG slice =
            static_cast<ULONG>(std::min<size_t>(length, std::numeric_limits<ULONG>::max()));
        state_->ok =
            BCRYPT_SUCCESS(BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes), slice, 0));
        bytes += slice;
        length -= slice;
    }
}

std::string Digest::finish() {
    std::string digest;
    if (state_->ok) {
        digest = FinishHash(state_->hash);
    }
    state_->ok = false;
    return digest;
}

}  // namespace oss
