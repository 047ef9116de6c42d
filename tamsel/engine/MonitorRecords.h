// The monitor's fixed-size records: the settings file, the watch list "EIEI" and the
// working-copy list "TMTE". Packed and little-endian, read and written as they stand.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr size_t kFolderPathChars = 250;  // szPath of MONITOR_ITEM, terminating zero included
constexpr size_t kItemPasswordChars = 60;
constexpr size_t kAnsiPasswordBytes = 60;
constexpr size_t kAnsiPathBytes = 260;
constexpr uint32_t kSettingVersion = 0x300;
constexpr char16_t kSettingMagic[] = u"KV_FILE_MONITOR_SETTING_FILE";
constexpr uint16_t kWatchType = 2;

#pragma pack(push, 1)
struct MONITOR_SETTING_HEADER {
    uint32_t dwVersion;
    uint32_t dwHeaderSize;
    char16_t szMagic[260];
    uint32_t dwCount;
    uint8_t reserved[56];
};

struct MONITOR_ITEM {
    char16_t szPath[kFolderPathChars];
    uint32_t dwCompress;
    char16_t szPassword[kItemPasswordChars];  // no terminating zero when 60 characters long
    uint8_t bAlwaysConfirm;
    uint8_t bLimitRetry;
    uint32_t dwRetryLimit;
};

struct WATCH_RECORD {
    uint16_t wType;
    uint16_t reserved;
    uint32_t dwCompress;
    char szPassword[kAnsiPasswordBytes];  // ANSI; no terminating zero when 60 bytes long
    uint8_t bAlwaysConfirm;
    uint8_t bLimitRetry;
    uint32_t dwRetryLimit;
    char szFolder[kAnsiPathBytes];  // ANSI
    uint8_t reserved2[260];
};

// Written by other programs; the bytes Tamsel does not use are carried through unchanged.
struct WORKCOPY_RECORD {
    uint8_t head[4];
    uint32_t dwTimeHigh;  // FILETIME of the working copy when last copied back
    uint8_t middle[62];
    uint32_t dwTimeLow;
    char szWorkPath[kAnsiPathBytes];    // ANSI
    char szOriginPath[kAnsiPathBytes];  // ANSI: the image the copy came from
};
#pragma pack(pop)

static_assert(sizeof(MONITOR_SETTING_HEADER) == 588);
static_assert(offsetof(MONITOR_SETTING_HEADER, dwHeaderSize) == 4);
static_assert(offsetof(MONITOR_SETTING_HEADER, szMagic) == 8);
static_assert(offsetof(MONITOR_SETTING_HEADER, dwCount) == 528);
static_assert(offsetof(MONITOR_SETTING_HEADER, reserved) == 532);

static_assert(sizeof(MONITOR_ITEM) == 630);
static_assert(offsetof(MONITOR_ITEM, dwCompress) == 500);
static_assert(offsetof(MONITOR_ITEM, szPassword) == 504);
static_assert(offsetof(MONITOR_ITEM, bAlwaysConfirm) == 624);
static_assert(offsetof(MONITOR_ITEM, bLimitRetry) == 625);
static_assert(offsetof(MONITOR_ITEM, dwRetryLimit) == 626);

static_assert(sizeof(WATCH_RECORD) == 594);
static_assert(offsetof(WATCH_RECORD, dwCompress) == 4);
static_assert(offsetof(WATCH_RECORD, szPassword) == 8);
static_assert(offsetof(WATCH_RECORD, bAlwaysConfirm) == 68);
static_assert(offsetof(WATCH_RECORD, bLimitRetry) == 69);
static_assert(offsetof(WATCH_RECORD, dwRetryLimit) == 70);
static_assert(offsetof(WATCH_RECORD, szFolder) == 74);
static_assert(offsetof(WATCH_RECORD, reserved2) == 334);

static_assert(sizeof(WORKCOPY_RECORD) == 594);
static_assert(offsetof(WORKCOPY_RECORD, dwTimeHigh) == 4);
static_assert(offsetof(WORKCOPY_RECORD, dwTimeLow) == 70);
static_assert(offsetof(WORKCOPY_RECORD, szWorkPath) == 74);
static_assert(offsetof(WORKCOPY_RECORD, szOriginPath) == 334);

// A folder list item from the values a user gave; text longer than a field is cut.
MONITOR_ITEM MakeMonitorItem(std::u16string_view folder, std::u16string_view password, uint32_t compress,
                             bool alwaysConfirm, bool limitRetry, uint32_t retryLimit);
// The watch record of an item: texts in the ANSI code page, cut at their fields.
WATCH_RECORD MakeWatchRecord(const MONITOR_ITEM& item);
// The watch record that RemoveWatchRecord needs: the type and the folder only.
WATCH_RECORD MakeFolderRecord(std::u16string_view folder);

// A text field up to its first zero or its full width.
std::u16string ItemText(const char16_t* field, size_t capacity);
std::string AnsiText(const char* field, size_t capacity);

// Refusals of a new folder before it is added: a folder path must fit szPath (fewer than
// 250 characters) and a password's ANSI form the watch list's 60 bytes, else the watch
// list would carry a cut password that opens nothing.
bool FolderPathFits(std::u16string_view folder);
bool PasswordFitsWatchList(std::u16string_view password);
