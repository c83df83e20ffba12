// The storage client behind OssClient: endpoint, credentials, signer and the operations.
#pragma once

#include <memory>
#include <string>

#include "oss/client.h"
#include "oss/credentials.h"
#include "oss/executor.h"
#include "oss/object_metadata.h"
#include "oss/object_requests.h"
#include "oss/outcome.h"
#include "oss/results.h"
#include "oss/signer.h"

// <windows.h> defines GetObject as a GDI call (GetObjectW); in a file that includes both, the
// client's operation keeps its own name.
#undef GetObject

namespace oss {

// True when the endpoint's host is not empty and made only of ASCII letters, digits, "-", "."
// and "_"; scheme, user information, port and path are not judged.
bool EndpointIsValid(const std::string& endpoint);

// Always held through a shared pointer. Its operations may be called from several threads.
class OssClientImpl : public Client {
  public:
    // Sends nothing: an invalid endpoint surfaces at the first request.
    OssClientImpl(const std::string& endpoint,
                  const std::shared_ptr<CredentialsProvider>& credentialsProvider,
                  const OssClientSettings& settings);
    ~OssClientImpl() override = default;

    std::shared_ptr<HttpRequest> PrepareHttpRequest(const std::string& endpoint,
                                                    const OssRequest& request,
                                                    HttpMethod method) const override;

    // HEAD ?objectMeta; false for every failure, a missing object included.
    bool ObjectExists(const std::string& bucket, const std::string& key);
    RequestOutcome<GetObjectResult> GetObject(const GetObjectRequest& request);
    RequestOutcome<ObjectMetadata> GetObjectMeta(const GetObjectMetaRequest& request);
    // Checks the arguments and the endpoint, then sends with retries (see SendWithRetry).
    RequestOutcome<ServiceResult> PerformRequest(const OssRequest& request, HttpMethod method,
                                                 AttemptObserver* observer = nullptr);

    const std::string& endpoint() const { return endpoint_; }
    bool endpointValid() const { return endpointValid_; }
    const std::shared_ptr<Executor>& executor() const { return executor_; }

  private:
    const std::string endpoint_;
    const std::shared_ptr<CredentialsProvider> credentialsProvider_;
    const std::shared_ptr<Signer> signer_;
    const std::shared_ptr<Executor> executor_;
    const bool endpointValid_;
};

// The body and headers of a successful answer as a ServiceResult; with FlagCheckCrc64 and
// FlagReportClientCrc64 the headers also carry "x-oss-hash-crc64ecma-by-client".
ServiceResult MakeServiceResult(const ServiceRequest& request,
                                const std::shared_ptr<HttpResponse>& response);

}  // namespace oss
