#include "oss/oss_client.h"

#include <algorithm>

#include "oss/model_error.h"
#include "oss/prepare_request.h"
#include "oss/service_error.h"
#include "oss/url.h"
#include "resumable_download.h"

namespace oss {

namespace {

bool IsEndpointHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

template <typename R>
RequestOutcome<R> ValidateError(const std::string& message) {
    return RequestOutcome<R>(ServiceError{"ValidateError", message, "", ""});
}

}  // namespace

bool EndpointIsValid(const std::string& endpoint) {
    const std::string host = Url(endpoint).host();
    return !host.empty() && std::all_of(host.begin(), host.end(), IsEndpointHostChar);
}

OssClientImpl::OssClientImpl(const std::string& endpoint,
                             const std::shared_ptr<CredentialsProvider>& credentialsProvider,
                             const OssClientSettings& settings)
    : Client("OSS", settings),
      endpoint_(endpoint),
      credentialsProvider_(credentialsProvider),
      signer_(std::make_shared<HmacSha1Signer>()),
      executor_(settings.executor ? settings.executor : std::make_shared<ThreadExecutor>()),
      endpointValid_(EndpointIsValid(endpoint)) {}

std::shared_ptr<HttpRequest> OssClientImpl::PrepareHttpRequest(const std::string& endpoint,
                                                               const OssRequest& request,
                                                               HttpMethod method) const {
    const RequestContext context{settings(), requestDateOffset(), *credentialsProvider_, *signer_,
                                 this};
    return oss::PrepareHttpRequest(context, endpoint, request, method);
}

bool OssClientImpl::ObjectExists(const std::string& bucket, const std::string& key) {
    return GetObjectMeta(GetObjectMetaRequest(bucket, key)).succeeded();
}

RequestOutcome<GetObjectResult> OssClientImpl::GetObject(const GetObjectRequest& request) {
    // A whole-object download continues where a failed attempt stopped; a ranged one is sent
    // as it is.
    ResumableDownload resume(request);
    RequestOutcome<ServiceResult> outcome =
        PerformRequest(request, HttpMethod::Get, request.hasRange() ? nullptr : &resume);
    if (!outcome.succeeded()) {
        return RequestOutcome<GetObjectResult>(outcome.error());
    }
    const ServiceResult& result = outcome.result();
    return RequestOutcome<GetObjectResult>(
        GetObjectResult(request.bucket(), request.key(), result.payload, result.headers));
}

RequestOutcome<ObjectMetadata> OssClientImpl::GetObjectMeta(const GetObjectMetaRequest& request) {
    RequestOutcome<ServiceResult> outcome = PerformRequest(request, HttpMethod::Head);
    if (!outcome.succeeded()) {
        return RequestOutcome<ObjectMetadata>(outcome.error());
    }
    return RequestOutcome<ObjectMetadata>(ObjectMetadata(outcome.result().headers));
}

RequestOutcome<ServiceResult> OssClientImpl::PerformRequest(const OssRequest& request,
                                                            HttpMethod method,
                                                            AttemptObserver* observer) {
    const int check = request.CheckArguments();
    if (check != 0) {
        return ValidateError<ServiceResult>(ModelErrorMessage(check));
    }
    if (!endpointValid_) {
        return ValidateError<ServiceResult>("The endpoint is invalid.");
    }
    AttemptOutcome attempt = SendWithRetry(endpoint_, request, method, observer);
    if (!attempt.succeeded) {
        return RequestOutcome<ServiceResult>(MakeServiceError(attempt.error));
    }
    return RequestOutcome<ServiceResult>(MakeServiceResult(request, attempt.response));
}

ServiceResult MakeServiceResult(const ServiceRequest& request,
                                const std::shared_ptr<HttpResponse>& response) {
    const RequestFlags both = FlagCheckCrc64 | FlagReportClientCrc64;
    if ((request.flags() & both) == both && response->request()) {
        response->setHeader("x-oss-hash-crc64ecma-by-client",
                            std::to_string(response->request()->crc64Result()));
    }
    ServiceResult result;
    result.requestId = response->getHeader("x-oss-request-id");
    result.payload = response->getBody();
    result.statusCode = response->statusCode();
    result.headers = response->getHeaders();
    return result;
}

OssClient::OssClient(const std::string& endpoint, const std::string& accessKeyId,
                     const std::string& accessKeySecret, const OssClientSettings& settings)
    : OssClient(endpoint,
                std::make_shared<SimpleCredentialsProvider>(accessKeyId, accessKeySecret, ""),
                settings) {}

OssClient::OssClient(const std::string& endpoint,
                     const std::shared_ptr<CredentialsProvider>& credentialsProvider,
                     const OssClientSettings& settings)
    : impl_(std::make_shared<OssClientImpl>(endpoint, credentialsProvider, settings)) {}

bool OssClient::ObjectExists(const std::string& bucket, const std::string& key) const {
    return impl_->ObjectExists(bucket, key);
}

RequestOutcome<GetObjectResult> OssClient::GetObject(const GetObjectRequest& request) const {
    return impl_->GetObject(request);
}

RequestOutcome<ObjectMetadata> OssClient::GetObjectMeta(const GetObjectMetaRequest& request) const {
    return impl_->GetObjectMeta(request);
}

}  // namespace oss
