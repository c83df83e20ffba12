#include "oss/signer.h"

#include "oss/crypto.h"

namespace oss {

std::string HmacSha1Signer::Generate(const std::string& text, const std::string& secret) const {
    if (text.empty()) {
        return std::string();
    }
    const std::string digest = HmacSha1(secret, text);
    if (digest.empty()) {
        return std::string();
    }
    return Base64Encode(reinterpret_cast<const unsigned char*>(digest.data()), digest.size());
}

}  // namespace oss
