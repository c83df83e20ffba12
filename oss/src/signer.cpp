#include "oss/signer.h"

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

std::string HmacSha1Signer::Generate(const std::string& text, const std::string& secret) const {
    if (text.empty()) {
        return std::string();
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (HMAC(EVP_sha1(), secret.data(), static_cast<int>(secret.size()),
             reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest,
             &digestLength) == nullptr) {
        return std::string();
    }
    return Base64Encode(digest, digestLength);
}

}  // namespace oss
