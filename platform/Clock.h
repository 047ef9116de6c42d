// Wall-clock time and the local calendar.
#pragma once
#include <cstdint>

namespace platform {

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
