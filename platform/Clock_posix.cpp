#include "platform/Clock.h"

#include <time.h>

#include <cerrno>

namespace platform {

int64_t CurrentTime() { return static_cast<int64_t>(time(nullptr)); }

bool LocalDate(int64_t secondsSince1970, CalendarDate& date) {
    const auto instant = static_cast<time_t>(secondsSince1970);
    if (static_cast<int64_t>(instant) != secondsSince1970) return false;
    tm local{};
    if (localtime_r(&instant, &local) == nullptr) return false;
    date.year = local.tm_year + 1900;
    date.month = local.tm_mon + 1;
    date.day = local.tm_mday;
    return true;
}

void SleepMilliseconds(uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
