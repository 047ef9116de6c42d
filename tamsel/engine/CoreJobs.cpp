#include "tamsel/engine/CoreJobs.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <vector>

#include "core/ImageCatalog.h"
#include "core/ImageReader.h"
#include "core/ImageWriter.h"
#include "core/JobRecords.h"
#include "core/TableFiles.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

std::mutex g_jobLock;

namespace {

std::atomic<CoreFrontEnd*> g_engineFrontEnd{nullptr};
std::atomic<uint32_t> g_checkSequence{0};
constexpr uint32_t kCompareBlock = 1 << 16;

// Installs a front end for one job; the job lock is held, so no other job sees it.
class JobFrontEnd {
public:
    explicit JobFrontEnd(CoreFrontEnd* frontEnd) { SetCoreFrontEnd(frontEnd); }
    ~JobFrontEnd() { SetCoreFrontEnd(nullptr); }
    JobFrontEnd(const JobFrontEnd&) = delete;
    JobFrontEnd& operator=(const JobFrontEnd&) = delete;
};

// Passes everything on and notes whether the job was told not to replace a file.
class DeclineRecorder : public CoreFrontEnd {
public:
    explicit DeclineRecorder(CoreFrontEnd* target) : m_target(target) {}
    void ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) override {
        if (m_target) m_target->ShowCoreMessage(role, args);
    }
    OverwriteAnswer AskOverwrite(const std::u16string& path) override {
        const OverwriteAnswer answer = m_target ? m_target->AskOverwrite(path) : OverwriteAnswer::No;
        if (answer != OverwriteAnswer::Yes) m_declined = true;
        return answer;
    }
    bool Declined() const { return m_declined; }

private:
    CoreFrontEnd* m_target;
    bool m_declined = false;
};

struct FileStamp {
    uint64_t size = 0;
    uint64_t writeTime = 0;
    bool operator==(const FileStamp&) const = default;
};

bool StampOf(const platform::File& file, FileStamp& stamp) {
    platform::FileTimes times;
    if (!file.Size(stamp.size) || !file.GetTimes(times)) return false;
    stamp.writeTime = times.write;
    return true;
}

// The file's stamp through a handle that nobody else holds; false when it is open
// elsewhere or gone.
bool ProbeStamp(const std::u16string& path, FileStamp& stamp) {
    platform::File probe;
    return probe.Open(path, platform::Access::Read, platform::Share::None, platform::Disposition::OpenExisting) &&
           StampOf(probe, stamp);
}

