#include "win32/MessageBox.h"

#include "win32/Resources.h"
#include "win32/WideText.h"

namespace win32 {

namespace {

std::u16string g_caption;

}  // namespace

void SetMessageCaption(std::u16string caption) { g_caption = std::move(caption); }

const std::u16string& MessageCaption() noexcept { return g_caption; }

int ShowMessage(HWND owner, std::u16string_view text, UINT type) {
    const std::u16string terminated(text);
    return MessageBoxW(owner, Wide(terminated), Wide(g_caption), type);
}

int ShowStringMessage(HWND owner, UINT id, UINT type, std::initializer_list<FormatArg> args) {
    return ShowMessage(owner, FormatResourceString(id, args), type);
}

}  // namespace win32
