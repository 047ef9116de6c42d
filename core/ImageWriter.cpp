#include "core/ImageWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "core/Cipher.h"
#include "core/FrontEnd.h"
#include "core/ImageFormat.h"
#include "core/PieceCompressor.h"
#include "core/PiecePipeline.h"
#include "core/SourceCheck.h"
#include "core/TableFiles.h"
#include "platform/FileSystem.h"
#include "platform/Secret.h"

namespace {

constexpr size_t kStoredPathMax = kPathChars - 1;  // longest path an entry can hold
constexpr int kZlibFastLevel = 4;
constexpr int kZlibHighLevel = 8;

PieceStoredHook g_pieceStoredHook;

// One thread's tools for turning plain pieces into stored ones.
struct WriteLane {
    PieceCompressor compressor;
    BufferCipher cipher;
};

// Everything one encryption job keeps open while it runs.
struct WriteJob : PieceWork {
    platform::File image;  // open under temporaryPath until the image is complete
    platform::File table;
    std::u16string imagePath;
    std::u16string temporaryPath;
    std::u16string tablePath;
    std::u16string password;
    std::vector<std::u16string> created;  // removed again when the job fails
    SourceCheck check;
    uint32_t counter = 0;    // entries written to the table file
    uint32_t fileCount = 0;  // of them, files
    int32_t level = 0;
    bool failureShown = false;  // a source-file-failed message is already on screen
    bool replacing = false;     // an older image waits under the real name
    std::vector<std::unique_ptr<WriteLane>> lanes;  // lane 0 is the job's thread
    PiecePipeline pipeline{*this};  // after the lanes: its threads end before they go

    ~WriteJob() override { platform::WipeSecret(password); }

