// Request signatures.
#pragma once

#include <string>

namespace oss {

class Signer {
  public:
    virtual ~Signer() = default;
    // The signature of `text` under `secret`; "" when it cannot be computed.
    virtual std::string Generate(const std::string& text, const std::string& secret) const = 0;

    int signerKind() const { return signerKind_; }
    const std::string& algorithmName() const { return algorithmName_; }
    const std::string& signerVersion() const { return signerVersion_; }

  protected:
    Signer(int kind, const std::string& algorithm, const std::string& version)
        : signerKind_(kind), algorithmName_(algorithm), signerVersion_(version) {}

  private:
    int signerKind_;
    std::string algorithmName_;
    std::string signerVersion_;
};

// Base64 of HMAC-SHA1; "" for an empty text or when the HMAC fails.
class HmacSha1Signer : public Signer {
  public:
    HmacSha1Signer() : Signer(0, "HMAC-SHA1", "1.0") {}
    std::string Generate(const std::string& text, const std::string& secret) const override;
};

}  // namespace oss
