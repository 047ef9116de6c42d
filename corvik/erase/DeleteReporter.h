// How the secure-delete engine speaks to the user of a dialog program: only running out of
// memory is told, with the error icon on the focused window. Each program passes the ids of
// its own string table.
#pragma once
#include <windows.h>

#include "securedelete/SecureDelete.h"

class CDeleteReporter : public SecureDeleteReporter {
public:
    CDeleteReporter(UINT outOfMemoryText, UINT caption) : m_text(outOfMemoryText), m_caption(caption) {}
    void OutOfMemory() override;

private:
    UINT m_text;
    UINT m_caption;
};
