#include "core/ImageReader.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "core/Cipher.h"
#include "core/FrontEnd.h"
#include "core/ImageFormat.h"
#include "core/Journal.h"
#include "core/PieceInflater.h"
#include "core/PiecePipeline.h"
#include "core/TableFiles.h"
#include "core/TargetPath.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Secret.h"
#include "platform/Process.h"

namespace {

constexpr uint32_t kAttrTemporary = 0x100;
constexpr uint32_t kAttrNotContentIndexed = 0x2000;
// Attribute bits a restored file or folder may receive from an (untrusted) entry.
constexpr uint32_t kRestorableAttributes =
    platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem |
    platform::kAttrArchive | platform::kAttrNormal | kAttrTemporary | kAttrNotContentIndexed;
constexpr size_t kTempFormLimit = 254;
// Names tried for one private file before giving up: others may hold the first ones.

// Numbers the job files of this process, so that two jobs of one process never share one.
std::atomic<uint32_t> g_jobFileSequence{0};
RestorePieceHook g_pieceHook;

uint32_t NextJobFileSequence() { return g_jobFileSequence.fetch_add(1); }

bool DecryptStopped() { return decryptCancel.load() != 0 || decryptStop.load() != 0; }

// Shows why the job fails; 0 for the caller to return.
int32_t Refuse(CoreMessage role, const std::u16string& path = {}) {
    CoreMessageArgs args;
    args.path = path;
    ShowCoreMessage(role, args);
    return 0;
}

// The same for a step that reports false.
bool RefuseStep(CoreMessage role, const std::u16string& path = {}) {
    return Refuse(role, path) != 0;
}

std::u16string PasswordOf(const DecryptParams& params) {
    return FieldText(params.password, kPasswordChars);
}

bool IsValidVersion(int32_t version) {
    return version == kImageVersion || version == kImageVersion512 || version == kImageVersion100;
}

uint32_t RestorableAttributes(uint32_t stored) {
    const uint32_t attributes = stored & kRestorableAttributes;
    return attributes == 0 ? platform::kAttrNormal : attributes;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
    return b > std::numeric_limits<uint64_t>::max() - a ? std::numeric_limits<uint64_t>::max()
                                                         : a + b;
}

bool ReadEntry(platform::File& file, const std::u16string& password, ImageEntry& entry) {
    return file.ReadExactly(&entry, sizeof entry) && DecryptItem(password, &entry, sizeof entry);
}

bool ReadEntry(platform::File& file, BufferCipher& cipher, ImageEntry& entry) {
    auto* bytes = reinterpret_cast<uint8_t*>(&entry);
    return file.ReadExactly(&entry, sizeof entry) && cipher.Decrypt(bytes, bytes, sizeof entry);
}

bool IsDirectoryEntry(const ImageEntry& entry) {
    return (entry.attributes & platform::kAttrDirectory) != 0;
}

// One thread's tools for turning stored pieces into plain ones.
struct ReadLane {
    BufferCipher cipher;
    PieceInflater inflater;
};

// Everything one decryption job keeps while it runs.
struct ReadJob : PieceWork {
    DecryptParams params;
    std::u16string imagePath;
    std::u16string password;
    std::u16string tableCopyPath;
    platform::File image;
    platform::File table;
    bool copyCreated = false;  // the table copy is this job's to delete
    // Folders this job created; their attributes and times wait for their contents.
    struct Folder {
        std::u16string path;
        uint32_t attributes;
        platform::FileTimes times;
    };
    std::vector<Folder> folders;
    std::vector<std::unique_ptr<ReadLane>> lanes;  // lane 0 is the job's thread
    PiecePipeline pipeline{*this};  // after the lanes: its threads end before they go

    ~ReadJob() override {
        platform::WipeSecret(password);
        platform::WipeSecret(params.password, sizeof params.password);
    }

