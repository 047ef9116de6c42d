#include "core/TargetPath.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/JobRecords.h"
#include "core/TableFiles.h"
#include "platform/FileSystem.h"

namespace {

bool IsForbiddenChar(char16_t c) {
    return c < 0x20 || std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos;
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (also with superscript digits),
// with or without an extension: such names open a device instead of a file.
bool IsDeviceName(std::u16string_view name) {
    std::u16string_view base = name.substr(0, name.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
    std::u16string upper(base);
    std::transform(upper.begin(), upper.end(), upper.begin(), FoldAscii);
    static constexpr std::array<std::u16string_view, 6> kPlain = {u"CON",    u"PRN",    u"AUX",
                                                                  u"NUL",    u"CONIN$", u"CONOUT$"};
    if (std::find(kPlain.begin(), kPlain.end(), upper) != kPlain.end()) return true;
    if (upper.size() != 4) return false;
    const std::u16string_view stem = std::u16string_view(upper).substr(0, 3);
    if (stem != u"COM" && stem != u"LPT") return false;
    const char16_t digit = upper[3];
    return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' ||
           digit == u'\u00B3';
}

bool HasDrivePrefix(std::u16string_view path) {
    if (path.size() < 3) return false;
    const char16_t letter = FoldAscii(path[0]);
    return letter >= u'A' && letter <= u'Z' && path[1] == u':' && path[2] == u'\\';
}

// Calls check on every backslash-separated name of a relative path until one fails.
template <typename Check>
bool AllNames(std::u16string_view relative, Check check) {
    size_t start = 0;
    for (;;) {
        const size_t end = relative.find(u'\\', start);
        if (!check(relative.substr(start, end - start))) return false;
        if (end == std::u16string_view::npos) return true;
        start = end + 1;
    }
}

bool AllNamesPlain(std::u16string_view relative) { return AllNames(relative, IsPlainName); }

// Why the names of a relative path are refused.
TargetProblem NameProblem(std::u16string_view relative) {
    const bool noDevice = AllNames(relative, [](std::u16string_view name) { return !IsDeviceName(name); });
    return noDevice ? TargetProblem::UnsafePath : TargetProblem::DeviceName;
}

// Some folder at or below targetDir on the way to target is a symbolic link or junction.
bool PassesThroughLink(std::u16string_view target, size_t relativeStart) {
    for (size_t end = relativeStart; end <= target.size(); ++end) {
        if (end != target.size() && target[end] != u'\\') continue;
        const uint32_t attributes = platform::GetAttributes(std::u16string(target.substr(0, end)));
        if (attributes == platform::kInvalidAttributes) return false;
        if ((attributes & platform::kAttrReparsePoint) != 0) return true;
    }
    return false;
}

}  // namespace

bool IsPlainName(std::u16string_view name) {
    if (name.empty() || name == u"." || name == u"..") return false;
    if (std::any_of(name.begin(), name.end(), IsForbiddenChar)) return false;
    if (name.back() == u'.' || name.back() == u' ') return false;
    return !IsDeviceName(name);
}

bool IsPlainFullPath(std::u16string_view path) {
    return HasDrivePrefix(path) && AllNamesPlain(path.substr(3));
}

TargetProblem FindTargetProblem(std::u16string_view stored, std::u16string_view target,
                                std::u16string_view targetDir) {
    if (!HasDrivePrefix(stored)) return TargetProblem::UnsafePath;
    if (!AllNamesPlain(stored.substr(3))) return NameProblem(stored.substr(3));
    if (!HasDrivePrefix(target)) return TargetProblem::UnsafePath;
    if (target.size() > kPathChars - 1) return TargetProblem::TooLong;
    if (targetDir.empty()) {
        return AllNamesPlain(target.substr(3)) ? TargetProblem::None : NameProblem(target.substr(3));
    }
    const size_t relativeStart = targetDir.size() + 1;
    if (target.size() <= relativeStart || target.substr(0, targetDir.size()) != targetDir ||
        target[targetDir.size()] != u'\\') {
        return TargetProblem::UnsafePath;
    }
    if (!AllNamesPlain(target.substr(relativeStart))) return NameProblem(target.substr(relativeStart));
    return PassesThroughLink(target, relativeStart) ? TargetProblem::ThroughLink : TargetProblem::None;
}