    bool PrepareLane(size_t lane) override;
    bool Work(size_t lane, PieceSlot& slot) override;
};

// A deflate state that cannot be set up fails the pieces given to it, as a failing
// compress2 would; a key the library refuses fails the file that needs the lane.
bool WriteJob::PrepareLane(size_t lane) {
    if (lanes.size() <= lane) lanes.resize(lane + 1);
    lanes[lane] = std::make_unique<WriteLane>();
    if (level == 1 || level == 2) {
        lanes[lane]->compressor.Start(level == 1 ? kZlibFastLevel : kZlibHighLevel);
    }
    return lanes[lane]->cipher.SetItemKey(password) != 0;
}

// One piece of content into its stored form, encrypted; false on a zlib or cipher failure.
bool WriteJob::Work(size_t lane, PieceSlot& slot) {
    WriteLane& tools = *lanes[lane];
    ChunkHeader& header = slot.header;
    const uint8_t* stored = slot.plain;
    if (level == 1 || level == 2) {
        uint32_t storedSize = 0;
        if (!tools.compressor.Compress(slot.plain, header.plainSize, slot.stored, kChunkStoredMax,
                                       storedSize)) {
            return false;
        }
        header.method = static_cast<uint32_t>(level);
        header.storedSize = storedSize;
        stored = slot.stored;
    } else {
        header.method = 0;
        header.storedSize = header.plainSize;
    }
    return tools.cipher.Encrypt(stored, slot.stored, header.storedSize) != 0;
}

bool EncryptStopped() { return encryptCancel.load() != 0 || encryptFailed.load() != 0; }

void ShowSourceFailed(WriteJob& job, const std::u16string& path) {
    CoreMessageArgs args;
    args.path = path;
    ShowCoreMessage(CoreMessage::SourceFileFailed, args);
    job.failureShown = true;
}

// The user's consent to replace what is at path: false for a folder or any answer but Yes,
// and for a read-only file, which Windows will not replace (better said now than after
// the whole job).
bool MayReplace(const std::u16string& path) {
    const uint32_t attributes = platform::GetAttributes(path);
    if (attributes == platform::kInvalidAttributes) return true;
    if ((attributes & platform::kAttrDirectory) != 0) return false;
    return AskOverwrite(path) == OverwriteAnswer::Yes && (attributes & platform::kAttrReadOnly) == 0;
}

// A new file no one else uses: created exclusively, so a name taken by another job or
// left by a killed one is passed over.
bool CreateTemporaryImage(WriteJob& job) {
    const auto nameAt = [&](uint32_t n) { return TemporaryImageName(job.imagePath, n); };
    if (!CreateFreshFile(nameAt, platform::Share::ReadWrite, job.image, job.temporaryPath)) {
        return false;
    }
    job.created.push_back(job.temporaryPath);
    return true;
}

// Both questions come before anything is created. The image is written under a temporary
// name and renamed over the real one only when complete, so a file the user agreed to
// replace survives a failed or killed job.
int32_t CreateImageFiles(WriteJob& job) {
    if (!MayReplace(job.imagePath) || !MayReplace(job.tablePath)) return 0;
    job.replacing = platform::Exists(job.imagePath);
    if (!CreateTemporaryImage(job)) return 0;
    if (!job.table.Open(job.tablePath, platform::Access::ReadWrite, platform::Share::ReadWrite,
                        platform::Disposition::CreateAlways, platform::kAttrNormal)) {
        return 0;
    }
    job.created.push_back(job.tablePath);
    job.check.AddJobFile(job.temporaryPath);
    job.check.AddJobFile(job.tablePath);
    return 1;
}

int32_t WriteSourceList(WriteJob& job, const std::vector<std::u16string>& sources) {
    uint64_t length = 0;
    if (!job.image.Size(length) || length != kHeaderSize) return 0;
    if (!job.image.Seek(kHeaderSize)) return 0;
    SourceListHead head{};
    head.count = static_cast<uint32_t>(sources.size());
    if (!job.image.Write(&head, sizeof head)) return 0;
    for (const auto& source : sources) {
        char16_t record[kPathChars] = {};
        std::copy_n(source.data(), std::min(source.size(), kPathChars), record);
        auto* bytes = reinterpret_cast<uint8_t*>(record);
        if (!job.lanes[0]->cipher.Encrypt(bytes, bytes, sizeof record)) return 0;
        if (!job.image.Write(record, sizeof record)) return 0;
    }
    return 1;
}

// A table file that misses an entry would make an image that lies, so a failed entry
// fails the whole job.
int32_t AppendEntry(WriteJob& job, ImageEntry& entry) {
    auto* bytes = reinterpret_cast<uint8_t*>(&entry);
    if (job.lanes[0]->cipher.Encrypt(bytes, bytes, sizeof entry) &&
        job.table.Write(&entry, sizeof entry)) {
        return 1;
    }
    encryptFailed = 1;
    return 0;
}

ImageEntry EntryFromSearch(const std::u16string& path, const platform::FindData& found) {
    ImageEntry entry{};
    CopyToField(entry.path, kPathChars, path);
    entry.attributes = found.attributes;
    entry.creationTime = found.times.creation;
    entry.accessTime = found.times.access;
    entry.writeTime = found.times.write;
    entry.size = found.size;
    return entry;
}

int32_t WriteDirectoryEntry(WriteJob& job, const std::u16string& path) {
    if (EncryptStopped() || path.size() > kStoredPathMax) return 0;
    platform::FindData found;
    if (!platform::FindExact(path, found)) return 0;
    ImageEntry entry = EntryFromSearch(path, found);
    entry.sequence = job.counter;
    if (!AppendEntry(job, entry)) return 0;
    ++job.counter;
    return 1;
}

int32_t WriteAncestorEntries(WriteJob& job, const std::vector<std::u16string>& sources) {
    std::vector<std::u16string> recorded;
    int32_t result = 1;
    for (const auto& source : sources) {
        const std::u16string trimmed = WithoutTrailingBackslashes(source);
        const size_t slash = trimmed.rfind(u'\\');
        if (slash == std::u16string::npos) continue;
        const std::u16string parent = trimmed.substr(0, slash + 1);
        for (size_t i = 3; i < parent.size(); ++i) {
            if (parent[i] != u'\\') continue;
            const std::u16string ancestor = parent.substr(0, i);
            const bool known = std::any_of(recorded.begin(), recorded.end(),
                                           [&](const auto& d) { return EqualsIgnoreCase(d, ancestor); });
            if (known) continue;
            recorded.push_back(ancestor);
            if (!WriteDirectoryEntry(job, ancestor)) result = 0;
        }
    }
    return result;
}

// The file's content as consecutive chunks at the image's current end; stored counts the
// content bytes they hold. Pieces are read and their chunks written in order; a file
// larger than one piece is compressed and encrypted on the job's workers meanwhile.
bool WriteChunks(WriteJob& job, const std::u16string& path, platform::File& source,
                 uint64_t sizeSeen, uint64_t& stored) {
    stored = 0;
    uint32_t piece = 0;
    PieceSteps steps;
    steps.stopped = EncryptStopped;
    steps.read = [&](PieceSlot& slot) {
        uint32_t n = 0;
        if (!source.Read(slot.plain, kPiecePlainMax, n)) return PieceRead::Failed;
        if (n == 0) return PieceRead::End;
        slot.header = ChunkHeader{};
        slot.header.plainSize = n;
        if (g_pieceStoredHook) g_pieceStoredHook(path, piece);
        ++piece;
        return PieceRead::Piece;
    };
    steps.emit = [&](PieceSlot& slot) {
        if (!slot.worked || !job.image.Write(&slot.header, sizeof slot.header) ||
            !job.image.Write(slot.stored, slot.header.storedSize)) {
            return false;
        }
        stored += slot.header.plainSize;
        AddProgressBytes(slot.header.plainSize);
        return true;
    };
    // A stored piece only passes through AES, which outruns handing it to another thread.
    const bool worthWorkers = sizeSeen > kPiecePlainMax && job.level != 0;
    return job.pipeline.RunFile(worthWorkers, steps) == PieceRun::Done;
}

int32_t EncryptFile(WriteJob& job, const std::u16string& path) {
    ReportFileStarted(path);
    SetProgressFile(path);
    if (EncryptStopped()) return 0;
    // Attributes and times come from before the read: a file changed while it is read then
    // differs from its entry afterwards, which is how a later secure delete knows to keep it.
    platform::FindData found;
    if (!platform::FindExact(path, found)) return 0;
    platform::File source;
    if (!source.Open(path, platform::Access::Read, platform::Share::ReadWrite,
                     platform::Disposition::OpenExisting)) {
        return 0;
    }
    uint64_t dataOffset = 0;
    if (!job.image.SeekToEnd() || !job.image.Tell(dataOffset)) return 0;
    uint64_t stored = 0;
    if (!WriteChunks(job, path, source, found.size, stored)) return 0;
    source.Close();
    ++job.counter;
    ImageEntry entry = EntryFromSearch(path, found);
    entry.sequence = job.counter;
    entry.dataOffset = dataOffset;
    // What the chunks hold, whatever the file's size was or is now (a link's record says 0).
    entry.size = stored;
    if (!AppendEntry(job, entry)) return 0;
    ++job.fileCount;
    return 1;
}

int32_t EncryptDirectory(WriteJob& job, const std::u16string& path) {
    if (EncryptStopped()) return 0;
    if (!platform::IsDirectory(path) || !WriteDirectoryEntry(job, path)) return 0;
    platform::DirectorySearch search;
    if (!search.Start(path)) return 0;
    platform::FindData child;
    while (search.Next(child)) {
        const std::u16string childPath = path + u"\\" + child.name;
        // Checked again: the tree may have changed since the check before the job.
        const SourceVerdict verdict = job.check.Child(childPath, child);
        if (verdict == SourceVerdict::Skip) continue;
        if (verdict == SourceVerdict::Refuse) {
            ShowSourceFailed(job, childPath);
            return 0;
        }
        int32_t done = 0;
        if (child.IsDirectory() && child.IsLink()) {
            // A linked directory is kept as an empty directory: following it could loop.
            done = WriteDirectoryEntry(job, childPath);
        } else if (child.IsDirectory()) {
            done = EncryptDirectory(job, childPath);
        } else {
            done = EncryptFile(job, childPath);
        }
        if (!done) return 0;
    }
    return 1;
}

int32_t FinalizeImage(WriteJob& job) {
    if (!job.table.Seek(0)) return 0;
    uint64_t tableOffset = 0;
    if (!job.image.Size(tableOffset)) return 0;
    if (!SetImageTableOffset(job.image, job.password, tableOffset)) return 0;
    TableHeader header{};
    header.entryCount = job.counter;
    header.fileCount = job.fileCount;
    if (!job.image.SeekToEnd() || !job.image.Write(&header, sizeof header)) return 0;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kTableCopyUnit]);
    if (!buffer) {
        ShowCoreMessage(CoreMessage::OutOfMemory);
        return 0;
    }
    for (;;) {
        uint32_t n = 0;
        if (!job.table.Read(buffer.get(), kTableCopyUnit, n)) return 0;
        if (n == 0) return 1;
        if (!job.image.Write(buffer.get(), n)) return 0;
    }
}

