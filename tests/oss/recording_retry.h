// A retry policy that keeps the default decisions but records the status of every failed
// attempt it judges, with short waits unless told otherwise.
#pragma once

#include <mutex>
#include <vector>

#include "oss/retry_strategy.h"

namespace testing_oss {

class RecordingRetry : public oss::DefaultRetryStrategy {
  public:
    explicit RecordingRetry(int32_t delayBaseMs = 1) : DefaultRetryStrategy(delayBaseMs, 3) {}
    bool ShouldRetry(const oss::AttemptError& error, int32_t retries) const override {
        std::lock_guard<std::mutex> lock(mutex_);
        statuses.push_back(error.status);
        return DefaultRetryStrategy::ShouldRetry(error, retries);
    }
    mutable std::vector<int32_t> statuses;

  private:
    mutable std::mutex mutex_;
};

}  // namespace testing_oss
