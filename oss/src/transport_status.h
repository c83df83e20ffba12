// The status of an attempt whose transfer failed: 200000 + libcurl's code for the failure, so
// that it can never be taken for an HTTP status.
#pragma once

#include <curl/curl.h>

#include <cstdint>

namespace oss {

constexpr int32_t TransportStatus(CURLcode code) {
    return 200000 + static_cast<int32_t>(code);
}

}  // namespace oss
