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
    const DesktopModule* desktop = nullptr;  // while Qt is chosen
};

Choice& TheChoice() {
    static Choice choice;
    return choice;
}

const DesktopModule* Desktop() { return TheChoice().desktop; }

bool Named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

#ifdef MOLVAR_WITH_QT
// The module beside the executable, else one the program has loaded already
// (a test links it) or the library path finds. It stays loaded until the
// process ends: Qt's libraries cannot be unloaded safely.
const DesktopModule* LoadDesktopModule() {
    void* module = nullptr;
    char executable[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", executable, sizeof executable);
    if (length > 0 && static_cast<std::size_t>(length) < sizeof executable) {
        const std::string path(executable, static_cast<std::size_t>(length));
        module = ::dlopen((path.substr(0, path.find_last_of('/') + 1) + kDesktopModuleFile).c_str(),
                          RTLD_NOW | RTLD_LOCAL);
    }
    if (module == nullptr) {
        module = ::dlopen(kDesktopModuleFile, RTLD_NOW | RTLD_LOCAL);
    }
    if (module == nullptr) {
        const char* why = ::dlerror();
        std::fprintf(stderr, "molvar: the desktop module cannot be loaded (%s)\n", why != nullptr ? why : "?");
        return nullptr;
    }
    using Entry = const DesktopModule* (*)();
    const auto entry = reinterpret_cast<Entry>(::dlsym(module, kDesktopModuleEntry));
    return entry != nullptr ? entry() : nullptr;
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
    const DesktopModule* desktop = LoadDesktopModule();
#else
    const DesktopModule* desktop = nullptr;  // built without Qt
#endif
    if (desktop != nullptr && desktop->start(use) == WindowSystem::Qt) {
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
        choice.desktop->end();
        choice.desktop = nullptr;
        choice.system = WindowSystem::Headless;
    }
}

WindowBackend& PlatformBackend() { return Desktop() ? Desktop()->backend() : headless::Backend(); }

std::unique_ptr<DialogUser> MakeDialogUser() {
    return Desktop() ? Desktop()->makeDialogUser() : headless::MakeDialogUser();
}

MessageBoxPresenter& BackendMessageBoxPresenter() {
    return Desktop() ? Desktop()->messageBoxes() : headless::MessageBoxes();
}

Choosers& BackendChoosers() { return Desktop() ? Desktop()->fileChoosers() : headless::FileChoosers(); }

std::unique_ptr<FramePeer> MakeFramePeer(CFrameWnd& frame) {
    return Desktop() ? Desktop()->makeFramePeer(frame) : headless::MakeFramePeer(frame);
}

bool BringWindowWithPropForward(const text::Cp932String& name) {
    return Desktop() ? Desktop()->bringWindowWithPropForward(name) : headless::BringWindowWithPropForward(name);
}

int RunMessageLoop(CCmdTarget& target, unsigned quitCommand) {
    return Desktop() ? Desktop()->runMessageLoop(target, quitCommand) : headless::RunMessageLoop(target, quitCommand);
}

}  // namespace molvar::framework
