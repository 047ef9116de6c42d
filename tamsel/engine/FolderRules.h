// Rules on folder paths that keep Tamsel away from folders that are not the user's to lock:
// the temporary folder it erases at logoff, and the folders it refuses to watch.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// True when path, without its trailing backslashes, ends in "Temp" or "Tmp", ignoring case.
bool IsErasableTempFolder(std::u16string_view path);

// The system's named folders, each in its long form.
struct NamedFolders {
    std::u16string windows;
    std::u16string programFiles;
    std::u16string desktop;
    std::u16string documents;
};

// True when folder is the same as parent or lies below it, ignoring case and trailing
// backslashes; both in their long form.
bool LiesIn(std::u16string_view folder, std::u16string_view parent);
// Whether a folder must not be watched: a drive root, the system's and the programs'
// folders, and the other users' profiles; the user's own desktop and documents are
// allowed. path is as the user gave it, longPath its long form.
bool IsSpecialFolderOf(std::u16string_view path, std::u16string_view longPath, const NamedFolders& named);

// A new auto-encryption folder against the folders already listed, compared a whole path
// component at a time (C:\Data2 is not inside C:\Data).
struct ListedFolderCheck {
    // The index of the first listed folder that equals or holds the new one: it is refused.
    size_t holder = npos;
    // Listed folders inside the new one: they stop being watched on their own.
    std::vector<size_t> inside;
    static constexpr size_t npos = static_cast<size_t>(-1);
};
ListedFolderCheck CheckAgainstListed(std::u16string_view folder, const std::vector<std::u16string>& listed);
