// The user-interface thread's loop. Commands posted from any thread are
// handled there, one after another, through the command routing.
#pragma once

#include "framework/command_target.h"

namespace molvar::framework {

// Called on the main thread before any other thread starts: from then on the
// requests to end the program (on Linux SIGINT, SIGTERM and SIGHUP) reach
// only the message loop, never a thread in the middle of a file write.
void PrepareMessageLoop();

// Routes posted commands to `target` until the framework's exit command is
// posted; a request to end the program routes `quitCommand`, as if the user
// had chosen it. Returns the exit status. Afterwards a second request ends
// the program the OS's way.
int RunMessageLoop(CCmdTarget& target, unsigned quitCommand);

}  // namespace molvar::framework

// Posts a command to the application; it is handled on the user-interface
// thread after the current message. May be called from any thread.
void AfxPostCommand(unsigned id);