std::u16string NameOf(const std::u16string& path) {
    const size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

void RemoveTree(const std::u16string& folder) {
    platform::DirectorySearch search;
    if (search.Start(folder)) {
        platform::FindData entry;
        while (search.Next(entry)) {
            const std::u16string path = folder + u"\\" + entry.name;
            if (entry.IsDirectory() && !entry.IsLink()) {
                RemoveTree(path);
            } else {
                platform::SetAttributes(path, platform::kAttrNormal);
                platform::RemoveFile(path);
            }
        }
    }
    search.Close();
    platform::RemoveEmptyDirectory(folder);
}

// A folder of the temporary folder that only this check writes into.
class CheckFolder {
public:
    CheckFolder() {
        const std::u16string temp = platform::TempFolder();
        if (temp.empty()) return;
        const std::u16string name = u"tamsel-check-" + Decimal(platform::CurrentProcessId()) + u"-" +
                                    Decimal(g_checkSequence.fetch_add(1));
        if (platform::MakeDirectory(temp + name)) m_path = temp + name;
    }
    ~CheckFolder() {
        if (!m_path.empty()) RemoveTree(m_path);
    }
    CheckFolder(const CheckFolder&) = delete;
    CheckFolder& operator=(const CheckFolder&) = delete;
    const std::u16string& Path() const { return m_path; }

private:
    static std::u16string Decimal(uint32_t n) {
        std::u16string text;
        do {
            text.insert(text.begin(), static_cast<char16_t>(u'0' + n % 10));
            n /= 10;
        } while (n != 0);
        return text;
    }
    std::u16string m_path;
};

DecryptParams RestoreParams(const std::u16string& image, const std::u16string& password,
                            const std::u16string& targetDir) {
    DecryptParams params{};
    CopyToField(params.imagePath, kPathChars, image);
    // The field holds a 60-character password whole, without a terminating zero; a
    // terminated copy would restore with the first 59 characters only.
    std::copy_n(password.begin(), std::min(password.size(), kPasswordChars), params.password);
    CopyToField(params.targetDir, kPathChars, targetDir);
    return params;
}

// Restores the image's one file into targetDir; restored is where it went.
bool RestoreSingleFile(const std::u16string& image, const std::u16string& password,
                       const std::u16string& targetDir, std::u16string& restored) {
    DecryptParams params = RestoreParams(image, password, targetDir);
    uint32_t files = 0;
    std::u16string first;
    if (!ReadImageInfo(params, files, first) || files != 1 || first.empty()) return false;
    params.selectOnly = 1;
    params.restoreMode = 1;
    CopyToField(params.selectedPath, kPathChars, first);
    restored = targetDir + u"\\" + NameOf(first);
    return DecryptImage(params) == 1;
}

bool SameContent(platform::File& a, platform::File& b) {
    std::vector<uint8_t> x(kCompareBlock), y(kCompareBlock);
    if (!a.Seek(0) || !b.Seek(0)) return false;
    for (;;) {
        uint32_t n = 0, m = 0;
        if (!a.Read(x.data(), kCompareBlock, n) || !b.Read(y.data(), kCompareBlock, m)) return false;
        // Regular files read in full blocks until their end.
        if (n != m || !std::equal(x.begin(), x.begin() + n, y.begin())) return false;
        if (n == 0) return true;
    }
}

// The image restores exactly what the source holds now, and the source is the file
// measured before the job; then the source is deleted through the handle that compared it.
bool DeleteIfImageHoldsIt(const EncryptRequest& request, const FileStamp& before) {
    CheckFolder check;
    std::u16string restoredPath;
    if (check.Path().empty() ||
        !RestoreSingleFile(request.image, request.password, check.Path(), restoredPath)) {
        return false;
    }
    platform::File restored, source;
    FileStamp now, copy;
    if (!restored.Open(restoredPath, platform::Access::Read, platform::Share::Read,
                       platform::Disposition::OpenExisting) ||
        !source.OpenForDeletion(request.source) || !StampOf(source, now) || !(now == before) ||
        !StampOf(restored, copy) || copy.size != now.size || !SameContent(source, restored)) {
        return false;
    }
    restored.Close();
    // Attributes are not data: Windows changes them through a handle that ignores sharing.
    platform::SetAttributes(request.source, platform::kAttrNormal);
    return source.DeleteAndClose(request.source);
}

CEncryptInfo EncryptInfoFor(const EncryptRequest& request) {
    CEncryptInfo info;
    info.m_sources = {request.source};
    info.m_imagePath = request.image;
    info.m_password = request.password;
    info.m_compressLevel = static_cast<int32_t>(request.compress);
    info.m_options.optionsEnabled = request.limitRetry ? 1 : 0;
    info.m_options.errorLimitEnabled = request.limitRetry ? 1 : 0;
    info.m_options.decryptLimitEnabled = 0;
    info.m_options.expiryEnabled = 0;
    info.m_options.maxErrorCount = request.retryLimit;
    return info;
}

bool IsFolderEntry(const platform::FindData& entry) { return entry.IsDirectory() && !entry.IsLink(); }

// Calls onFile(folder, path) for every file in the tree below folder, without following
// links. False when a folder could not be listed or onFile failed; the walk goes on anyway.
bool ForEachFileInTree(const std::u16string& folder,
                       const std::function<bool(const std::u16string&, const std::u16string&)>& onFile) {
    platform::DirectorySearch search;
    if (!search.Start(folder)) return false;
    bool result = true;
    platform::FindData entry;
    while (search.Next(entry)) {
        const std::u16string path = folder + u"\\" + entry.name;
        const bool done = IsFolderEntry(entry) ? ForEachFileInTree(path, onFile) : onFile(folder, path);
        if (!done) result = false;
    }
    return result;
}

}  // namespace

void SetEngineFrontEnd(CoreFrontEnd* frontEnd) { g_engineFrontEnd = frontEnd; }

CoreFrontEnd* EngineFrontEnd() { return g_engineFrontEnd; }

bool HasExtension(std::u16string_view path, std::u16string_view extension) {
    return path.size() >= extension.size() &&
           EqualsIgnoreCase(path.substr(path.size() - extension.size()), extension);
}

