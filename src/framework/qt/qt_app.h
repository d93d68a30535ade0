// What the parts of the Qt backend share about the running application.
#pragma once

#include <QStringList>
#include <QWidget>

#include "framework/choosers.h"

namespace molvar::framework::qt {

// The program's quit: set by the message loop when the framework's exit
// command comes; every modal loop then ends its dialog as cancelled, and
// the main loop ends once they are closed.
bool QuitRequested();
void RequestQuit();

// The window of the innermost modal dialog, or null.
QWidget* ActiveModalWidget();
// Brings `window` to the front of the desktop and gives it the focus.
void BringForward(QWidget& window);

// The file-open dialog's name filters for Qt: "description (patterns)", the
// patterns as Linux needs them (an upper-case pattern also in lower case,
// "*.*" as "*").
QStringList NameFiltersOf(const OpenFileRequest& request);

}  // namespace molvar::framework::qt
