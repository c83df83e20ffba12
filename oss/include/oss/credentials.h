// The keys requests are signed with, and where the client gets them.
#pragma once

#include <string>
#include <utility>

namespace oss {

struct Credentials {
    std::string accessKeyId;
    std::string accessKeySecret;
    std::string securityToken;  // sent as x-oss-security-token when not empty
};

// Asked once per signing; may be shared between threads.
class CredentialsProvider {
  public:
    virtual ~CredentialsProvider() = default;
    virtual Credentials GetCredentials() = 0;
};

class SimpleCredentialsProvider : public CredentialsProvider {
  public:
    explicit SimpleCredentialsProvider(Credentials credentials)
        : credentials_(std::move(credentials)) {}
    SimpleCredentialsProvider(const std::string& accessKeyId, const std::string& accessKeySecret,
                              const std::string& securityToken = std::string())
        : credentials_{accessKeyId, accessKeySecret, securityToken} {}

    Credentials GetCredentials() override { return credentials_; }

  private:
    const Credentials credentials_;
};

}  // namespace oss
