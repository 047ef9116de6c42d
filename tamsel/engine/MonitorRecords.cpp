#include "tamsel/engine/MonitorRecords.h"

#include <algorithm>
#include <cstring>

#include "platform/Text.h"

namespace {

void CopyText(char16_t* field, size_t capacity, std::u16string_view text, bool terminated) {
    std::fill(field, field + capacity, u'\0');
    const size_t n = std::min(text.size(), terminated ? capacity - 1 : capacity);
    std::copy_n(text.begin(), n, field);
}

void CopyAnsi(char* field, size_t capacity, std::string_view text, bool terminated) {
    std::memset(field, 0, capacity);
    std::memcpy(field, text.data(), std::min(text.size(), terminated ? capacity - 1 : capacity));
}

}  // namespace

MONITOR_ITEM MakeMonitorItem(std::u16string_view folder, std::u16string_view password, uint32_t compress,
                             bool alwaysConfirm, bool limitRetry, uint32_t retryLimit) {
    MONITOR_ITEM item{};
    CopyText(item.szPath, kFolderPathChars, folder, true);
    item.dwCompress = compress;
    CopyText(item.szPassword, kItemPasswordChars, password, false);
    item.bAlwaysConfirm = alwaysConfirm ? 1 : 0;
    item.bLimitRetry = limitRetry && alwaysConfirm ? 1 : 0;
    item.dwRetryLimit = retryLimit;
    return item;
}

WATCH_RECORD MakeWatchRecord(const MONITOR_ITEM& item) {
    WATCH_RECORD record = MakeFolderRecord(ItemText(item.szPath, kFolderPathChars));
    record.dwCompress = item.dwCompress;
    CopyAnsi(record.szPassword, kAnsiPasswordBytes,
             platform::ToAnsi(ItemText(item.szPassword, kItemPasswordChars)), false);
    record.bAlwaysConfirm = item.bAlwaysConfirm;
    record.bLimitRetry = item.bLimitRetry;
    record.dwRetryLimit = item.dwRetryLimit;
    return record;
}

WATCH_RECORD MakeFolderRecord(std::u16string_view folder) {
    WATCH_RECORD record{};
    record.wType = kWatchType;
    CopyAnsi(record.szFolder, kAnsiPathBytes, platform::ToAnsi(folder), true);
    return record;
}

std::u16string ItemText(const char16_t* field, size_t capacity) {
    return std::u16string(field, std::find(field, field + capacity, u'\0'));
}

std::string AnsiText(const char* field, size_t capacity) {
    return std::string(field, std::find(field, field + capacity, '\0'));
}

bool FolderPathFits(std::u16string_view folder) { return folder.size() < kFolderPathChars; }

bool PasswordFitsWatchList(std::u16string_view password) {
    return password.size() <= kItemPasswordChars && platform::ToAnsi(password).size() <= kAnsiPasswordBytes;
}
