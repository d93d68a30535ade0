// The program: the application object's start-up, the message loop until
// the quit command, and the end.
#include "framework/message_loop.h"
#include "shell/molvar_app.h"

namespace {

// The one application object, there before start-up.
molvar::shell::CMolvarApp theApp;

}  // namespace

int main() {
    // Before any thread exists, on the thread that runs the loop, so that a
    // request to end the program never interrupts a thread's file write.
    molvar::framework::PrepareMessageLoop();
    if (!theApp.InitInstance()) {
        return theApp.ExitStatus();
    }
    return theApp.ExitInstance(theApp.Run());
}
