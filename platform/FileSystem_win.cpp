#include "platform/FileSystem.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <memory>
#include <vector>

namespace platform {

namespace {
const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

uint64_t FromFiletime(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void Fill(const WIN32_FIND_DATAW& data, FindData& out) {
    out.attributes = data.dwFileAttributes;
    out.times.creation = FromFiletime(data.ftCreationTime);
    out.times.access = FromFiletime(data.ftLastAccessTime);
    out.times.write = FromFiletime(data.ftLastWriteTime);
    out.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    out.name = reinterpret_cast<const char16_t*>(data.cFileName);
}

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

bool IsDotEntry(const wchar_t* name) {
    return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}
}  // namespace

bool FindExact(const std::u16string& path, FindData& found) {
    if (path.empty() || path.back() == u'\\' || path.back() == u'/') return false;
    if (path.find_first_of(u"*?") != std::u16string::npos) return false;
    if (path.size() == 2 && path[1] == u':') return false;  // the current directory of a drive
    WIN32_FIND_DATAW data;
    const HANDLE handle = FindFirstFileW(Wide(path), &data);
    if (handle == INVALID_HANDLE_VALUE) return false;
    FindClose(handle);
    Fill(data, found);
    return true;
}

struct DirectorySearch::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW pending{};
    bool hasPending = false;
};

DirectorySearch::~DirectorySearch() { Close(); }

bool DirectorySearch::Start(const std::u16string& dir, SearchDetail detail) {
    Close();
    std::u16string pattern = dir;
    if (!pattern.empty() && pattern.back() != u'\\') pattern += u'\\';
    pattern += u"*.*";
    auto* state = new State;
    // The basic level skips the short names, and a large fetch the round trips per entry;
    // the full level keeps FindFirstFileW's exact behaviour for every other caller.
    state->handle = detail == SearchDetail::NamesAndKinds
                        ? FindFirstFileExW(Wide(pattern), FindExInfoBasic, &state->pending,
                                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH)
                        : FindFirstFileW(Wide(pattern), &state->pending);
    if (state->handle == INVALID_HANDLE_VALUE) {
        delete state;
        return false;
    }
    state->hasPending = true;
    m_state = state;
    return true;
}

bool DirectorySearch::Next(FindData& entry) {
    if (m_state == nullptr) return false;
    for (;;) {
        if (!m_state->hasPending) {
            if (!FindNextFileW(m_state->handle, &m_state->pending)) return false;
        }
        m_state->hasPending = false;
        if (IsDotEntry(m_state->pending.cFileName)) continue;
        Fill(m_state->pending, entry);
        return true;
    }
}

void DirectorySearch::Close() {
    if (m_state == nullptr) return;
    FindClose(m_state->handle);
    delete m_state;
    m_state = nullptr;
}

bool GetFileIdentity(const std::u16string& path, FileIdentity& identity, FileKind& kind) {
    // No access rights: only the file's information is read; the open follows links.
    const ScopedHandle handle(CreateFileW(Wide(path), 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (handle.get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle.get(), &info)) {
        return false;
    }
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Directory
         : GetFileType(handle.get()) == FILE_TYPE_DISK            ? FileKind::Regular
                                                                  : FileKind::Other;
    return true;
}

uint32_t GetAttributes(const std::u16string& path) { return GetFileAttributesW(Wide(path)); }

bool SetAttributes(const std::u16string& path, uint32_t attributes) {
    return SetFileAttributesW(Wide(path), attributes) != 0;
}

bool Exists(const std::u16string& path) { return GetAttributes(path) != kInvalidAttributes; }

bool IsDirectory(const std::u16string& path) {
    const uint32_t attributes = GetAttributes(path);
    return attributes != kInvalidAttributes && (attributes & kAttrDirectory) != 0;
}

bool MakeDirectory(const std::u16string& path) { return CreateDirectoryW(Wide(path), nullptr) != 0; }

bool RemoveEmptyDirectory(const std::u16string& path) { return RemoveDirectoryW(Wide(path)) != 0; }

bool RemoveFile(const std::u16string& path) { return DeleteFileW(Wide(path)) != 0; }

bool RenameFile(const std::u16string& from, const std::u16string& to) {
    return MoveFileW(Wide(from), Wide(to)) != 0;
}

bool RenameReplacing(const std::u16string& from, const std::u16string& to) {
    // Windows refuses to replace a read-only file; Wine does not, so say it here.
    const DWORD attributes = GetFileAttributesW(Wide(to));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool CopyFileTo(const std::u16string& from, const std::u16string& to, bool failIfExists) {
    return CopyFileW(Wide(from), Wide(to), failIfExists ? TRUE : FALSE) != 0;
}

std::u16string RoamingAppDataFolder() {
    const HRESULT com = CoInitialize(nullptr);
    std::u16string folder;
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &items)) && items != nullptr) {
        wchar_t buffer[MAX_PATH] = {};
        if (SHGetPathFromIDListW(items, buffer)) folder = reinterpret_cast<const char16_t*>(buffer);
        CoTaskMemFree(items);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    while (folder.size() > 3 && folder.back() == u'\\') folder.pop_back();
    return folder;
}

std::u16string TempFolder() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length > buffer.size()) {
        buffer.resize(length + 1);
        length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (length == 0 || length > buffer.size()) return u"";
    std::u16string folder = LongPath(std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length));
    if (folder.empty() || folder.back() != u'\\') folder += u'\\';
    return folder;
}

std::u16string LongPath(const std::u16string& path) {
    DWORD needed = GetLongPathNameW(Wide(path), nullptr, 0);
    if (needed == 0) return path;
    std::vector<wchar_t> buffer(needed);
    const DWORD length = GetLongPathNameW(Wide(path), buffer.data(), needed);
    if (length == 0 || length >= needed) return path;
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
}

// A relative path would be stored as typed and could never be restored; the current
// folder it means is only known now.
std::u16string FromUserPath(const std::u16string& userPath) {
    if (userPath.empty()) return userPath;
    const DWORD needed = GetFullPathNameW(Wide(userPath), 0, nullptr, nullptr);
    if (needed == 0) return userPath;
    std::vector<wchar_t> buffer(needed);
    const DWORD length = GetFullPathNameW(Wide(userPath), needed, buffer.data(), nullptr);
    if (length == 0 || length >= needed) return userPath;
    std::u16string full(reinterpret_cast<const char16_t*>(buffer.data()), length);
    // "C:\docs\" is the folder "C:\docs"; a drive root keeps its backslash.
    while (full.size() > 3 && full.back() == u'\\') full.pop_back();
    return full;
}

std::u16string ToUserPath(const std::u16string& path) { return path; }

namespace {
// A handle opened only to ask about its file.
class QueryHandle {
public:
    explicit QueryHandle(const std::u16string& path)
        : m_handle(CreateFileW(Wide(path), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                               nullptr)) {}
    ~QueryHandle() {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    }
    QueryHandle(const QueryHandle&) = delete;
    QueryHandle& operator=(const QueryHandle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};
}  // namespace

bool GetLinkCount(const std::u16string& path, uint32_t& links) {
    const QueryHandle file(path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (file.Get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file.Get(), &info)) {
        return false;
    }
    links = info.nNumberOfLinks;
    return true;
}

bool GetCurrentFileSize(const std::u16string& path, uint64_t& size) {
    const QueryHandle file(path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (file.Get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
}

}  // namespace platform
