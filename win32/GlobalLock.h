// A global memory block locked for as long as the object lives.
#pragma once
#include <windows.h>

namespace win32 {

class GlobalLock {
public:
    explicit GlobalLock(HGLOBAL memory) noexcept : m_memory(memory), m_data(::GlobalLock(memory)) {}
    ~GlobalLock() {
        if (m_data != nullptr) GlobalUnlock(m_memory);
    }
    GlobalLock(const GlobalLock&) = delete;
    GlobalLock& operator=(const GlobalLock&) = delete;

    bool Locked() const noexcept { return m_data != nullptr; }
    void* Data() const noexcept { return m_data; }

private:
    HGLOBAL m_memory;
    void* m_data;
};

}  // namespace win32
