#include "platform/ChangeWatch.h"

namespace platform {

// No notice on POSIX: the monitor runs natively only in tests, and lists every time. No
// handle is ever held, so every look is a change.
ChangeWatch::~ChangeWatch() = default;

void ChangeWatch::Stop() { m_handle = nullptr; }

bool ChangeWatch::Start(const std::u16string&) {
    Stop();
    return false;
}

bool ChangeWatch::TakeChanges() { return m_handle == nullptr; }

}  // namespace platform
