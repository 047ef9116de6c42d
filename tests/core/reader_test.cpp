// Restoring images: usage limits, old image versions, overwrite answers, selection and
// target mapping, the journal, the table copy and cancellation.
#include <zlib.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "ImageTestSupport.h"
#include "core/Journal.h"
#include "core/TableFiles.h"
#include "platform/Clock.h"
#include "platform/Process.h"

using namespace image_test;

namespace {

const std::u16string kPassword = u"open sesame";

// A small image of scratch/src/{a.txt, sub/b.txt, subc/c.txt}, given as three sources so
// that the entries come in this order whatever the directory-search order.
struct SmallImage {
    fs::path src;
    std::u16string image;
};

SmallImage MakeSmallImage(const ScratchDir& scratch, const ImageOptions* options = nullptr) {
    SmallImage made{scratch / "src", scratch.Win("small.img")};
    fs::create_directories(made.src / "sub");
    fs::create_directories(made.src / "subc");
    WriteAll(made.src / "a.txt", std::string("alpha"));
    WriteAll(made.src / "sub" / "b.txt", std::string("bravo"));
    WriteAll(made.src / "subc" / "c.txt", std::string("charlie"));
    const std::vector<std::u16string> sources = {WinPath(made.src / "a.txt"),
                                                 WinPath(made.src / "sub" / "b.txt"),
                                                 WinPath(made.src / "subc" / "c.txt")};
    EXPECT_EQ(Encrypt(sources, made.image, kPassword, 1, options), 1);
    return made;
}

ImageOptions StoredOptions(const std::u16string& image) {
    platform::File file;
    EXPECT_TRUE(file.Open(image, platform::Access::Read, platform::Share::ReadWrite,
                          platform::Disposition::OpenExisting));
    uint8_t header[kHeaderSize];
    const int32_t version = ReadImageHeader(file, kPassword, header);
    EXPECT_NE(version, 0);
    return HeaderOptions(header);
}

ImageOptions Limits() {
    ImageOptions options{};
    options.optionsEnabled = 1;
    options.decryptLimit = 1;
    options.maxErrorCount = 3;
    return options;
}

// Points the temporary folder at a scratch folder for one test.
class TempFolderOverride {
public:
    explicit TempFolderOverride(const fs::path& folder) {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(value ? std::optional<std::string>(value) : std::nullopt);
            Set(name, folder.string());
        }
    }
    ~TempFolderOverride() {
        for (size_t i = 0; i < std::size(kNames); ++i) {
            if (m_saved[i]) {
                Set(kNames[i], *m_saved[i]);
            } else {
                Unset(kNames[i]);
            }
        }
    }
    TempFolderOverride(const TempFolderOverride&) = delete;
    TempFolderOverride& operator=(const TempFolderOverride&) = delete;

private:
#ifdef _WIN32
    static constexpr const char* kNames[] = {"TMP", "TEMP"};
    static void Set(const char* name, const std::string& value) { _putenv_s(name, value.c_str()); }
    static void Unset(const char* name) { _putenv_s(name, ""); }
#else
    static constexpr const char* kNames[] = {"TMPDIR"};
    static void Set(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }
    static void Unset(const char* name) { unsetenv(name); }
#endif
    std::vector<std::optional<std::string>> m_saved;
};

// The table copies of this process in the temporary folder.
std::vector<fs::path> OwnTableCopies() {
    std::vector<fs::path> copies;
    for (const auto& item : fs::directory_iterator(NativePath(platform::TempFolder()))) {
        uint32_t owner = 0;
        if (ReaderTableOwner(item.path().filename().u16string(), owner) &&
            owner == platform::CurrentProcessId()) {
            copies.push_back(item.path());
        }
    }
    return copies;
}

// Files named like a restore's staging file in folder.
size_t StagingFiles(const fs::path& folder) {
    size_t count = 0;
    for (const auto& item : fs::directory_iterator(folder)) {
        count += item.path().filename().string().rfind("~cryptelle-", 0) == 0 ? 1 : 0;
    }
    return count;
}

// Removes the hook whichever way a test ends.
class PieceHook {
public:
    explicit PieceHook(RestorePieceHook hook) { SetRestorePieceHook(std::move(hook)); }
    ~PieceHook() { SetRestorePieceHook({}); }
    PieceHook(const PieceHook&) = delete;
    PieceHook& operator=(const PieceHook&) = delete;
};

