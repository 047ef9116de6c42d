#include "platform/Process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

bool IsProcessAlive(uint32_t processId) {
    if (processId == 0 || processId > static_cast<uint32_t>(INT32_MAX)) return false;
    // Signal 0 only checks: EPERM means the process exists under another user.
    return kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}

}  // namespace platform