    bool OldImage() const { return params.imageVersion == kImageVersion100; }
    // A chunk whose payload zlib restores rather than the cipher alone.
    bool Inflates(const ChunkHeader& header) const {
        return !OldImage() && (header.method == 1 || header.method == 2);
    }
    // Pieces that AES alone restores outrun handing them to another thread. The level only
    // decides where the work runs: a chunk is inflated by its own method either way.
    bool WorthWorkers(const ImageEntry& entry) const {
        return entry.size > kPiecePlainMax && !OldImage() && params.compressLevel != 0;
    }
    bool PrepareLane(size_t lane) override;
    bool Work(size_t lane, PieceSlot& slot) override;
};

bool ReadJob::PrepareLane(size_t lane) {
    if (lanes.size() <= lane) lanes.resize(lane + 1);
    lanes[lane] = std::make_unique<ReadLane>();
    return lanes[lane]->cipher.SetItemKey(password) != 0 && lanes[lane]->inflater.Start();
}

// The stored payload decrypted and, when compressed, inflated; false when either fails.
bool ReadJob::Work(size_t lane, PieceSlot& slot) {
    const ChunkHeader& header = slot.header;
    if (!lanes[lane]->cipher.Decrypt(slot.stored, slot.stored, header.storedSize)) return false;
    if (!Inflates(header)) {
        slot.restored = header.storedSize;
        return true;
    }
    return lanes[lane]->inflater.Inflate(slot.stored, header.storedSize, slot.plain,
                                         kPiecePlainMax, slot.restored);
}

// Table copies whose job's process has ended: a crashed restore leaves its copy behind.
// Copies of a live process stay, this process's own included.
void RemoveStaleTableCopies(const std::u16string& tempFolder) {
    const std::u16string folder = WithoutTrailingBackslashes(tempFolder);
    std::vector<std::u16string> stale;
    platform::DirectorySearch search;
    if (!search.Start(folder)) return;
    platform::FindData found;
    while (search.Next(found)) {
        uint32_t owner = 0;
        if (found.IsDirectory() || found.IsLink() || !ReaderTableOwner(found.name, owner)) continue;
        if (owner == platform::CurrentProcessId() || platform::IsProcessAlive(owner)) continue;
        stale.push_back(folder + u"\\" + found.name);
    }
    search.Close();
    for (const auto& path : stale) RemoveJobFile(path);
}

// The copy is the job's own: a new name, never an existing file, so nothing is asked.
bool CreateTableCopy(ReadJob& job, platform::File& copy) {
    const std::u16string temp = ExistingTempFolder();
    if (temp.empty()) return RefuseStep(CoreMessage::NoTempFolder);
    RemoveStaleTableCopies(temp);
    const auto nameAt = [&](uint32_t) {
        return ReaderTableName(temp, platform::CurrentProcessId(), NextJobFileSequence());
    };
    if (!CreateFreshFile(nameAt, platform::Share::ReadWrite, copy, job.tableCopyPath)) {
        return RefuseStep(CoreMessage::TableCopyFailed, job.tableCopyPath);
    }
    job.copyCreated = true;
    return true;
}

// Copies the image from its table header to the end into the job's table copy.
int32_t ExtractTable(ReadJob& job) {
    platform::File image;
    if (!image.Open(job.imagePath, platform::Access::Read, platform::Share::ReadWrite,
                    platform::Disposition::OpenExisting)) {
        return Refuse(CoreMessage::ImageOpenFailed, job.imagePath);
    }
    uint8_t header[kHeaderSize] = {};
    const int32_t version = ReadImageHeader(image, job.password, header);
    // The header was read before the job; one that no longer reads was cut or replaced.
    if (!IsValidVersion(version)) return Refuse(CoreMessage::ImageDamaged, job.imagePath);
    platform::File copy;
    if (!CreateTableCopy(job, copy)) return 0;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kTableCopyUnit]);
    if (!buffer) return Refuse(CoreMessage::OutOfMemory);
    if (!image.Seek(HeaderTableOffset(header, version))) {
        return Refuse(CoreMessage::ImageDamaged, job.imagePath);
    }
    for (;;) {
        uint32_t n = 0;
        if (!image.Read(buffer.get(), kTableCopyUnit, n)) {
            return Refuse(CoreMessage::ImageDamaged, job.imagePath);
        }
        if (n == 0) break;
        if (!copy.Write(buffer.get(), n)) {
            return Refuse(CoreMessage::TableCopyFailed, job.tableCopyPath);
        }
    }
    return copy.Close() ? 1 : Refuse(CoreMessage::TableCopyFailed, job.tableCopyPath);
}

int32_t OpenImagePair(ReadJob& job) {
    if (!job.image.Open(job.imagePath, platform::Access::ReadWrite, platform::Share::ReadWrite,
                        platform::Disposition::OpenExisting)) {
        return Refuse(CoreMessage::ImageOpenFailed, job.imagePath);
    }
    if (!job.table.Open(job.tableCopyPath, platform::Access::Read, platform::Share::ReadWrite,
                        platform::Disposition::OpenExisting)) {
        job.image.Close();
        return Refuse(CoreMessage::TableCopyFailed, job.tableCopyPath);
    }
    return 1;
}

