#include "oss/http_client.h"

#include <chrono>

namespace oss {

void HttpClient::waitForRetry(int32_t milliseconds) {
    if (milliseconds <= 0) {
        return;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> lock(retryMutex_);
    // Nothing signals the condition; waking up early (spuriously) just waits again.
    while (retryCondition_.wait_until(lock, deadline) != std::cv_status::timeout) {
    }
}

}  // namespace oss
