#include "calendar_time.h"

namespace oss {

bool ToLocalTime(std::time_t seconds, std::tm& local) {
    return localtime_r(&seconds, &local) != nullptr;
}

bool ToUtcTime(std::time_t seconds, std::tm& utc) {
    return gmtime_r(&seconds, &utc) != nullptr;
}

std::time_t FromUtcTime(std::tm& utc) {
    return timegm(&utc);
}

}  // namespace oss