int32_t IsSelected(const DecryptParams& params, const std::u16string& storedPath) {
    if (params.selectOnly == 0) return 1;
    std::u16string selected = FieldText(params.selectedPath, kPathChars);
    std::u16string entry = storedPath;
    if (selected.empty() || selected.back() != u'\\') selected += u'\\';
    if (entry.empty() || entry.back() != u'\\') entry += u'\\';
    const std::u16string_view head = std::u16string_view(entry).substr(0, selected.size());
    if (head == selected) return 1;
    // Restoring in place recreates the selected item's ancestor folders too.
    if (params.restoreMode == 0 && std::u16string_view(selected).substr(0, head.size()) == head) {
        return 1;
    }
    return 0;
}

std::u16string FlattenedFolder(std::u16string folder) {
    std::replace_if(
        folder.begin(), folder.end(), [](char16_t c) { return c == u'\\' || c == u':'; }, u'#');
    return folder;
}

// Mode 3 into the temporary folder keeps same-named items of different folders apart.
std::u16string TempFolderTarget(const std::u16string& target, const std::u16string& selected,
                                const std::u16string& stored, const std::u16string& tail) {
    const std::u16string temp =
        WithoutTrailingBackslashes(platform::LongPath(platform::TempFolder()));
    if (temp != platform::LongPath(target)) return target + u"\\" + tail;
    const std::u16string parent = selected.substr(0, selected.rfind(u'\\') + 1);
    if (target.size() + stored.size() + parent.size() >= kTempFormLimit) {
        return target + u"\\" + tail;
    }
    return target + u"\\" + FlattenedFolder(parent) + tail;
}

// Computes where the entry goes; 0 when the mode and selection give no place, and then
// mapped is the stored path.
int32_t MapTargetPath(const DecryptParams& params, const std::u16string& stored,
                      std::u16string& mapped) {
    mapped = stored;
    const std::u16string target =
        WithoutTrailingBackslashes(FieldText(params.targetDir, kPathChars));
    const std::u16string selected =
        WithoutTrailingBackslashes(FieldText(params.selectedPath, kPathChars));
    const size_t lastSlash = selected.rfind(u'\\');
    const size_t tailStart = lastSlash == std::u16string::npos ? 0 : lastSlash + 1;
    const std::u16string rest = stored.size() > 3 ? stored.substr(3) : u"";
    const std::u16string tail = tailStart < stored.size() ? stored.substr(tailStart) : u"";
    const std::u16string byRest = target + u"\\" + rest;
    const std::u16string byDisk =
        target + u"\\Disk" + stored.substr(0, std::min<size_t>(stored.size(), 1)) + u"\\" + rest;
    const int32_t mode = params.restoreMode;
    if (mode == 0) return 1;
    if (mode < 0 || mode > 3) return 0;
    if (params.selectOnly == 0) {
        if (mode == 2) return 0;
        mapped = mode == 1 ? byRest : byDisk;
        return 1;
    }
    if (params.selectOnly != 1) return 0;
    if (selected.size() < 2) {
        if (mode == 1) mapped = target + u"\\" + tail;
        return 1;
    }
    if (selected.size() == 2) {
        mapped = mode == 1 ? byRest : byDisk;
        return 1;
    }
    mapped = mode == 3 ? TempFolderTarget(target, selected, stored, tail) : target + u"\\" + tail;
    return 1;
}

// Creates every missing folder above path, outermost first.
int32_t CreateParentDirectories(const std::u16string& path) {
    const size_t slash = path.rfind(u'\\');
    std::u16string current = slash == std::u16string::npos ? u"" : path.substr(0, slash);
    if (current.size() > kPathChars - 1) current.resize(kPathChars - 1);
    if (current.size() <= 1) return 0;
    if (platform::IsDirectory(current)) return 1;
    std::vector<std::u16string> missing;
    while (current.size() > 2 && !platform::IsDirectory(current)) {
        missing.push_back(current);
        const size_t up = current.rfind(u'\\');
        if (up == std::u16string::npos) break;
        current.resize(up);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!platform::MakeDirectory(*it)) return 0;
    }
    return 1;
}

