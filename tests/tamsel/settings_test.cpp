// The settings file: creation by the first save, foreign and old files, and what a save
// and a load carry; the records' own layout is fixed by static_asserts.
#include <cstring>
#include <iterator>

#include "EngineFixture.h"
#include "platform/File.h"

namespace {

using testing_support::NativePath;
using testing_support::ReadAll;
using testing_support::WriteAll;

std::vector<uint8_t> Bytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    return {p, p + size};
}

std::vector<uint8_t> Header(uint32_t version, const std::u16string& magic, uint32_t count) {
    MONITOR_SETTING_HEADER header{};
    header.dwVersion = version;
    header.dwHeaderSize = sizeof header;
    std::copy(magic.begin(), magic.end(), header.szMagic);
    header.dwCount = count;
    return Bytes(&header, sizeof header);
}

void Append(std::vector<uint8_t>& bytes, const MONITOR_ITEM& item) {
    const auto more = Bytes(&item, sizeof item);
    bytes.insert(bytes.end(), more.begin(), more.end());
}

class SettingsTest : public EngineTest {
protected:
    std::u16string Path() {
        std::u16string path;
        EXPECT_EQ(GetSettingPath(path), 1);
        return path;
    }
};

TEST_F(SettingsTest, FirstSaveCreatesHeaderAndOneItem) {
    std::vector<MONITOR_ITEM> items;
    EXPECT_EQ(LoadSettings(items), 0);
    EXPECT_TRUE(items.empty());
    items.push_back(MakeMonitorItem(m_dir.Win(), u"pw", 1, false, false, 3));
    ASSERT_EQ(SaveSettings(items), 1);
    const auto bytes = ReadAll(NativePath(Path()));
    ASSERT_EQ(bytes.size(), 588u + 630u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 588), Header(0x300, kSettingMagic, 1));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 588, bytes.end()), Bytes(&items[0], sizeof items[0]));
    EXPECT_EQ(Path(), platform::RoamingAppDataFolder() + u"\\AutoEncryption\\MonitorSetting.dat");
}

TEST_F(SettingsTest, LoadedFiles) {
    const MONITOR_ITEM item = MakeMonitorItem(u"C:\\Data", u"secret", 2, true, true, 5);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t loads;
        size_t items;
    };
    auto withItem = [&](std::vector<uint8_t> bytes) {
        Append(bytes, item);
        return bytes;
    };
    const Case cases[] = {
        {"magic differing in case", withItem(Header(0x300, u"KV_FILE_MONITOR_SETTING_file", 1)), 0, 0},
        {"count 0 with trailing item", withItem(Header(0x300, kSettingMagic, 0)), 1, 0},
        {"version 0x200", withItem(Header(0x200, kSettingMagic, 1)), 1, 1},
        {"version 0", withItem(Header(0, kSettingMagic, 1)), 1, 1},
        {"count beyond the items", withItem(Header(0x300, kSettingMagic, 2)), 0, 1},
        {"shorter than a header", std::vector<uint8_t>(100, 0), 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(NativePath(Path()), c.bytes);
        std::vector<MONITOR_ITEM> items(3);
        EXPECT_EQ(LoadSettings(items), c.loads);
        ASSERT_EQ(items.size(), c.items);
        if (!items.empty()) {
            EXPECT_EQ(std::memcmp(&items[0], &item, sizeof item), 0);
        }
    }
}

TEST_F(SettingsTest, LongestPasswordAndPathSurviveSaveAndLoad) {
    const std::u16string password(60, u'p');
    const std::u16string path = u"C:\\" + std::u16string(246, u'd');
    ASSERT_EQ(path.size(), 249u);
    ASSERT_EQ(SaveSettings({MakeMonitorItem(path, password, 0, false, false, 3)}), 1);
    std::vector<MONITOR_ITEM> items;
    ASSERT_EQ(LoadSettings(items), 1);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(ItemText(items[0].szPath, kFolderPathChars), path);
    EXPECT_EQ(ItemText(items[0].szPassword, kItemPasswordChars), password);
}

TEST_F(SettingsTest, PreviousLayoutIsUpgradedOnce) {
    std::vector<uint8_t> old(588, 0);
    std::memcpy(old.data(), kSettingMagic, sizeof kSettingMagic - 2);
    const uint32_t count = 3;
    std::memcpy(old.data() + 520, &count, sizeof count);
    std::vector<MONITOR_ITEM> items;
    for (int i = 0; i < 3; ++i) {
        items.push_back(MakeMonitorItem(u"C:\\F" + std::u16string(1, u'0' + i), u"pw", 2, false, false, 3));
        Append(old, items.back());
    }
    WriteAll(NativePath(Path()), old);
    ASSERT_EQ(UpgradeSettingFile(), 1);
    const auto upgraded = ReadAll(NativePath(Path()));
    ASSERT_EQ(upgraded.size(), old.size());
    EXPECT_EQ(std::vector<uint8_t>(upgraded.begin(), upgraded.begin() + 588), Header(0x300, kSettingMagic, 3));
    std::vector<MONITOR_ITEM> loaded;
    ASSERT_EQ(LoadSettings(loaded), 1);
    ASSERT_EQ(loaded.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const uint32_t compress = loaded[i].dwCompress;  // packed: no reference to the field
        EXPECT_EQ(compress, 0u);
        EXPECT_EQ(ItemText(loaded[i].szPath, kFolderPathChars), ItemText(items[i].szPath, kFolderPathChars));
    }
    ASSERT_EQ(UpgradeSettingFile(), 1);
    EXPECT_EQ(ReadAll(NativePath(Path())), upgraded);
}

TEST_F(SettingsTest, NoFileNeedsNoUpgradeAndAForeignFileIsLeftAlone) {
    EXPECT_EQ(UpgradeSettingFile(), 1);
    EXPECT_FALSE(platform::Exists(Path()));
    const std::vector<uint8_t> foreign(700, 0x41);
    WriteAll(NativePath(Path()), foreign);
    EXPECT_EQ(UpgradeSettingFile(), 1);
    EXPECT_EQ(ReadAll(NativePath(Path())), foreign);
}

TEST_F(SettingsTest, RefusedFoldersAndPasswords) {
    struct Case {
        std::u16string text;
        bool fitsAsFolder;
        bool fitsAsPassword;
    } const cases[] = {
        {std::u16string(249, u'a'), true, false},
        {std::u16string(250, u'a'), false, false},
        {std::u16string(60, u'a'), true, true},
        {std::u16string(61, u'a'), true, false},
        // 30 double-byte characters fill the watch list's 60 bytes; 31 do not fit.
        {std::u16string(30, u'\u3042'), true, true},
        {std::u16string(31, u'\u3042'), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.size());
        EXPECT_EQ(FolderPathFits(c.text), c.fitsAsFolder);
        EXPECT_EQ(PasswordFitsWatchList(c.text), c.fitsAsPassword);
    }
}

}  // namespace
