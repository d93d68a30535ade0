// The Qt application, when the program (framework/posix/backend_choice.cpp)
// found a display named: made once, on the main thread, before any window.
#include <QApplication>
#include <QFont>
#include <QSystemTrayIcon>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "framework/posix/desktop_module.h"
#include "framework/qt/qt_app.h"
#include "framework/qt/qt_window.h"
#include "framework/window_system.h"

namespace molvar::framework {
namespace qt {
namespace {

struct Application {
    // Qt keeps references to both: they live as long as the application.
    // The program's own arguments never reach Qt (the program takes none,
    // and Qt would read some of them as its options).
    int argc = 1;
    char name[7] = "molvar";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
    bool active = false;
};

Application& TheApplication() {
    static Application application;
    return application;
}

bool Named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// A desktop's panel may start after the programs that start with the login:
// its tray is waited for a little while.
bool TrayAppears() {
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

}  // namespace

bool Active() { return TheApplication().active; }

WindowSystem Start(WindowSystemUse use) {
    Application& state = TheApplication();
    const bool platformNamed = Named("QT_QPA_PLATFORM");
    if (!platformNamed) {
        // A display that cannot be opened (gone, or refused) must not end
        // the program: Qt then falls back to drawing nowhere, and the
        // program runs headless.
        ::setenv("QT_QPA_PLATFORM", Named("WAYLAND_DISPLAY") ? "wayland;xcb;offscreen" : "xcb;offscreen", 1);
    }
    state.app = std::make_unique<QApplication>(state.argc, state.argv);
    if (!platformNamed) {
        ::unsetenv("QT_QPA_PLATFORM");  // not passed on to the programs Molvar starts
    }
    const bool drawsNowhere = QGuiApplication::platformName() == QStringLiteral("offscreen") && !platformNamed;
    if (drawsNowhere || (use == WindowSystemUse::Tray && !TrayAppears())) {
        state.app.reset();
        return WindowSystem::Headless;
    }
    // Windows come and go while the tray icon stays: only the quit command
    // ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Molvar3"));
    QApplication::setFont(DialogFont(*res::FindDialogTemplate(res::IDD_SETENV)));
    InstallDialogManager();
    state.active = true;
    return WindowSystem::Qt;
}

void End() {
    Application& state = TheApplication();
    state.active = false;
    state.app.reset();
}

}  // namespace qt
}  // namespace molvar::framework

molvar::framework::WindowBackend* MolvarDesktopBackend(molvar::framework::WindowSystemUse use) {
    namespace framework = molvar::framework;
    return framework::qt::Start(use) == framework::WindowSystem::Qt ? &framework::qt::Backend() : nullptr;
}
