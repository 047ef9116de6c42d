// Scratch folders and whole-file helpers for tests. Tests may use std::filesystem; the
// product goes through platform/ only.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// The Windows form of a native path: itself on Windows, Z:\... on POSIX.
std::u16string WinPath(const std::filesystem::path& native);
std::filesystem::path NativePath(const std::u16string& winPath);

std::vector<uint8_t> ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void WriteAll(const std::filesystem::path& path, const std::string& bytes);
// Deterministic pseudo-random bytes.
std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed);

// A fresh folder under the temporary directory, removed with everything in it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& relative) const { return m_path / relative; }
    std::u16string Win(const std::string& relative = "") const;

private:
    std::filesystem::path m_path;
};

}  // namespace testing_support
