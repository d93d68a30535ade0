// What the parts of the Qt backend share about the running application.
#pragma once

#include <QObject>
#include <QStringList>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>

#include "framework/choosers.h"
#include "framework/posix/backend_choice.h"

namespace molvar::framework::qt {

// The module's parts of the backend (see framework/posix/desktop_module.h).
WindowSystem Start(WindowSystemUse use);
void End();
// Whether the program shows its windows through Qt.
bool Active();
WindowBackend& Backend();
MessageBoxPresenter& MessageBoxes();
Choosers& FileChoosers();
std::unique_ptr<FramePeer> MakeFramePeer(CFrameWnd& frame);
bool BringWindowWithPropForward(const text::Cp932String& name);
int RunMessageLoop(CCmdTarget& target, unsigned quitCommand);

// The program's quit: set by the message loop when the framework's exit
// command comes; every modal loop then ends its dialog as cancelled, and
// the main loop ends once they are closed.
bool QuitRequested();
void RequestQuit();
// The open message boxes answer "not confirmed" once the program quits: an
// end request must not wait for somebody to click.
void CloseMessageBoxes();

// How long the running copy's socket keeps a connection that sends no whole
// request (a few seconds; shorter in tests).
void SetSilentConnectionLimit(std::chrono::milliseconds limit);
// The filter that makes a right double click on a tray icon (`isTrayIcon`)
// the right press it is; the frame installs one for Qt's own icon window.
std::unique_ptr<QObject> MakeRightDoubleClickAsPress(std::function<bool(const QObject*)> isTrayIcon);

// The window of the innermost modal dialog, or null.
QWidget* ActiveModalWidget();
// Brings `window` to the front of the desktop and gives it the focus.
void BringForward(QWidget& window);

// The file-open dialog's name filters for Qt: "description (patterns)", the
// patterns as Linux needs them (an upper-case pattern also in lower case,
// "*.*" as "*").
QStringList NameFiltersOf(const OpenFileRequest& request);

}  // namespace molvar::framework::qt
