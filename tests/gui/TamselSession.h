// Tamsel as the GUI tests start and find it. TAMSEL_PATH is defined by the test's build.
#pragma once
#include <windows.h>

#include <string>

#include "GuiDriver.h"

namespace tamsel_test {

inline std::wstring TamselCommandLine() { return gui::BuiltPath(TAMSEL_PATH).wstring(); }

// The hidden main window: one per user.
inline HWND TamselWindow() { return FindWindowW(L"TAMSEL", nullptr); }

// The watch list, the journal and the other files Tamsel keeps in the temporary folder it
// inherits from the test.
inline std::filesystem::path TempFile(const wchar_t* tag) { return gui::TempFolderFile(tag); }

}  // namespace tamsel_test
