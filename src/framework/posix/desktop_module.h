// The Qt desktop is a module of its own (libmolvar_qt.so), loaded only when
// a display is named: a program that runs headless never maps Qt's
// libraries. The module gives the program its parts of the backend through
// one table; it finds the framework's own functions in the program.
#pragma once

#include "framework/posix/backend_choice.h"
#include "framework/window_system.h"

namespace molvar::framework {

struct DesktopModule {
    // Chooses Qt or not, as StartWindowSystem describes; Headless leaves
    // nothing behind.
    WindowSystem (*start)(WindowSystemUse use);
    void (*end)();
    WindowBackend& (*backend)();
    std::unique_ptr<DialogUser> (*makeDialogUser)();
    MessageBoxPresenter& (*messageBoxes)();
    Choosers& (*fileChoosers)();
    std::unique_ptr<FramePeer> (*makeFramePeer)(CFrameWnd& frame);
    bool (*bringWindowWithPropForward)(const text::Cp932String& name);
    int (*runMessageLoop)(CCmdTarget& target, unsigned quitCommand);
};

}  // namespace molvar::framework

// The module's one entry point, looked up by name.
extern "C" const molvar::framework::DesktopModule* MolvarDesktopModule();
inline constexpr char kDesktopModuleFile[] = "libmolvar_qt.so";
inline constexpr char kDesktopModuleEntry[] = "MolvarDesktopModule";
