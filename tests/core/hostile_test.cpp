// Crafted and damaged images: every one fails cleanly, leaves no partial file and writes
// nothing outside the target folder.
#include <zlib.h>

#include <set>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "ImageTestSupport.h"

using namespace image_test;

namespace {

const std::u16string kPassword = u"hostile";
const std::vector<uint8_t> kGood = {'g', 'o', 'o', 'd'};

// Every path below root, for checking that nothing appeared outside the target.
std::set<fs::path> Listing(const fs::path& root, const fs::path& skip) {
    std::set<fs::path> paths;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        if (it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        paths.insert(it->path());
    }
    return paths;
}

// A scratch folder with a target folder, and the image's outcome measured against both.
class HostileImage : public ::testing::Test {
protected:
    fs::path Target() const { return m_scratch / "target"; }
    std::u16string ImagePath() const { return m_scratch.Win("hostile.img"); }

    void SetUp() override { fs::create_directory(Target()); }
    void EmptyTarget() const {
        fs::remove_all(Target());
        fs::create_directory(Target());
    }

    // ReadImageInfo + DecryptImage; checks nothing changed outside the target.
    int32_t Restore() {
        const std::set<fs::path> before = Listing(m_scratch.path(), Target());
        DecryptParams params = MakeParams(ImagePath(), kPassword, WinPath(Target()));
        const int32_t result = ReadAndDecrypt(params);
        EXPECT_EQ(Listing(m_scratch.path(), Target()), before) << "written outside the target";
        return result;
    }

    // Files restored below the target, with their content.
    std::map<std::string, std::vector<uint8_t>> Restored() const { return TreeContents(Target()); }

    // The roles the job showed since the last call.
    std::vector<CoreMessage> Roles() {
        std::vector<CoreMessage> roles;
        for (const auto& message : m_frontEnd.messages) roles.push_back(message.role);
        m_frontEnd.messages.clear();
        return roles;
    }
    // The one reason shown, for the path given.
    void ExpectReason(CoreMessage role, const std::u16string& path) {
        ASSERT_EQ(m_frontEnd.messages.size(), 1u);
        EXPECT_EQ(m_frontEnd.messages[0].role, role);
        EXPECT_EQ(m_frontEnd.messages[0].args.path, path);
        m_frontEnd.messages.clear();
    }

