#include "calendar_time.h"

namespace oss {

bool ToLocalTime(std::time_t seconds, std::tm& local) {
    return localtime_s(&local, &seconds) == 0;
}

bool ToUtcTime(std::time_t seconds, std::tm& utc) {
    return gmtime_s(&utc, &seconds) == 0;
}

std::time_t FromUtcTime(std::tm& utc) {
    return _mkgmtime(&utc);
}

}  // namespace oss
