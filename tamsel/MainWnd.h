// Tamsel's hidden main window: owns the tray icon and the one-second pass timer, takes the
// settings and exit commands, and erases the temporary folder before a logoff.
#pragma once
#include <memory>

#include "framework/Window.h"
#include "tamsel/TrayNot.h"

// The tray icon's callback message.
constexpr UINT kTrayCallback = WM_APP + 100;
constexpr UINT_PTR kPassTimer = 100;

class CSetup;

class CMainWnd : public fw::Window {
public:
    CMainWnd() = default;

protected:
    std::span<const fw::MessageEntry> MessageMap() const override;
    std::span<const fw::CommandEntry> CommandMap() const override;

private:
    LRESULT OnCreate(WPARAM, LPARAM);
    LRESULT OnDestroy(WPARAM, LPARAM);
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnTrayNotify(WPARAM, LPARAM);
    LRESULT OnQueryEndSession(WPARAM, LPARAM);
    LRESULT OnEndSession(WPARAM, LPARAM);
    void OnOpenSettings();
    void OnExit();

    void ShowTrayMenu();
    void EraseTempFolder();

    std::unique_ptr<CTrayNot> m_tray;
    UINT_PTR m_timerId = 0;
    // The settings while they are shown: one sheet at a time.
    CSetup* m_setup = nullptr;
};
