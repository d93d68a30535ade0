// The window system the program shows its windows on, chosen once at
// start-up: Windows' own; on Linux a Qt desktop when there is one, else
// none (the program runs headless: dialogs end as cancelled, message boxes
// are lines on standard error, requests to end the program quit it).
#pragma once

namespace molvar::framework {

enum class WindowSystem {
    Headless,
    Windows,
    Qt,
};

enum class WindowSystemUse {
    Tray,         // the tray program: a desktop without a tray is no use
    DialogsOnly,  // dialogs and message boxes (tests, pictures)
};

// Call once on the main thread before any window is made; later calls
// return the first answer. On Linux it picks Qt where a display is named
// (DISPLAY or WAYLAND_DISPLAY, or QT_QPA_PLATFORM names a platform) and Qt
// can open it, and, for `Tray`, the desktop has a system tray (else it says
// on standard error that it runs without a tray icon).
WindowSystem StartWindowSystem(WindowSystemUse use = WindowSystemUse::Tray);

// Ends what StartWindowSystem started, once every window is gone; call it
// before main returns (Qt cannot end while the program's statics do).
void EndWindowSystem();

}  // namespace molvar::framework