TEST(CheckImageLimits, DecidesByTheEnabledLimits) {
    const int64_t now = platform::CurrentTime();
    platform::CalendarDate yesterday;
    ASSERT_TRUE(platform::LocalDate(now - 86400, yesterday));
    const auto with = [](auto change) {
        ImageOptions options = Limits();
        change(options);
        return options;
    };
    const struct {
        const char* name;
        ImageOptions options;
        int32_t allowed;
        std::optional<CoreMessage> message;
        int32_t number;
    } cases[] = {
        {"nothing enabled", with([](ImageOptions& o) { o.optionsEnabled = 0, o.errorLimitEnabled = 1, o.errorCount = 9; }), 1, {}, 0},
        {"enabled, no limit chosen", Limits(), 1, {}, 0},
        {"errors below limit", with([](ImageOptions& o) { o.errorLimitEnabled = 1, o.errorCount = 2; }), 1, {}, 0},
        {"errors at limit", with([](ImageOptions& o) { o.errorLimitEnabled = 1, o.errorCount = 3; }), 0, CoreMessage::ErrorLimitReached, 3},
        {"decryptions below limit", with([](ImageOptions& o) { o.decryptLimitEnabled = 1, o.decryptLimit = 2, o.decryptCount = 1; }), 1, {}, 0},
        {"decryptions at limit", with([](ImageOptions& o) { o.decryptLimitEnabled = 1, o.decryptLimit = 2, o.decryptCount = 2; }), 0, CoreMessage::DecryptLimitReached, 2},
        {"expires today", with([&](ImageOptions& o) { o.expiryEnabled = 1, o.expiryTime = now; }), 1, {}, 0},
        {"expired yesterday", with([&](ImageOptions& o) { o.expiryEnabled = 1, o.expiryTime = now - 86400; }), 0, CoreMessage::ImageExpired, yesterday.year},
        {"expiry beyond the calendar", with([](ImageOptions& o) { o.expiryEnabled = 1, o.expiryTime = INT64_MAX; }), 1, {}, 0},
        {"expiry before the calendar", with([](ImageOptions& o) { o.expiryEnabled = 1, o.expiryTime = INT64_MIN; }), 0, CoreMessage::ImageExpired, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingFrontEnd frontEnd;
        EXPECT_EQ(CheckImageLimits(c.options), c.allowed);
        ASSERT_EQ(frontEnd.messages.size(), c.message ? 1u : 0u);
        if (c.message) {
            EXPECT_EQ(frontEnd.messages[0].role, *c.message);
            EXPECT_EQ(frontEnd.messages[0].args.numbers[0], c.number);
        }
    }
    RecordingFrontEnd frontEnd;
    CheckImageLimits(with([&](ImageOptions& o) { o.expiryEnabled = 1, o.expiryTime = now - 86400; }));
    ASSERT_EQ(frontEnd.messages.size(), 1u);
    EXPECT_EQ(frontEnd.messages[0].args.numbers[1], yesterday.month);
    EXPECT_EQ(frontEnd.messages[0].args.numbers[2], yesterday.day);
}

TEST(ReadImageInfo, CountsWrongPasswordsUpToTheLimitThenRefusesEvenTheRightOne) {
    ScratchDir scratch;
    ImageOptions options = Limits();
    options.errorLimitEnabled = 1;
    RecordingFrontEnd frontEnd;
    const SmallImage made = MakeSmallImage(scratch, &options);
    const std::vector<uint8_t> before = ReadAll(NativePath(made.image));
    for (uint32_t attempt = 1; attempt <= 3; ++attempt) {
        DecryptParams params = MakeParams(made.image, u"wrong", scratch.Win());
        uint32_t fileCount = 7;
        std::u16string first = u"x";
        EXPECT_EQ(ReadImageInfo(params, fileCount, first), 0);
        EXPECT_EQ(fileCount, 0u);
        EXPECT_TRUE(first.empty());
        EXPECT_EQ(+StoredOptions(made.image).errorCount, attempt);
    }
    EXPECT_EQ(frontEnd.Count(CoreMessage::WrongPassword), 3);
    const std::vector<uint8_t> after = ReadAll(NativePath(made.image));
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        const bool limitsOrChecksum = (i >= 204 && i < 240) || (i >= 316 && i < 320);
        if (!limitsOrChecksum) {
            ASSERT_EQ(after[i], before[i]) << "byte " << i;
        }
    }

    DecryptParams params = MakeParams(made.image, kPassword, scratch.Win("out"));
    uint32_t fileCount = 0;
    std::u16string first;
    EXPECT_EQ(ReadImageInfo(params, fileCount, first), 0);
    ASSERT_EQ(frontEnd.messages.back().role, CoreMessage::ErrorLimitReached);
    EXPECT_EQ(frontEnd.messages.back().args.numbers[0], 3);
}

