// Erases one file with the secure delete engine and prints the seconds it took.
// Usage: erase_bench PATH METHOD
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "securedelete/SecureDelete.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: erase_bench PATH METHOD\n");
        return 2;
    }
    const std::u16string path = platform::FromUserPath(platform::FromUtf8(argv[1]));
    const int32_t method = std::atoi(argv[2]);
    if (!platform::Exists(path)) {
        std::fprintf(stderr, "erase_bench: %s does not exist\n", argv[1]);
        return 1;
    }
    CSecureDelete engine;
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = engine.Run(path, method);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (result != 1 || platform::Exists(path)) {
        std::fprintf(stderr, "erase_bench: the run failed\n");
        return 1;
    }
    std::printf("%.3f\n", elapsed.count());
    return 0;
}
