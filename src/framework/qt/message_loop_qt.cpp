// The Qt loop: Qt's event loop, with the command queue's descriptor and a
// signalfd for the requests to end the program among its sources, so that
// commands are also routed while a dialog, a message box or the tray menu
// runs a loop of its own.
#include <QApplication>
#include <QEventLoop>
#include <QSocketNotifier>

#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>

#include "framework/posix/command_queue.h"
#include "framework/qt/qt_app.h"
#include "platform/posix/os_path.h"

namespace molvar::framework::qt {
namespace {

// Read and written on the user-interface thread only; atomic for the
// message boxes that other threads ask for.
std::atomic<bool> g_quit{false};

}  // namespace

bool QuitRequested() { return g_quit; }
void RequestQuit() { g_quit = true; }

int RunMessageLoop(CCmdTarget& target, unsigned quitCommand) {
    g_quit = false;
    const sigset_t endSignals = posix::EndRequests();
    const platform::posix::UniqueFd signalFd{::signalfd(-1, &endSignals, SFD_NONBLOCK | SFD_CLOEXEC)};
    QEventLoop loop;

    // One command per turn of whichever loop runs, the next one asked for
    // before this one is routed: a command that opens a dialog leaves the
    // rest to the dialog's loop. A notifier is never activated again while
    // its own handler runs, so no command is routed inside one.
    std::function<void()> routeNext;
    const auto askForNext = [&] { QMetaObject::invokeMethod(&loop, routeNext, Qt::QueuedConnection); };
    routeNext = [&] {
        unsigned id = 0;
        if (QuitRequested() || !posix::TakeCommand(id)) {
            return;
        }
        askForNext();
        if (id == ID_APP_EXIT) {
            // The modal loops inside this one end their dialogs as
            // cancelled; the rest of the queue waits, as the headless loop
            // leaves it.
            RequestQuit();
            CloseMessageBoxes();
            loop.exit(0);
            return;
        }
        target.OnCmdMsg(id, CN_COMMAND, nullptr);
    };

    QSocketNotifier commands(posix::CommandWakeFd(), QSocketNotifier::Read);
    QObject::connect(&commands, &QSocketNotifier::activated, &loop, [&] {
        posix::DrainCommandWake();
        askForNext();
    });

    std::unique_ptr<QSocketNotifier> endRequests;
    if (signalFd.get() >= 0) {
        endRequests = std::make_unique<QSocketNotifier>(signalFd.get(), QSocketNotifier::Read);
        QObject::connect(endRequests.get(), &QSocketNotifier::activated, &loop,
                         [&] { posix::PostQuitForEndRequests(signalFd.get(), quitCommand); });
    }

    // What was posted before the loop ran.
    askForNext();
    const int status = loop.exec();
    // The notifiers go before the descriptor they watch.
    endRequests.reset();
    commands.setEnabled(false);
    // Every loop inside this one has ended by now.
    g_quit = false;
    // Later requests stay blocked: the end under way is already the quit's
    // (it waits for file writes, never for a program), and a second request
    // must not cut a move in two.
    return status;
}

}  // namespace molvar::framework::qt
