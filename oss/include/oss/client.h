// The request loop shared by storage clients: attempts, retries and clock-skew correction.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "oss/client_settings.h"
#include "oss/http_client.h"
#include "oss/http_message.h"
#include "oss/outcome.h"
#include "oss/service_request.h"

namespace oss {

// Follows the attempts of one request, so that an attempt can build on what the earlier ones
// received (a download that continues where the last attempt stopped).
class AttemptObserver {
  public:
    enum class Verdict {
        NoProgress,  // judged by the retry policy and counted against its limit
        Progress,    // moved the request forward: judged by the policy, not counted
        StartOver,   // the answer voided what the earlier attempts got: sent again at once
    };
    virtual ~AttemptObserver() = default;
    // Adds what this attempt needs to the signed request.
    virtual void BeforeAttempt(HttpRequest& request) = 0;
    // Called with every response, before it is judged.
    virtual Verdict AfterAttempt(HttpResponse& response) = 0;
};

class Client {
  public:
    // Copies the settings; uses their httpClient when set, else makes a CurlHttpClient.
    Client(const std::string& serviceName, const OssClientSettings& settings);
    virtual ~Client() = default;

    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // A fresh, signed HttpRequest for one attempt.
    virtual std::shared_ptr<HttpRequest> PrepareHttpRequest(const std::string& endpoint,
                                                            const OssRequest& request,
                                                            HttpMethod method) const = 0;
    // True for no response, a status outside 2xx, a CRC-64 mismatch of a whole download (the
    // response then carries status 100001 and the reason), or a failed callback (203).
    virtual bool IsErrorResponse(const std::shared_ptr<HttpResponse>& response) const;

    // Attempts until one succeeds or the retry policy says stop, waiting between attempts. A
    // RequestTimeTooSkewed refusal sets requestDateOffset to the server's clock when
    // adjustClockSkew is on. An observer's verdicts decide which failed attempts count against
    // the policy's limit.
    AttemptOutcome SendWithRetry(const std::string& endpoint, const OssRequest& request,
                                 HttpMethod method, AttemptObserver* observer = nullptr);
    AttemptOutcome SendOnce(const std::string& endpoint, const OssRequest& request,
                            HttpMethod method, AttemptObserver* observer = nullptr,
                            AttemptObserver::Verdict* verdict = nullptr);
    AttemptError MakeAttemptError(const std::shared_ptr<HttpResponse>& response) const;

    // Seconds added to the clock when a request is dated.
    int64_t requestDateOffset() const { return requestDateOffset_.load(std::memory_order_relaxed); }
    void setRequestDateOffset(int64_t seconds) {
        requestDateOffset_.store(seconds, std::memory_order_relaxed);
    }
    const std::string& serviceName() const { return serviceName_; }
    const OssClientSettings& settings() const { return settings_; }
    const std::shared_ptr<HttpClient>& httpClient() const { return httpClient_; }

  private:
    void CorrectClockSkew(const AttemptError& error);

    // Written by one call's skew correction while others may read it.
    std::atomic<int64_t> requestDateOffset_{0};
    const std::string serviceName_;
    const OssClientSettings settings_;
    const std::shared_ptr<HttpClient> httpClient_;
};

}  // namespace oss
