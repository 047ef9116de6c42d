#include "core/ImageWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/Cipher.h"
#include "core/FrontEnd.h"
#include "core/ImageFormat.h"
#include "core/PieceBuffers.h"
#include "core/PieceCompressor.h"
#include "core/TableFiles.h"
#include "platform/FileSystem.h"

namespace {

constexpr size_t kStoredPathMax = kPathChars - 1;  // longest path an entry can hold
constexpr int kZlibFastLevel = 4;
constexpr int kZlibHighLevel = 8;

// Everything one encryption job keeps open while it runs.
struct WriteJob {
    platform::File image;
    platform::File table;
    std::u16string imagePath;
    std::u16string tablePath;
    std::u16string password;
    uint32_t counter = 0;  // entries written to the table file
    int32_t level = 0;
    bool failureShown = false;  // a source-file-failed message is already on screen
    PieceCompressor compressor;
};

bool EncryptStopped() { return encryptCancel.load() != 0 || encryptFailed.load() != 0; }

// A path that does not fit an entry is refused rather than stored under a cut name.
bool RefuseLongPath(WriteJob& job, const std::u16string& path) {
    if (path.size() <= kStoredPathMax) return false;
    CoreMessageArgs args;
    args.path = path;
    ShowCoreMessage(CoreMessage::SourceFileFailed, args);
    job.failureShown = true;
    return true;
}

// The image (or its table file) met inside a source tree would grow while it is read.
bool IsJobFile(const WriteJob& job, const std::u16string& path) {
    return EqualsIgnoreCase(path, job.imagePath) || EqualsIgnoreCase(path, job.tablePath);
}

// Creates one of the two files, asking before it replaces an existing one.
bool CreateReplacing(const std::u16string& path, platform::File& file) {
    const uint32_t attributes = platform::GetAttributes(path);
    if (attributes != platform::kInvalidAttributes) {
        if ((attributes & platform::kAttrDirectory) != 0) return false;
        if (AskOverwrite(path) != OverwriteAnswer::Yes) return false;
    }
    return file.Open(path, platform::Access::ReadWrite, platform::Share::ReadWrite,
                     platform::Disposition::CreateAlways, platform::kAttrNormal);
}

int32_t CreateImageFiles(WriteJob& job) {
    if (!CreateReplacing(job.imagePath, job.image)) return 0;
    if (!CreateReplacing(job.tablePath, job.table)) {
        job.image.Close();
        return 0;
    }
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
        EncryptItem(job.password, record, sizeof record);
        if (!job.image.Write(record, sizeof record)) return 0;
    }
    return 1;
}

