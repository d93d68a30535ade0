#include "res/strings.h"

#include "text/convert.h"

namespace molvar::res {

const text::Cp932String& WriteFileOpenError() {
    static const text::Cp932String text = text::LiteralToCp932(u8"書込みファイルオープンエラー");
    return text;
}

const text::Cp932String& NowRunningSuffix() {
    static const text::Cp932String text = text::LiteralToCp932(u8"を実行します。");
    return text;
}

}  // namespace molvar::res
