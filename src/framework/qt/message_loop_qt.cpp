#include "framework/posix/backend_choice.h"
#include "framework/qt/qt_app.h"

namespace molvar::framework {
namespace qt {
namespace {
bool g_quit = false;
}
bool QuitRequested() { return g_quit; }
void RequestQuit() { g_quit = true; }
}  // namespace qt
int qt::RunMessageLoop(CCmdTarget& target, unsigned quitCommand) { return headless::RunMessageLoop(target, quitCommand); }
}  // namespace molvar::framework
