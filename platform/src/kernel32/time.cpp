// Time of day, clocks, sleeping, and the conversions between FILETIME, SYSTEMTIME and MS-DOS
// dates. The local zone is the TZ of the process, as Windows uses the machine's zone.
#include "kernel32/filetime.h"

#include <time.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

using namespace winlayer;

namespace {

constexpr LONGLONG kTicksPerDay = 86400LL * kTicksPerSecond;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
LONGLONG DaysFromCivil(LONGLONG year, unsigned month, unsigned day) {
    year -= month <= 2;
    const LONGLONG era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<LONGLONG>(dayOfEra) - 719468;
}

void CivilFromDays(LONGLONG days, LONGLONG* year, unsigned* month, unsigned* day) {
    days += 719468;
    const LONGLONG era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<LONGLONG>(yearOfEra) + era * 400 + (*month <= 2);
}

const LONGLONG kDaysFrom1601To1970 = -DaysFromCivil(1601, 1, 1);

bool IsLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Reads the zone again only when TZ has changed since the last read: a read costs several system
// calls, and an extraction converts one time per file.
void ReadZoneWhenChanged() {
    static std::mutex mutex;
    static bool read = false;
    static std::string lastZone;
    const char* zone = std::getenv("TZ");
    const std::string current = zone != nullptr ? std::string("=") + zone : std::string();
    std::lock_guard lock(mutex);
    if (read && current == lastZone)
        return;
    tzset();
    lastZone = current;
    read = true;
}

// The offset of local time from UTC now, in ticks.
LONGLONG CurrentBiasTicks() {
    ReadZoneWhenChanged();
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    return static_cast<LONGLONG>(local.tm_gmtoff) * kTicksPerSecond;
}

}  // namespace

BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (fileTime == nullptr || systemTime == nullptr ||
        TicksOf(*fileTime) > 0x7FFFFFFFFFFFFFFFULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const ULONGLONG ticks = TicksOf(*fileTime);
    const LONGLONG daysSince1601 = static_cast<LONGLONG>(ticks / kTicksPerDay);
    ULONGLONG inDay = ticks % kTicksPerDay;
    LONGLONG year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(daysSince1601 - kDaysFrom1601To1970, &year, &month, &day);
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDay = static_cast<WORD>(day);
    systemTime->wDayOfWeek = static_cast<WORD>((daysSince1601 + 1) % 7);  // 1601-01-01: Monday
    systemTime->wHour = static_cast<WORD>(inDay / (3600 * kTicksPerSecond));
    inDay %= 3600 * kTicksPerSecond;
    systemTime->wMinute = static_cast<WORD>(inDay / (60 * kTicksPerSecond));
    inDay %= 60 * kTicksPerSecond;
    systemTime->wSecond = static_cast<WORD>(inDay / kTicksPerSecond);
    systemTime->wMilliseconds = static_cast<WORD>(inDay % kTicksPerSecond / 10000);
    return TRUE;
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime) {
    if (systemTime == nullptr || fileTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const SYSTEMTIME& st = *systemTime;
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
        st.wSecond > 59 || st.wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const LONGLONG days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) + kDaysFrom1601To1970;
    const LONGLONG seconds = days * 86400 + st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
    *fileTime =
        FileTimeOf(static_cast<ULONGLONG>(seconds * kTicksPerSecond + st.wMilliseconds * 10000LL));
    return TRUE;
}

BOOL WINAPI DosDateTimeToFileTime(WORD fatDate, WORD fatTime, LPFILETIME fileTime) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(1980 + (fatDate >> 9));
    st.wMonth = static_cast<WORD>((fatDate >> 5) & 0x0F);
    st.wDay = static_cast<WORD>(fatDate & 0x1F);
    st.wHour = static_cast<WORD>(fatTime >> 11);
    st.wMinute = static_cast<WORD>((fatTime >> 5) & 0x3F);
    st.wSecond = static_cast<WORD>((fatTime & 0x1F) * 2);
    return SystemTimeToFileTime(&st, fileTime);
}

BOOL WINAPI FileTimeToDosDateTime(const FILETIME* fileTime, WORD* fatDate, WORD* fatTime) {
    SYSTEMTIME st;
    if (fatDate == nullptr || fatTime == nullptr || !FileTimeToSystemTime(fileTime, &st))
        return FALSE;
    if (st.wYear < 1980 || st.wYear > 2107) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *fatDate = static_cast<WORD>(((st.wYear - 1980) << 9) | (st.wMonth << 5) | st.wDay);
    *fatTime = static_cast<WORD>((st.wHour << 11) | (st.wMinute << 5) | (st.wSecond / 2));
    return TRUE;
}

// Both conversions use the zone's offset of the present moment, not the one in force at the
// converted time: Windows documents this for LocalFileTimeToFileTime and FileTimeToLocalFileTime.
BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* localFileTime, LPFILETIME fileTime) {
    if (localFileTime == nullptr || fileTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *fileTime = FileTimeOf(TicksOf(*localFileTime) - CurrentBiasTicks());
    return TRUE;
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime) {
    if (fileTime == nullptr || localFileTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *localFileTime = FileTimeOf(TicksOf(*fileTime) + CurrentBiasTicks());
    return TRUE;
}

void WINAPI GetSystemTimeAsFileTime(LPFILETIME fileTime) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    *fileTime = FileTimeOf(TicksFromTimespec(now));
}

void WINAPI GetSystemTime(LPSYSTEMTIME systemTime) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    FileTimeToSystemTime(&now, systemTime);
}

void WINAPI GetLocalTime(LPSYSTEMTIME systemTime) {
    ReadZoneWhenChanged();
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    systemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
    systemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
    systemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    systemTime->wDay = static_cast<WORD>(local.tm_mday);
    systemTime->wHour = static_cast<WORD>(local.tm_hour);
    systemTime->wMinute = static_cast<WORD>(local.tm_min);
    systemTime->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
    systemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

DWORD WINAPI GetTickCount() {
    timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    // Milliseconds since the machine started, wrapping after 49.7 days as on Windows.
    return static_cast<DWORD>(static_cast<ULONGLONG>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
}

void WINAPI Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    if (milliseconds == INFINITE) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
