// The program's fixed texts, in code page 932. Each is converted from the
// UTF-8 source once, on first use.
#pragma once

#include <cstddef>

#include "text/cp932.h"

namespace molvar::res {

// "Molvar3": the caption of every message box.
const text::Cp932String& ApplicationTitle();

// "書込みファイルオープンエラー": the settings file cannot be written.
const text::Cp932String& WriteFileOpenError();

// "を実行します。": follows the watched folder's path in the notification.
const text::Cp932String& NowRunningSuffix();

// "%d 番目のスレッド作成に失敗しました。": the monitor thread of an entry
// index could not be created.
text::Cp932String ThreadCreationFailed(int entryIndex);

// "インストーラーより正しくインストールしてください！": the data folder
// cannot be determined.
const text::Cp932String& InstallProperly();

// The settings dialog's tab labels, by page index (0 target files,
// 1 notification, 2 after-processing).
const text::Cp932String& PageTabLabel(int index);

// The history window's column headers, by column (0 日時, 1 設定, 2 内容,
// 3 ファイル, 4 詳細).
inline constexpr int kHistoryColumns = 5;
const text::Cp932String& HistoryColumnHeader(int column);

// Refusals and offers of the settings dialog's checks.
const text::Cp932String& NoTargetFileName();
const text::Cp932String& NoMoveFolder();
const text::Cp932String& CreateMoveFolderQuestion();
const text::Cp932String& MoveFolderNotCreated();
const text::Cp932String& NoTitle();
const text::Cp932String& NoWatchFolder();
const text::Cp932String& CreateWatchFolderQuestion();
const text::Cp932String& WatchFolderNotCreated();
// Settings that would feed themselves: a watched folder in the program's data
// folder (its listings change at every scan), a move back into the watched folder.
const text::Cp932String& WatchFolderInDataFolder();
const text::Cp932String& MoveFolderIsWatchFolder();

// The file-open dialogs of the program and WAVE browses: filters in the
// framework's "description|pattern|...||" form, and their common title.
const text::Cp932String& ProgramFileFilter();
const text::Cp932String& WaveFileFilter();
const text::Cp932String& ProgramFileTitle();

// The folder chooser's title.
const text::Cp932String& ChooseFolderTitle();

// Refusals of a chosen file or folder that the field cannot take.
text::Cp932String ChosenPathTooLong(std::size_t maxBytes);
const text::Cp932String& ChosenPathNotConvertible();
const text::Cp932String& ChosenFolderVirtual();

// The data exchange's prompt for a text longer than its field of `maxBytes`
// bytes ("この欄には N バイト以内で入力してください…").
text::Cp932String TextTooLong(std::size_t maxBytes);

// "フォルダ監視": the tray icon's tip and the login link's description.
const text::Cp932String& FolderWatch();

// The list dialog's line prefixes ("【実行中】 ", "【停止中】 ") and the
// switch button's captions ("実  行  中", "停  止  中").
const text::Cp932String& RunningLinePrefix();
const text::Cp932String& StoppedLinePrefix();
const text::Cp932String& SwitchCaptionRunning();
const text::Cp932String& SwitchCaptionStopped();

// The list dialog's messages.
const text::Cp932String& SettingsLimitReached();
const text::Cp932String& ChooseSettingToChange();
const text::Cp932String& ChooseSettingToDelete();
const text::Cp932String& DeleteSettingQuestion();
const text::Cp932String& ChooseSetting();
const text::Cp932String& ChooseFromList();
const text::Cp932String& DiscardChangesQuestion();
// The settings file exists but could not be read: said when the list opens,
// and again when Save is refused, so the file is never replaced by a list
// that lacks its settings.
const text::Cp932String& SettingsFileUnreadable();
const text::Cp932String& SaveRefusedUnreadable();

}  // namespace molvar::res
