// Posted commands wait in a queue and an eventfd wakes the loop; the
// signals that ask the program to end are blocked in every thread and taken
// by the loop through a signalfd.
#include "framework/posix/command_queue.h"

#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <deque>
#include <mutex>

#include "platform/posix/os_path.h"

namespace molvar::framework::posix {
namespace {

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

sigset_t EndRequests() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

int CommandWakeFd() { return Queue().wakeFd(); }

bool TakeCommand(unsigned& id) { return Queue().Take(id); }

void DrainCommandWake() { platform::posix::DrainEvent(Queue().wakeFd()); }

void PostQuitForEndRequests(int signalFd, unsigned quitCommand) {
    signalfd_siginfo info{};
    while (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        AfxPostCommand(quitCommand);
    }
}

}  // namespace molvar::framework::posix

namespace molvar::framework {

void PrepareMessageLoop() {
    // Standard error may be a pipe whose reader has gone (molvar 2>&1 | head):
    // a message written there must fail, not end the program. Started
    // programs get the default action back.
    ::signal(SIGPIPE, SIG_IGN);
    const sigset_t signals = posix::EndRequests();
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    posix::CommandWakeFd();
}

}  // namespace molvar::framework

void AfxPostCommand(unsigned id) { molvar::framework::posix::Queue().Post(id); }