// Runs every source; false when one failed or the job was cancelled.
bool EncryptSources(WriteJob& job, const std::vector<std::u16string>& sources) {
    for (const auto& source : sources) {
        if (EncryptStopped()) break;
        const uint32_t attributes = platform::GetAttributes(source);
        if (attributes == platform::kInvalidAttributes) continue;
        if ((attributes & platform::kAttrDirectory) != 0) {
            if (!EncryptDirectory(job, source)) encryptFailed = 1;
        } else if (!EncryptFile(job, source)) {
            if (encryptCancel.load() == 0 && !job.failureShown) ShowSourceFailed(job, source);
            encryptFailed = 1;
        }
    }
    return !EncryptStopped();
}

// Header, source list, ancestors, content and table, all into the temporary image.
bool WriteImage(WriteJob& job, const CEncryptInfo& info) {
    if (!WriteNewImageHeader(job.image, job.password, info.m_compressLevel, info.m_options) ||
        !WriteSourceList(job, info.m_sources)) {
        return false;
    }
    // An ancestor that cannot be looked up is left out; a failed write stops the sources.
    WriteAncestorEntries(job, info.m_sources);
    return EncryptSources(job, info.m_sources) && FinalizeImage(job);
}

// The finished image takes the real name in one step. An older image it replaces goes only
// once the new one is on the disk; a new name has nothing to lose and skips the wait.
bool CompleteImage(WriteJob& job) {
    const bool flushed = !job.replacing || job.image.Flush();
    const bool tableClosed = job.table.Close();
    const bool imageClosed = job.image.Close();
    if (!flushed || !tableClosed || !imageClosed) return false;
    if (!platform::RenameReplacing(job.temporaryPath, job.imagePath)) {
        ShowCoreMessage(CoreMessage::ImageCreateFailed);
        return false;
    }
    std::erase(job.created, job.temporaryPath);
    return true;
}

