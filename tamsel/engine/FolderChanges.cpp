#include "tamsel/engine/FolderChanges.h"

#include <algorithm>

namespace {
constexpr std::chrono::seconds kFullListingEvery{30};
}

bool CFolderChanges::NeedsListing(const std::u16string& folder) {
    std::unique_ptr<Folder>& entry = m_folders[folder];
    if (!entry) entry = std::make_unique<Folder>();
    if (Rewatch(*entry, folder)) return true;
    const bool changed = entry->watch.TakeChanges();
    return changed || !entry->quiet || Clock::now() - entry->listedAt >= kFullListingEvery;
}

// A folder deleted and made again under the same name is another folder, which the old
// watch does not see.
bool CFolderChanges::Rewatch(Folder& entry, const std::u16string& folder) {
    platform::FileIdentity identity;
    platform::FileKind kind = platform::FileKind::Other;
    const bool known = platform::GetFileIdentity(folder, identity, kind);
    if (entry.watching && known && identity == entry.identity) return false;
    entry.watching = known && entry.watch.Start(folder);
    entry.identity = identity;
    entry.quiet = false;
    return true;
}

void CFolderChanges::Listed(const std::u16string& folder, bool metCandidates) {
    const auto found = m_folders.find(folder);
    if (found == m_folders.end()) return;
    found->second->quiet = !metCandidates;
    found->second->listedAt = Clock::now();
}

void CFolderChanges::KeepOnly(const std::vector<std::u16string>& folders) {
    std::erase_if(m_folders, [&](const auto& entry) {
        return std::find(folders.begin(), folders.end(), entry.first) == folders.end();
    });
}
