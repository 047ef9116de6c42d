// Destroys a file or directory tree by overwriting it before deletion.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

enum DeleteMethod : int32_t {
    FillZero = 0,
    FillFF = 1,
    FillRandom = 2,
    Nsa = 3,
    OldNsa = 4,
    Dod = 5,
    Nato = 6,
    Gutmann = 7,
};

// How a program shows the engine's few outputs.
class SecureDeleteReporter {
public:
    virtual ~SecureDeleteReporter() = default;
    // Ardex prints "Start secure delete %s".
    virtual void RunStarted(const std::u16string& /*path*/) {}
    virtual void OutOfMemory() {}
    // Console bar (Ardex): true makes m_percent the bar position; BarStep draws one ">".
    virtual bool UsesConsoleBar() const { return false; }
    virtual void BarStep() {}
    virtual void BarEnd() {}
};

class CSecureDelete {
public:
    CSecureDelete();
    virtual ~CSecureDelete();

    void SetReporter(SecureDeleteReporter* reporter) { m_reporter = reporter; }
    // 1 when the passes ran (also on cancel or failed files), 0 when out of memory.
    int32_t Run(const std::u16string& path, int32_t method);
    int32_t GetPercent() const { return m_percent.load(std::memory_order_relaxed); }

    std::atomic<int32_t> m_cancel{0};

private:
    SecureDeleteReporter* m_reporter = nullptr;
    std::atomic<int32_t> m_percent{0};
};
