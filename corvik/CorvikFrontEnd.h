// How the core speaks to the user in Corvik: message boxes under the program caption. It is
// called on worker threads, so its boxes have no owner.
#pragma once
#include "core/FrontEnd.h"

class CorvikFrontEnd : public CoreFrontEnd {
public:
    void ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) override;
    // Yes and No buttons; anything but Yes is No, never Cancel.
    OverwriteAnswer AskOverwrite(const std::u16string& path) override;
};
