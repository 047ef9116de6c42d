#include "tamsel/engine/Settings.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/File.h"
#include "platform/FileSystem.h"

std::vector<MONITOR_ITEM> g_monitorItems;

namespace {

constexpr char16_t kSettingFolder[] = u"\\AutoEncryption";
constexpr char16_t kSettingFile[] = u"MonitorSetting.dat";
constexpr uint32_t kOldCountOffset = 520;

bool ReadExactly(platform::File& file, void* buffer, uint32_t size) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    uint32_t total = 0;
    while (total < size) {
        uint32_t done = 0;
        if (!file.Read(bytes + total, size - total, done) || done == 0) return false;
        total += done;
    }
    return true;
}

MONITOR_SETTING_HEADER NewHeader(uint32_t count) {
    MONITOR_SETTING_HEADER header{};
    header.dwVersion = kSettingVersion;
    header.dwHeaderSize = sizeof(MONITOR_SETTING_HEADER);
    std::copy(std::begin(kSettingMagic), std::end(kSettingMagic), header.szMagic);
    header.dwCount = count;
    return header;
}

bool OpenShared(platform::File& file, const std::u16string& path, platform::Access access) {
    return file.Open(path, access, platform::Share::Read, platform::Disposition::OpenExisting);
}

}  // namespace

int32_t GetSettingPath(std::u16string& path) {
    path.clear();
    std::u16string folder = platform::RoamingAppDataFolder();
    if (folder.empty() || !platform::IsDirectory(folder)) return 0;
    folder += kSettingFolder;
    platform::MakeDirectory(folder);
    if (!platform::IsDirectory(folder)) return 0;
    path = folder + u"\\" + kSettingFile;
    return 1;
}

int32_t IsSettingFile(const std::u16string& path) {
    platform::File file;
    MONITOR_SETTING_HEADER header{};
    if (!OpenShared(file, path, platform::Access::Read) || !ReadExactly(file, &header, sizeof header)) {
        return 0;
    }
    return ItemText(header.szMagic, std::size(header.szMagic)) == kSettingMagic ? 1 : 0;
}

int32_t CreateSettingFile(const std::u16string& path) {
    platform::File file;
    const MONITOR_SETTING_HEADER header = NewHeader(0);
    return file.Open(path, platform::Access::ReadWrite, platform::Share::Read,
                     platform::Disposition::CreateAlways) &&
                   file.Write(&header, sizeof header) && file.Close()
               ? 1
               : 0;
}

int32_t LoadSettings(std::vector<MONITOR_ITEM>& items) {
    items.clear();
    std::u16string path;
    if (!GetSettingPath(path) || !IsSettingFile(path)) return 0;
    platform::File file;
    MONITOR_SETTING_HEADER header{};
    if (!OpenShared(file, path, platform::Access::Read) || !ReadExactly(file, &header, sizeof header)) {
        return 0;
    }
    for (uint32_t i = 0; i < header.dwCount; ++i) {
        MONITOR_ITEM item{};
        if (!ReadExactly(file, &item, sizeof item)) return 0;
        items.push_back(item);
    }
    return 1;
}

int32_t SaveSettings(const std::vector<MONITOR_ITEM>& items) {
    std::u16string path;
    if (!GetSettingPath(path) || !CreateSettingFile(path)) return 0;
    platform::File file;
    MONITOR_SETTING_HEADER header{};
    if (!OpenShared(file, path, platform::Access::ReadWrite) || !ReadExactly(file, &header, sizeof header)) {
        return 0;
    }
    header.dwCount = static_cast<uint32_t>(items.size());
    if (!file.Seek(0) || !file.Write(&header, sizeof header)) return 0;
    for (const MONITOR_ITEM& item : items) {
        if (!file.Write(&item, sizeof item)) return 0;
    }
    return file.Close() ? 1 : 0;
}

int32_t UpgradeSettingFile() {
    std::u16string path;
    if (!GetSettingPath(path)) return 0;
    if (!platform::Exists(path)) return 1;
    platform::File file;
    uint8_t old[sizeof(MONITOR_SETTING_HEADER)] = {};
    if (!OpenShared(file, path, platform::Access::ReadWrite) || !ReadExactly(file, old, sizeof old)) return 0;
    const MONITOR_SETTING_HEADER current = NewHeader(0);
    if (std::memcmp(old, current.szMagic, sizeof current.szMagic) != 0) return 1;
    uint32_t count = 0;
    std::memcpy(&count, old + kOldCountOffset, sizeof count);
    const MONITOR_SETTING_HEADER header = NewHeader(count);
    if (!file.Seek(0) || !file.Write(&header, sizeof header)) return 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = sizeof header + uint64_t{i} * sizeof(MONITOR_ITEM);
        MONITOR_ITEM item{};
        if (!file.Seek(at) || !ReadExactly(file, &item, sizeof item)) return 0;
        item.dwCompress = 0;
        if (!file.Seek(at) || !file.Write(&item, sizeof item)) return 0;
    }
    return file.Close() ? 1 : 0;
}
