#include "win32/FileMapping.h"

namespace win32 {

bool FileMapping::Create(const wchar_t* name, DWORD size) noexcept {
    Close();
    m_mapping.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name));
    // Read at once: the next call may change the thread's last error.
    m_existed = m_mapping.Valid() && GetLastError() == ERROR_ALREADY_EXISTS;
    return m_mapping.Valid();
}

void* FileMapping::View() noexcept {
    if (m_view == nullptr && m_mapping.Valid()) {
        m_view = MapViewOfFile(m_mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0);
    }
    return m_view;
}

bool FileMapping::Close() noexcept {
    bool closed = true;
    if (m_view != nullptr) closed = UnmapViewOfFile(m_view) != 0;
    m_view = nullptr;
    m_existed = false;
    return m_mapping.Close() && closed;
}

}  // namespace win32
