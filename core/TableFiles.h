// A job's temporary files: the writer's table file and temporary image next to the image,
// the reader's table copy in the temporary folder, and the staging file of a restored file.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/File.h"

// The image path with everything from its last "." replaced by ".ary" (appended when
// there is no "." or it is the first character; the "." may lie in a folder name).
std::u16string WriterTableName(const std::u16string& imagePath);
// The n-th candidate for an image's temporary sibling while it is written: "<image>.<n>.tmp",
// or "<folder>\~<n>.tmp" where the longer name would pass the path limit.
std::u16string TemporaryImageName(const std::u16string& imagePath, uint32_t n);
// tempDir\cryptelle-P-S.ary: the copy is private to the job of process P (decimal) and its
// per-process sequence number S, so jobs never meet each other's copies. tempDir may end
// in backslashes.
std::u16string ReaderTableName(const std::u16string& tempDir, uint32_t processId,
                               uint32_t sequence);
// The process id of a file name made by ReaderTableName, or false for any other name.
bool ReaderTableOwner(std::u16string_view fileName, uint32_t& processId);
// folder\~cryptelle-P-S.tmp next to target: where a restored file is written before it
// takes the target's name.
std::u16string StagingName(const std::u16string& target, uint32_t processId, uint32_t sequence);

// The temporary folder when it is an existing folder named by a full path, ending in a
// backslash; empty when there is none, and then nothing is put there.
std::u16string ExistingTempFolder();

// Creates a new file under the first name of nameAt(0), nameAt(1), ... that no file holds;
// a name another job holds or a killed one left is passed over. path is the name created.
// Fails at once when the folder refuses a name that is free, or when nameAt gives "".
bool CreateFreshFile(const std::function<std::u16string(uint32_t)>& nameAt, platform::Share share,
                     platform::File& file, std::u16string& path);
// Removes a file the job made, read-only or not.
bool RemoveJobFile(const std::u16string& path);

// Windows compares names case-insensitively; the core folds ASCII only.
char16_t FoldAscii(char16_t c);
// Equal under an ASCII case fold (how the writer compares directory names).
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
// The text without its trailing backslashes.
std::u16string WithoutTrailingBackslashes(std::u16string text);
