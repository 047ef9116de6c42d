// A thread that runs the jobs handed to it, one at a time in order, and is never ended: with
// the static MinGW runtime a thread that ran a core job can crash as it ends (its per-thread
// cipher is destroyed then; seen under Wine). Make one with new and never delete it: the
// parked thread still waits on it while the process ends.
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class CLastingWorker {
public:
    // False when no thread could be started; the job is then not run.
    bool Post(std::function<void()> job);
    // Waits until every job handed over so far has run.
    void WaitIdle();

private:
    [[noreturn]] void Run();

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_jobs;
    bool m_started = false;
    bool m_running = false;
};
