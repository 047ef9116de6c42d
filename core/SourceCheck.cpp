#include "core/SourceCheck.h"

#include <algorithm>

#include "core/JobRecords.h"
#include "core/TableFiles.h"
#include "core/TargetPath.h"

namespace {

constexpr size_t kStoredPathMax = kPathChars - 1;  // longest path an entry can hold

}  // namespace

void SourceCheck::AddJobFile(const std::u16string& path) {
    platform::FileIdentity identity;
    platform::FileKind kind;
    if (platform::GetFileIdentity(path, identity, kind) && !IsJobFile(identity)) {
        m_jobFiles.push_back(identity);
    }
}

bool SourceCheck::IsJobFile(const platform::FileIdentity& identity) const {
    return std::find(m_jobFiles.begin(), m_jobFiles.end(), identity) != m_jobFiles.end();
}

SourceVerdict SourceCheck::Source(const std::u16string& path) const {
    if (platform::GetAttributes(path) == platform::kInvalidAttributes) return SourceVerdict::Skip;
    if (path.size() > kStoredPathMax) return SourceVerdict::Refuse;
    // A drive root or a folder given with a trailing backslash is left to fail where its
    // own entry cannot be looked up, as it always did.
    const std::u16string trimmed = WithoutTrailingBackslashes(path);
    if (trimmed.size() > 2 && !IsPlainFullPath(trimmed)) return SourceVerdict::Refuse;
    platform::FileIdentity identity;
    platform::FileKind kind;
    if (!platform::GetFileIdentity(path, identity, kind)) return SourceVerdict::Refuse;
    if (kind == platform::FileKind::Directory) return SourceVerdict::Store;
    return kind == platform::FileKind::Regular && !IsJobFile(identity) ? SourceVerdict::Store
                                                                       : SourceVerdict::Refuse;
}

SourceVerdict SourceCheck::Child(const std::u16string& path, const platform::FindData& found) const {
    const bool storableName = IsPlainName(found.name) && path.size() <= kStoredPathMax;
    if (found.IsDirectory()) {
        // A linked folder is kept as an empty folder and never followed; only its own
        // record must be found again under this name.
        platform::FindData again;
        return storableName && platform::FindExact(path, again) ? SourceVerdict::Store
                                                                 : SourceVerdict::Refuse;
    }
    // Links are followed, as Windows does. The lookup fails for a dangling link and for a
    // name the POSIX backend could not decode: it arrives with U+FFFD in place of the bytes
    // that are not UTF-8 and leads to no file. A FIFO, socket or device is refused before
    // any open could block on it.
    platform::FileIdentity identity;
    platform::FileKind kind;
    if (!platform::GetFileIdentity(path, identity, kind)) return SourceVerdict::Refuse;
    if (IsJobFile(identity)) return SourceVerdict::Skip;
    return storableName && kind == platform::FileKind::Regular ? SourceVerdict::Store
                                                               : SourceVerdict::Refuse;
}

bool SourceCheck::AllStorable(const std::vector<std::u16string>& sources,
                              std::u16string& refused) const {
    for (const auto& source : sources) {
        const SourceVerdict verdict = Source(source);
        if (verdict == SourceVerdict::Refuse) {
            refused = source;
            return false;
        }
        if (verdict == SourceVerdict::Store && platform::IsDirectory(source) &&
            !TreeStorable(source, refused)) {
            return false;
        }
    }
    return true;
}

bool SourceCheck::TreeStorable(const std::u16string& dir, std::u16string& refused) const {
    platform::DirectorySearch search;
    // A folder that cannot be listed fails the job later, when it is read.
    if (!search.Start(dir)) return true;
    platform::FindData child;
    while (search.Next(child)) {
        const std::u16string childPath = dir + u"\\" + child.name;
        const SourceVerdict verdict = Child(childPath, child);
        if (verdict == SourceVerdict::Refuse) {
            refused = childPath;
            return false;
        }
        if (verdict == SourceVerdict::Store && child.IsDirectory() && !child.IsLink() &&
            !TreeStorable(childPath, refused)) {
            return false;
        }
    }
    return true;
}
