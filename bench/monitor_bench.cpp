// Times monitor passes: over a tree of 100,000 images and no plain file, the same with
// 1,000 restored unchanged files in the map, and 1,000 plain files of 64 KiB dropped at
// once. Usage: monitor_bench SCRATCH_FOLDER (a POSIX path; it is filled and emptied).
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/Journal.h"
#include "platform/Text.h"
#include "tamsel/engine/MonitorPass.h"
#include "tamsel/engine/MonitorRecords.h"
#include "tamsel/engine/RestoredFiles.h"
#include "tamsel/engine/WatchList.h"

namespace fs = std::filesystem;

namespace {

std::u16string WinForm(const fs::path& path) {
    std::u16string text = u"Z:" + platform::FromUtf8(fs::absolute(path).lexically_normal().string());
    for (char16_t& c : text) {
        if (c == u'/') c = u'\\';
    }
    return text;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing {
    double cpu;
    double wall;
};

Timing TimePass() {
    const double cpu = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    MonitorPass();
    return {CpuSeconds() - cpu, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

// The median of several passes, each one whole.
Timing MedianPass(int runs) {
    std::vector<Timing> timings;
    for (int i = 0; i < runs; ++i) timings.push_back(TimePass());
    std::sort(timings.begin(), timings.end(), [](const Timing& a, const Timing& b) { return a.cpu < b.cpu; });
    return timings[timings.size() / 2];
}

// Built with += : g++ 12 warns wrongly (-Wrestrict) about "literal" + std::string.
std::string Numbered(const char* prefix, int i, const char* suffix = "") {
    std::string name = prefix;
    name += std::to_string(i);
    name += suffix;
    return name;
}

void Write(const fs::path& path, size_t size) {
    std::ofstream out(path, std::ios::binary);
    const std::string block(size, 'x');
    out << block;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: monitor_bench SCRATCH_FOLDER\n");
        return 2;
    }
    const fs::path root = fs::path(argv[1]) / "watched";
    fs::remove_all(argv[1]);
    fs::create_directories(root);
    setenv("TMPDIR", argv[1], 1);
    for (int d = 0; d < 100; ++d) {
        const fs::path folder = root / Numbered("d", d);
        fs::create_directories(folder);
        for (int f = 0; f < 1000; ++f) Write(folder / Numbered("f", f, ".chy"), 0);
    }
    AddWatchRecord(MakeWatchRecord(MakeMonitorItem(WinForm(root), u"bench", 1, false, false, 3)));
    CreateJournal();
    MonitorPass();  // warm-up: the tree is in the cache
    const Timing images = MedianPass(5);
    std::printf("100000 images, no plain file: cpu %.3f s, wall %.3f s per pass\n", images.cpu, images.wall);

    const fs::path restored = root / "restored";
    fs::create_directories(restored);
    for (int f = 0; f < 1000; ++f) {
        const fs::path file = restored / Numbered("r", f, ".txt");
        Write(file, 100);
        struct stat st {};
        stat(file.c_str(), &st);
        const uint64_t time = (uint64_t(st.st_mtim.tv_sec) + 11644473600ull) * 10000000ull + st.st_mtim.tv_nsec / 100;
        AppendJournalRecord(WinForm(file), time);
    }
    MonitorPass();
    const Timing withRestored = MedianPass(5);
    std::printf("same with %zu restored unchanged files: cpu %.3f s, wall %.3f s per pass (%.2fx)\n",
                g_restoredFiles.size(), withRestored.cpu, withRestored.wall, withRestored.cpu / images.cpu);

    fs::remove_all(restored);
    MonitorPass();
    const fs::path dropped = root / "dropped";
    fs::create_directories(dropped);
    for (int f = 0; f < 1000; ++f) Write(dropped / Numbered("p", f, ".bin"), 64 * 1024);
    const Timing encrypt = TimePass();
    size_t images64 = 0;
    for (const auto& entry : fs::directory_iterator(dropped)) images64 += entry.path().extension() == ".chy";
    std::printf("1000 plain files of 64 KiB: %zu encrypted in one pass, cpu %.3f s, wall %.3f s\n", images64,
                encrypt.cpu, encrypt.wall);
    fs::remove_all(argv[1]);
    return images64 == 1000 ? 0 : 1;
}