    ScratchDir m_scratch;
    RecordingFrontEnd m_frontEnd;
};

TEST_F(HostileImage, EntriesThatWouldNotBePlainFilesBelowTheTargetEndTheJob) {
    const std::u16string longName(255, u'n');
    constexpr CoreMessage kUnsafe = CoreMessage::EntryUnsafePath;
    constexpr CoreMessage kDevice = CoreMessage::EntryDeviceName;
    const struct {
        const char* name;
        std::u16string path;
        CoreMessage reason = kUnsafe;
    } cases[] = {
        {"parent component", u"C:\\..\\..\\evil.txt"},
        {"parent deeper down", u"C:\\a\\..\\..\\..\\evil.txt"},
        {"current component", u"C:\\a\\.\\evil.txt"},
        {"empty component", u"C:\\a\\\\evil.txt"},
        {"alternate data stream", u"C:\\a\\evil.txt:stream"},
        {"no drive prefix", u"evil\\x\\evil.txt"},
        {"UNC form", u"\\\\server\\share\\evil.txt"},
        {"relative to a drive", u"C:evil.txt"},
        {"forward slashes", u"C:\\a/../../evil.txt"},
        {"trailing dot", u"C:\\a\\evil.txt."},
        {"trailing space", u"C:\\a\\evil.txt "},
        {"trailing dot on a folder", u"C:\\a.\\evil.txt"},
        {"device name", u"C:\\a\\CON", kDevice},
        {"device name, lower case with extension", u"C:\\a\\nul.txt", kDevice},
        {"serial port with extension", u"C:\\a\\com1.log", kDevice},
        {"printer port", u"C:\\a\\LPT9", kDevice},
        {"superscript port", u"C:\\a\\COM\u00B9", kDevice},
        {"serial port 0", u"C:\\a\\COM0", kDevice},
        {"printer port 0 with extension", u"C:\\a\\lpt0.txt", kDevice},
        {"console input", u"C:\\a\\CONIN$", kDevice},
        {"console output, lower case", u"C:\\a\\conout$", kDevice},
        {"device name as a folder", u"C:\\aux\\evil.txt", kDevice},
        {"wildcard", u"C:\\a\\ev*l.txt"},
        {"control character", u"C:\\a\\ev\u0001l.txt"},
        {"drive root", u"C:\\"},
        {"target too long", u"C:\\" + longName, CoreMessage::EntryTooLong},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmptyTarget();
        ImageBuilder builder(kPassword);
        const uint64_t good = builder.AddPlainContent(kGood);
        builder.AddEntry(u"C:\\good.txt", platform::kAttrArchive, kGood.size(), good);
        const uint64_t evil = builder.AddPlainContent({'e', 'v', 'i', 'l'});
        builder.AddEntry(c.path, platform::kAttrArchive, 4, evil);
        builder.AddEntry(u"C:\\after.txt", platform::kAttrArchive, kGood.size(), good);
        builder.Write(ImagePath());
        EXPECT_EQ(Restore(), 0);
        const std::map<std::string, std::vector<uint8_t>> expected = {{"good.txt", kGood}};
        EXPECT_EQ(Restored(), expected) << "entries before it stay, the job stops at it";
        ExpectReason(c.reason, c.path);
    }
}

TEST_F(HostileImage, FolderEntriesAreCheckedToo) {
    ImageBuilder builder(kPassword);
    builder.AddEntry(u"C:\\..\\escaped", platform::kAttrDirectory, 0, 0);
    builder.Write(ImagePath());
    EXPECT_EQ(Restore(), 0);
    EXPECT_FALSE(fs::exists(m_scratch / "escaped"));
    EXPECT_TRUE(fs::is_empty(Target()));
    ExpectReason(CoreMessage::EntryUnsafePath, u"C:\\..\\escaped");
}

TEST_F(HostileImage, ALinkBelowTheTargetIsNotFollowed) {
    fs::create_directory(m_scratch / "elsewhere");
    std::error_code error;
    fs::create_directory_symlink(m_scratch / "elsewhere", Target() / "link", error);
    if (error) GTEST_SKIP() << "cannot create directory links here: " << error.message();
    fs::create_symlink(m_scratch / "elsewhere" / "victim.txt", Target() / "file-link", error);
    WriteAll(m_scratch / "elsewhere" / "victim.txt", std::string("victim"));
    const struct {
        const char* name;
        std::u16string path;
        uint32_t attributes;
    } cases[] = {
        {"file through a folder link", u"C:\\link\\evil.txt", platform::kAttrArchive},
        {"folder through a folder link", u"C:\\link\\sub", platform::kAttrDirectory},
        {"file through a deeper link", u"C:\\link\\sub\\evil.txt", platform::kAttrArchive},
        {"file onto a file link", u"C:\\file-link", platform::kAttrArchive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageBuilder builder(kPassword);
        const uint64_t evil = builder.AddPlainContent({'e', 'v', 'i', 'l'});
        builder.AddEntry(c.path, c.attributes,
                         (c.attributes & platform::kAttrDirectory) ? 0 : 4, evil);
        builder.Write(ImagePath());
        m_frontEnd.answers = {OverwriteAnswer::Yes};
        EXPECT_EQ(Restore(), 0);
        EXPECT_EQ(Listing(m_scratch / "elsewhere", {}),
                  std::set<fs::path>{m_scratch / "elsewhere" / "victim.txt"});
        EXPECT_EQ(ReadAll(m_scratch / "elsewhere" / "victim.txt").size(), 6u);
        ExpectReason(CoreMessage::EntryThroughLink, WinPath(Target()) + c.path.substr(2));
    }
}

std::vector<uint8_t> Compressed(const std::vector<uint8_t>& plain) {
    std::vector<uint8_t> out(compressBound(plain.size()));
    uLongf size = out.size();
    EXPECT_EQ(compress2(out.data(), &size, plain.data(), plain.size(), 4), Z_OK);
    out.resize(size);
    return out;
}

TEST_F(HostileImage, BadChunksFailTheFileAndLeaveNoPartOfIt) {
    const std::vector<uint8_t> hundred(100, 'h');
    const std::vector<uint8_t> full(kPiecePlainMax, 'f');
    const std::vector<uint8_t> bomb = Compressed(std::vector<uint8_t>(8u << 20, 0));
    struct Chunk {
        ChunkHeader header;
        std::vector<uint8_t> payload;
    };
    const struct {
        const char* name;
        uint64_t size;
        std::vector<Chunk> chunks;
    } cases[] = {
        {"decompressed length short of plainSize", 200,
         {{{static_cast<uint32_t>(Compressed(hundred).size()), 1, 200, 0}, Compressed(hundred)}}},
        {"decompressed length beyond plainSize", 50,
         {{{static_cast<uint32_t>(Compressed(hundred).size()), 1, 50, 0}, Compressed(hundred)}}},
        {"plain chunk stored and plain sizes differ", 90, {{{100, 0, 90, 0}, hundred}}},
        {"plainSize beyond the file's remaining size", 50, {{{100, 0, 100, 0}, hundred}}},
        {"second chunk beyond the remaining size", kPiecePlainMax + 10,
         {{{kPiecePlainMax, 0, kPiecePlainMax, 0}, full}, {{100, 0, 100, 0}, hundred}}},
        {"plainSize over 51,200", kPiecePlainMax + 1,
         {{{kPiecePlainMax + 1, 0, kPiecePlainMax + 1, 0}, std::vector<uint8_t>(kPiecePlainMax + 1)}}},
        {"storedSize over 61,440", 100,
         {{{kChunkStoredMax + 1, 1, 100, 0}, std::vector<uint8_t>(kChunkStoredMax + 1)}}},
        {"zlib bomb", kPiecePlainMax,
         {{{static_cast<uint32_t>(bomb.size()), 1, kPiecePlainMax, 0}, bomb}}},
        {"not a zlib stream", 100, {{{100, 2, 100, 0}, testing_support::RandomBytes(100, 5)}}},
        {"size larger than the chunks", 1000, {{{100, 0, 100, 0}, hundred}}},
        {"size near the 64-bit limit", UINT64_MAX, {{{100, 0, 100, 0}, hundred}}},
        {"second chunk corrupt after a good one", 2 * kPiecePlainMax,
         {{{kPiecePlainMax, 0, kPiecePlainMax, 0}, full},
          {{static_cast<uint32_t>(bomb.size()), 1, kPiecePlainMax, 0}, bomb}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmptyTarget();
        ImageBuilder builder(kPassword);
        uint64_t offset = 0;
        for (size_t i = 0; i < c.chunks.size(); ++i) {
            const uint64_t at = builder.AddChunk(c.chunks[i].header, c.chunks[i].payload);
            if (i == 0) offset = at;
        }
        builder.AddEntry(u"C:\\f.bin", platform::kAttrArchive, c.size, offset);
        builder.Write(ImagePath());
        EXPECT_EQ(Restore(), 0);
        EXPECT_TRUE(Restored().empty()) << "a partly restored file remains";
        ExpectReason(CoreMessage::EntryDataDamaged, WinPath(Target() / "f.bin"));
    }
}

TEST_F(HostileImage, DataOffsetsOutsideTheFileFail) {
    for (const uint64_t offset : {uint64_t{1} << 40, UINT64_MAX, uint64_t{0}}) {
        SCOPED_TRACE(offset);
        ImageBuilder builder(kPassword);
        builder.AddEntry(u"C:\\f.bin", platform::kAttrArchive, 10, offset);
        builder.Write(ImagePath());
        EXPECT_EQ(Restore(), 0);
        EXPECT_TRUE(Restored().empty());
        ExpectReason(CoreMessage::EntryDataDamaged, WinPath(Target() / "f.bin"));
    }
}

TEST_F(HostileImage, EntryCountsBeyondTheTableFail) {
    for (const uint32_t count : {2u, 1000000u, UINT32_MAX}) {
        SCOPED_TRACE(count);
        EmptyTarget();
        ImageBuilder builder(kPassword);
        const uint64_t good = builder.AddPlainContent(kGood);
        builder.AddEntry(u"C:\\good.txt", platform::kAttrArchive, kGood.size(), good);
        builder.entryCount = count;
        builder.Write(ImagePath());
        EXPECT_EQ(Restore(), 0);
        const std::map<std::string, std::vector<uint8_t>> expected = {{"good.txt", kGood}};
        EXPECT_EQ(Restored(), expected);
        ExpectReason(CoreMessage::ImageDamaged, ImagePath());
    }
}

TEST_F(HostileImage, TableOffsetsOutsideTheFileFail) {
    ImageBuilder builder(kPassword);
    const uint64_t good = builder.AddPlainContent(kGood);
    builder.AddEntry(u"C:\\good.txt", platform::kAttrArchive, kGood.size(), good);
    builder.Write(ImagePath());
    const uint64_t length = fs::file_size(NativePath(ImagePath()));
    const struct {
        uint64_t offset;
        CoreMessage reason;
    } cases[] = {
        {length, CoreMessage::ImageDamaged},
        {length + 1000, CoreMessage::ImageDamaged},
        {uint64_t{1} << 62, CoreMessage::ImageDamaged},
        {UINT64_MAX, CoreMessage::ImageDamaged},
        // The header read as a table: its first entry decrypts to no plain path.
        {0, CoreMessage::EntryUnsafePath},
    };
    for (const auto& [offset, reason] : cases) {
        SCOPED_TRACE(offset);
        platform::File file;
        ASSERT_TRUE(file.Open(ImagePath(), platform::Access::ReadWrite, platform::Share::ReadWrite,
                              platform::Disposition::OpenExisting));
        ASSERT_TRUE(SetImageTableOffset(file, kPassword, offset));
        file.Close();
        EXPECT_EQ(Restore(), 0);
        EXPECT_TRUE(Restored().empty());
        EXPECT_EQ(Roles(), std::vector<CoreMessage>{reason});
    }
}

TEST_F(HostileImage, TruncatedImagesFailAndRestoreOnlyWholeFiles) {
    const fs::path src = m_scratch / "src";
    fs::create_directories(src / "d");
    const std::vector<uint8_t> first = testing_support::RandomBytes(130000, 6);
    const std::vector<uint8_t> second = testing_support::RandomBytes(70000, 7);
    WriteAll(src / "first.bin", first);
    WriteAll(src / "d" / "second.bin", second);
    const std::u16string whole = m_scratch.Win("whole.img");
    ASSERT_EQ(Encrypt({WinPath(src / "first.bin"), WinPath(src / "d" / "second.bin")}, whole,
                      kPassword, 1),
              1);
    const std::vector<uint8_t> bytes = ReadAll(NativePath(whole));
    const DecodedImage decoded = DecodeImage(whole, kPassword);
    const uint64_t tableOffset = HeaderTableOffset(decoded.header.data(), decoded.version);
    const std::map<std::string, std::vector<uint8_t>> originals = {
        {"first.bin", first}, {"second.bin", second}};
    for (const uint64_t cut : {uint64_t{0}, uint64_t{100}, uint64_t{319}, uint64_t{320},
                               uint64_t{400}, tableOffset / 2, tableOffset - 1, tableOffset,
                               tableOffset + 10, tableOffset + 16 + 300, bytes.size() - 1}) {
        SCOPED_TRACE(cut);
        EmptyTarget();
        WriteAll(NativePath(ImagePath()), std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
        EXPECT_EQ(Restore(), 0);
        ExpectReason(CoreMessage::ImageDamaged, ImagePath());
        for (const auto& [name, content] : Restored()) {
            const std::string leaf = fs::path(name).filename().string();
            ASSERT_TRUE(originals.count(leaf)) << name;
            EXPECT_EQ(content, originals.at(leaf)) << "a partial file remains: " << name;
        }
    }
}

TEST_F(HostileImage, ForeignFilesAreNamedAsNoImage) {
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        CoreMessage reason;
    } cases[] = {
        {"empty", {}, CoreMessage::ImageDamaged},
        {"shorter than a header", testing_support::RandomBytes(100, 1), CoreMessage::ImageDamaged},
        {"a text file", std::vector<uint8_t>(4000, 'x'), CoreMessage::NotAnImage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(NativePath(ImagePath()), c.bytes);
        EXPECT_EQ(Restore(), 0);
        ExpectReason(c.reason, ImagePath());
    }
    fs::create_directory(NativePath(m_scratch.Win("folder.img")));
    DecryptParams params = MakeParams(m_scratch.Win("folder.img"), kPassword, WinPath(Target()));
    EXPECT_EQ(ReadAndDecrypt(params), 0);
    ExpectReason(CoreMessage::ImageOpenFailed, m_scratch.Win("folder.img"));
}

// Odd things where a file is to be restored: refused before any question, never opened.
TEST_F(HostileImage, ATargetThatIsNotARegularFileIsNeverOpened) {
    const struct {
        const char* name;
        bool (*make)(const fs::path& at);  // false where the platform cannot make one
        bool (*unchanged)(const fs::path& at);
    } cases[] = {
        {"folder", [](const fs::path& at) { return fs::create_directory(at); },
         [](const fs::path& at) { return fs::is_directory(at); }},
#ifndef _WIN32
        {"FIFO", [](const fs::path& at) { return mkfifo(at.c_str(), 0666) == 0; },
         [](const fs::path& at) { return fs::is_fifo(at); }},
        {"socket",
         [](const fs::path& at) {
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             if (at.string().size() >= sizeof address.sun_path) return false;
             std::strcpy(address.sun_path, at.c_str());
             const int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
             const bool bound = socketFd >= 0 &&
                                bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
             if (socketFd >= 0) close(socketFd);
             return bound;
         },
         [](const fs::path& at) { return fs::is_socket(at); }},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmptyTarget();
        const fs::path odd = Target() / "odd";
        if (!c.make(odd)) {
            ADD_FAILURE() << "cannot make one here";
            continue;
        }
        ImageBuilder builder(kPassword);
        const uint64_t good = builder.AddPlainContent(kGood);
        builder.AddEntry(u"C:\\odd", platform::kAttrArchive, kGood.size(), good);
        builder.AddEntry(u"C:\\after.txt", platform::kAttrArchive, kGood.size(), good);
        builder.Write(ImagePath());
        m_frontEnd.answers = {OverwriteAnswer::Yes};
        EXPECT_EQ(Restore(), 0);
        EXPECT_TRUE(m_frontEnd.questions.empty());
        m_frontEnd.questions.clear();
        EXPECT_TRUE(c.unchanged(odd));
        EXPECT_FALSE(fs::exists(Target() / "after.txt"));
        ExpectReason(CoreMessage::TargetNotAFile, WinPath(odd));
    }
}

}  // namespace
