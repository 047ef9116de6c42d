#include "framework/Conversions.h"

#include <limits>

namespace fw {

namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr int64_t kFileTimeUnitsPerSecond = 10000000;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trimmed(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Digits only, at least one; false past limit.
bool ParseMagnitude(std::u16string_view digits, uint64_t limit, uint64_t& magnitude) {
    if (digits.empty()) return false;
    magnitude = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9') return false;
        magnitude = magnitude * 10 + static_cast<uint64_t>(c - u'0');
        if (magnitude > limit) return false;
    }
    return true;
}

}  // namespace

bool ParseSigned(std::u16string_view text, int32_t& value) {
    text = Trimmed(text);
    const bool negative = !text.empty() && text.front() == u'-';
    if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) text.remove_prefix(1);
    const uint64_t limit = negative ? uint64_t{1} << 31 : std::numeric_limits<int32_t>::max();
    uint64_t magnitude = 0;
    if (!ParseMagnitude(text, limit, magnitude)) return false;
    value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
    return true;
}

bool ParseUnsigned(std::u16string_view text, uint32_t& value) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == u'+') text.remove_prefix(1);
    uint64_t magnitude = 0;
    if (!ParseMagnitude(text, std::numeric_limits<uint32_t>::max(), magnitude)) return false;
    value = static_cast<uint32_t>(magnitude);
    return true;
}

std::u16string FormatDecimal(int64_t value) {
    const bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) digits.insert(digits.begin(), u'-');
    return digits;
}

std::u16string InsertArguments(std::u16string_view format, std::initializer_list<std::u16string_view> args) {
    std::u16string out;
    for (size_t i = 0; i < format.size(); ++i) {
        const char16_t c = format[i];
        if (c == u'%' && i + 1 < format.size() && format[i + 1] >= u'1' && format[i + 1] <= u'9') {
            const size_t index = static_cast<size_t>(format[++i] - u'1');
            if (index < args.size()) out += *(args.begin() + index);
            continue;
        }
        out += c;
    }
    return out;
}

std::u16string RangeMessage(int64_t min, int64_t max) {
    return InsertArguments(kEnterIntegerBetween, {FormatDecimal(min), FormatDecimal(max)});
}

uint64_t UnixSecondsToFileTime(int64_t seconds) {
    if (seconds < -kSecondsFrom1601To1970) return 0;
    return static_cast<uint64_t>(seconds + kSecondsFrom1601To1970) * kFileTimeUnitsPerSecond;
}

int64_t FileTimeToUnixSeconds(uint64_t fileTime) {
    return static_cast<int64_t>(fileTime / kFileTimeUnitsPerSecond) - kSecondsFrom1601To1970;
}

CivilTime WithDateOf(const CivilTime& previous, const CivilTime& picked) {
    CivilTime combined = previous;
    combined.year = picked.year;
    combined.month = picked.month;
    combined.day = picked.day;
    return combined;
}

}  // namespace fw
