// The program's fixed texts, in code page 932. Each is converted from the
// UTF-8 source once, on first use.
#pragma once

#include <cstddef>

#include "text/cp932.h"

namespace molvar::res {

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

// Refusals and offers of the settings dialog's checks.
const text::Cp932String& NoTargetFileName();
const text::Cp932String& NoMoveFolder();
const text::Cp932String& CreateMoveFolderQuestion();
const text::Cp932String& MoveFolderNotCreated();
const text::Cp932String& NoTitle();
const text::Cp932String& NoWatchFolder();
const text::Cp932String& CreateWatchFolderQuestion();
const text::Cp932String& WatchFolderNotCreated();

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

}  // namespace molvar::res
