#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "framework/Conversions.h"
#include "platform/Text.h"

namespace {

TEST(DataExchangeConversions, SignedDecimal) {
    struct Case {
        std::u16string text;
        bool parses;
        int32_t value;
    };
    const Case cases[] = {
        {u"3", true, 3},
        {u"  42\t", true, 42},
        {u"-7", true, -7},
        {u"+7", true, 7},
        {u"007", true, 7},
        {u"2147483647", true, 2147483647},
        {u"-2147483648", true, -2147483647 - 1},
        {u"2147483648", false, 0},
        {u"-2147483649", false, 0},
        {u"99999999999999999999", false, 0},
        {u"", false, 0},
        {u"   ", false, 0},
        {u"-", false, 0},
        {u"1 2", false, 0},
        {u"12abc", false, 0},
        {u"0x10", false, 0},
        {u"１２", false, 0},  // full-width digits are not decimal digits here
    };
    for (const auto& c : cases) {
        int32_t value = 12345;
        EXPECT_EQ(fw::ParseSigned(c.text, value), c.parses) << platform::ToUtf8(c.text);
        EXPECT_EQ(value, c.parses ? c.value : 12345) << "a failed parse leaves the field: " << platform::ToUtf8(c.text);
    }
}

TEST(DataExchangeConversions, UnsignedDecimal) {
    struct Case {
        std::u16string text;
        bool parses;
        uint32_t value;
    };
    const Case cases[] = {
        {u"1", true, 1},
        {u"0", true, 0},
        {u"10001", true, 10001},  // a number: the range check, not the parse, refuses it
        {u" +5 ", true, 5},
        {u"4294967295", true, 4294967295u},
        {u"4294967296", false, 0},
        {u"-1", false, 0},
        {u"-0", false, 0},
        {u"10,000", false, 0},
        {u"1.5", false, 0},
        {u"", false, 0},
    };
    for (const auto& c : cases) {
        uint32_t value = 777;
        EXPECT_EQ(fw::ParseUnsigned(c.text, value), c.parses) << platform::ToUtf8(c.text);
        EXPECT_EQ(value, c.parses ? c.value : 777u) << platform::ToUtf8(c.text);
    }
}

TEST(DataExchangeConversions, Messages) {
    EXPECT_EQ(fw::RangeMessage(1, 10000), u"Enter an integer between 1 and 10000.");
    EXPECT_EQ(fw::RangeMessage(-5, 0), u"Enter an integer between -5 and 0.");
    EXPECT_EQ(fw::InsertArguments(u"%2 before %1, %3 missing, 100%%", {u"a", u"b"}), u"b before a,  missing, 100%%");
    EXPECT_EQ(fw::FormatDecimal(-2147483648LL), u"-2147483648");
    EXPECT_EQ(fw::FormatDecimal(0), u"0");
}

TEST(DataExchangeConversions, SecondsAndFileTimes) {
    struct Case {
        int64_t seconds;
        uint64_t fileTime;
    };
    const Case cases[] = {
        {0, 116444736000000000ull},
        {1700000000, 133444736000000000ull},
        {-11644473600, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fw::UnixSecondsToFileTime(c.seconds), c.fileTime) << c.seconds;
        EXPECT_EQ(fw::FileTimeToUnixSeconds(c.fileTime), c.seconds) << c.seconds;
    }
    // Parts of a second are dropped, never rounded up to the next one.
    EXPECT_EQ(fw::FileTimeToUnixSeconds(116444736000000000ull + 9999999), 0);
    EXPECT_EQ(fw::UnixSecondsToFileTime(-11644473601), 0u) << "before 1601 clamps";
}

TEST(DataExchangeConversions, PickedDateKeepsTheTimeOfDay) {
    const fw::CivilTime previous{2027, 3, 9, 14, 25, 36};
    const fw::CivilTime picked{2028, 2, 29, 0, 0, 0};
    const fw::CivilTime combined = fw::WithDateOf(previous, picked);
    EXPECT_EQ(combined.year, 2028);
    EXPECT_EQ(combined.month, 2);
    EXPECT_EQ(combined.day, 29);
    EXPECT_EQ(combined.hour, 14);
    EXPECT_EQ(combined.minute, 25);
    EXPECT_EQ(combined.second, 36);
}

}  // namespace
