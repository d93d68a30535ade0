// The main window: never seen. It owns the notification-area icon, shows the
// tray menu on a right click, and carries the property by which a second
// copy of the program finds this one.
#pragma once

#include <cstdint>

#include "framework/frame.h"

namespace molvar::shell {

// The icon's messages: WM_USER + 500.
inline constexpr unsigned WM_TRAYNOTIFY = WM_USER + 500;
inline constexpr unsigned kTrayIconId = 100;

class CMainFrame : public framework::CFrameWnd {
public:
    ~CMainFrame() override;

    std::intptr_t OnTrayNotify(std::uintptr_t iconId, std::intptr_t mouseMessage);
    // The Windows session ends (logoff, shutdown): the quit's way, at once,
    // since the process may be ended as soon as this returns.
    std::intptr_t OnEndSession(std::uintptr_t ending, std::intptr_t);
    void ShowTrayMenu();
    // The help commands: the program's help page, opened by the shell.
    void OnHelpFinder();
    void OnUpdateHelp(framework::CCmdUI* ui);

    framework::TrayIconData m_trayIcon;

protected:
    bool PreCreateWindow(framework::CREATESTRUCTA& params) override;
    int OnCreate(const framework::CREATESTRUCTA& params) override;
    void OnDestroy() override;
    bool OnFrameMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                        std::intptr_t& result) override;
    bool OnFrameCommand(unsigned id, int code, framework::CCmdUI* ui) override;
};

// The help page of an executable: beside it, its name with the extension
// ".html" ("C:\\Molvar\\Molvar3.exe" has "C:\\Molvar\\Molvar3.html").
text::Cp932String HelpPageOf(const text::Cp932String& executable);
// The help page of an installed tree: "/usr/bin/molvar" has
// "/usr/bin/../share/molvar/molvar.html".
text::Cp932String InstalledHelpPageOf(const text::Cp932String& executable);
// The running executable's help page: beside it, else the installed one
// where only that exists; empty when the executable cannot be told.
text::Cp932String HelpPagePath();

}  // namespace molvar::shell
