// Resource ids shared by the menus, the command maps and the dialogs.
#pragma once

namespace molvar::res {

inline constexpr unsigned ID_WATCH_START = 32771;
inline constexpr unsigned ID_WATCH_STOP = 32772;
inline constexpr unsigned ID_WATCH_SETTINGS = 32773;
inline constexpr unsigned ID_TRAY_EXIT = 32774;
inline constexpr unsigned ID_SHOW_HISTORY = 32775;

// The framework's own command and string ids.
inline constexpr unsigned ID_APP_ABOUT = 57664;
inline constexpr unsigned ID_HELP_FINDER = 57667;
inline constexpr unsigned AFX_IDS_APP_TITLE = 57344;
inline constexpr unsigned IDP_OLE_INIT_FAILED = 100;

// Buttons every dialog knows (IDOK 1, IDCANCEL 2) are the framework's.

// Settings dialog (136).
inline constexpr int IDC_WATCH_FOLDER = 1000;
inline constexpr int IDC_OPEN_TARGET = 1001;
inline constexpr int IDC_WAIT_FOR_EXIT = 1002;
inline constexpr int IDC_PROGRAM = 1004;
inline constexpr int IDC_BROWSE_FOLDER = 1009;
inline constexpr int IDC_TITLE = 1014;
inline constexpr int IDC_BROWSE_PROGRAM = 1020;
inline constexpr int IDC_PAGE_TABS = 1034;

// Target-file page (134).
inline constexpr int IDC_ALL_FILES = 1024;
inline constexpr int IDC_NAMED_FILES = 1025;
inline constexpr int IDC_NAME_PATTERN = 1026;
inline constexpr int IDC_CREATE_OR_UPDATE = 1035;
inline constexpr int IDC_CREATE_RENAME_DELETE = 1036;
inline constexpr int IDC_WILDCARD_NOTE = 1039;

// Notification page (135).
inline constexpr int IDC_SHOW_MESSAGE = 1027;
inline constexpr int IDC_PLAY_SOUND = 1028;
inline constexpr int IDC_SOUND_FILE = 1004;
inline constexpr int IDC_BROWSE_SOUND = 1005;
inline constexpr int IDC_BEEP = 1006;
inline constexpr int IDC_WAVE = 1007;

// After-processing page (133).
inline constexpr int IDC_LEAVE_FILE = 1005;
inline constexpr int IDC_DELETE_TARGET = 1006;
inline constexpr int IDC_MOVE_FOLDER = 1032;
inline constexpr int IDC_MOVE_TARGET = 1037;
inline constexpr int IDC_BROWSE_MOVE = 1038;
inline constexpr int IDC_OVERWRITE = 1003;

// List dialog (132).
inline constexpr int IDC_START_WITH_LOGIN = 1011;
inline constexpr int IDC_NEW_ENTRY = 1016;
inline constexpr int IDC_CHANGE_ENTRY = 1017;
inline constexpr int IDC_DELETE_ENTRY = 1018;
inline constexpr int IDC_ENTRY_LIST = 1019;
inline constexpr int IDC_SWITCH_ENTRY = 1021;
inline constexpr int IDC_SHOWN_FOLDER = 1022;
inline constexpr int IDC_SHOWN_PROGRAM = 1023;

// History window (137).
inline constexpr int IDC_HISTORY_LIST = 1040;
inline constexpr int IDC_OPEN_HISTORY_FILE = 1041;

}  // namespace molvar::res
