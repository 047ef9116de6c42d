// Wall-clock time and the local calendar.
#pragma once
#include <cstdint>

namespace platform {

// Windows FILETIME counts 100-nanosecond ticks since 1601-01-01 UTC.
constexpr int64_t kFileTimeEpochSeconds = 11644473600;  // seconds from 1601 to 1970
constexpr int64_t kFileTimeTicksPerSecond = 10000000;

struct CalendarDate {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;    // 1-31
};

// Seconds since 1970-01-01 00:00 UTC.
int64_t CurrentTime();
// The local calendar date that contains the given instant; false when it cannot be converted.
bool LocalDate(int64_t secondsSince1970, CalendarDate& date);
void SleepMilliseconds(uint32_t milliseconds);

}  // namespace platform
