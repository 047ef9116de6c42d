// What the dialogs' data exchange does to text and numbers, as plain functions: they need no
// window, so they are tested on their own.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace fw {

// The framework's messages for a field that does not hold what it must.
inline constexpr std::u16string_view kEnterPositiveInteger = u"Enter a positive integer.";
inline constexpr std::u16string_view kEnterIntegerBetween = u"Enter an integer between %1 and %2.";
inline constexpr std::u16string_view kEnterInteger = u"Enter an integer.";

// Decimal numbers as typed into an edit: blanks around it are allowed, then an optional sign
// ("+" only for the unsigned form) and at least one digit, nothing else. A value outside the
// type fails like any other bad text.
bool ParseSigned(std::u16string_view text, int32_t& value);
bool ParseUnsigned(std::u16string_view text, uint32_t& value);
std::u16string FormatDecimal(int64_t value);

// Replaces %1 ... %9 by the texts given (missing ones by nothing); any other "%" stays.
std::u16string InsertArguments(std::u16string_view format, std::initializer_list<std::u16string_view> args);
// "Enter an integer between <min> and <max>."
std::u16string RangeMessage(int64_t min, int64_t max);

// FILETIME (100 ns since 1601) and seconds since 1970, as the image's limits keep time.
// Times before 1601 are clamped to 0; the division rounds towards the past.
uint64_t UnixSecondsToFileTime(int64_t seconds);
int64_t FileTimeToUnixSeconds(uint64_t fileTime);

// A calendar date and time of day, as a date picker shows them.
struct CivilTime {
    int32_t year = 1970;
    int32_t month = 1;
    int32_t day = 1;
    int32_t hour = 0;
    int32_t minute = 0;
    int32_t second = 0;
};
// The date picker edits the date only: the date comes from the picker, the time of day from
// the value held before.
CivilTime WithDateOf(const CivilTime& previous, const CivilTime& picked);

}  // namespace fw
