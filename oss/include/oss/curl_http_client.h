// The libcurl transport: a pool of easy handles kept open between requests.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "oss/client_settings.h"
#include "oss/http_client.h"
#include "oss/rate_limiter.h"

struct curl_slist;

namespace oss {

class CurlHandlePool;
struct TransferContext;

// May be used from several threads at once; each call holds one handle of the pool for its
// duration. Destruction waits until every handle is back in the pool.
class CurlHttpClient : public HttpClient {
  public:
    // Copies what the transport needs from the settings; opens no connection yet.
    explicit CurlHttpClient(const OssClientSettings& settings);
    ~CurlHttpClient() override;

    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    // Sends the request and receives the answer. A 2xx body goes to the stream of the request's
    // responseStreamFactory; any other body to a new in-memory stream. Failures: statusCode
    // 200000 + CURLcode with libcurl's text; 200002 when no curl handle can be created; 200028
    // also when the transfer stays under the rate floor (settings minTransferRate*); 200023
    // also when the stream cannot take the last buffered bytes.
    std::shared_ptr<HttpResponse> makeRequest(const std::shared_ptr<HttpRequest>& request) override;

    // Handles created so far, free and in use.
    uint32_t poolSize() const;

    const std::shared_ptr<RateLimiter>& uploadRateLimiter() const { return uploadRateLimiter_; }
    const std::shared_ptr<RateLimiter>& downloadRateLimiter() const { return downloadRateLimiter_; }

  private:
    void setRequestOptions(TransferContext& context, curl_slist* headerList,
                           char* errorBuffer) const;

    std::unique_ptr<CurlHandlePool> handlePool_;
    const std::string userAgent_;
    const HttpScheme proxyScheme_;
    const std::string proxyHost_;
    const int32_t proxyPort_;
    const std::string proxyUser_;
    const std::string proxyPassword_;
    const bool verifyTls_;
    const std::string caDirectory_;
    const std::string caBundleFile_;
    const std::string bindInterface_;
    const std::shared_ptr<RateLimiter> uploadRateLimiter_;
    const std::shared_ptr<RateLimiter> downloadRateLimiter_;
    // The rate floor (settings minTransferRate*); a zero rate or window turns it off.
    const int64_t minTransferRate_;
    const std::chrono::seconds minTransferRateWindow_;
};

}  // namespace oss
