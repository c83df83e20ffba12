#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
FILETIME FromTicks(ULONGLONG ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Sets TZ for the scope of a test and restores it afterwards.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (previous_)
            setenv("TZ", previous_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    std::optional<std::string> previous_;
};

TEST(TimeConversion, SystemTimeAndFileTimeRoundTrip) {
    struct Row {
        SYSTEMTIME time;  // year, month, day of week, day, hour, minute, second, ms
        ULONGLONG ticks;
    } rows[] = {
        {{1601, 1, 1, 1, 0, 0, 0, 0}, 0},
        {{1970, 1, 4, 1, 0, 0, 0, 0}, 116444736000000000ULL},
        {{1980, 1, 2, 1, 0, 0, 0, 0}, 119600064000000000ULL},
        {{2024, 2, 4, 29, 12, 34, 56, 789}, 133536836967890000ULL},
        {{2107, 12, 6, 31, 23, 59, 58, 0}, 159992927980000000ULL},
    };
    for (const Row& row : rows) {
        FILETIME fileTime{kSentinel, kSentinel};
        ASSERT_TRUE(SystemTimeToFileTime(&row.time, &fileTime)) << row.ticks;
        EXPECT_EQ(Ticks(fileTime), row.ticks);
        SYSTEMTIME back{};
        ASSERT_TRUE(FileTimeToSystemTime(&fileTime, &back));
        EXPECT_EQ(back.wYear, row.time.wYear);
        EXPECT_EQ(back.wMonth, row.time.wMonth);
        EXPECT_EQ(back.wDay, row.time.wDay);
        EXPECT_EQ(back.wDayOfWeek, row.time.wDayOfWeek) << row.ticks;
        EXPECT_EQ(back.wHour, row.time.wHour);
        EXPECT_EQ(back.wMinute, row.time.wMinute);
        EXPECT_EQ(back.wSecond, row.time.wSecond);
        EXPECT_EQ(back.wMilliseconds, row.time.wMilliseconds);
    }
}

TEST(TimeConversion, InvalidSystemTimesAreRefused) {
    SYSTEMTIME rows[] = {
        {2023, 13, 0, 1, 0, 0, 0, 0},   {2023, 2, 0, 29, 0, 0, 0, 0},  {2100, 2, 0, 29, 0, 0, 0, 0},
        {2023, 4, 0, 31, 0, 0, 0, 0},   {2023, 1, 0, 1, 24, 0, 0, 0},  {2023, 1, 0, 1, 0, 60, 0, 0},
        {2023, 1, 0, 1, 0, 0, 0, 1000}, {1600, 12, 0, 31, 0, 0, 0, 0}, {2023, 0, 0, 1, 0, 0, 0, 0},
    };
    for (const SYSTEMTIME& row : rows) {
        FILETIME fileTime;
        SetLastError(kSentinel);
        EXPECT_FALSE(SystemTimeToFileTime(&row, &fileTime))
            << row.wYear << "-" << row.wMonth << "-" << row.wDay;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    SYSTEMTIME leap{2000, 2, 0, 29, 0, 0, 0, 0};
    FILETIME fileTime;
    EXPECT_TRUE(SystemTimeToFileTime(&leap, &fileTime));
    FILETIME tooLarge{0, 0x80000000};
    SYSTEMTIME out;
    EXPECT_FALSE(FileTimeToSystemTime(&tooLarge, &out));
}

TEST(TimeConversion, DosDateTimesConvertBothWays) {
    struct Row {
        WORD date, time;
        ULONGLONG ticks;
    } rows[] = {
        {0x0021, 0x0000, 119600064000000000ULL},  // 1980-01-01 00:00:00
        {0xFF9F, 0xBF7D, 159992927980000000ULL},  // 2107-12-31 23:59:58
        {0x585D, 0x6459, 133536836900000000ULL},  // 2024-02-29 12:34:50
    };
    for (const Row& row : rows) {
        FILETIME fileTime;
        ASSERT_TRUE(DosDateTimeToFileTime(row.date, row.time, &fileTime)) << row.date;
        EXPECT_EQ(Ticks(fileTime), row.ticks);
        WORD date = 0, time = 0;
        ASSERT_TRUE(FileTimeToDosDateTime(&fileTime, &date, &time));
        EXPECT_EQ(date, row.date);
        EXPECT_EQ(time, row.time);
    }
    // MS-DOS times count seconds in pairs: 12:34:57 comes back as 12:34:56.
    FILETIME odd = FromTicks(133536836970000000ULL);
    WORD date = 0, time = 0;
    ASSERT_TRUE(FileTimeToDosDateTime(&odd, &date, &time));
    EXPECT_EQ(time, static_cast<WORD>((12 << 11) | (34 << 5) | 28));

    FILETIME fileTime;
    SetLastError(kSentinel);
    EXPECT_FALSE(DosDateTimeToFileTime(0, 0, &fileTime)) << "month 0 does not exist";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    FILETIME before1980 = FromTicks(119600064000000000ULL - 1);
    EXPECT_FALSE(FileTimeToDosDateTime(&before1980, &date, &time));
}

TEST(TimeConversion, LocalFileTimesUseTheProcessTimeZone) {
    struct Row {
        const char* zone;
        LONGLONG offsetSeconds;
    } rows[] = {{"UTC", 0},
                {"Asia/Shanghai", 8 * 3600},
                {"Asia/Kolkata", 5 * 3600 + 1800},
                {"America/Caracas", -4 * 3600}};
    const ULONGLONG utc = 133536836967890000ULL;
    for (const Row& row : rows) {
        ScopedTimeZone zone(row.zone);
        FILETIME in = FromTicks(utc), local, back;
        ASSERT_TRUE(FileTimeToLocalFileTime(&in, &local));
        EXPECT_EQ(static_cast<LONGLONG>(Ticks(local) - utc), row.offsetSeconds * 10000000)
            << row.zone;
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
        EXPECT_EQ(Ticks(back), utc) << row.zone;
    }
}

TEST(TimeConversion, LocalTimeIsSystemTimeShiftedByTheZone) {
    ScopedTimeZone zone("Asia/Shanghai");
    SYSTEMTIME local, system;
    GetLocalTime(&local);
    GetSystemTime(&system);
    FILETIME localFile, systemFile;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &localFile));
    ASSERT_TRUE(SystemTimeToFileTime(&system, &systemFile));
    LONGLONG difference = static_cast<LONGLONG>(Ticks(localFile) - Ticks(systemFile));
    EXPECT_NEAR(static_cast<double>(difference) / 1e7, 8 * 3600, 2.0);
    EXPECT_LT(local.wMilliseconds, 1000);

    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    EXPECT_NEAR(static_cast<double>(Ticks(now) - Ticks(systemFile)) / 1e7, 0, 2.0);
}

TEST(Clock, TickCountAdvancesAcrossSleep) {
    DWORD before = GetTickCount();
    Sleep(50);
    DWORD elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, 49u);
    EXPECT_LT(elapsed, 5000u);
}

}  // namespace