int32_t RestoreDirectory(ReadJob& job, const ImageEntry& entry, const std::u16string& path) {
    if (DecryptStopped()) return 0;
    if (!CreateParentDirectories(path)) return Refuse(CoreMessage::TargetCreateFailed, path);
    if (platform::Exists(path)) return 1;
    if (!platform::MakeDirectory(path)) return Refuse(CoreMessage::TargetCreateFailed, path);
    job.folders.push_back({path, RestorableAttributes(entry.attributes),
                           {entry.creationTime, entry.accessTime, entry.writeTime}});
    return 1;
}

// After the contents, so that a read-only folder does not refuse them and adding them
// does not move the folder's times.
void FinishFolders(ReadJob& job) {
    for (auto it = job.folders.rbegin(); it != job.folders.rend(); ++it) {
        platform::File directory;
        if (directory.OpenDirectory(it->path)) directory.SetTimes(it->times);
        directory.Close();
        platform::SetAttributes(it->path, it->attributes);
    }
    job.folders.clear();
}

enum class ChunkOutcome { Written, Damaged, WriteFailed, Stopped };

// The file's chunks from its data offset into target: read from the image and written in
// order, decrypted and inflated on the job's workers when they are worth it.
ChunkOutcome RestoreChunks(ReadJob& job, const ImageEntry& entry, const std::u16string& path,
                           platform::File& target) {
    if (!job.image.Seek(entry.dataOffset)) return ChunkOutcome::Damaged;
    uint64_t unread = entry.size;
    uint32_t written = 0;
    ChunkOutcome emitFailure = ChunkOutcome::Written;
    PieceSteps steps;
    steps.stopped = DecryptStopped;
    steps.read = [&](PieceSlot& slot) {
        if (unread == 0) return PieceRead::End;
        ChunkHeader& header = slot.header;
        if (!job.image.ReadExactly(&header, sizeof header)) return PieceRead::Failed;
        if (job.OldImage()) header.plainSize = header.storedSize;
        if (header.plainSize > kPiecePlainMax || header.storedSize > kChunkStoredMax ||
            header.plainSize > unread || !job.image.ReadExactly(slot.stored, header.storedSize)) {
            return PieceRead::Failed;
        }
        unread -= header.plainSize;
        return PieceRead::Piece;
    };
    steps.emit = [&](PieceSlot& slot) {
        // A chunk that restores other than it promised would shift or overrun the file.
        const uint32_t plainSize = slot.header.plainSize;
        if (!slot.worked || slot.restored != plainSize) {
            emitFailure = ChunkOutcome::Damaged;
            return false;
        }
        if (!target.Write(job.Inflates(slot.header) ? slot.plain : slot.stored, plainSize)) {
            emitFailure = ChunkOutcome::WriteFailed;
            return false;
        }
        AddProgressBytes(plainSize);
        if (g_pieceHook) g_pieceHook(path, ++written);
        return true;
    };
    switch (job.pipeline.RunFile(job.WorthWorkers(entry), steps)) {
        case PieceRun::Done:
            break;
        case PieceRun::ReadFailed:
            return ChunkOutcome::Damaged;
        case PieceRun::EmitFailed:
            return emitFailure;
        case PieceRun::Stopped:
            return ChunkOutcome::Stopped;
    }
    return DecryptStopped() ? ChunkOutcome::Stopped : ChunkOutcome::Written;
}

// Opens a new file beside target under a name of this job. When that name would be too
// long for the folder, a file that does not exist yet is written in place instead.
bool CreateStaging(const std::u16string& target, bool replacing, platform::File& out,
                   std::u16string& staging) {
    const auto nameAt = [&](uint32_t) {
        std::u16string name =
            StagingName(target, platform::CurrentProcessId(), NextJobFileSequence());
        return name.size() > kPathChars - 1 ? std::u16string() : name;  // "" ends the search
    };
    if (CreateFreshFile(nameAt, platform::Share::None, out, staging)) return true;
    if (!staging.empty()) return RefuseStep(CoreMessage::TargetCreateFailed, target);
    if (replacing) return RefuseStep(CoreMessage::EntryTooLong, target);
    staging = target;
    return out.Open(target, platform::Access::ReadWrite, platform::Share::None,
                    platform::Disposition::CreateNew, platform::kAttrNormal) ||
           RefuseStep(CoreMessage::TargetCreateFailed, target);
}

