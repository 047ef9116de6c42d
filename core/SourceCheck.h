// Which files and folders of a source set an image may hold: decided for every source
// before anything is written, and again for each name met while the sources are read.
#pragma once
#include <string>
#include <vector>

#include "platform/FileSystem.h"

enum class SourceVerdict { Store, Skip, Refuse };

class SourceCheck {
public:
    // A file the job itself writes (the image, its temporary, the table file) or is about
    // to replace; nothing is noted when the path does not exist.
    void AddJobFile(const std::u16string& path);

    // A top-level source. A missing one is skipped; one that is a job file is refused,
    // since the job would read what it writes or truncates.
    SourceVerdict Source(const std::u16string& path) const;
    // A name met in a source folder (found is its search record). Job files are skipped.
    SourceVerdict Child(const std::u16string& path, const platform::FindData& found) const;

    // Every source and everything below the folders among them; false with the first
    // refused path.
    bool AllStorable(const std::vector<std::u16string>& sources, std::u16string& refused) const;

private:
    bool IsJobFile(const platform::FileIdentity& identity) const;
    bool TreeStorable(const std::u16string& dir, std::u16string& refused) const;

    std::vector<platform::FileIdentity> m_jobFiles;
};
