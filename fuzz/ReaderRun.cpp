#include "ReaderRun.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

#include "core/FrontEnd.h"
#include "core/ImageReader.h"
#include "core/JobRecords.h"
#include "platform/FileSystem.h"

namespace fs = std::filesystem;

namespace fuzz {

namespace {

// Says nothing and lets every file be replaced, to reach the restore paths.
class SilentFrontEnd : public CoreFrontEnd {
public:
    void ShowCoreMessage(CoreMessage, const CoreMessageArgs&) override {}
    OverwriteAnswer AskOverwrite(const std::u16string&) override { return OverwriteAnswer::Yes; }
};

SilentFrontEnd g_frontEnd;
fs::path g_root;

// The target sits a few folders deep, so that an entry climbing out of it by a level or
// three still lands inside the root, where the check below sees it.
fs::path TargetPath() { return g_root / "a" / "b" / "c" / "target"; }

std::u16string Win(const fs::path& native) { return platform::FromUserPath(native.u16string()); }

void RemoveScratch() {
    std::error_code ignored;
    fs::remove_all(g_root, ignored);
}

bool IsExpected(const fs::path& path) {
    const fs::path target = TargetPath();
    for (fs::path at = target; at != g_root; at = at.parent_path()) {
        if (path == at) return true;
    }
    return path == ImagePath() || path == g_root / "DIDI";
}

// The root holds the image, the journal and the folders down to the target, nothing else.
void CheckNothingStrayed() {
    const fs::path target = TargetPath();
    for (auto it = fs::recursive_directory_iterator(g_root); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path() == target) {
            it.disable_recursion_pending();
            continue;
        }
        if (!IsExpected(it->path())) {
            std::fprintf(stderr, "stray file after restore: %s\n", it->path().c_str());
            std::abort();
        }
    }
}

}  // namespace

void PrepareScratch() {
    g_root = fs::temp_directory_path() / ("cryptelle-fuzz-" + std::to_string(getpid()));
    fs::create_directories(g_root);
    // The table copy and the journal live in the temporary folder: keep them in view.
    setenv("TMPDIR", g_root.c_str(), 1);
    std::ofstream(g_root / "DIDI").flush();
    std::atexit(RemoveScratch);
    SetCoreFrontEnd(&g_frontEnd);
}

fs::path ImagePath() { return g_root / "image.img"; }

void RestoreImage(int32_t restoreMode, bool selectFirst) {
    const fs::path target = TargetPath();
    fs::remove_all(target);
    fs::create_directories(target);
    DecryptParams params{};
    CopyToField(params.imagePath, kPathChars, Win(ImagePath()));
    CopyToField(params.password, kPasswordChars, kPassword);
    CopyToField(params.targetDir, kPathChars, Win(target));
    params.restoreMode = restoreMode;
    uint32_t fileCount = 0;
    std::u16string first;
    if (ReadImageInfo(params, fileCount, first)) {
        if (selectFirst) {
            params.selectOnly = 1;
            CopyToField(params.selectedPath, kPathChars, first);
        }
        DecryptImage(params);
    }
    CheckNothingStrayed();
}

}  // namespace fuzz
