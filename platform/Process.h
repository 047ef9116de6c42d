// The running process and whether another one still runs, for files named after a job's process.
#pragma once
#include <cstdint>

namespace platform {

uint32_t CurrentProcessId();
// False only when no process with this id exists; a process of another user counts as alive.
bool IsProcessAlive(uint32_t processId);

}  // namespace platform
