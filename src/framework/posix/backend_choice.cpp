// The framework's backend functions on Linux: the desktop module's while
// the program shows its windows through Qt, the headless backend's
// otherwise (and always where the module is not built or cannot be loaded).
#include "framework/posix/backend_choice.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/posix/desktop_module.h"
#include "framework/window_system.h"

namespace molvar::framework {
namespace {

struct Choice {
    bool made = false;
    WindowSystem system = WindowSystem::Headless;
    WindowBackend* desktop = nullptr;  // while Qt is chosen
};

Choice& TheChoice() {
    static Choice choice;
    return choice;
}

WindowBackend* Desktop() { return TheChoice().desktop; }

bool Named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

#ifdef MOLVAR_WITH_QT
// The module beside the executable (the build tree), or in the private
// library folder of an installed tree (bin/molvar, lib/molvar/), else one
// the program has loaded already (a test links it) or the library path
// finds; its entry, which starts Qt. It stays loaded until the process
// ends: Qt's libraries cannot be unloaded safely.
DesktopEntry LoadDesktopModule() {
    std::string file = kDesktopModuleFile;
    char executable[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", executable, sizeof executable);
    if (length > 0 && static_cast<std::size_t>(length) < sizeof executable) {
        const std::string path(executable, static_cast<std::size_t>(length));
        const std::string folder = path.substr(0, path.find_last_of('/') + 1);
        // The first that exists is the one: were it kept from loading (a Qt
        // library missing), that reason is the one to give.
        for (const std::string& place : {folder, folder + kDesktopModuleInstalledFolder}) {
            if (::access((place + kDesktopModuleFile).c_str(), F_OK) == 0) {
                file = place + kDesktopModuleFile;
                break;
            }
        }
    }
    void* module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* why = ::dlerror();
        std::fprintf(stderr, "molvar: the desktop module cannot be loaded (%s)\n", why != nullptr ? why : "?");
        return nullptr;
    }
    return reinterpret_cast<DesktopEntry>(::dlsym(module, kDesktopModuleEntry));
}
#endif

}  // namespace

WindowSystem StartWindowSystem(WindowSystemUse use) {
    Choice& choice = TheChoice();
    if (choice.made) {
        return choice.system;
    }
    choice.made = true;
    if (!Named("QT_QPA_PLATFORM") && !Named("DISPLAY") && !Named("WAYLAND_DISPLAY")) {
        return choice.system;
    }
#ifdef MOLVAR_WITH_QT
    const DesktopEntry start = LoadDesktopModule();
#else
    const DesktopEntry start = nullptr;  // built without Qt
#endif
    if (WindowBackend* desktop = start != nullptr ? start(use) : nullptr) {
        choice.desktop = desktop;
        choice.system = WindowSystem::Qt;
    } else if (use == WindowSystemUse::Tray) {
        // A user who started Molvar on a desktop would otherwise wonder
        // where its icon went; without a display nothing is said.
        std::fputs("molvar: no system tray was found; Molvar runs without a tray icon\n", stderr);
    }
    return choice.system;
}

void EndWindowSystem() {
    Choice& choice = TheChoice();
    if (choice.desktop != nullptr) {
        choice.desktop->End();
        choice.desktop = nullptr;
        choice.system = WindowSystem::Headless;
    }
}

WindowBackend& PlatformBackend() { return Desktop() != nullptr ? *Desktop() : headless::Backend(); }

}  // namespace molvar::framework
