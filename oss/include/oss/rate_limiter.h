// Speed limit that a transport asks for while a transfer runs.
#pragma once

#include <cstdint>

namespace oss {

// Supplied through the settings; the transport only reads the present limit, which may change
// during a transfer and is applied at libcurl's next progress call.
class RateLimiter {
  public:
    virtual ~RateLimiter() = default;
    // The present limit in KiB per second.
    virtual int32_t currentRate() const = 0;
};

}  // namespace oss
