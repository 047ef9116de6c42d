#include "core/FrontEnd.h"

namespace {
CoreFrontEnd* g_frontEnd = nullptr;
}

void SetCoreFrontEnd(CoreFrontEnd* frontEnd) { g_frontEnd = frontEnd; }

void ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) {
    if (g_frontEnd) g_frontEnd->ShowCoreMessage(role, args);
}

OverwriteAnswer AskOverwrite(const std::u16string& path) {
    return g_frontEnd ? g_frontEnd->AskOverwrite(path) : OverwriteAnswer::No;
}

void ReportFileStarted(const std::u16string& path) {
    if (g_frontEnd) g_frontEnd->FileStarted(path);
}
