// The watch list "EIEI": the bytes the other programs read, in the ANSI code page (932
// natively and under Wine), and removal by folder ignoring letter case.
#include <cstring>

#include "EngineFixture.h"

namespace {

using testing_support::NativePath;
using testing_support::ReadAll;

TEST_F(EngineTest, WatchRecordBytesInCodePage932) {
    // 日本語 and パス in Shift_JIS.
    const std::u16string folder = u"C:\\\u65e5\u672c\u8a9e";
    const std::u16string password = u"\u30d1\u30b9";
    AddWatchRecord(MakeWatchRecord(MakeMonitorItem(folder, password, 2, true, true, 7)));
    const auto bytes = ReadAll(NativePath(TempFilePath(u"EIEI")));
    ASSERT_EQ(bytes.size(), 594u);
    std::vector<uint8_t> expected(594, 0);
    expected[0] = 2;   // wType
    expected[4] = 2;   // dwCompress
    const uint8_t pw[] = {0x83, 0x70, 0x83, 0x58};
    std::memcpy(&expected[8], pw, sizeof pw);
    expected[68] = 1;  // bAlwaysConfirm
    expected[69] = 1;  // bLimitRetry
    expected[70] = 7;  // dwRetryLimit
    const uint8_t path[] = {'C', ':', '\\', 0x93, 0xfa, 0x96, 0x7b, 0x8c, 0xea};
    std::memcpy(&expected[74], path, sizeof path);
    EXPECT_EQ(bytes, expected);
}

TEST_F(EngineTest, SixtyBytePasswordFillsItsFieldWithoutATerminator) {
    const std::u16string password(60, u'x');
    const WATCH_RECORD record = MakeWatchRecord(MakeMonitorItem(u"C:\\Data", password, 0, false, false, 3));
    EXPECT_EQ(std::string(record.szPassword, 60), std::string(60, 'x'));
    EXPECT_EQ(record.bAlwaysConfirm, 0);
}

TEST_F(EngineTest, RemovalIgnoresCaseAndAlwaysRewrites) {
    AddWatchRecord(MakeFolderRecord(u"C:\\Data"));
    AddWatchRecord(MakeFolderRecord(u"C:\\Other"));
    AddWatchRecord(MakeFolderRecord(u"C:\\DATA"));
    struct Step {
        const char16_t* removed;
        size_t recordsLeft;
        const char* firstLeft;
    } const steps[] = {
        {u"c:\\data", 2, "C:\\Other"},
        {u"C:\\Dat", 2, "C:\\Other"},
        {u"C:\\data", 1, "C:\\Other"},
    };
    for (const Step& step : steps) {
        // A file changed behind the engine's back shows whether it was written again.
        testing_support::WriteAll(NativePath(TempFilePath(u"EIEI")), std::string("stale"));
        RemoveWatchRecord(MakeFolderRecord(step.removed));
        const auto bytes = ReadAll(NativePath(TempFilePath(u"EIEI")));
        ASSERT_EQ(bytes.size(), 594 * step.recordsLeft);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[74])), step.firstLeft);
        EXPECT_EQ(CopyWatchList().size(), step.recordsLeft);
    }
}

TEST_F(EngineTest, DoubleByteFoldersAreComparedAsCharacters) {
    // ア is 0x83 0x41 and ヂ 0x83 0x61: folding a second byte as a letter would make them equal.
    AddWatchRecord(MakeFolderRecord(u"C:\\\u30a2"));  // 0x83 0x41
    RemoveWatchRecord(MakeFolderRecord(u"C:\\\u30c2"));  // ヂ: 0x83 0x61
    EXPECT_EQ(CopyWatchList().size(), 1u);
}

}  // namespace