// Removes everything the job created; a file it was to replace stays as it was.
void AbandonImage(WriteJob& job) {
    job.table.Close();
    job.image.Close();
    for (const auto& path : job.created) RemoveJobFile(path);
    job.created.clear();
}

}  // namespace

void SetPieceStoredHook(PieceStoredHook hook) { g_pieceStoredHook = std::move(hook); }

int32_t EncryptToImage(const CEncryptInfo& info) {
    // encryptCancel is left as the front end set it: a cancel pressed before the job got
    // this far must still stop it.
    encryptFailed = 0;
    ResetJobProgress();
    CFileStatisticInfo statistics;
    statistics.Collect(info.m_sources);
    SetProgressTotals(static_cast<uint32_t>(statistics.m_fileCount), statistics.m_totalBytes);
    // Cancelled already: nothing is asked, created or replaced.
    if (info.m_sources.empty() || EncryptStopped()) return 0;

    WriteJob job;
    job.imagePath = info.m_imagePath;
    job.tablePath = WriterTableName(info.m_imagePath);
    job.password = info.m_password;
    job.level = info.m_compressLevel;
    // Compared by identity, not by name: another spelling of the same file is still it.
    job.check.AddJobFile(job.imagePath);
    job.check.AddJobFile(job.tablePath);
    // Every source is checked before anything is asked, created or truncated.
    std::u16string refused;
    if (!job.check.AllStorable(info.m_sources, refused)) {
        ShowSourceFailed(job, refused);
        return 0;
    }
    if (!job.pipeline.Prepare()) {
        ShowCoreMessage(CoreMessage::OutOfMemory);
        return 0;
    }
    if (!CreateImageFiles(job)) {
        AbandonImage(job);
        ShowCoreMessage(CoreMessage::ImageCreateFailed);
        return 0;
    }
    if (!WriteImage(job, info) || !CompleteImage(job)) {
        AbandonImage(job);
        return 0;
    }
    // The image is in place; a table file that cannot be removed still fails the job.
    return RemoveJobFile(job.tablePath) ? 1 : 0;
}
