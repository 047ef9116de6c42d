// The engine's part of the program's start-up and exit. The program runs them around its
// own steps (the single-instance mapping, the window class and the hidden window).
#pragma once
#include <cstdint>

// Start-up step 5: a settings file of the previous layout is converted.
void UpgradeSettingsAtStartUp();
// Start-up steps 7 and 8: the folder list is loaded and every folder watched.
void LoadWatchedFolders();
// Start-up step 10: CreateJournal (RestoredFiles.h).

// Exit steps 1 to 3. Waits for a running pass first, so nothing it uses goes away under
// it; the journal and the watch list are deleted only by the instance that owns them
// (firstInstance), a second instance leaves them to the running one.
void ExitEngine(bool firstInstance);
