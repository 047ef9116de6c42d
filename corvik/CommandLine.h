// Corvik's command line: the program's path, "*", and the one path to encrypt, which runs to
// the end of the line. Plain text functions; the file system is asked by the caller.
#pragma once
#include <string>
#include <string_view>

// The target path of the whole command line, taken literally (no quotes removed); false when
// the program must end without showing anything: an empty line, or not exactly two ":" (one
// for each drive letter). A line without "*" is taken whole.
bool TargetFromCommandLine(std::u16string_view line, std::u16string& target);

// The item is already an image: its last four characters are exactly ".chy" (case-sensitive;
// a path shorter than four characters is compared whole).
bool IsImageName(std::u16string_view path);

// The image next to the source: a three-character extension is replaced by ".chy", anything
// else gets ".chy" appended.
std::u16string MakeImagePath(std::u16string_view source);