TEST(DecryptImage, SuccessResetsTheErrorCountAndUsesUpTheDecryptLimit) {
    ScratchDir scratch;
    ImageOptions options = Limits();
    options.errorLimitEnabled = 1;
    options.decryptLimitEnabled = 1;
    RecordingFrontEnd frontEnd;
    const SmallImage made = MakeSmallImage(scratch, &options);
    DecryptParams wrong = MakeParams(made.image, u"nope", scratch.Win());
    EXPECT_EQ(ReadAndDecrypt(wrong), 0);
    EXPECT_EQ(ReadAndDecrypt(wrong), 0);
    EXPECT_EQ(+StoredOptions(made.image).errorCount, 2u);

    DecryptParams params = MakeParams(made.image, kPassword, scratch.Win("out"));
    ASSERT_EQ(ReadAndDecrypt(params), 1);
    EXPECT_EQ(+params.options.errorCount, 2u) << "ReadImageInfo reports the stored limits";
    const ImageOptions stored = StoredOptions(made.image);
    EXPECT_EQ(+stored.errorCount, 0u);
    EXPECT_EQ(+stored.decryptCount, 1u);

    DecryptParams again = MakeParams(made.image, kPassword, scratch.Win("out2"));
    EXPECT_EQ(ReadAndDecrypt(again), 0);
    EXPECT_EQ(frontEnd.messages.back().role, CoreMessage::DecryptLimitReached);
    EXPECT_EQ(frontEnd.messages.back().args.numbers[0], 1);
    EXPECT_FALSE(fs::exists(scratch / "out2"));
}

