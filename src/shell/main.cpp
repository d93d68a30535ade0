// The program: the application object's start-up, the message loop until
// the quit command, and the end.
#include "framework/message_loop.h"
#include "framework/window_system.h"
#include "platform/activity.h"
#include "shell/molvar_app.h"

namespace {

// The one application object, there before start-up.
molvar::shell::CMolvarApp theApp;

// Ends the window system on every way out of main.
class WindowSystemSession {
public:
    WindowSystemSession() {
        // Without windows the history is the one way to see what the watches do.
        const bool headless = molvar::framework::StartWindowSystem() == molvar::framework::WindowSystem::Headless;
        molvar::platform::TheActivityLog().EchoToStandardOutput(headless);
    }
    ~WindowSystemSession() { molvar::framework::EndWindowSystem(); }
    WindowSystemSession(const WindowSystemSession&) = delete;
    WindowSystemSession& operator=(const WindowSystemSession&) = delete;
};

}  // namespace

int main() {
    // Before any thread exists, on the thread that runs the loop, so that a
    // request to end the program never interrupts a thread's file write
    // (the window system's threads inherit the blocked signals too).
    molvar::framework::PrepareMessageLoop();
    const WindowSystemSession windowSystem;
    if (!theApp.InitInstance()) {
        return theApp.ExitStatus();
    }
    return theApp.ExitInstance(theApp.Run());
}
