#include "corvik/CommandLine.h"

namespace {

constexpr std::u16string_view kImageExtension = u".chy";

std::u16string_view LastFour(std::u16string_view path) { return path.size() < 4 ? path : path.substr(path.size() - 4); }

}  // namespace

bool TargetFromCommandLine(std::u16string_view line, std::u16string& target) {
    target.clear();
    if (line.empty()) return false;
    const size_t first = line.find(u':');
    if (first == std::u16string_view::npos || first + 1 >= line.size()) return false;
    const size_t second = line.find(u':', first + 1);
    if (second == std::u16string_view::npos) return false;
    if (line.find(u':', second + 1) != std::u16string_view::npos) return false;
    const size_t star = line.find(u'*');
    target = star == std::u16string_view::npos ? line : line.substr(star + 1);
    return true;
}

bool IsImageName(std::u16string_view path) { return LastFour(path) == kImageExtension; }

std::u16string MakeImagePath(std::u16string_view source) {
    const std::u16string_view last = LastFour(source);
    std::u16string image(source);
    if (!last.empty() && last.front() == u'.') image.resize(image.size() - last.size());
    return image + std::u16string(kImageExtension);
}
