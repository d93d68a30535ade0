// The program's fixed texts, in code page 932. Each is converted from the
// UTF-8 source once, on first use.
#pragma once

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

}  // namespace molvar::res
