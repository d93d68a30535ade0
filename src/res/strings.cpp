#include "res/strings.h"

#include <string>

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

text::Cp932String ThreadCreationFailed(int entryIndex) {
    static const text::Cp932String suffix = text::LiteralToCp932(u8" 番目のスレッド作成に失敗しました。");
    return text::Cp932String::FromBytes(std::to_string(entryIndex)) + suffix;
}

const text::Cp932String& InstallProperly() {
    static const text::Cp932String text = text::LiteralToCp932(u8"インストーラーより正しくインストールしてください！");
    return text;
}

}  // namespace molvar::res
