#include "tamsel/engine/LastingWorker.h"

#include <thread>

bool CLastingWorker::Post(std::function<void()> job) {
    {
        std::lock_guard lock(m_lock);
        if (!m_started) {
            try {
                std::thread([this] { Run(); }).detach();
            } catch (...) {
                return false;
            }
            m_started = true;
        }
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
    return true;
}

void CLastingWorker::WaitIdle() {
    std::unique_lock lock(m_lock);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_running; });
}

void CLastingWorker::Run() {
    std::unique_lock lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_jobs.empty(); });
        // Taken off the list before it runs, so a job handed over meanwhile runs next.
        const std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_running = true;
        lock.unlock();
        try {
            job();
        } catch (...) {
            // Nothing may end the worker; each job reports its own failures.
        }
        lock.lock();
        m_running = false;
        if (m_jobs.empty()) m_idle.notify_all();
    }
}
