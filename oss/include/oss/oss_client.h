// The storage client the installer holds.
#pragma once

#include <memory>
#include <string>

#include "oss/client_settings.h"
#include "oss/credentials.h"
#include "oss/object_requests.h"
#include "oss/oss_client_impl.h"
#include "oss/outcome.h"
#include "oss/results.h"

namespace oss {

// Forwards to a shared OssClientImpl; may be used from several threads at once.
class OssClient {
  public:
    // Signs with this AccessKey pair and no security token.
    OssClient(const std::string& endpoint, const std::string& accessKeyId,
              const std::string& accessKeySecret, const OssClientSettings& settings);
    OssClient(const std::string& endpoint,
              const std::shared_ptr<CredentialsProvider>& credentialsProvider,
              const OssClientSettings& settings);
    virtual ~OssClient() = default;

    bool ObjectExists(const std::string& bucket, const std::string& key) const;
    RequestOutcome<GetObjectResult> GetObject(const GetObjectRequest& request) const;
    RequestOutcome<ObjectMetadata> GetObjectMeta(const GetObjectMetaRequest& request) const;

    const std::shared_ptr<OssClientImpl>& impl() const { return impl_; }

  private:
    std::shared_ptr<OssClientImpl> impl_;
};

}  // namespace oss
