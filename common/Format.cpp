#include "common/Format.h"

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads a decimal count; formats come from the string table, so it stays small.
size_t ReadCount(std::u16string_view format, size_t& i) {
    size_t value = 0;
    while (i < format.size() && IsDigit(format[i])) {
        if (value < 1000) value = value * 10 + (format[i] - u'0');
        ++i;
    }
    return value;
}

std::u16string FormatNumber(int64_t number, bool hasPrecision, size_t precision) {
    const bool negative = number < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
    std::u16string digits;
    while (magnitude != 0) {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    }
    // As printf: precision is the least number of digits; "%.0d" of 0 prints nothing.
    const size_t least = hasPrecision ? precision : 1;
    if (digits.size() < least) digits.insert(0, least - digits.size(), u'0');
    if (negative) digits.insert(digits.begin(), u'-');
    return digits;
}

}  // namespace

std::u16string FormatText(std::u16string_view format, std::initializer_list<FormatArg> args) {
    std::u16string out;
    auto next = args.begin();
    size_t i = 0;
    while (i < format.size()) {
        if (format[i] != u'%') {
            out += format[i++];
            continue;
        }
        const size_t start = i++;
        if (i < format.size() && format[i] == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        bool leftAlign = false;
        bool zeroPad = false;
        while (i < format.size() && (format[i] == u'-' || format[i] == u'0')) {
            (format[i] == u'-' ? leftAlign : zeroPad) = true;
            ++i;
        }
        const size_t width = ReadCount(format, i);
        bool hasPrecision = false;
        size_t precision = 0;
        if (i < format.size() && format[i] == u'.') {
            ++i;
            hasPrecision = true;
            precision = ReadCount(format, i);
        }
        if (i >= format.size() || (format[i] != u'd' && format[i] != u's')) {
            // Not a conversion this table uses: keep the text as it stands.
            out.append(format.substr(start, i - start));
            continue;
        }
        const char16_t conversion = format[i++];
        std::u16string field;
        if (next != args.end()) {
            const FormatArg& arg = *next++;
            if (conversion == u's') {
                field = arg.isText ? std::u16string(arg.text) : FormatNumber(arg.number, false, 0);
                if (hasPrecision && field.size() > precision) field.resize(precision);
            } else {
                field = arg.isText ? std::u16string() : FormatNumber(arg.number, hasPrecision, precision);
            }
        }
        if (field.size() < width) {
            const size_t pad = width - field.size();
            if (leftAlign) {
                field.append(pad, u' ');
            } else if (zeroPad && conversion == u'd' && !hasPrecision) {
                field.insert(field.size() > 0 && field[0] == u'-' ? 1 : 0, pad, u'0');
            } else {
                field.insert(0, pad, u' ');
            }
        }
        out += field;
    }
    return out;
}
