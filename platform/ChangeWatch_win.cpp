#include "platform/ChangeWatch.h"

#include <windows.h>

namespace platform {

namespace {
constexpr DWORD kChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES |
                           FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
}

ChangeWatch::~ChangeWatch() { Stop(); }

void ChangeWatch::Stop() {
    if (m_handle) FindCloseChangeNotification(m_handle);
    m_handle = nullptr;
}

bool ChangeWatch::Start(const std::u16string& folder) {
    Stop();
    HANDLE handle = FindFirstChangeNotificationW(reinterpret_cast<const wchar_t*>(folder.c_str()), TRUE, kChanges);
    if (handle == INVALID_HANDLE_VALUE) return false;
    m_handle = handle;
    return true;
}

bool ChangeWatch::TakeChanges() {
    if (!m_handle) return true;
    if (WaitForSingleObject(m_handle, 0) != WAIT_OBJECT_0) return false;
    // A watch that cannot be armed again is dropped: from then on every look is a change.
    if (!FindNextChangeNotification(m_handle)) Stop();
    return true;
}

}  // namespace platform
