#include "corvik/CorvikFrontEnd.h"

#include <windows.h>

#include "corvik/CorvikRes.h"
#include "win32/MessageBox.h"

namespace {

void ShowWarning(UINT id, std::initializer_list<FormatArg> args = {}) {
    win32::ShowStringMessage(nullptr, id, MB_OK | MB_ICONEXCLAMATION, args);
}

}  // namespace

void CorvikFrontEnd::ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) {
    switch (role) {
    case CoreMessage::ImageCreateFailed:
        ShowWarning(IDS_IMAGE_CREATE_FAILED);
        break;
    case CoreMessage::SourceFileFailed:
        ShowWarning(IDS_SOURCE_FILE_FAILED, {args.path});
        break;
    case CoreMessage::OutOfMemory:
        ShowWarning(IDS_OUT_OF_MEMORY);
        break;
    default:
        // Corvik only encrypts: the restore roles never arise here.
        break;
    }
}

OverwriteAnswer CorvikFrontEnd::AskOverwrite(const std::u16string& path) {
    const int answer = win32::ShowStringMessage(nullptr, IDS_OVERWRITE_QUESTION, MB_YESNO | MB_ICONQUESTION, {path});
    return answer == IDYES ? OverwriteAnswer::Yes : OverwriteAnswer::No;
}
