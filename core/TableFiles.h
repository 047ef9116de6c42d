// Names of the temporary table files: the writer's next to the image, the reader's copy
// in the temporary folder.
#pragma once
#include <string>

// The image path with everything from its last "." replaced by ".ary" (appended when
// there is no "." or it is the first character; the "." may lie in a folder name).
std::u16string WriterTableName(const std::u16string& imagePath);
// tempDir\D'N.ary, with D' the image's folder with "\" and ":" as "#", or tempDir\N.ary
// when that would be too long. tempDir may end in backslashes.
std::u16string ReaderTableName(const std::u16string& imagePath, const std::u16string& tempDir);

// Equal under an ASCII case fold (how the writer compares directory names).
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
// The text without its trailing backslashes.
std::u16string WithoutTrailingBackslashes(std::u16string text);
