// The program's fixed texts, in code page 932. Each is converted from the
// UTF-8 source once, on first use.
#pragma once

#include "text/cp932.h"

namespace molvar::res {

// "書込みファイルオープンエラー": the settings file cannot be written.
const text::Cp932String& WriteFileOpenError();

// "を実行します。": follows the watched folder's path in the notification.
const text::Cp932String& NowRunningSuffix();

}  // namespace molvar::res
