// Tamsel's application object: one instance per user, a hidden main window, and the
// engine's start-up and exit around it.
#pragma once
#include "framework/Application.h"
#include "tamsel/MainWnd.h"
#include "win32/FileMapping.h"

class CTamselApp : public fw::Application {
protected:
    bool InitInstance() override;
    int ExitInstance() override;

private:
    // False in a second instance, which hands over to the running one and ends.
    bool ClaimSingleInstance();

    win32::FileMapping m_instanceMarker;
    bool m_firstInstance = false;
    CMainWnd m_mainWnd;
};
