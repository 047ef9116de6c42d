// -S after an encryption erases only what the finished image holds, unchanged since it was
// read; driven in-process so the disk can change between the two steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "TestFiles.h"
#include "ardex/Ardex.h"
#include "core/ImageWriter.h"
#include "platform/Text.h"

namespace fs = std::filesystem;
using testing_support::ReadAll;
using testing_support::ScratchDir;
using testing_support::WinPath;
using testing_support::WriteAll;

namespace {

std::vector<std::string> TreeListing(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        names.push_back(platform::ToUtf8(fs::relative(entry.path(), root).generic_u16string()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Text(const fs::path& path) {
    const auto bytes = ReadAll(path);
    return std::string(bytes.begin(), bytes.end());
}

// src holds the image of itself; the encryption skips it, so the image lists everything else.
class SelectiveErase : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_src / "sub");
        WriteAll(m_src / "same.txt", std::string("unchanged"));
        WriteAll(m_src / "grown.txt", std::string("will grow"));
        WriteAll(m_src / "touched.txt", std::string("will be touched"));
        WriteAll(m_src / "sub" / "deep.txt", std::string("unchanged too"));
        m_info.m_sources = {WinPath(m_src)};
        m_info.m_imagePath = WinPath(m_src / "self.img");
        m_info.m_password = u"secret";
        ASSERT_EQ(EncryptToImage(m_info), 1);
    }

    ScratchDir m_dir;
    fs::path m_src = m_dir / "src";
    CEncryptInfo m_info;
};

TEST_F(SelectiveErase, KeepsWhatTheImageDoesNotHoldUnchanged) {
    {
        std::ofstream grown(m_src / "grown.txt", std::ios::app | std::ios::binary);
        grown << " and grew";
    }
    // Same size, another write time.
    fs::last_write_time(m_src / "touched.txt", fs::last_write_time(m_src / "touched.txt") + std::chrono::seconds(5));
    WriteAll(m_src / "new.txt", std::string("made after the image"));
    // A table file left over next to the image is the image's too.
    WriteAll(m_src / "self.ary", std::string("table"));
    const auto image = ReadAll(m_src / "self.img");

    ImageSelection selection;
    ASSERT_EQ(selection.Load(m_info.m_imagePath, m_info.m_password), 1);
    CSecureDelete engine;
    // Three passes: the first ones change write times, yet the same files go on the last.
    ASSERT_EQ(engine.Run(WinPath(m_src), Dod, &selection), 1);

    EXPECT_EQ(TreeListing(m_src),
              (std::vector<std::string>{"grown.txt", "new.txt", "self.ary", "self.img", "touched.txt"}));
    EXPECT_EQ(Text(m_src / "grown.txt"), "will grow and grew");
    EXPECT_EQ(Text(m_src / "touched.txt"), "will be touched");
    EXPECT_EQ(Text(m_src / "new.txt"), "made after the image");
    EXPECT_EQ(Text(m_src / "self.ary"), "table");
    EXPECT_EQ(ReadAll(m_src / "self.img"), image);
    EXPECT_EQ(engine.KeptCount(), 6u);  // five files and src itself
}

TEST_F(SelectiveErase, UnreadableImageKeepsEverything) {
    const auto before = TreeListing(m_src);
    ImageSelection selection;
    EXPECT_EQ(selection.Load(m_info.m_imagePath, u"wrong"), 0);
    CSecureDelete engine;
    ASSERT_EQ(engine.Run(WinPath(m_src), FillZero, &selection), 1);
    EXPECT_EQ(TreeListing(m_src), before);
    EXPECT_EQ(Text(m_src / "same.txt"), "unchanged");
    EXPECT_EQ(engine.KeptCount(), before.size() + 1);
}

}  // namespace
