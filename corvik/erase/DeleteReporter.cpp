#include "corvik/erase/DeleteReporter.h"

#include "win32/Resources.h"
#include "win32/WideText.h"

void CDeleteReporter::OutOfMemory() {
    const std::u16string text = win32::LoadResourceString(m_text);
    const std::u16string caption = win32::LoadResourceString(m_caption);
    MessageBoxW(GetFocus(), win32::Wide(text), win32::Wide(caption), MB_OK | MB_ICONERROR);
}