// The file is written under a staging name and takes the target's name only when it is
// complete, so a replaced file stays whole until then and a failed or killed job never
// leaves part of a file under the target's name.
int32_t RestoreFile(ReadJob& job, const ImageEntry& entry, const std::u16string& path,
                    bool replacing) {
    if (DecryptStopped()) return 0;
    ReportFileStarted(path);
    SetProgressFile(path);
    platform::File target;
    std::u16string staging;
    if (!CreateStaging(path, replacing, target, staging)) return 0;
    ChunkOutcome outcome = RestoreChunks(job, entry, path, target);
    platform::FileTimes times;
    bool timesRead = false;
    if (outcome == ChunkOutcome::Written) {
        target.SetTimes({entry.creationTime, entry.accessTime, entry.writeTime});
        timesRead = target.GetTimes(times);
    }
    if (!target.Close() && outcome == ChunkOutcome::Written) outcome = ChunkOutcome::WriteFailed;
    if (outcome == ChunkOutcome::Written && DecryptStopped()) outcome = ChunkOutcome::Stopped;
    if (outcome == ChunkOutcome::Written && staging != path &&
        !platform::RenameReplacing(staging, path)) {
        outcome = ChunkOutcome::WriteFailed;
    }
    if (outcome != ChunkOutcome::Written) {
        RemoveJobFile(staging);
        if (outcome == ChunkOutcome::Damaged) return Refuse(CoreMessage::EntryDataDamaged, path);
        if (outcome == ChunkOutcome::WriteFailed) return Refuse(CoreMessage::TargetWriteFailed, path);
        return 0;
    }
    platform::SetAttributes(path, RestorableAttributes(entry.attributes));
    if (timesRead) AppendJournalRecord(path, times.write);
    CountProgressFileDone();
    return 1;
}

int32_t RestoreEntry(ReadJob& job, const ImageEntry& entry, const std::u16string& path,
                     bool& stop) {
    if (DecryptStopped()) return 0;
    if (IsDirectoryEntry(entry)) return RestoreDirectory(job, entry, path);
    const uint32_t attributes = platform::GetAttributes(path);
    if (attributes == platform::kInvalidAttributes) {
        if (!CreateParentDirectories(path)) return Refuse(CoreMessage::TargetCreateFailed, path);
        return RestoreFile(job, entry, path, false);
    }
    // Never opened: a FIFO would block and a device would take the content.
    if ((attributes & (platform::kAttrDirectory | platform::kAttrDevice)) != 0) {
        return Refuse(CoreMessage::TargetNotAFile, path);
    }
    switch (AskOverwrite(path)) {
        case OverwriteAnswer::Yes:
            return RestoreFile(job, entry, path, true);
        case OverwriteAnswer::No:
            return 1;
        case OverwriteAnswer::Cancel:
            stop = true;
            return 0;
    }
    return 0;
}

int32_t RefuseTarget(TargetProblem problem, const std::u16string& stored,
                     const std::u16string& target) {
    switch (problem) {
        case TargetProblem::DeviceName:
            return Refuse(CoreMessage::EntryDeviceName, stored);
        case TargetProblem::TooLong:
            return Refuse(CoreMessage::EntryTooLong, stored);
        case TargetProblem::ThroughLink:
            return Refuse(CoreMessage::EntryThroughLink, target);
        case TargetProblem::UnsafePath:
        case TargetProblem::None:
            break;
    }
    return Refuse(CoreMessage::EntryUnsafePath, stored);
}

// Maps one selected entry and restores it if its target is safe. An unsafe target counts
// as an entry that cannot be restored: like any such entry it ends the job (0).
int32_t MapAndRestore(ReadJob& job, ImageEntry& entry, bool& stop) {
    const std::u16string stored = FieldText(entry.path, kPathChars);
    std::u16string target;
    MapTargetPath(job.params, stored, target);
    std::u16string folder;
    if (job.params.restoreMode != 0) {
        folder = WithoutTrailingBackslashes(FieldText(job.params.targetDir, kPathChars));
        if (folder.empty()) return Refuse(CoreMessage::EntryUnsafePath, stored);
    }
    const TargetProblem problem = FindTargetProblem(stored, target, folder);
    if (problem != TargetProblem::None) return RefuseTarget(problem, stored, target);
    CopyToField(entry.path, kPathChars, target);
    return RestoreEntry(job, entry, target, stop);
}

