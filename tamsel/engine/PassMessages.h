// The core's messages during passes: a file that fails every pass for the same reason
// shows it once, not every second, until the file or the reason changes.
#pragma once
#include <map>
#include <set>
#include <string>

#include "core/FrontEnd.h"

class CPassMessages : public CoreFrontEnd {
public:
    // The file about to be encrypted, with its size and write time: a changed file may
    // show its reasons again.
    void Begin(CoreFrontEnd* target, const std::u16string& file, uint64_t size, uint64_t writeTime);
    // The file is encrypted: whatever it showed before may show again.
    void Forget(const std::u16string& file);
    // Forgets every file the pass did not meet.
    void KeepOnly(const std::set<std::u16string>& files);

    void ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) override;
    // No one sits at a pass: an image that could not be removed is never replaced.
    OverwriteAnswer AskOverwrite(const std::u16string& path) override;

private:
    struct Shown {
        uint64_t size = 0;
        uint64_t writeTime = 0;
        std::set<CoreMessage> roles;
    };
    CoreFrontEnd* m_target = nullptr;
    std::u16string m_file;
    std::map<std::u16string, Shown> m_shown;
};
