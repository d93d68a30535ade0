// The framework's functions that a window system answers, each through the
// one backend the program runs on.
#include "framework/window_backend.h"

#include "framework/choosers.h"
#include "framework/frame.h"
#include "framework/message_box.h"
#include "framework/message_loop.h"

namespace molvar::framework {

MessageBoxPresenter& BackendMessageBoxPresenter() { return PlatformBackend().MessageBoxes(); }

Choosers& BackendChoosers() { return PlatformBackend().FileChoosers(); }

std::unique_ptr<FramePeer> MakeFramePeer(CFrameWnd& frame) { return PlatformBackend().MakeFramePeer(frame); }

bool BringWindowWithPropForward(const text::Cp932String& name) {
    return PlatformBackend().BringWindowWithPropForward(name);
}

int RunMessageLoop(CCmdTarget& target, unsigned quitCommand) {
    return PlatformBackend().RunMessageLoop(target, quitCommand);
}

}  // namespace molvar::framework
