// Arbitrary bytes as an image: ReadImageInfo, then DecryptImage into a scratch target.
// Anything the reader leaves outside the target (or a table copy it forgets) aborts.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/FrontEnd.h"
#include "core/ImageReader.h"
#include "core/JobRecords.h"
#include "platform/FileSystem.h"

namespace fs = std::filesystem;

namespace {

constexpr char16_t kPassword[] = u"fuzz";

// Says nothing and lets every file be replaced, to reach the restore paths.
class SilentFrontEnd : public CoreFrontEnd {
public:
    void ShowCoreMessage(CoreMessage, const CoreMessageArgs&) override {}
    OverwriteAnswer AskOverwrite(const std::u16string&) override { return OverwriteAnswer::Yes; }
};

SilentFrontEnd g_frontEnd;
fs::path g_root;

std::u16string Win(const fs::path& native) { return platform::FromUserPath(native.u16string()); }

void RemoveScratch() {
    std::error_code ignored;
    fs::remove_all(g_root, ignored);
}

// The scratch root holds the image, the journal and the target folder, nothing else.
void CheckNothingStrayed() {
    for (const auto& item : fs::directory_iterator(g_root)) {
        const std::string name = item.path().filename().string();
        if (name != "image.img" && name != "target" && name != "DIDI") {
            std::fprintf(stderr, "stray file after restore: %s\n", item.path().c_str());
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_root = fs::temp_directory_path() / ("cryptelle-fuzz-" + std::to_string(getpid()));
    fs::create_directories(g_root);
    // The table copy and the journal live in the temporary folder: keep them in view.
    setenv("TMPDIR", g_root.c_str(), 1);
    std::ofstream(g_root / "DIDI").flush();
    std::atexit(RemoveScratch);
    SetCoreFrontEnd(&g_frontEnd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path image = g_root / "image.img";
    const fs::path target = g_root / "target";
    fs::remove_all(target);
    fs::create_directory(target);
    {
        std::ofstream out(image, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    DecryptParams params{};
    CopyToField(params.imagePath, kPathChars, Win(image));
    CopyToField(params.password, kPasswordChars, kPassword);
    CopyToField(params.targetDir, kPathChars, Win(target));
    // The last byte picks a restore mode (1-3) and whether to select the first file.
    const uint8_t choice = size > 0 ? data[size - 1] : 0;
    params.restoreMode = 1 + choice % 3;
    uint32_t fileCount = 0;
    std::u16string first;
    if (ReadImageInfo(params, fileCount, first)) {
        if (choice & 0x80) {
            params.selectOnly = 1;
            CopyToField(params.selectedPath, kPathChars, first);
        }
        DecryptImage(params);
    }
    CheckNothingStrayed();
    return 0;
}
