// The program: the application object's start-up, the message loop until
// the quit command, and the end.
#include <cstdio>
#include <cstdlib>

#include "framework/message_loop.h"
#include "framework/window_system.h"
#include "shell/molvar_app.h"

namespace {

// The one application object, there before start-up.
molvar::shell::CMolvarApp theApp;

bool Named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Ends the window system on every way out of main.
class WindowSystemSession {
public:
    WindowSystemSession() {
        using molvar::framework::WindowSystem;
        const WindowSystem chosen = molvar::framework::StartWindowSystem();
        // A user who started Molvar on a desktop would otherwise wonder
        // where its icon went; without a display nothing is said.
        const bool displayNamed = Named("DISPLAY") || Named("WAYLAND_DISPLAY") || Named("QT_QPA_PLATFORM");
        if (chosen == WindowSystem::Headless && displayNamed) {
            std::fputs("molvar: no system tray was found; Molvar runs without a tray icon\n", stderr);
        }
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
