// The transport: one HTTP exchange per call, and the wait between two attempts.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "oss/http_message.h"

namespace oss {

class HttpClient {
  public:
    virtual ~HttpClient() = default;

    // Always returns a response. A transport failure is reported inside it as statusCode
    // 200000 + the transport's error code with a statusMessage; nothing is thrown for it.
    virtual std::shared_ptr<HttpResponse> makeRequest(
        const std::shared_ptr<HttpRequest>& request) = 0;

    // Blocks the calling thread for that many milliseconds; 0 or less returns at once.
    void waitForRetry(int32_t milliseconds);

  private:
    std::mutex retryMutex_;
    std::condition_variable retryCondition_;
};

}  // namespace oss
