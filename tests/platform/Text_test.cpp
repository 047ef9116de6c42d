// ANSI code page conversion, user paths and the clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

using namespace platform;

namespace {

TEST(TextTest, AnsiCodePage932) {
    const struct {
        const char* label;
        std::u16string text;
        std::string ansi;
        bool roundTrips;
    } cases[] = {
        {"katakana and long vowel", u"\u30D1\u30B9\u30EF\u30FC\u30C9",
         "\x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68", true},
        {"ASCII", u"Encrypt finished", "Encrypt finished", true},
        {"empty", u"", "", true},
        {"path with kanji", u"C:\\\u65E5\u672C\\a.txt", "C:\\\x93\xFA\x96\x7B\\a.txt", true},
        {"half-width katakana", u"\uFF71", "\xB1", true},
        {"question marks", u"?????", "?????", true},
        {"Thai letter the page lacks", u"a\u0E01b", "a?b", false},
        {"two missing letters", u"\u0E01\u0E02", "??", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(ToAnsi(c.text), c.ansi);
        if (c.roundTrips) {
            EXPECT_EQ(FromAnsi(c.ansi), c.text);
        }
        std::string exact = "stale";
        EXPECT_EQ(ToAnsiExact(c.text, exact), c.roundTrips);
        EXPECT_EQ(exact, c.roundTrips ? c.ansi : "");
    }
    // Whether the page writes "?" or a look-alike "e" for it, the Latin letter is lost.
    std::string exact;
    EXPECT_FALSE(ToAnsiExact(u"\u00E9\u00E9\u00E9\u00E9\u00E9", exact));
}

TEST(TextTest, Utf8RoundTrip) {
    const std::u16string text = u"\u30D1\u30B9 a \U0001F600";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(u"\u00E9"), "\xC3\xA9");
}

TEST(UserPathTest, ConversionsBetweenUserAndWindowsForm) {
#ifdef _WIN32
    // Relative paths are made full from the current folder, as the POSIX backend does.
    const std::filesystem::path cwd = std::filesystem::current_path();
    const struct {
        std::u16string user;
        std::u16string windows;
    } cases[] = {
        {u"C:\\Users\\u\\a.txt", u"C:\\Users\\u\\a.txt"},
        {u"C:\\data\\dir\\", u"C:\\data\\dir"},
        {u"C:\\a\\.\\b\\..\\c", u"C:\\a\\c"},
        {u"C:\\", u"C:\\"},
        {u"a.txt", (cwd / "a.txt").u16string()},
        {u"docs\\", (cwd / "docs").u16string()},
        {u"..\\x", (cwd.parent_path() / "x").u16string()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.user));
        EXPECT_EQ(FromUserPath(c.user), c.windows);
        EXPECT_EQ(ToUserPath(c.windows), c.windows);
    }
#else
    const std::u16string cwd = FromUtf8(std::filesystem::current_path().string());
    std::u16string cwdWin = u"Z:" + cwd;
    for (auto& c : cwdWin) {
        if (c == u'/') c = u'\\';
    }
    if (cwdWin.back() == u'\\') cwdWin.pop_back();
    const struct {
        std::u16string user;
        std::u16string windows;
        std::u16string back;  // ToUserPath of windows
    } cases[] = {
        {u"/home/u/a.txt", u"Z:\\home\\u\\a.txt", u"/home/u/a.txt"},
        {u"/", u"Z:\\", u"/"},
        {u"/home//u/./b/../a.txt", u"Z:\\home\\u\\a.txt", u"/home/u/a.txt"},
        {u"/data/dir/", u"Z:\\data\\dir", u"/data/dir"},
        {u"/\u65E5\u672C/\u30D1.txt", u"Z:\\\u65E5\u672C\\\u30D1.txt", u"/\u65E5\u672C/\u30D1.txt"},
        {u"rel/a.txt", cwdWin + u"\\rel\\a.txt", cwd + u"/rel/a.txt"},
        {u"./x", cwdWin + u"\\x", cwd + u"/x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.user));
        EXPECT_EQ(FromUserPath(c.user), c.windows);
        EXPECT_EQ(ToUserPath(c.windows), c.back);
    }
    EXPECT_EQ(ToUserPath(u"Z:"), u"/");
#endif
}

#ifndef _WIN32
// Pins the local zone to UTC while it lives, then restores the zone the test was run in.
class ScopedUtcZone {
public:
    ScopedUtcZone() {
        const char* saved = getenv("TZ");
        m_hadZone = saved != nullptr;
        if (m_hadZone) m_saved = saved;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    ~ScopedUtcZone() {
        if (m_hadZone) {
            setenv("TZ", m_saved.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ScopedUtcZone(const ScopedUtcZone&) = delete;
    ScopedUtcZone& operator=(const ScopedUtcZone&) = delete;

private:
    bool m_hadZone = false;
    std::string m_saved;
};
#endif

TEST(ClockTest, LocalDateOfKnownInstants) {
    const struct {
        int64_t instant;
        bool inUtc;  // a date boundary: holds with the zone pinned to UTC
        CalendarDate date;
    } cases[] = {
        {0, true, {1970, 1, 1}},
        {1709251199, true, {2024, 2, 29}},  // last second of a leap day
        {1709251200, true, {2024, 3, 1}},
        // Noon UTC falls on the same date in every zone within eleven hours.
        {951825600, false, {2000, 2, 29}},
        {946641600, false, {1999, 12, 31}},
        {2147515200, false, {2038, 1, 19}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.instant);
#ifdef _WIN32
        if (c.inUtc) continue;  // a process cannot pin its own zone here
#else
        std::optional<ScopedUtcZone> utc;
        if (c.inUtc) utc.emplace();
#endif
        CalendarDate date;
        ASSERT_TRUE(LocalDate(c.instant, date));
        EXPECT_EQ(date.year, c.date.year);
        EXPECT_EQ(date.month, c.date.month);
        EXPECT_EQ(date.day, c.date.day);
    }
}

TEST(ClockTest, CurrentTimeAndSleep) {
    const int64_t now = CurrentTime();
    EXPECT_LE(std::abs(now - static_cast<int64_t>(std::time(nullptr))), 2);
    const auto start = std::chrono::steady_clock::now();
    SleepMilliseconds(60);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(55));
}

}  // namespace
