// Starting programs from Windows tests.
#pragma once
#include <windows.h>

#include <string>

namespace testing_support {

// Runs a command line (program searched as CreateProcess does), waits up to a minute and
// returns its exit code; 0xFFFFFFFF when it could not be started.
DWORD RunAndWait(std::wstring commandLine);

}  // namespace testing_support
