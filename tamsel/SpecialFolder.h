// Whether a folder must not become an auto-encryption folder, asked of this machine.
#pragma once
#include <string>

// A drive root, the Windows and program-files folders and what lies in them, and the
// profiles' folder outside the user's own desktop and documents.
bool IsSpecialFolder(const std::u16string& path);
