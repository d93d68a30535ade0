// The user-interface thread's loop. Commands posted from any thread are
// handled there, one after another, through the command routing.
#pragma once

#include "framework/command_target.h"

namespace molvar::framework {

// Called on the main thread before any other thread starts: from then on the
// requests to end the program (on Linux SIGINT, SIGTERM and SIGHUP; on
// Windows Ctrl+C, Ctrl+Break and closing the console) reach only the message
// loop, never a thread in the middle of a file write. The loop runs on the
// thread that called this.
void PrepareMessageLoop();

// Routes posted commands to `target` until the framework's exit command is
// posted; a request to end the program routes `quitCommand`, as if the user
// had chosen it. Returns the exit status. Requests that come afterwards,
// however many, are dropped: the end under way finishes its file writes.
int RunMessageLoop(CCmdTarget& target, unsigned quitCommand);

}  // namespace molvar::framework

// Posts a command to the application; it is handled on the user-interface
// thread after the current message. May be called from any thread.
void AfxPostCommand(unsigned id);
