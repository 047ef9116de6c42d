#include "tamsel/TamselFrontEnd.h"

#include <windows.h>

#include "tamsel/TamselRes.h"
#include "win32/MessageBox.h"

namespace {

void ShowWarning(UINT id, std::initializer_list<FormatArg> args = {}) {
    win32::ShowStringMessage(nullptr, id, MB_OK | MB_ICONWARNING, args);
}

}  // namespace

void CTamselFrontEnd::ShowCoreMessage(CoreMessage role, const CoreMessageArgs& args) {
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
    case CoreMessage::WrongPassword:
        win32::ShowStringMessage(nullptr, IDS_WRONG_PASSWORD, MB_OK | MB_ICONEXCLAMATION);
        break;
    case CoreMessage::ErrorLimitReached:
        ShowWarning(IDS_ERROR_LIMIT_REACHED, {args.numbers[0]});
        break;
    case CoreMessage::DecryptLimitReached:
        ShowWarning(IDS_DECRYPT_LIMIT_REACHED, {args.numbers[0]});
        break;
    case CoreMessage::ImageExpired:
        ShowWarning(IDS_IMAGE_EXPIRED, {args.numbers[0], args.numbers[1], args.numbers[2]});
        break;
    default:
        // The restore's detailed reasons have no text of Tamsel's: the image simply stays.
        break;
    }
}

OverwriteAnswer CTamselFrontEnd::AskOverwrite(const std::u16string& path) {
    const UINT buttons = m_job == Job::Restore ? MB_YESNOCANCEL : MB_YESNO;
    switch (win32::ShowStringMessage(nullptr, IDS_OVERWRITE_QUESTION, buttons | MB_ICONQUESTION, {path})) {
    case IDYES:
        return OverwriteAnswer::Yes;
    case IDCANCEL:
        return m_job == Job::Restore ? OverwriteAnswer::Cancel : OverwriteAnswer::No;
    default:
        return OverwriteAnswer::No;
    }
}
