// Conversions between seconds since 1970 and broken-down calendar time. The C runtimes spell
// them differently, so each target has its own small source file.
#pragma once

#include <ctime>

namespace oss {

// The local time of `seconds` in the process's time zone; false when it cannot be represented.
bool ToLocalTime(std::time_t seconds, std::tm& local);
// The UTC time of `seconds`; false when it cannot be represented.
bool ToUtcTime(std::time_t seconds, std::tm& utc);
// Seconds since 1970 of a UTC calendar time (fields out of range carry into the next unit);
// -1 when it cannot be represented.
std::time_t FromUtcTime(std::tm& utc);

}  // namespace oss
