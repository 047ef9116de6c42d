// What both fuzz targets share: a scratch root that holds the image, the journal and the
// restore target, and one restore into a fresh target that must leave nothing outside it.
#pragma once
#include <cstdint>
#include <filesystem>

namespace fuzz {

inline constexpr char16_t kPassword[] = u"fuzz";

// Creates the scratch root (removed at exit), points the temporary folder at it and installs
// a front end that says nothing and lets every file be replaced.
void PrepareScratch();
// Where the image to read is written.
std::filesystem::path ImagePath();
// ReadImageInfo, then DecryptImage into a fresh target with restore mode 1-3 (mode 0, in
// place, would write wherever the image says); aborts when anything strayed outside it.
void RestoreImage(int32_t restoreMode, bool selectFirst);

}  // namespace fuzz
