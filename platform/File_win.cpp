#include "platform/File.h"

#include <windows.h>

#include <utility>

namespace platform {

namespace {
HANDLE Handle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

FILETIME ToFiletime(uint64_t value) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(value);
    ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return ft;
}

uint64_t FromFiletime(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
}  // namespace

bool File::Open(const std::u16string& path, Access access, Share share, Disposition disposition,
                uint32_t attributes) {
    Close();
    DWORD desired = 0;
    if (static_cast<uint32_t>(access) & static_cast<uint32_t>(Access::Read)) desired |= GENERIC_READ;
    if (static_cast<uint32_t>(access) & static_cast<uint32_t>(Access::Write)) desired |= GENERIC_WRITE;
    DWORD shareMode = 0;
    if (static_cast<uint32_t>(share) & static_cast<uint32_t>(Share::Read)) shareMode |= FILE_SHARE_READ;
    if (static_cast<uint32_t>(share) & static_cast<uint32_t>(Share::Write)) shareMode |= FILE_SHARE_WRITE;
    DWORD creation = OPEN_EXISTING;
    switch (disposition) {
        case Disposition::CreateNew: creation = CREATE_NEW; break;
        case Disposition::CreateAlways: creation = CREATE_ALWAYS; break;
        case Disposition::OpenExisting: creation = OPEN_EXISTING; break;
        case Disposition::OpenAlways: creation = OPEN_ALWAYS; break;
    }
    const DWORD flags = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    const HANDLE handle = CreateFileW(Wide(path), desired, shareMode, nullptr, creation, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    m_handle = reinterpret_cast<intptr_t>(handle);
    return true;
}

bool File::OpenDirectory(const std::u16string& path) {
    Close();
    // A directory handle needs FILE_FLAG_BACKUP_SEMANTICS.
    const HANDLE handle =
        CreateFileW(Wide(path), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(handle);
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    m_handle = reinterpret_cast<intptr_t>(handle);
    return true;
}

bool File::OpenForDeletion(const std::u16string& path) {
    Close();
    const HANDLE handle = CreateFileW(Wide(path), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    m_handle = reinterpret_cast<intptr_t>(handle);
    return true;
}

bool File::DeleteAndClose(const std::u16string& /*path: the handle names the file*/) {
    if (!IsOpen()) return false;
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    const bool marked = SetFileInformationByHandle(Handle(m_handle), FileDispositionInfo, &disposition,
                                                   sizeof disposition) != 0;
    return Close() && marked;
}

bool File::Read(void* buffer, uint32_t size, uint32_t& done) {
    done = 0;
    DWORD read = 0;
    if (!IsOpen() || !ReadFile(Handle(m_handle), buffer, size, &read, nullptr)) return false;
    done = read;
    return true;
}

bool File::Write(const void* buffer, uint32_t size) {
    if (!IsOpen()) return false;
    const auto* bytes = static_cast<const char*>(buffer);
    uint32_t written = 0;
    while (written < size) {
        DWORD done = 0;
        if (!WriteFile(Handle(m_handle), bytes + written, size - written, &done, nullptr)) return false;
        if (done == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        written += done;
    }
    return true;
}

bool File::Seek(uint64_t position) {
    if (!IsOpen() || position > static_cast<uint64_t>(INT64_MAX)) return false;
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(Handle(m_handle), distance, nullptr, FILE_BEGIN) != 0;
}

bool File::SeekToEnd() {
    LARGE_INTEGER zero{};
    return IsOpen() && SetFilePointerEx(Handle(m_handle), zero, nullptr, FILE_END) != 0;
}

bool File::Tell(uint64_t& position) const {
    LARGE_INTEGER zero{}, at{};
    if (!IsOpen() || !SetFilePointerEx(Handle(m_handle), zero, &at, FILE_CURRENT)) return false;
    position = static_cast<uint64_t>(at.QuadPart);
    return true;
}

bool File::Size(uint64_t& size) const {
    LARGE_INTEGER value{};
    if (!IsOpen() || !GetFileSizeEx(Handle(m_handle), &value)) return false;
    size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool File::Flush() { return IsOpen() && FlushFileBuffers(Handle(m_handle)) != 0; }

bool File::GetTimes(FileTimes& times) const {
    FILETIME creation, access, write;
    if (!IsOpen() || !GetFileTime(Handle(m_handle), &creation, &access, &write)) return false;
    times.creation = FromFiletime(creation);
    times.access = FromFiletime(access);
    times.write = FromFiletime(write);
    return true;
}

bool File::SetTimes(const FileTimes& times) {
    if (!IsOpen()) return false;
    const FILETIME creation = ToFiletime(times.creation);
    const FILETIME access = ToFiletime(times.access);
    const FILETIME write = ToFiletime(times.write);
    // A null pointer leaves that time as it is.
    return SetFileTime(Handle(m_handle), times.creation ? &creation : nullptr,
                       times.access ? &access : nullptr, times.write ? &write : nullptr) != 0;
}

bool File::Close() {
    if (!IsOpen()) return true;
    return CloseHandle(Handle(std::exchange(m_handle, kInvalid))) != 0;
}

}  // namespace platform
