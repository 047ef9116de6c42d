#include "platform/Clock.h"

#include <windows.h>

namespace platform {

int64_t CurrentTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<int64_t>(ticks / kFileTimeTicksPerSecond) - kFileTimeEpochSeconds;
}

bool LocalDate(int64_t secondsSince1970, CalendarDate& date) {
    if (secondsSince1970 < -kFileTimeEpochSeconds ||
        secondsSince1970 > INT64_MAX / kFileTimeTicksPerSecond - kFileTimeEpochSeconds) {
        return false;
    }
    const uint64_t ticks =
        static_cast<uint64_t>(secondsSince1970 + kFileTimeEpochSeconds) * kFileTimeTicksPerSecond;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME utc, local;
    // The zone's rules at that instant, daylight saving included.
    if (!FileTimeToSystemTime(&ft, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return false;
    }
    date.year = local.wYear;
    date.month = local.wMonth;
    date.day = local.wDay;
    return true;
}

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace platform
