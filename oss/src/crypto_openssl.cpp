// The crypto seam over OpenSSL's libcrypto.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/params.h>

#include "oss/crypto.h"

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
        case DigestAlgorithm::Sha256:
            return EVP_sha256();
    }
    return nullptr;
}

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct PkeyContextFree {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct MdContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct SignatureFree {
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};

// The public key of an uncompressed P-256 point; null when it is not a point on the curve.
std::unique_ptr<EVP_PKEY, PkeyFree> P256PublicKey(const std::string& point) {
    std::unique_ptr<EVP_PKEY_CTX, PkeyContextFree> context(
        EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    char group[] = "prime256v1";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, const_cast<char*>(point.data()),
                                          point.size()),
        OSSL_PARAM_construct_end(),
    };
    EVP_PKEY* key = nullptr;
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params) != 1) {
        return nullptr;
    }
    return std::unique_ptr<EVP_PKEY, PkeyFree>(key);
}

// The DER form (ECDSA-Sig-Value) of a signature given as r || s; empty on failure.
std::string DerSignature(const std::string& raw) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(raw.data());
    const size_t half = raw.size() / 2;
    std::unique_ptr<ECDSA_SIG, SignatureFree> signature(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(bytes, static_cast<int>(half), nullptr);
    BIGNUM* s = BN_bin2bn(bytes + half, static_cast<int>(half), nullptr);
    if (!signature || r == nullptr || s == nullptr || ECDSA_SIG_set0(signature.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return std::string();
    }
    unsigned char* der = nullptr;
    const int length = i2d_ECDSA_SIG(signature.get(), &der);
    std::string text;
    if (length > 0) {
        text.assign(reinterpret_cast<const char*>(der), static_cast<size_t>(length));
    }
    OPENSSL_free(der);
    return text;
}

}  // namespace

bool VerifyEcdsaP256Sha256(const std::string& publicKey, const std::string& message,
                           const std::string& signature) {
    if (publicKey.size() != kP256PublicKeyLength || publicKey[0] != '\x04' ||
        signature.size() != kP256SignatureLength) {
        return false;
    }
    const std::unique_ptr<EVP_PKEY, PkeyFree> key = P256PublicKey(publicKey);
    const std::string der = DerSignature(signature);
    std::unique_ptr<EVP_MD_CTX, MdContextFree> context(EVP_MD_CTX_new());
    if (!key || der.empty() || !context ||
        EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) {
        return false;
    }
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(der.data()),
                            der.size(), reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

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