EncryptOutcome EncryptAndReplace(const EncryptRequest& request, CoreFrontEnd* frontEnd) {
    // Not even probed: the probe locks everyone else out of the file for a moment.
    if (request.stillWanted && !request.stillWanted()) return EncryptOutcome::Busy;
    const uint32_t attributes = platform::GetAttributes(request.source);
    if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory) != 0 ||
        request.password.size() > kPasswordChars) {
        return EncryptOutcome::Failed;
    }
    FileStamp before;
    // Another program has the file open (an editor saving, a copy still arriving).
    if (!ProbeStamp(request.source, before)) return EncryptOutcome::Busy;
    std::lock_guard job(g_jobLock);
    if (request.stillWanted && !request.stillWanted()) return EncryptOutcome::Busy;
    // Another job may have encrypted and deleted the file while this one waited for the
    // lock: its image must not be thrown away for a file that is gone or has changed.
    FileStamp now;
    if (!ProbeStamp(request.source, now) || !(now == before)) return EncryptOutcome::Busy;
    JobFrontEnd installed(frontEnd);
    platform::SetAttributes(request.image, platform::kAttrNormal);
    platform::RemoveFile(request.image);
    if (!EncryptToImage(EncryptInfoFor(request))) return EncryptOutcome::Failed;
    if (!request.deleteSource) return EncryptOutcome::Encrypted;
    return DeleteIfImageHoldsIt(request, before) ? EncryptOutcome::Encrypted : EncryptOutcome::Kept;
}

int32_t EncryptSingleFile(const std::u16string& source, const std::u16string& image,
                          const std::u16string& password, int32_t deleteSource, uint32_t compress,
                          int32_t limitRetry, uint32_t retryLimit) {
    const EncryptRequest request{source, image, password, deleteSource != 0, compress, limitRetry != 0,
                                 retryLimit, {}};
    return EncryptAndReplace(request, EngineFrontEnd()) == EncryptOutcome::Encrypted ? 1 : 0;
}

int32_t EncryptFolder(const std::u16string& folder, const std::u16string& password, int32_t deleteSource,
                      uint32_t compress, int32_t limitRetry, uint32_t retryLimit) {
    if (!platform::IsDirectory(folder)) return 0;
    return ForEachFileInTree(folder, [&](const std::u16string&, const std::u16string& path) {
        return HasExtension(path, u".chy") ||
               EncryptSingleFile(path, path + u".chy", password, deleteSource, compress, limitRetry,
                                 retryLimit) != 0;
    }) ? 1 : 0;
}

namespace {

// The restore reported success: the file must be there, whole, as the image gave it, and
// no overwrite may have been declined (then the file there is the old one).
bool RestoreReallySucceeded(const DeclineRecorder& recorder, const std::u16string& target,
                            const CatalogEntry& entry) {
    platform::FindData found;
    return !recorder.Declined() && platform::FindExact(target, found) && !found.IsDirectory() &&
           !found.IsLink() && found.size == entry.size && found.times.write == entry.writeTime;
}

void DecryptImageInPlace(const std::u16string& folder, const std::u16string& image,
                         const std::u16string& password, bool deleteImage) {
    std::lock_guard job(g_jobLock);
    DeclineRecorder recorder(EngineFrontEnd());
    JobFrontEnd installed(&recorder);
    std::vector<CatalogEntry> entries;
    std::u16string target;
    if (!RestoreSingleFile(image, password, folder, target) || !deleteImage ||
        !ReadImageCatalog(image, password, entries)) {
        return;
    }
    for (const CatalogEntry& entry : entries) {
        if (entry.IsDirectory() || NameOf(entry.path) != NameOf(target)) continue;
        if (RestoreReallySucceeded(recorder, target, entry)) {
            platform::SetAttributes(image, platform::kAttrNormal);
            platform::RemoveFile(image);
        }
        return;
    }
}

}  // namespace

int32_t DecryptFolder(const std::u16string& folder, const std::u16string& password, int32_t deleteImages) {
    return ForEachFileInTree(folder, [&](const std::u16string& parent, const std::u16string& path) {
        if (HasExtension(path, u".chy")) DecryptImageInPlace(parent, path, password, deleteImages != 0);
        return true;
    }) ? 1 : 0;
}
