// The commands posted to the user-interface thread on POSIX, and the
// signals that ask the program to end: shared by the headless loop and the
// Qt loop, which wait on the same two descriptors.
#pragma once

#include <signal.h>

#include "framework/message_loop.h"

namespace molvar::framework::posix {

// SIGINT, SIGTERM and SIGHUP.
sigset_t EndRequests();

// A descriptor that becomes readable when commands wait.
int CommandWakeFd();
// Takes the oldest waiting command; false when none waits.
bool TakeCommand(unsigned& id);
// Clears the wake descriptor before the waiting commands are taken.
void DrainCommandWake();

// Reads every waiting end request from `signalFd` and posts `quitCommand`
// for each.
void PostQuitForEndRequests(int signalFd, unsigned quitCommand);

}  // namespace molvar::framework::posix
