// Rules on folder paths that keep Tamsel away from folders that are not the user's to lock:
// the temporary folder it erases at logoff, and the folders it refuses to watch.
#pragma once
#include <string>
#include <string_view>

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
