// A long job started from the settings: it runs on a worker thread while the settings
// window stays painted, disabled, under the wait cursor. The core's message boxes, shown by
// the worker, still work; the passes wait for the job on the engine's job lock.
#pragma once
#include <windows.h>

#include <functional>

// Returns once the job has ended. window is any window of the settings; its top-level
// window is disabled meanwhile.
void RunBusyJob(HWND window, const std::function<void()>& job);
