#include "framework/posix/backend_choice.h"

namespace molvar::framework {
std::unique_ptr<FramePeer> qt::MakeFramePeer(CFrameWnd& frame) { return headless::MakeFramePeer(frame); }
bool qt::BringWindowWithPropForward(const text::Cp932String& name) { return headless::BringWindowWithPropForward(name); }
}  // namespace molvar::framework
