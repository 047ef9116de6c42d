// A named file mapping backed by the paging file, with its view; used to find out whether
// another process already holds the name (single-instance programs).
#pragma once
#include <windows.h>

#include "win32/Handle.h"

namespace win32 {

class FileMapping {
public:
    FileMapping() noexcept = default;
    ~FileMapping() { Close(); }
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    // Creates or opens the mapping of that name with `size` bytes; false when neither works.
    bool Create(const wchar_t* name, DWORD size) noexcept;
    // True when Create found the name already held by another mapping.
    bool AlreadyExisted() const noexcept { return m_existed; }
    // The mapped bytes, mapped on first use; null when they cannot be mapped.
    void* View() noexcept;
    bool Close() noexcept;

private:
    Handle m_mapping;
    void* m_view = nullptr;
    bool m_existed = false;
};

}  // namespace win32
