// When and how long to wait before a failed attempt is sent again.
#pragma once

#include <cstdint>
#include <string>

#include "oss/header_collection.h"

namespace oss {

// The failure of one attempt.
struct AttemptError {
    // HTTP status; 200000 + libcurl code for a transport failure; 100001 for a CRC-64 mismatch;
    // 0 when there was no response.
    int32_t status = 0;
    std::string code;
    std::string message;
    HeaderCollection headers;
};

class RetryStrategy {
  public:
    virtual ~RetryStrategy() = default;
    virtual bool ShouldRetry(const AttemptError& error, int32_t retries) const = 0;
    virtual int32_t RetryDelayMs(const AttemptError& error, int32_t retries) const = 0;
};

// Retries clock-skew refusals, 5xx answers below 599 and transient transport failures, up to
// maxRetries times, waiting delayBaseMs doubled on every retry.
class DefaultRetryStrategy : public RetryStrategy {
  public:
    explicit DefaultRetryStrategy(int32_t delayBaseMs = 300, int32_t maxRetries = 3)
        : delayBaseMs_(delayBaseMs), maxRetries_(maxRetries) {}

    bool ShouldRetry(const AttemptError& error, int32_t retries) const override;
    int32_t RetryDelayMs(const AttemptError& error, int32_t retries) const override;

    int32_t delayBaseMs() const { return delayBaseMs_; }
    int32_t maxRetries() const { return maxRetries_; }

  private:
    int32_t delayBaseMs_;
    int32_t maxRetries_;
};

}  // namespace oss
