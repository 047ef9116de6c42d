// The command-line grammar and the password file.
#include <algorithm>

#include "ardex/Ardex.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Secret.h"

namespace {

// The -I, -E and -D values exactly as typed, with the Windows form each became, so
// messages name a path the way the user wrote it.
struct GivenPath {
    std::u16string typed;
    std::u16string windowsForm;
};
std::vector<GivenPath> g_givenPaths;

// An empty value stays empty: it must not turn into the current directory.
std::u16string ToWindowsPath(const std::u16string& typed) {
    if (typed.empty()) return {};
    std::u16string path = platform::FromUserPath(typed);
    g_givenPaths.push_back({typed, path});
    return path;
}

// A value longer than its field keeps the terminating zero; a password of exactly
// 60 characters fills the field, since the core reads at most 60 characters of it.
void CopyPassword(std::u16string_view password) {
    char16_t* field = g_decryptParams.password;
    std::fill(field, field + kPasswordChars, u'\0');
    const size_t count = password.size() > kPasswordChars ? kPasswordChars - 1 : password.size();
    std::copy_n(password.begin(), count, field);
}

void SetPassword(std::u16string_view password) {
    g_encryptInfo.m_password = std::u16string(password);
    CopyPassword(password);
}

// The option's number: the code of the value's first character minus "0"; an empty
// value has the terminating zero there, far outside every valid range.
int32_t DigitValue(std::u16string_view value) {
    const char16_t first = value.empty() ? u'\0' : value[0];
    return static_cast<int32_t>(first) - u'0';
}

}  // namespace

std::u16string DisplayPath(const std::u16string& path) {
    if (path.empty()) return {};
    for (const auto& given : g_givenPaths) {
        if (given.windowsForm == path) return given.typed;
    }
    return platform::ToUserPath(path);
}

int32_t ParseArguments(const std::vector<std::u16string>& arguments) {
    const size_t count = arguments.size();
    if (count < 3 || count > 5) return 0;
    int32_t job = 0;
    for (const auto& argument : arguments) {
        if (argument.empty() || (argument[0] != u'-' && argument[0] != u'/')) return 0;
        const char16_t letter = argument.size() > 1 ? argument[1] : u'\0';
        const std::u16string value = argument.size() > 2 ? argument.substr(2) : std::u16string();
        switch (letter) {
        case u'C':
        case u'c':
            g_encryptInfo.m_compressLevel = DigitValue(value);
            break;
        case u'D':
        case u'd':
            if (job != 0) return 0;
            CopyToField(g_decryptParams.targetDir, kPathChars, ToWindowsPath(value));
            g_decryptParams.restoreMode = 1;
            g_decryptParams.selectOnly = 0;
            CopyToField(g_decryptParams.selectedPath, kPathChars, u"");
            job = 2;
            break;
        case u'E':
        case u'e':
            if (job != 0) return 0;
            g_encryptInfo.m_sources.push_back(ToWindowsPath(value));
            job = 1;
            break;
        case u'I':
        case u'i':
            g_encryptInfo.m_imagePath = ToWindowsPath(value);
            CopyToField(g_decryptParams.imagePath, kPathChars, g_encryptInfo.m_imagePath);
            break;
        case u'P':
        case u'p': {
            const std::u16string path = value.empty() ? std::u16string() : platform::FromUserPath(value);
            if (!path.empty() && platform::GetAttributes(path) != platform::kInvalidAttributes) {
                ReadPasswordFile(path);
            } else {
                SetPassword(value);
            }
            break;
        }
        case u'S':
        case u's': {
            if (count != 5) return 0;
            const int32_t method = DigitValue(value);
            if (static_cast<uint32_t>(method) > static_cast<uint32_t>(Gutmann)) return 0;
            g_deleteMethod = method;
            g_secureDeleteRequested = 1;
            break;
        }
        default:
            return 0;
        }
    }
    return job;
}

int32_t ReadPasswordFile(const std::u16string& path) {
    // Opened for writing too, as the program always has: a read-only file is refused.
    platform::File file;
    if (!file.Open(path, platform::Access::ReadWrite, platform::Share::ReadWrite,
                   platform::Disposition::OpenExisting)) {
        return 0;
    }
    uint64_t fullSize = 0;
    if (!file.Size(fullSize)) return 0;
    const auto size = static_cast<uint32_t>(fullSize);
    constexpr uint32_t kMaxBytes = kPasswordChars;
    if (size < 1 || size > kMaxBytes) return 0;

    uint8_t bytes[kMaxBytes + 2] = {};
    uint32_t total = 0;
    while (total < size) {
        uint32_t done = 0;
        if (!file.Read(bytes + total, size - total, done)) return 0;
        if (done == 0) break;
        total += done;
    }
    // UTF-16LE without a byte-order mark; an odd last byte is a character of its own.
    std::u16string text;
    for (uint32_t i = 0; i < total; i += 2) {
        const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == u'\0') break;
        text += unit;
    }
    const size_t lineEnd = text.find(u"\r\n");
    if (lineEnd != std::u16string::npos) text.resize(lineEnd);
    SetPassword(text);
    platform::WipeSecret(bytes, sizeof bytes);
    platform::WipeSecret(text);
    file.Close();
    return 1;
}
