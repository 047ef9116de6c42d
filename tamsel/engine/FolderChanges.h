// Which watched folders a pass must list. Listing a large tree of images every second is
// the monitor's whole idle cost, so a folder is listed again only when something below it
// changed, when its last listing met plain files (they are retried every pass), when it
// is not the folder it was, and at least every 30 seconds in case a notice went missing.
#pragma once
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ChangeWatch.h"
#include "platform/FileSystem.h"

class CFolderChanges {
public:
    // Whether the pass must list folder now; takes the changes noticed so far.
    bool NeedsListing(const std::u16string& folder);
    // After a listing: whether it met files to encrypt.
    void Listed(const std::u16string& folder, bool metCandidates);
    // Forgets the folders no longer watched.
    void KeepOnly(const std::vector<std::u16string>& folders);

private:
    using Clock = std::chrono::steady_clock;
    struct Folder {
        platform::ChangeWatch watch;
        bool watching = false;
        platform::FileIdentity identity;
        bool quiet = false;  // the last listing met nothing to encrypt
        Clock::time_point listedAt;
    };
    bool Rewatch(Folder& entry, const std::u16string& folder);
    std::map<std::u16string, std::unique_ptr<Folder>> m_folders;
};
