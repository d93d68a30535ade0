// The Qt desktop is a module of its own (libmolvar_qt.so), loaded only when
// a display is named: a program that runs headless never maps Qt's
// libraries. The module gives the program its backend, the same interface
// as the headless one; it finds the framework's own functions in the program.
#pragma once

#include "framework/posix/backend_choice.h"
#include "framework/window_system.h"

namespace molvar::framework {

// Starts Qt for `use` and gives its backend, as StartWindowSystem describes;
// null when the desktop cannot be used, leaving nothing behind.
using DesktopEntry = WindowBackend* (*)(WindowSystemUse use);

}  // namespace molvar::framework

// The module's one entry point, looked up by name.
extern "C" molvar::framework::WindowBackend* MolvarDesktopBackend(molvar::framework::WindowSystemUse use);
inline constexpr char kDesktopModuleFile[] = "libmolvar_qt.so";
// Where an installed tree keeps it, from the executable's folder.
inline constexpr char kDesktopModuleInstalledFolder[] = "../lib/molvar/";
inline constexpr char kDesktopModuleEntry[] = "MolvarDesktopBackend";
