// A storage medium obtained from a data object, released with ReleaseStgMedium.
#pragma once
#include <windows.h>
#include <objidl.h>
#include <ole2.h>

#include <utility>

namespace win32 {

class StorageMedium {
public:
    StorageMedium() noexcept = default;
    ~StorageMedium() { Release(); }
    StorageMedium(const StorageMedium&) = delete;
    StorageMedium& operator=(const StorageMedium&) = delete;
    StorageMedium(StorageMedium&& other) noexcept : m_medium(std::exchange(other.m_medium, STGMEDIUM{})) {}
    StorageMedium& operator=(StorageMedium&& other) noexcept {
        if (this != &other) {
            Release();
            m_medium = std::exchange(other.m_medium, STGMEDIUM{});
        }
        return *this;
    }

    // Releases what was held, for IDataObject::GetData to fill.
    STGMEDIUM* Out() noexcept {
        Release();
        return &m_medium;
    }
    const STGMEDIUM& Get() const noexcept { return m_medium; }
    void Release() noexcept {
        if (m_medium.tymed != TYMED_NULL) ReleaseStgMedium(&m_medium);
        m_medium = STGMEDIUM{};
    }

private:
    STGMEDIUM m_medium{};
};

}  // namespace win32
