// The crypto seam over OpenSSL's libcrypto.
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "crypto.h"

namespace oss {

std::string Base64Encode(const unsigned char* data, size_t length) {
    std::string text(4 * ((length + 2) / 3) + 1, '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), data,
                                        static_cast<int>(length));
    text.resize(written < 0 ? 0 : static_cast<size_t>(written));
    return text;
}

std::string HmacSha1(const std::string& key, const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
             reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest,
             &digestLength) == nullptr) {
        return std::string();
    }
    return std::string(reinterpret_cast<const char*>(digest), digestLength);
}

struct Digest::State {
    struct ContextFree {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, ContextFree> context{EVP_MD_CTX_new()};
    bool ok = false;
};

namespace {

const EVP_MD* MessageDigestOf(DigestAlgorithm algorithm) {
    switch (algorithm) {
        case DigestAlgorithm::Md5:
            return EVP_md5();
    }
    return nullptr;
}

}  // namespace

Digest::Digest(DigestAlgorithm algorithm) : state_(std::make_unique<State>()) {
    const EVP_MD* md = MessageDigestOf(algorithm);
    state_->ok = state_->context && md != nullptr &&
                 EVP_DigestInit_ex(state_->context.get(), md, nullptr) == 1;
}

Digest::~Digest() = default;

void Digest::update(const void* data, size_t length) {
    if (state_->ok && length > 0) {
        state_->ok = EVP_DigestUpdate(state_->context.get(), data, length) == 1;
    }
}

std::string Digest::finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    const bool ok =
        state_->ok && EVP_DigestFinal_ex(state_->context.get(), digest, &digestLength) == 1;
    state_->ok = false;
    return ok ? std::string(reinterpret_cast<const char*>(digest), digestLength) : std::string();
}

}  // namespace oss
