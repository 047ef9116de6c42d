#include "platform/ChangeWatch.h"

namespace platform {

// No notice on POSIX: the monitor runs natively only in tests, and lists every time.
ChangeWatch::~ChangeWatch() = default;

void ChangeWatch::Stop() {}

bool ChangeWatch::Start(const std::u16string&) { return false; }

bool ChangeWatch::TakeChanges() { return true; }

}  // namespace platform
