// On Linux one program has two window systems: the headless backend, and the
// Qt desktop when one is there (see framework/window_system.h and
// desktop_module.h). The headless backend names its parts here (the Qt
// module in framework/qt/qt_app.h); PlatformBackend is the one chosen at
// start-up.
#pragma once

#include <memory>

#include "framework/choosers.h"
#include "framework/frame.h"
#include "framework/message_box.h"
#include "framework/window_backend.h"
#include "framework/window_system.h"

namespace molvar::framework {

namespace headless {
WindowBackend& Backend();
MessageBoxPresenter& MessageBoxes();
Choosers& FileChoosers();
std::unique_ptr<FramePeer> MakeFramePeer(CFrameWnd& frame);
bool BringWindowWithPropForward(const text::Cp932String& name);
int RunMessageLoop(CCmdTarget& target, unsigned quitCommand);
}  // namespace headless

}  // namespace molvar::framework
