// Resource ids shared by the menus, the command maps and the dialogs.
#pragma once

namespace molvar::res {

inline constexpr unsigned ID_WATCH_START = 32771;
inline constexpr unsigned ID_WATCH_STOP = 32772;
inline constexpr unsigned ID_WATCH_SETTINGS = 32773;
inline constexpr unsigned ID_TRAY_EXIT = 32774;

}  // namespace molvar::res
