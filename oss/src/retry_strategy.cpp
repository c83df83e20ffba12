#include "oss/retry_strategy.h"

#include <algorithm>
#include <limits>

#include "transport_status.h"

namespace oss {

namespace {

// Transfers that failed on the way and may well succeed when sent again.
bool IsTransientTransportFailure(int32_t status) {
    switch (status) {
        case TransportStatus(CURLE_COULDNT_CONNECT):
        case TransportStatus(CURLE_PARTIAL_FILE):
        case TransportStatus(CURLE_WRITE_ERROR):
        case TransportStatus(CURLE_OPERATION_TIMEDOUT):
        case TransportStatus(CURLE_GOT_NOTHING):
        case TransportStatus(CURLE_SEND_ERROR):
        case TransportStatus(CURLE_RECV_ERROR):
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
