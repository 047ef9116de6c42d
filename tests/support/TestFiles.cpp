#include "TestFiles.h"

#include <atomic>
#include <fstream>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_support {

std::u16string WinPath(const fs::path& native) {
#ifdef _WIN32
    return native.u16string();
#else
    std::u16string text = u"Z:" + fs::absolute(native).lexically_normal().u16string();
    for (auto& c : text) {
        if (c == u'/') c = u'\\';
    }
    if (text.size() > 3 && text.back() == u'\\') text.pop_back();
    return text;
#endif
}

fs::path NativePath(const std::u16string& winPath) {
#ifdef _WIN32
    return fs::path(winPath);
#else
    std::u16string text = winPath.substr(2);
    for (auto& c : text) {
        if (c == u'\\') c = u'/';
    }
    return fs::path(text);
#endif
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    WriteAll(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 engine(seed);
    std::vector<uint8_t> bytes(count);
    for (auto& b : bytes) b = static_cast<uint8_t>(engine());
    return bytes;
}

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device entropy;
    for (;;) {
        m_path = fs::temp_directory_path() /
                 ("cryptelle-test-" + std::to_string(entropy()) + "-" + std::to_string(counter++));
        if (fs::create_directory(m_path)) break;
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    // Read-only files would block removal on Windows.
    for (auto it = fs::recursive_directory_iterator(m_path, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(m_path, ignored);
}

std::u16string ScratchDir::Win(const std::string& relative) const {
    return WinPath(relative.empty() ? m_path : m_path / relative);
}

}  // namespace testing_support
