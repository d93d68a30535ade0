// The headless loop: it waits on the command queue's descriptor and on a
// signalfd for the requests to end the program.
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

#include "framework/posix/backend_choice.h"
#include "framework/posix/command_queue.h"

namespace molvar::framework::headless {

int RunMessageLoop(CCmdTarget& target, unsigned quitCommand) {
    const sigset_t signals = posix::EndRequests();
    const int signalFd = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
    int status = 0;
    for (bool running = true; running;) {
        pollfd polled[2] = {{posix::CommandWakeFd(), POLLIN, 0}, {signalFd, POLLIN, 0}};
        if (::poll(polled, signalFd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            status = 1;
            break;
        }
        if ((polled[1].revents & POLLIN) != 0) {
            posix::PostQuitForEndRequests(signalFd, quitCommand);
        }
        posix::DrainCommandWake();
        for (unsigned id = 0; posix::TakeCommand(id);) {
            if (id == ID_APP_EXIT) {
                running = false;
                break;
            }
            target.OnCmdMsg(id, CN_COMMAND, nullptr);
        }
    }
    if (signalFd >= 0) {
        ::close(signalFd);
    }
    // Later requests stay blocked: the end under way is already the quit's
    // (it waits for file writes, never for a program), and a second request
    // must not cut a move in two.
    return status;
}

}  // namespace molvar::framework::headless
