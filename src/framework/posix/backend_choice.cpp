// The framework's backend functions on Linux: Qt's while the program shows
// its windows through Qt, the headless backend's otherwise (and always in a
// build without Qt).
#include "framework/posix/backend_choice.h"

#include "framework/window_system.h"

namespace molvar::framework {
namespace {

bool UseQt() {
#ifdef MOLVAR_WITH_QT
    return qt::Active();
#else
    return false;
#endif
}

}  // namespace

WindowBackend& PlatformBackend() { return UseQt() ? qt::Backend() : headless::Backend(); }

std::unique_ptr<DialogUser> MakeDialogUser() { return UseQt() ? qt::MakeDialogUser() : headless::MakeDialogUser(); }

MessageBoxPresenter& BackendMessageBoxPresenter() { return UseQt() ? qt::MessageBoxes() : headless::MessageBoxes(); }

Choosers& BackendChoosers() { return UseQt() ? qt::FileChoosers() : headless::FileChoosers(); }

std::unique_ptr<FramePeer> MakeFramePeer(CFrameWnd& frame) {
    return UseQt() ? qt::MakeFramePeer(frame) : headless::MakeFramePeer(frame);
}

bool BringWindowWithPropForward(const text::Cp932String& name) {
    return UseQt() ? qt::BringWindowWithPropForward(name) : headless::BringWindowWithPropForward(name);
}

int RunMessageLoop(CCmdTarget& target, unsigned quitCommand) {
    return UseQt() ? qt::RunMessageLoop(target, quitCommand) : headless::RunMessageLoop(target, quitCommand);
}

#ifndef MOLVAR_WITH_QT
WindowSystem StartWindowSystem(WindowSystemUse) { return WindowSystem::Headless; }
void EndWindowSystem() {}
#endif

}  // namespace molvar::framework