int32_t PrepareTotals(ReadJob& job) {
    SetProgressTotals(0, 0);
    if (!ExtractTable(job) || !OpenImagePair(job)) return 0;
    TableHeader header;
    if (!job.table.ReadExactly(&header, sizeof header)) {
        return Refuse(CoreMessage::ImageDamaged, job.imagePath);
    }
    uint32_t files = 0;
    uint64_t bytes = 0;
    ImageEntry entry;
    BufferCipher& cipher = job.lanes[0]->cipher;
    for (uint32_t i = 0; i < header.entryCount && ReadEntry(job.table, cipher, entry); ++i) {
        if (IsDirectoryEntry(entry) || !IsSelected(job.params, FieldText(entry.path, kPathChars))) {
            continue;
        }
        ++files;
        bytes = SaturatingAdd(bytes, entry.size);
    }
    SetProgressTotals(files, bytes);
    job.table.Close();
    job.image.Close();
    return 1;
}

// Restores every selected entry; false when one failed, the table ended before its
// count, or the job was cancelled or stopped.
bool RestoreEntries(ReadJob& job, uint32_t entryCount) {
    for (uint32_t i = 0; i < entryCount; ++i) {
        if (DecryptStopped()) return false;
        ImageEntry entry;
        // The table ends before its count: the image was cut short.
        if (!ReadEntry(job.table, job.lanes[0]->cipher, entry)) {
            return RefuseStep(CoreMessage::ImageDamaged, job.imagePath);
        }
        if (!IsSelected(job.params, FieldText(entry.path, kPathChars))) continue;
        bool stop = false;
        const int32_t restored = MapAndRestore(job, entry, stop);
        if (stop) decryptStop = 1;
        if (!restored) return false;
    }
    return !DecryptStopped();
}

void CountDecryption(ReadJob& job) {
    ImageOptions options = job.params.options;
    if (job.params.imageVersion == kImageVersion100 || options.optionsEnabled == 0) return;
    if (options.decryptLimitEnabled != 0 &&
        options.decryptCount != std::numeric_limits<uint32_t>::max()) {
        ++options.decryptCount;
    }
    if (options.errorLimitEnabled != 0) options.errorCount = 0;
    UpdateImageOptions(job.image, job.password, options);
}

bool DateBefore(const platform::CalendarDate& a, const platform::CalendarDate& b) {
    if (a.year != b.year) return a.year < b.year;
    if (a.month != b.month) return a.month < b.month;
    return a.day < b.day;
}

bool IsExpired(int64_t expiryTime, platform::CalendarDate& expiry) {
    const int64_t now = platform::CurrentTime();
    platform::CalendarDate today;
    if (platform::LocalDate(expiryTime, expiry) && platform::LocalDate(now, today)) {
        return DateBefore(expiry, today);
    }
    // A date the calendar cannot show: compare the instants instead.
    return expiryTime < now;
}

// A wrong password on an image that counts them: one more in the header.
void CountWrongPassword(platform::File& image, const std::u16string& password,
                        uint8_t header[kHeaderSize]) {
    ImageOptions options = HeaderOptions(header);
    if (options.optionsEnabled == 0 || options.errorLimitEnabled == 0) return;
    if (options.errorCount != std::numeric_limits<uint32_t>::max()) ++options.errorCount;
    SetHeaderOptions(header, options);
    WriteImageHeader(image, password, header, true);
}

bool PasswordMatches(platform::File& image, const std::u16string& password, int32_t version,
                     uint8_t header[kHeaderSize]) {
    if (!IsValidVersion(version)) return false;
    if (VerifyPassword(HeaderVerifier(header, version), password)) return true;
    if (version == kImageVersion) CountWrongPassword(image, password, header);
    return false;
}

// The path of the first file entry, or empty when the table holds none; false when the
// table cannot be read.
bool FirstFileEntry(platform::File& image, const std::u16string& password, uint32_t entryCount,
                   std::u16string& firstFilePath) {
    ImageEntry entry;
    for (uint32_t i = 0; i < entryCount; ++i) {
        if (!ReadEntry(image, password, entry)) return false;
        if (IsDirectoryEntry(entry)) continue;
        firstFilePath = FieldText(entry.path, kPathChars);
        return true;
    }
    return true;
}

}  // namespace