TEST(DecryptImage, ExpiryIsJudgedByLocalDate) {
    ScratchDir scratch;
    const int64_t now = platform::CurrentTime();
    const struct {
        const char* name;
        int64_t expiry;
        int32_t result;
    } cases[] = {{"today", now, 1}, {"yesterday", now - 86400, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir job;
        ImageOptions options = Limits();
        options.expiryEnabled = 1;
        options.expiryTime = c.expiry;
        RecordingFrontEnd frontEnd;
        const SmallImage made = MakeSmallImage(job, &options);
        DecryptParams params = MakeParams(made.image, kPassword, job.Win("out"));
        EXPECT_EQ(ReadAndDecrypt(params), c.result);
        EXPECT_EQ(frontEnd.Count(CoreMessage::ImageExpired), 1 - c.result);
    }
}

TEST(DecryptImage, RefusesParamsWithoutAReadHeader) {
    ScratchDir scratch;
    RecordingFrontEnd frontEnd;
    const SmallImage made = MakeSmallImage(scratch);
    DecryptParams params = MakeParams(made.image, kPassword, scratch.Win("out"));
    EXPECT_EQ(DecryptImage(params), 0);
    EXPECT_FALSE(fs::exists(scratch / "out"));
}

// Builds an image of an older version from the documented layout: one folder, one file.
struct LegacyImage {
    std::u16string folder;
    std::u16string file;
    std::vector<uint8_t> content;
};

void PutLe32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutMagic(std::vector<uint8_t>& bytes, size_t at) {
    for (size_t i = 0; kImageMagic[i] != 0; ++i) {
        bytes[at + 2 * i] = static_cast<uint8_t>(kImageMagic[i]);
        bytes[at + 2 * i + 1] = static_cast<uint8_t>(kImageMagic[i] >> 8);
    }
}

void WriteLegacyImage(const fs::path& path, int32_t version, const LegacyImage& legacy,
                      const ImageOptions& options) {
    std::vector<uint8_t> body;
    const uint64_t dataOffset = kHeaderSize;
    // Version 100 ignores method and plainSize; 512 chunks are zlib streams at level 4.
    for (size_t at = 0; at < legacy.content.size(); at += kPiecePlainMax) {
        const size_t n = std::min<size_t>(kPiecePlainMax, legacy.content.size() - at);
        std::vector<uint8_t> payload(legacy.content.begin() + at, legacy.content.begin() + at + n);
        ChunkHeader header{static_cast<uint32_t>(n), 2, 12345, 0};
        if (version == kImageVersion512) {
            std::vector<uint8_t> packed(kChunkStoredMax);
            uLongf packedSize = packed.size();
            EXPECT_EQ(compress2(packed.data(), &packedSize, payload.data(), n, 4), Z_OK);
            packed.resize(packedSize);
            payload = packed;
            header = {static_cast<uint32_t>(packedSize), 1, static_cast<uint32_t>(n), 0};
        }
        EncryptItem(kPassword, payload.data(), payload.size());
        const auto* h = reinterpret_cast<const uint8_t*>(&header);
        body.insert(body.end(), h, h + sizeof header);
        body.insert(body.end(), payload.begin(), payload.end());
    }
    const uint64_t tableOffset = kHeaderSize + body.size();
    TableHeader table{2, 1, {0, 0}};
    const auto* t = reinterpret_cast<const uint8_t*>(&table);
    body.insert(body.end(), t, t + sizeof table);
    const struct {
        std::u16string path;
        uint32_t attributes;
        uint64_t size;
        uint64_t offset;
    } entries[] = {{legacy.folder, platform::kAttrDirectory, 0, 0},
                   {legacy.file, platform::kAttrArchive, legacy.content.size(), dataOffset}};
    for (const auto& e : entries) {
        ImageEntry entry{};
        CopyToField(entry.path, kPathChars, e.path);
        entry.attributes = e.attributes;
        entry.size = e.size;
        entry.dataOffset = e.offset;
        entry.writeTime = 130000000000000000ULL;
        EncryptItem(kPassword, &entry, sizeof entry);
        const auto* b = reinterpret_cast<const uint8_t*>(&entry);
        body.insert(body.end(), b, b + sizeof entry);
    }

    std::vector<uint8_t> header(kHeaderSize, 0);
    const size_t verifierAt = version == kImageVersion100 ? 64 : 72;
    BuildVerifier(kPassword, header.data() + verifierAt);
    const size_t tableAt = version == kImageVersion100 ? 184 : 192;
    PutLe32(header, tableAt, static_cast<uint32_t>(tableOffset));
    PutLe32(header, 200, version == kImageVersion512 ? 1 : 0);
    std::memcpy(header.data() + 204, &options, sizeof options);
    if (version == kImageVersion100) {
        PutMagic(header, 0);
    } else {
        PutLe32(header, 0, static_cast<uint32_t>(version));
        PutLe32(header, 4, kHeaderSize);
        PutMagic(header, 8);
        PutLe32(header, 316, HeaderChecksum(header.data(), kHeaderSize));
        const std::string key = KeyPassword(kPassword);
        EncryptBuffer(reinterpret_cast<const uint8_t*>(key.data()), key.size(), header.data(),
                      header.data(), kHeaderSize);
    }
    header.insert(header.end(), body.begin(), body.end());
    WriteAll(path, header);
}

TEST(DecryptImage, ReadsOlderImageVersions) {
    for (const int32_t version : {kImageVersion512, kImageVersion100}) {
        SCOPED_TRACE(version);
        ScratchDir scratch;
        LegacyImage legacy{u"C:\\old", u"C:\\old\\data.bin", testing_support::RandomBytes(120000, 9)};
        ImageOptions options = Limits();
        options.decryptLimitEnabled = 1;
        options.decryptLimit = 5;
        const fs::path path = scratch / "legacy.img";
        WriteLegacyImage(path, version, legacy, options);
        RecordingFrontEnd frontEnd;

        DecryptParams wrong = MakeParams(WinPath(path), u"bad", scratch.Win("out"));
        uint32_t fileCount = 0;
        std::u16string first;
        EXPECT_EQ(ReadImageInfo(wrong, fileCount, first), 0);
        // A version-512 header read with a wrong password looks like no image at all.
        ASSERT_EQ(frontEnd.messages.size(), 1u);
        EXPECT_EQ(frontEnd.messages[0].role, version == kImageVersion512 ? CoreMessage::NotAnImage
                                                                         : CoreMessage::WrongPassword);

        DecryptParams params = MakeParams(WinPath(path), kPassword, scratch.Win("out"));
        ASSERT_EQ(ReadImageInfo(params, fileCount, first), 1);
        EXPECT_EQ(params.imageVersion, version);
        EXPECT_EQ(fileCount, 1u);
        EXPECT_EQ(first, legacy.file);
        const std::vector<uint8_t> headerBefore = ReadAll(path);
        ASSERT_EQ(DecryptImage(params), 1);
        EXPECT_EQ(ReadAll(scratch / "out" / "old" / "data.bin"), legacy.content);
        if (version == kImageVersion512) {
            EXPECT_EQ(+params.options.decryptLimit, 5u);
            EXPECT_EQ(+StoredOptions(WinPath(path)).decryptCount, 1u);
        } else {
            EXPECT_EQ(ReadAll(path), headerBefore) << "version 100 limits are never written";
        }
    }
}

TEST(DecryptImage, OverwriteAnswersDecideEachExistingFile) {
    const struct {
        const char* name;
        std::deque<OverwriteAnswer> answers;
        int32_t result;
        bool aReplaced;
        bool bReplaced;
    } cases[] = {
        {"yes, yes", {OverwriteAnswer::Yes, OverwriteAnswer::Yes}, 1, true, true},
        {"no, yes", {OverwriteAnswer::No, OverwriteAnswer::Yes}, 1, false, true},
        {"end of input", {}, 1, false, false},
        {"cancel", {OverwriteAnswer::Cancel}, 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir scratch;
        ImageOptions options = Limits();
        options.decryptLimitEnabled = 1;
        options.decryptLimit = 9;
        RecordingFrontEnd frontEnd;
        const SmallImage made = MakeSmallImage(scratch, &options);
        const fs::path restored = RestoredPath(scratch / "out", WinPath(made.src));
        fs::create_directories(restored / "sub");
        WriteAll(restored / "a.txt", std::string("old a"));
        WriteAll(restored / "sub" / "b.txt", std::string("old b"));
        frontEnd.answers = c.answers;
        DecryptParams params = MakeParams(made.image, kPassword, scratch.Win("out"));
        EXPECT_EQ(ReadAndDecrypt(params), c.result);
        EXPECT_EQ(ReadAll(restored / "a.txt")[0], c.aReplaced ? 'a' : 'o');
        EXPECT_EQ(ReadAll(restored / "sub" / "b.txt")[0], c.bReplaced ? 'b' : 'o');
        EXPECT_EQ(fs::exists(restored / "subc" / "c.txt"), c.result == 1);
        EXPECT_EQ(+StoredOptions(made.image).decryptCount, 1u) << "counted even when stopped";
        EXPECT_TRUE(OwnTableCopies().empty());
    }
}

TEST(DecryptImage, AFolderWhereAFileGoesEndsTheJob) {
    ScratchDir scratch;
    RecordingFrontEnd frontEnd;
    const SmallImage made = MakeSmallImage(scratch);
    const fs::path restored = RestoredPath(scratch / "out", WinPath(made.src));
    fs::create_directories(restored / "a.txt");
    DecryptParams params = MakeParams(made.image, kPassword, scratch.Win("out"));
    EXPECT_EQ(ReadAndDecrypt(params), 0);
    EXPECT_FALSE(fs::exists(restored / "sub" / "b.txt")) << "entries after it are not restored";
}

TEST(DecryptImage, MapsSelectedEntriesByRestoreMode) {
    ScratchDir scratch;
    RecordingFrontEnd frontEnd;
    const SmallImage made = MakeSmallImage(scratch);
    const std::u16string src = WinPath(made.src);
    const std::u16string disk = u"Disk" + src.substr(0, 1);
    const struct {
        const char* name;
        int32_t mode;
        int32_t selectOnly;
        std::u16string selected;
        int32_t result;
        std::vector<std::u16string> expected;  // relative to the target, "\" separated
    } cases[] = {
        {"mode 1, everything", 1, 0, u"", 1, {src.substr(3) + u"\\a.txt", src.substr(3) + u"\\sub\\b.txt", src.substr(3) + u"\\subc\\c.txt"}},
        {"mode 3, everything", 3, 0, u"", 1, {disk + u"\\" + src.substr(3) + u"\\a.txt"}},
        {"mode 2 needs a selection", 2, 0, u"", 0, {}},
        {"mode 1, one folder", 1, 1, src + u"\\sub", 1, {u"sub\\b.txt"}},
        {"mode 2, one file", 2, 1, src + u"\\subc\\c.txt", 1, {u"c.txt"}},
        {"mode 3, one folder", 3, 1, src + u"\\sub\\", 1, {u"sub\\b.txt"}},
        {"mode 1, a drive root", 1, 1, src.substr(0, 2), 1, {src.substr(3) + u"\\a.txt", src.substr(3) + u"\\sub\\b.txt", src.substr(3) + u"\\subc\\c.txt"}},
        {"mode 2, a drive root", 2, 1, src.substr(0, 3), 1, {disk + u"\\" + src.substr(3) + u"\\a.txt", disk + u"\\" + src.substr(3) + u"\\sub\\b.txt", disk + u"\\" + src.substr(3) + u"\\subc\\c.txt"}},
        {"mode 7", 7, 0, u"", 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir out;
        DecryptParams params = MakeParams(made.image, kPassword, out.Win());
        params.restoreMode = c.mode;
        params.selectOnly = c.selectOnly;
        CopyToField(params.selectedPath, kPathChars, c.selected);
        EXPECT_EQ(ReadAndDecrypt(params), c.result);
        size_t files = 0;
        for (const auto& item : fs::recursive_directory_iterator(out.path())) {
            files += item.is_regular_file() ? 1 : 0;
        }
        for (const auto& relative : c.expected) {
            EXPECT_TRUE(fs::is_regular_file(NativePath(out.Win() + u"\\" + relative)))
                << Narrow(relative);
        }
        if (c.result == 0 || c.selectOnly == 1) {
            EXPECT_EQ(files, c.expected.size());
        }
    }
    EXPECT_TRUE(fs::exists(made.src / "a.txt")) << "no mode touched the originals";
}

TEST(DecryptImage, Mode3IntoTheTemporaryFolderKeepsTheSourceFolderInTheName) {
    ScratchDir scratch;
    RecordingFrontEnd frontEnd;
    const SmallImage made = MakeSmallImage(scratch);
    ScratchDir temp;
    TempFolderOverride override(temp.path());
    DecryptParams params = MakeParams(made.image, kPassword, temp.Win());
    params.restoreMode = 3;
    params.selectOnly = 1;
    CopyToField(params.selectedPath, kPathChars, WinPath(made.src / "sub"));
    ASSERT_EQ(ReadAndDecrypt(params), 1);
    std::u16string flat = WinPath(made.src) + u"\\";
    for (auto& ch : flat) {
        if (ch == u'\\' || ch == u':') ch = u'#';
    }
    EXPECT_EQ(ReadAll(NativePath(temp.Win() + u"\\" + flat + u"sub\\b.txt")).size(), 5u);
}

TEST(DecryptImage, Mode0RestoresInPlace) {
    ScratchDir scratch;
    RecordingFrontEnd frontEnd;
    const SmallImage made = MakeSmallImage(scratch);
    fs::remove_all(made.src / "sub");
    DecryptParams params = MakeParams(made.image, kPassword, u"");
    params.restoreMode = 0;
    params.selectOnly = 1;
    CopyToField(params.selectedPath, kPathChars, WinPath(made.src / "sub"));
    ASSERT_EQ(ReadAndDecrypt(params), 1);
    EXPECT_EQ(ReadAll(made.src / "sub" / "b.txt").size(), 5u);
    EXPECT_TRUE(frontEnd.questions.empty()) << "ancestors exist, nothing else selected";
}

TEST(DecryptImage, AppendsToTheJournalOnlyWhenItExists) {
    ScratchDir scratch;
    RecordingFrontEnd frontEnd;
    const SmallImage made = MakeSmallImage(scratch);
    ScratchDir temp;
    TempFolderOverride override(temp.path());
    const std::u16string journal = JournalPath();
    ASSERT_EQ(NativePath(journal), temp.path() / "DIDI");

    DecryptParams first = MakeParams(made.image, kPassword, scratch.Win("out1"));
    ASSERT_EQ(ReadAndDecrypt(first), 1);
    EXPECT_FALSE(fs::exists(temp.path() / "DIDI")) << "never created by the reader";

    WriteAll(temp.path() / "DIDI", std::string(""));
    DecryptParams second = MakeParams(made.image, kPassword, scratch.Win("out2"));
    ASSERT_EQ(ReadAndDecrypt(second), 1);
    const std::vector<uint8_t> bytes = ReadAll(temp.path() / "DIDI");
    ASSERT_EQ(bytes.size(), 3 * sizeof(JournalRecord));
    const fs::path restored = RestoredPath(scratch / "out2", WinPath(made.src));
    const std::u16string expected[] = {WinPath(restored / "a.txt"), WinPath(restored / "sub" / "b.txt"),
                                       WinPath(restored / "subc" / "c.txt")};
    for (size_t i = 0; i < 3; ++i) {
        JournalRecord record;
        std::memcpy(&record, bytes.data() + i * sizeof record, sizeof record);
        EXPECT_EQ(FieldText(record.path, kPathChars), expected[i]);
        platform::FindData source;
        ASSERT_TRUE(platform::FindExact(expected[i], source));
        EXPECT_EQ(record.writeTime, source.times.write);
        EXPECT_EQ(record.reserved, 0u);
    }
    // Nothing of the job is left in the temporary folder but the journal.
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 1);
}

TEST(ReaderTableName, NamesTheJobsProcessAndSequence) {
    const struct {
        std::u16string temp;
        uint32_t process;
        uint32_t sequence;
        std::u16string copy;
    } cases[] = {
        {u"C:\\Temp", 1234, 0, u"C:\\Temp\\cryptelle-1234-0.ary"},
        {u"C:\\Temp\\\\", 7, 42, u"C:\\Temp\\cryptelle-7-42.ary"},
        {u"Z:\\tmp", UINT32_MAX, UINT32_MAX, u"Z:\\tmp\\cryptelle-4294967295-4294967295.ary"},
    };
    for (const auto& c : cases) {
        const std::u16string copy = ReaderTableName(c.temp, c.process, c.sequence);
        EXPECT_EQ(copy, c.copy);
        uint32_t owner = 0;
        EXPECT_TRUE(ReaderTableOwner(copy.substr(copy.rfind(u'\\') + 1), owner)) << Narrow(copy);
        EXPECT_EQ(owner, c.process);
    }
    EXPECT_NE(ReaderTableName(u"C:\\T", 1, 23), ReaderTableName(u"C:\\T", 12, 3));
    for (const std::u16string name : {u"x.ary", u"cryptelle-12.ary", u"cryptelle--1.ary",
                                      u"cryptelle-1-.ary", u"cryptelle-a-1.ary", u"cryptelle-1-2.tmp",
                                      u"cryptelle-4294967296-0.ary", u"C##data#cryptelle-1-2.ary"}) {
        uint32_t owner = 0;
        EXPECT_FALSE(ReaderTableOwner(name, owner)) << Narrow(name);
    }
    EXPECT_EQ(StagingName(u"C:\\out\\a.txt", 9, 3), u"C:\\out\\~cryptelle-9-3.tmp");
}

// The sequence number in a table copy's name.
uint32_t CopySequence(const fs::path& copy) {
    const std::string name = copy.stem().string();
    return static_cast<uint32_t>(std::stoul(name.substr(name.rfind('-') + 1)));
}

TEST(DecryptImage, TableCopiesArePrivateToTheirJob) {
    ScratchDir scratch;
    RecordingFrontEnd frontEnd;
    const SmallImage made = MakeSmallImage(scratch);
    ScratchDir temp;
    TempFolderOverride override(temp.path());
    std::vector<fs::path> seen;
    {
        PieceHook hook([&](const std::u16string&, uint32_t) {
            if (seen.empty()) seen = OwnTableCopies();
        });
        DecryptParams first = MakeParams(made.image, kPassword, scratch.Win("out1"));
        ASSERT_EQ(ReadAndDecrypt(first), 1);
    }
    ASSERT_EQ(seen.size(), 1u) << "the job's copy is in the temporary folder while it runs";

    // A copy left by a job whose process has ended, and copies of jobs of this process
    // still running under the names the next job would take first.
    constexpr uint32_t kEndedProcess = 0x7FFFFFF0;  // beyond any process id in use
    const fs::path crashed = NativePath(ReaderTableName(temp.Win(), kEndedProcess, 0));
    WriteAll(crashed, std::string("crashed"));
    std::vector<fs::path> running;
    for (uint32_t next = CopySequence(seen[0]) + 1; running.size() < 10; ++next) {
        running.push_back(NativePath(ReaderTableName(temp.Win(), platform::CurrentProcessId(), next)));
        WriteAll(running.back(), std::string("running"));
    }
    DecryptParams second = MakeParams(made.image, kPassword, scratch.Win("out2"));
    EXPECT_EQ(ReadAndDecrypt(second), 1);
    EXPECT_TRUE(frontEnd.questions.empty());
    EXPECT_TRUE(frontEnd.messages.empty());
    EXPECT_FALSE(fs::exists(crashed)) << "a stale copy is removed";
    for (const auto& copy : running) {
        const std::vector<uint8_t> content = ReadAll(copy);
        EXPECT_EQ(std::string(content.begin(), content.end()), "running") << copy;
    }
    EXPECT_EQ(OwnTableCopies().size(), running.size()) << "the job removed only its own copy";
}

TEST(DecryptImage, WithoutATemporaryFolderNothingIsWrittenAndTheReasonShown) {
    ScratchDir scratch;
    RecordingFrontEnd frontEnd;
    const SmallImage made = MakeSmallImage(scratch);
    TempFolderOverride override(scratch / "no such folder");
    EXPECT_EQ(JournalPath(), u"") << "no journal at all, not one in the current folder";
    DecryptParams params = MakeParams(made.image, kPassword, scratch.Win("out"));
    EXPECT_EQ(ReadAndDecrypt(params), 0);
    ASSERT_EQ(frontEnd.messages.size(), 1u);
    EXPECT_EQ(frontEnd.messages[0].role, CoreMessage::NoTempFolder);
    EXPECT_FALSE(fs::exists(scratch / "out"));
    EXPECT_FALSE(fs::exists(scratch / "no such folder"));
}

constexpr uint64_t kEntryTime = 132000000000000000ULL;  // what ImageBuilder stores

TEST(DecryptImage, AReplacedFileStaysWholeUntilItsReplacementIsComplete) {
    const std::vector<uint8_t> replacement = testing_support::RandomBytes(2 * kPiecePlainMax + 100, 4);
    const struct {
        const char* name;
        bool damaged;
        int32_t result;
    } cases[] = {{"complete", false, 1}, {"second piece damaged", true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir scratch;
        RecordingFrontEnd frontEnd;
        ImageBuilder builder(kPassword);
        uint64_t offset = 0;
        if (c.damaged) {
            const std::vector<uint8_t> first(replacement.begin(), replacement.begin() + kPiecePlainMax);
            offset = builder.AddChunk({kPiecePlainMax, 0, kPiecePlainMax, 0}, first);
            builder.AddChunk({100, 2, 100, 0}, testing_support::RandomBytes(100, 5));
        } else {
            offset = builder.AddPlainContent(replacement);
        }
        builder.AddEntry(u"C:\\a.txt", platform::kAttrArchive | platform::kAttrReadOnly,
                         replacement.size(), offset);
        const std::u16string image = scratch.Win("replace.img");
        builder.Write(image);
        const fs::path target = scratch / "out" / "a.txt";
        fs::create_directories(target.parent_path());
        WriteAll(target, std::string("old"));

        // What the target's name holds while the job writes, piece by piece.
        std::vector<std::string> underTheName;
        std::vector<size_t> staging;
        PieceHook hook([&](const std::u16string& path, uint32_t) {
            EXPECT_EQ(NativePath(path), target);
            const std::vector<uint8_t> now = ReadAll(target);
            underTheName.emplace_back(now.begin(), now.end());
            staging.push_back(StagingFiles(target.parent_path()));
        });
        frontEnd.answers = {OverwriteAnswer::Yes};
        DecryptParams params = MakeParams(image, kPassword, scratch.Win("out"));
        EXPECT_EQ(ReadAndDecrypt(params), c.result);
        EXPECT_EQ(underTheName, std::vector<std::string>(c.damaged ? 1 : 3, "old"));
        EXPECT_EQ(staging, std::vector<size_t>(underTheName.size(), 1u));
        EXPECT_EQ(StagingFiles(target.parent_path()), 0u) << "the staging file is gone";
        if (c.damaged) {
            const std::vector<uint8_t> kept = ReadAll(target);
            EXPECT_EQ(std::string(kept.begin(), kept.end()), "old");
            ASSERT_FALSE(frontEnd.messages.empty());
            EXPECT_EQ(frontEnd.messages.back().role, CoreMessage::EntryDataDamaged);
            EXPECT_EQ(NativePath(frontEnd.messages.back().args.path), target);
        } else {
            EXPECT_EQ(ReadAll(target), replacement);
            platform::FindData found;
            ASSERT_TRUE(platform::FindExact(WinPath(target), found));
            EXPECT_EQ(found.times.write, kEntryTime);
            EXPECT_NE(found.attributes & platform::kAttrReadOnly, 0u);
            platform::SetAttributes(WinPath(target), platform::kAttrNormal);
        }
    }
}

TEST(DecryptImage, ReadOnlyFoldersAreFinishedAfterTheirContents) {
    ScratchDir scratch;
    RecordingFrontEnd frontEnd;
    ImageBuilder builder(kPassword);
    const std::vector<uint8_t> content = {'i', 'n'};
    const uint64_t data = builder.AddPlainContent(content);
    const uint32_t readOnlyFolder = platform::kAttrDirectory | platform::kAttrReadOnly;
    builder.AddEntry(u"C:\\ro", readOnlyFolder, 0, 0);
    builder.AddEntry(u"C:\\ro\\sub", readOnlyFolder, 0, 0);
    builder.AddEntry(u"C:\\ro\\sub\\f.txt", platform::kAttrArchive, content.size(), data);
    builder.AddEntry(u"C:\\ro\\g.txt", platform::kAttrArchive, content.size(), data);
    const std::u16string image = scratch.Win("folders.img");
    builder.Write(image);
    DecryptParams params = MakeParams(image, kPassword, scratch.Win("out"));
    EXPECT_EQ(ReadAndDecrypt(params), 1);
    EXPECT_TRUE(frontEnd.messages.empty());
    EXPECT_EQ(ReadAll(scratch / "out" / "ro" / "sub" / "f.txt"), content);
    EXPECT_EQ(ReadAll(scratch / "out" / "ro" / "g.txt"), content);
    // Wine drops a folder's read-only attribute; Windows and the POSIX backend keep it.
    const std::u16string probe = scratch.Win("probe");
    ASSERT_TRUE(platform::MakeDirectory(probe));
    platform::SetAttributes(probe, platform::kAttrReadOnly);
    const bool keepsReadOnly = (platform::GetAttributes(probe) & platform::kAttrReadOnly) != 0;
    platform::SetAttributes(probe, platform::kAttrNormal);
    for (const fs::path& folder : {scratch / "out" / "ro" / "sub", scratch / "out" / "ro"}) {
        SCOPED_TRACE(folder.string());
        const uint32_t attributes = platform::GetAttributes(WinPath(folder));
        if (keepsReadOnly) {
            EXPECT_NE(attributes & platform::kAttrReadOnly, 0u);
        }
        // Also where the mode bits do not stop this user (root): adding the contents
        // must not move the folder's time after it was set.
        platform::FindData found;
        EXPECT_TRUE(platform::FindExact(WinPath(folder), found));
        EXPECT_EQ(found.times.write, kEntryTime);
    }
    for (const fs::path& folder : {scratch / "out" / "ro" / "sub", scratch / "out" / "ro"}) {
        platform::SetAttributes(WinPath(folder), platform::kAttrDirectory);
    }
}

TEST(DecryptImage, CancelDuringALargeFileLeavesNoPartialFile) {
    ScratchDir scratch;
    const size_t size = 8u << 20;
    fs::create_directory(scratch / "src");
    WriteAll(scratch / "src" / "large.bin", std::vector<uint8_t>(size, 0x33));
    ImageOptions options = Limits();
    options.decryptLimitEnabled = 1;
    options.decryptLimit = 3;
    RecordingFrontEnd frontEnd;
    const std::u16string image = scratch.Win("large.img");
    ASSERT_EQ(Encrypt({scratch.Win("src")}, image, kPassword, 0, &options), 1);
    DecryptParams params = MakeParams(image, kPassword, scratch.Win("out"));
    uint32_t fileCount = 0;
    std::u16string first;
    ASSERT_EQ(ReadImageInfo(params, fileCount, first), 1);

    // Cancelled once the fifth piece is written: exact, whatever the machine's load.
    ResetJobProgress();
    uint32_t cancelledAt = 0;
    int32_t result = -1;
    {
        PieceHook hook([&](const std::u16string&, uint32_t piece) {
            if (piece == 5 && cancelledAt == 0) {
                cancelledAt = piece;
                decryptCancel = 1;
            }
        });
        result = DecryptImage(params);
    }
    ASSERT_EQ(cancelledAt, 5u) << "the job ended before its fifth piece";
    EXPECT_EQ(result, 0);
    EXPECT_LT(g_jobProgress.bytesDone.load(), size);
    const fs::path restored = RestoredPath(scratch / "out", scratch.Win("src"));
    EXPECT_FALSE(fs::exists(restored / "large.bin"));
    EXPECT_TRUE(fs::is_directory(restored)) << "folders restored before the cancel stay";
    EXPECT_EQ(+StoredOptions(image).decryptCount, 1u);
    EXPECT_TRUE(OwnTableCopies().empty());
}

}  // namespace
