// The pass that keeps every watched folder encrypted, started once a second by the
// program's timer on a worker thread, never two at a time.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// Set when a pass is started, cleared by the pass when it ends.
extern std::atomic<bool> g_passRunning;

// Starts a pass on the pass worker unless one runs or the engine has stopped; 1 if
// started. Called from the user-interface thread only.
int32_t StartPass();
// Waits for a running pass to end; from the thread that starts passes.
void WaitForPass();
// Refuses every later StartPass and waits for a running pass (exit).
void StopPasses();

// Paths of 4 characters or fewer, images (".chy") and table files (".ary") are never
// encrypted by a pass.
bool IsPassCandidate(std::u16string_view path);

// One pass over every watched folder; the worker thread's procedure.
void MonitorPass();
// Every file below folder, recursively, hidden and system files included; links are
// neither followed nor listed.
void ListFiles(const std::u16string& folder, std::vector<std::u16string>& files);
