// How the core and the secure-delete engine speak to the user in Corvik: message boxes under
// the program caption. Both are called on worker threads, so their boxes have no owner.
#pragma once
#include "core/FrontEnd.h"
#include "securedelete/SecureDelete.h"

class CorvikFrontEnd : public CoreFrontEnd {
public:
    void ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) override;
    // Yes and No buttons; anything but Yes is No, never Cancel.
    OverwriteAnswer AskOverwrite(const std::u16string& path) override;
};

class CorvikDeleteReporter : public SecureDeleteReporter {
public:
    // Error icon, the out-of-memory text under the product name.
    void OutOfMemory() override;
};
