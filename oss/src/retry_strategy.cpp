#include "oss/retry_strategy.h"

#include <algorithm>
#include <limits>

namespace oss {

namespace {

// libcurl's could-not-connect, partial file, write error, timeout, got nothing, send error and
// receive error, as transport status codes.
bool IsTransientTransportFailure(int32_t status) {
    switch (status) {
        case 200007:
        case 200018:
        case 200023:
        case 200028:
        case 200052:
        case 200055:
        case 200056:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool DefaultRetryStrategy::ShouldRetry(const AttemptError& error, int32_t retries) const {
    if (retries >= maxRetries_) {
        return false;
    }
    if (error.status == 403 && error.message.find("RequestTimeTooSkewed") != std::string::npos) {
        return true;
    }
    if (error.status >= 500 && error.status <= 598) {
        return true;
    }
    return IsTransientTransportFailure(error.status);
}

int32_t DefaultRetryStrategy::RetryDelayMs(const AttemptError&, int32_t retries) const {
    // Doubling saturates instead of wrapping into a negative or zero wait.
    const int64_t base = std::max<int64_t>(delayBaseMs_, 0);
    const int shift = std::clamp<int32_t>(retries, 0, 31);
    const int64_t delay = base << shift;
    return static_cast<int32_t>(std::min<int64_t>(delay, std::numeric_limits<int32_t>::max()));
}

}  // namespace oss
