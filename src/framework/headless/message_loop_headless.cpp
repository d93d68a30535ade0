// The headless loop: posted commands wait in a queue and an eventfd wakes
// the loop; the signals that ask the program to end are blocked in every
// thread and taken here through a signalfd.
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <deque>
#include <mutex>

#include "framework/message_loop.h"
#include "platform/posix/os_path.h"

namespace molvar::framework {
namespace {

sigset_t EndRequests() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

class CommandQueue {
public:
    void Post(unsigned id) {
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(id);
        }
        platform::posix::PostEvent(wake_.get());
    }

    bool Take(unsigned& id) {
        std::lock_guard lock(mutex_);
        if (commands_.empty()) {
            return false;
        }
        id = commands_.front();
        commands_.pop_front();
        return true;
    }

    int wakeFd() const { return wake_.get(); }

private:
    // Lives as long as the process: commands may be posted until the end.
    platform::posix::UniqueFd wake_{::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};
    std::mutex mutex_;
    std::deque<unsigned> commands_;
};

CommandQueue& Queue() {
    static CommandQueue queue;
    return queue;
}

}  // namespace

void PrepareMessageLoop() {
    const sigset_t signals = EndRequests();
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    Queue();
}

int RunMessageLoop(CCmdTarget& target, unsigned quitCommand) {
    const sigset_t signals = EndRequests();
    const int signalFd = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
    CommandQueue& queue = Queue();
    int status = 0;
    for (bool running = true; running;) {
        pollfd polled[2] = {{queue.wakeFd(), POLLIN, 0}, {signalFd, POLLIN, 0}};
        if (::poll(polled, signalFd >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            status = 1;
            break;
        }
        if ((polled[1].revents & POLLIN) != 0) {
            signalfd_siginfo info{};
            while (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                AfxPostCommand(quitCommand);
            }
        }
        platform::posix::DrainEvent(queue.wakeFd());
        for (unsigned id = 0; queue.Take(id);) {
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
    // A second request may now end the program at once, for instance while
    // the end waits for a program that a scan runs.
    ::pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
    return status;
}

}  // namespace molvar::framework

void AfxPostCommand(unsigned id) { molvar::framework::Queue().Post(id); }
