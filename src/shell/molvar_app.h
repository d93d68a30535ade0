// The application object and the two small windows around the frame: the
// view, which shows nothing, and the about box.
#pragma once

#include <memory>

#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/frame.h"
#include "platform/session.h"
#include "res/templates.h"

namespace molvar::shell {

// The view the document template needs; it draws nothing.
class CMolvarView : public framework::CView {};

class CAboutDlg : public framework::CDialog {
public:
    CAboutDlg() : CDialog(res::IDD_ABOUTBOX) {}
};

class CMolvarApp : public framework::CWinApp {
public:
    CMolvarApp();
    ~CMolvarApp() override;

    // The data folder, one copy per executable name, the profile, then the
    // document (which starts the watch) with the hidden frame. False ends
    // the program with ExitStatus().
    bool InitInstance() override;
    // The message loop; a request to end the program (a signal, Ctrl+C)
    // acts as the tray menu's quit.
    int Run() override;
    // After the loop: lets a new copy start, removes the icon and ends the
    // watch. Returns the exit status; may end the process itself when a
    // scan waits in a reaction.
    int ExitInstance(int status);

    void OnAppAbout();
    // The history window, modal like the other dialogs.
    void OnShowHistory();
    bool OnCmdMsg(unsigned id, int code, framework::CCmdUI* ui) override;

    int ExitStatus() const { return exitStatus_; }

private:
    std::unique_ptr<platform::SingleInstanceLock> instance_;
    int exitStatus_ = 0;
};

}  // namespace molvar::shell
