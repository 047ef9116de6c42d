#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "core/JobRecords.h"

namespace {

// The path of write i: every unit the same letter, so a half-written path shows two.
std::u16string PathOfWrite(uint32_t i) {
    return std::u16string(100 + i % 150, static_cast<char16_t>(u'a' + i % 26));
}

TEST(JobProgressSnapshot, ADisplayThreadNeverSeesATornRecord) {
    ResetJobProgress();
    constexpr uint64_t kTotal = 1000000;
    SetProgressTotals(7, kTotal);
    std::atomic<bool> writing{true};
    std::thread job([&] {
        for (uint32_t i = 0; i < 200000; ++i) {
            SetProgressFile(PathOfWrite(i));
            AddProgressBytes(5);
        }
        writing = false;
    });
    bool sawAPath = false;
    while (writing.load()) {
        const JobProgressSnapshot snapshot = TakeJobProgressSnapshot();
        if (snapshot.currentFile.empty()) continue;
        sawAPath = true;
        const char16_t first = snapshot.currentFile.front();
        ASSERT_EQ(std::count(snapshot.currentFile.begin(), snapshot.currentFile.end(), first),
                  static_cast<std::ptrdiff_t>(snapshot.currentFile.size()));
        ASSERT_EQ(snapshot.percent, snapshot.bytesDone * 100 / kTotal) << "percent of another moment";
        ASSERT_EQ(snapshot.bytesTotal, kTotal);
        ASSERT_EQ(snapshot.filesTotal, 7u);
    }
    job.join();
    EXPECT_TRUE(sawAPath);
    const JobProgressSnapshot last = TakeJobProgressSnapshot();
    EXPECT_EQ(last.currentFile, PathOfWrite(199999));
    EXPECT_EQ(last.bytesDone, 1000000u);
    EXPECT_EQ(last.percent, 100u);
}

TEST(JobProgressSnapshot, APathIsCutToTheRecordsField) {
    ResetJobProgress();
    SetProgressFile(std::u16string(400, u'x'));
    EXPECT_EQ(TakeJobProgressSnapshot().currentFile.size(), kPathChars - 1);
    EXPECT_EQ(FieldText(g_jobProgress.currentFile, kPathChars).size(), kPathChars - 1);
}

}  // namespace
