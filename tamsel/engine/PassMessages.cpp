#include "tamsel/engine/PassMessages.h"

void CPassMessages::Begin(CoreFrontEnd* target, const std::u16string& file, uint64_t size, uint64_t writeTime) {
    m_target = target;
    m_file = file;
    Shown& shown = m_shown[file];
    if (shown.size != size || shown.writeTime != writeTime) shown = {size, writeTime, {}};
}

void CPassMessages::Forget(const std::u16string& file) { m_shown.erase(file); }

void CPassMessages::KeepOnly(const std::set<std::u16string>& files) {
    for (auto it = m_shown.begin(); it != m_shown.end();) {
        it = files.count(it->first) != 0 ? std::next(it) : m_shown.erase(it);
    }
}

void CPassMessages::ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) {
    if (!m_shown[m_file].roles.insert(role).second) return;
    if (m_target) m_target->ShowCoreMessage(role, args);
}

OverwriteAnswer CPassMessages::AskOverwrite(const std::u16string& /*path*/) { return OverwriteAnswer::No; }