int32_t AppendEntry(WriteJob& job, ImageEntry& entry) {
    EncryptItem(job.password, &entry, sizeof entry);
    return job.table.Write(&entry, sizeof entry) ? 1 : 0;
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

// One piece of content into its stored form in g_storedPiece; false on a zlib failure.
bool PackPiece(WriteJob& job, uint32_t plainSize, ChunkHeader& header) {
    header = ChunkHeader{};
    header.plainSize = plainSize;
    if (job.level == 1 || job.level == 2) {
        uint32_t storedSize = 0;
        if (!job.compressor.Compress(g_plainPiece, plainSize, g_storedPiece, kChunkStoredMax,
                                     storedSize)) {
            return false;
        }
        header.method = static_cast<uint32_t>(job.level);
        header.storedSize = storedSize;
    } else {
        std::memcpy(g_storedPiece, g_plainPiece, plainSize);
        header.method = 0;
        header.storedSize = plainSize;
    }
    return true;
}

// The file's content as consecutive chunks at the image's current end.
bool WriteChunks(WriteJob& job, platform::File& source) {
    uint32_t n = 0;
    if (!source.Read(g_plainPiece, kPiecePlainMax, n)) return false;
    while (n > 0) {
        if (EncryptStopped()) return false;
        ChunkHeader header;
        if (!PackPiece(job, n, header)) return false;
        EncryptItem(job.password, g_storedPiece, header.storedSize);
        if (!job.image.Write(&header, sizeof header)) return false;
        if (!job.image.Write(g_storedPiece, header.storedSize)) return false;
        AddProgressBytes(n);
        if (!source.Read(g_plainPiece, kPiecePlainMax, n)) return false;
    }
    return true;
}

int32_t EncryptFile(WriteJob& job, const std::u16string& path) {
    ReportFileStarted(path);
    SetProgressFile(path);
    if (EncryptStopped() || RefuseLongPath(job, path)) return 0;
    platform::File source;
    if (!source.Open(path, platform::Access::Read, platform::Share::ReadWrite,
                     platform::Disposition::OpenExisting)) {
        return 0;
    }
    uint64_t dataOffset = 0;
    if (!job.image.SeekToEnd() || !job.image.Tell(dataOffset)) return 0;
    if (!WriteChunks(job, source)) return 0;
    source.Close();
    platform::FindData found;
    if (!platform::FindExact(path, found)) return 0;
    ++job.counter;
    ImageEntry entry = EntryFromSearch(path, found);
    entry.sequence = job.counter;
    entry.dataOffset = dataOffset;
    return AppendEntry(job, entry);
}

int32_t EncryptDirectory(WriteJob& job, const std::u16string& path) {
    if (EncryptStopped() || RefuseLongPath(job, path)) return 0;
    if (!platform::IsDirectory(path) || !WriteDirectoryEntry(job, path)) return 0;
    platform::DirectorySearch search;
    if (!search.Start(path)) return 0;
    platform::FindData child;
    while (search.Next(child)) {
        const std::u16string childPath = path + u"\\" + child.name;
        if (IsJobFile(job, childPath)) continue;
        int32_t done = 0;
        if (child.IsDirectory() && child.IsLink()) {
            // A linked directory is kept as an empty directory: following it could loop.
            done = RefuseLongPath(job, childPath) ? 0 : WriteDirectoryEntry(job, childPath);
        } else if (child.IsDirectory()) {
            done = EncryptDirectory(job, childPath);
        } else {
            done = EncryptFile(job, childPath);
        }
        if (!done) return 0;
    }
    return 1;
}

int32_t FinalizeImage(WriteJob& job, uint32_t fileCount) {
    if (!job.table.Seek(0)) return 0;
    uint64_t tableOffset = 0;
    if (!job.image.Size(tableOffset)) return 0;
    if (!SetImageTableOffset(job.image, job.password, tableOffset)) return 0;
    TableHeader header{};
    header.entryCount = job.counter;
    header.fileCount = fileCount;
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

bool RemoveJobFile(const std::u16string& path) {
    platform::SetAttributes(path, platform::kAttrNormal);
    return platform::RemoveFile(path);
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
            if (encryptCancel.load() == 0 && !job.failureShown) {
                CoreMessageArgs args;
                args.path = source;
                ShowCoreMessage(CoreMessage::SourceFileFailed, args);
            }
            encryptFailed = 1;
        }
    }
    return !EncryptStopped();
}

}  // namespace

int32_t EncryptToImage(const CEncryptInfo& info) {
    encryptCancel = 0;
    encryptFailed = 0;
    ResetJobProgress();
    CFileStatisticInfo statistics;
    statistics.Collect(info.m_sources);
    g_jobProgress.bytesTotal = statistics.m_totalBytes;
    g_jobProgress.filesTotal = static_cast<uint32_t>(statistics.m_fileCount);
    g_jobProgress.bytesDone = 0;
    if (info.m_sources.empty()) return 0;

    WriteJob job;
    job.imagePath = info.m_imagePath;
    job.tablePath = WriterTableName(info.m_imagePath);
    job.password = info.m_password;
    job.level = info.m_compressLevel;
    // A state that cannot be set up fails the first file, as a failing compress2 would.
    if (job.level == 1 || job.level == 2) {
        job.compressor.Start(job.level == 1 ? kZlibFastLevel : kZlibHighLevel);
    }
    if (!CreateImageFiles(job)) {
        ShowCoreMessage(CoreMessage::ImageCreateFailed);
        return 0;
    }
    if (!WriteNewImageHeader(job.image, job.password, info.m_compressLevel, info.m_options)) {
        return 0;
    }
    WriteSourceList(job, info.m_sources);
    WriteAncestorEntries(job, info.m_sources);

    if (!EncryptSources(job, info.m_sources)) {
        job.table.Close();
        job.image.Close();
        RemoveJobFile(job.tablePath);
        RemoveJobFile(job.imagePath);
        return 0;
    }
    const bool finished = FinalizeImage(job, static_cast<uint32_t>(statistics.m_fileCount)) != 0;
    const bool tableClosed = job.table.Close();
    const bool imageClosed = job.image.Close();
    const bool tableDeleted = RemoveJobFile(job.tablePath);
    return finished && tableClosed && imageClosed && tableDeleted ? 1 : 0;
}
