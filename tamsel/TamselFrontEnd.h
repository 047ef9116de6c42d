// How the core speaks to the user in Tamsel: message boxes under the monitor's caption, shown
// from the pass worker or from the settings, so without owner.
#pragma once
#include "core/FrontEnd.h"

class CTamselFrontEnd : public CoreFrontEnd {
public:
    // Images are made by the passes and the settings' first encryption; files are restored
    // only when a folder is released. The question differs: a restore may be cancelled.
    enum class Job { CreateImage, Restore };
    explicit CTamselFrontEnd(Job job) : m_job(job) {}

    void ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) override;
    OverwriteAnswer AskOverwrite(const std::u16string& path) override;

private:
    Job m_job;
};
