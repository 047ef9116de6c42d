#include "core/TableFiles.h"

#include <algorithm>

#include "core/JobRecords.h"
#include "platform/FileSystem.h"

namespace {
constexpr std::u16string_view kCopyPrefix = u"cryptelle-";
constexpr std::u16string_view kCopySuffix = u".ary";

std::u16string Decimal(uint32_t value) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

// "P-S" for a job's file names.
std::u16string JobTag(uint32_t processId, uint32_t sequence) {
    return Decimal(processId) + u"-" + Decimal(sequence);
}

// A decimal number that fills text and fits 32 bits.
bool ParseDecimal(std::u16string_view text, uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t number = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        number = number * 10 + (c - u'0');
    }
    if (number > UINT32_MAX) return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool StartsWithIgnoreCase(std::u16string_view text, std::u16string_view head) {
    return text.size() >= head.size() && EqualsIgnoreCase(text.substr(0, head.size()), head);
}

bool HasDrivePrefix(std::u16string_view path) {
    if (path.size() < 3) return false;
    const char16_t letter = FoldAscii(path[0]);
    return letter >= u'A' && letter <= u'Z' && path[1] == u':' && path[2] == u'\\';
}
}  // namespace

// An image that itself ends in ".ary" would otherwise be its own table file and be
// replaced by it; such an image gets ".ary" appended instead.
std::u16string WriterTableName(const std::u16string& imagePath) {
    const size_t dot = imagePath.rfind(u'.');
    if (dot == std::u16string::npos || dot == 0) return imagePath + u".ary";
    std::u16string name = imagePath.substr(0, dot) + u".ary";
    return EqualsIgnoreCase(name, imagePath) ? imagePath + u".ary" : name;
}

std::u16string ReaderTableName(const std::u16string& tempDir, uint32_t processId,
                               uint32_t sequence) {
    return WithoutTrailingBackslashes(tempDir) + u"\\" + std::u16string(kCopyPrefix) +
           JobTag(processId, sequence) + std::u16string(kCopySuffix);
}

bool ReaderTableOwner(std::u16string_view fileName, uint32_t& processId) {
    const size_t fixed = kCopyPrefix.size() + kCopySuffix.size();
    if (fileName.size() <= fixed || !StartsWithIgnoreCase(fileName, kCopyPrefix) ||
        !EqualsIgnoreCase(fileName.substr(fileName.size() - kCopySuffix.size()), kCopySuffix)) {
        return false;
    }
    const std::u16string_view tag = fileName.substr(kCopyPrefix.size(), fileName.size() - fixed);
    const size_t dash = tag.find(u'-');
    uint32_t sequence = 0;
    return dash != std::u16string_view::npos && ParseDecimal(tag.substr(0, dash), processId) &&
           ParseDecimal(tag.substr(dash + 1), sequence);
}

std::u16string StagingName(const std::u16string& target, uint32_t processId, uint32_t sequence) {
    const size_t slash = target.rfind(u'\\');
    const std::u16string folder = slash == std::u16string::npos ? u"" : target.substr(0, slash + 1);
    return folder + u"~cryptelle-" + JobTag(processId, sequence) + u".tmp";
}

std::u16string ExistingTempFolder() {
    const std::u16string temp = platform::TempFolder();
    // A failed lookup gives nothing or a relative name, which would land in the current folder.
    if (!HasDrivePrefix(temp) || !platform::IsDirectory(WithoutTrailingBackslashes(temp))) {
        return u"";
    }
    return temp.back() == u'\\' ? temp : temp + u"\\";
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return FoldAscii(x) == FoldAscii(y); });
}

std::u16string WithoutTrailingBackslashes(std::u16string text) {
    while (!text.empty() && text.back() == u'\\') text.pop_back();
    return text;
}

char16_t FoldAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c; }

bool CreateFreshFile(const std::function<std::u16string(uint32_t)>& nameAt, platform::Share share,
                     platform::File& file, std::u16string& path) {
    constexpr uint32_t kAttempts = 1000;
    for (uint32_t n = 0; n < kAttempts; ++n) {
        path = nameAt(n);
        if (path.empty()) return false;
        if (file.Open(path, platform::Access::ReadWrite, share, platform::Disposition::CreateNew,
                      platform::kAttrNormal)) {
            return true;
        }
        if (!platform::Exists(path)) return false;
    }
    return false;
}

bool RemoveJobFile(const std::u16string& path) {
    platform::SetAttributes(path, platform::kAttrNormal);
    return platform::RemoveFile(path);
}

std::u16string TemporaryImageName(const std::u16string& imagePath, uint32_t n) {
    const std::u16string number = Decimal(n);
    const size_t addedChars = 1 + number.size() + 4;  // ".", the number, ".tmp"
    std::u16string name = imagePath;
    if (imagePath.size() + addedChars > kPathChars - 1) {
        const size_t slash = imagePath.rfind(u'\\');
        name.resize(slash == std::u16string::npos ? 0 : slash + 1);
        name += u'~';
    } else {
        name += u'.';
    }
    return name.append(number).append(u".tmp");
}
