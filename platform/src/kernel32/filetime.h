// FILETIME arithmetic: 100-nanosecond intervals since 1601-01-01 UTC.
#pragma once

#include <windows.h>

#include <ctime>

namespace winlayer {

// Seconds from 1601-01-01 to 1970-01-01.
inline constexpr LONGLONG kEpochDifferenceSeconds = 11644473600LL;
inline constexpr LONGLONG kTicksPerSecond = 10000000LL;

inline ULONGLONG TicksOf(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline FILETIME FileTimeOf(ULONGLONG ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

inline ULONGLONG TicksFromTimespec(const timespec& ts) {
    return static_cast<ULONGLONG>((ts.tv_sec + kEpochDifferenceSeconds) * kTicksPerSecond +
                                  ts.tv_nsec / 100);
}

inline timespec TimespecFromTicks(ULONGLONG ticks) {
    LONGLONG seconds = static_cast<LONGLONG>(ticks / kTicksPerSecond) - kEpochDifferenceSeconds;
    long nanoseconds = static_cast<long>(ticks % kTicksPerSecond) * 100;
    return timespec{static_cast<time_t>(seconds), nanoseconds};
}

}  // namespace winlayer