int32_t CheckImageLimits(const ImageOptions& options) {
    if (options.optionsEnabled == 0) return 1;
    CoreMessageArgs args;
    if (options.errorLimitEnabled != 0 && options.errorCount >= options.maxErrorCount) {
        args.numbers[0] = static_cast<int32_t>(options.maxErrorCount);
        ShowCoreMessage(CoreMessage::ErrorLimitReached, args);
        return 0;
    }
    if (options.decryptLimitEnabled != 0 && options.decryptCount >= options.decryptLimit) {
        args.numbers[0] = static_cast<int32_t>(options.decryptLimit);
        ShowCoreMessage(CoreMessage::DecryptLimitReached, args);
        return 0;
    }
    platform::CalendarDate expiry;
    if (options.expiryEnabled != 0 && IsExpired(options.expiryTime, expiry)) {
        args.numbers[0] = expiry.year;
        args.numbers[1] = expiry.month;
        args.numbers[2] = expiry.day;
        ShowCoreMessage(CoreMessage::ImageExpired, args);
        return 0;
    }
    return 1;
}

int32_t ReadImageInfo(DecryptParams& params, uint32_t& fileCount, std::u16string& firstFilePath) {
    fileCount = 0;
    firstFilePath.clear();
    platform::File image;
    const std::u16string imagePath = FieldText(params.imagePath, kPathChars);
    if (!image.Open(imagePath, platform::Access::ReadWrite, platform::Share::ReadWrite,
                    platform::Disposition::OpenExisting)) {
        return Refuse(CoreMessage::ImageOpenFailed, imagePath);
    }
    const std::u16string password = PasswordOf(params);
    uint8_t header[kHeaderSize] = {};
    const int32_t version = ReadImageHeader(image, password, header);
    params.imageVersion = version;
    if (!CheckImageLimits(HeaderOptions(header))) return 0;
    // No header found: a file cut short of one, or one that is not an image (a version-512
    // header read with a wrong password cannot be told from that).
    if (version == 0) {
        uint64_t size = 0;
        const bool whole = image.Size(size) && size >= kHeaderSize;
        return Refuse(whole ? CoreMessage::NotAnImage : CoreMessage::ImageDamaged, imagePath);
    }
    if (!PasswordMatches(image, password, version, header)) {
        ShowCoreMessage(CoreMessage::WrongPassword);
        return 0;
    }
    if (!image.Seek(HeaderTableOffset(header, version))) {
        return Refuse(CoreMessage::ImageDamaged, imagePath);
    }
    if (version != kImageVersion100) params.options = HeaderOptions(header);
    params.compressLevel = static_cast<int32_t>(HeaderCompressLevel(header));
    TableHeader table;
    if (!image.ReadExactly(&table, sizeof table) ||
        !FirstFileEntry(image, password, table.entryCount, firstFilePath)) {
        firstFilePath.clear();
        return Refuse(CoreMessage::ImageDamaged, imagePath);
    }
    fileCount = table.fileCount;
    return 1;
}

// 1 only when every selected entry was restored or declined (an overwrite answered No);
// a failed entry, a cancel or a table shorter than its count gives 0, yet the decryption
// is still counted in the image once the entries were reached.
int32_t DecryptImage(DecryptParams params) {
    decryptCancel = 0;
    decryptStop = 0;
    ResetJobProgress();
    if (!IsValidVersion(params.imageVersion)) return 0;
    ReadJob job;
    job.params = params;
    job.imagePath = FieldText(params.imagePath, kPathChars);
    job.password = PasswordOf(params);
    // The folders are finished and the table copy goes whichever way the job ends.
    struct JobEnd {
        ReadJob& job;
        ~JobEnd() {
            FinishFolders(job);
            job.table.Close();
            job.image.Close();
            if (job.copyCreated) RemoveJobFile(job.tableCopyPath);
        }
    } end{job};
    if (!job.pipeline.Prepare()) return Refuse(CoreMessage::OutOfMemory);
    if (!PrepareTotals(job) || !OpenImagePair(job)) return 0;
    TableHeader header;
    if (!job.table.ReadExactly(&header, sizeof header)) {
        return Refuse(CoreMessage::ImageDamaged, job.imagePath);
    }
    const bool complete = RestoreEntries(job, header.entryCount);
    CountDecryption(job);
    return complete ? 1 : 0;
}

void SetRestorePieceHook(RestorePieceHook hook) { g_pieceHook = std::move(hook); }
