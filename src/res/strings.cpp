#include "res/strings.h"

#include <string>

#include "text/convert.h"

namespace molvar::res {

// A fixed text, converted once.
#define MOLVAR_FIXED_TEXT(name, literal)                                        \
    const text::Cp932String& name() {                                           \
        static const text::Cp932String text = text::LiteralToCp932(literal);    \
        return text;                                                            \
    }

MOLVAR_FIXED_TEXT(ApplicationTitle, u8"Molvar3")
MOLVAR_FIXED_TEXT(WriteFileOpenError, u8"書込みファイルオープンエラー")
MOLVAR_FIXED_TEXT(NowRunningSuffix, u8"を実行します。")

text::Cp932String ThreadCreationFailed(int entryIndex) {
    static const text::Cp932String suffix = text::LiteralToCp932(u8" 番目のスレッド作成に失敗しました。");
    return text::Cp932String::FromBytes(std::to_string(entryIndex)) + suffix;
}

MOLVAR_FIXED_TEXT(InstallProperly, u8"インストーラーより正しくインストールしてください！")

const text::Cp932String& PageTabLabel(int index) {
    static const text::Cp932String labels[] = {
        text::LiteralToCp932(u8" 対象ファイル "),
        text::LiteralToCp932(u8" 通知の有無 "),
        text::LiteralToCp932(u8" 後処理の指定 "),
    };
    return labels[index];
}

const text::Cp932String& HistoryColumnHeader(int column) {
    static const text::Cp932String headers[kHistoryColumns] = {
        text::LiteralToCp932(u8"日時"),     text::LiteralToCp932(u8"設定"),
        text::LiteralToCp932(u8"内容"),     text::LiteralToCp932(u8"ファイル"),
        text::LiteralToCp932(u8"詳細"),
    };
    return headers[column];
}

MOLVAR_FIXED_TEXT(NoTargetFileName, u8"対象ファイル名の入力がございません。")
MOLVAR_FIXED_TEXT(NoMoveFolder, u8"移動先フォルダ名の入力がございません。")
MOLVAR_FIXED_TEXT(CreateMoveFolderQuestion,
                  u8"指定された移動先フォルダは存在しません。このフォルダを作成しますか？「はい／いいえ」を選んでください。")
MOLVAR_FIXED_TEXT(MoveFolderNotCreated, u8"指定された移動先フォルダは作成できませんでした。")
MOLVAR_FIXED_TEXT(NoTitle, u8"タイトルの入力がございません。")
MOLVAR_FIXED_TEXT(NoWatchFolder, u8"監視するフォルダの入力がございません。")
MOLVAR_FIXED_TEXT(CreateWatchFolderQuestion,
                  u8"指定された監視フォルダは存在しません。このフォルダを作成しますか？「はい／いいえ」を選んでください。")
MOLVAR_FIXED_TEXT(WatchFolderNotCreated, u8"指定された監視フォルダは作成できませんでした。")
MOLVAR_FIXED_TEXT(WatchFolderInDataFolder,
                  u8"指定された監視フォルダはMolvarのデータフォルダです。データフォルダとその中のフォルダは監視できません。")
MOLVAR_FIXED_TEXT(MoveFolderIsWatchFolder,
                  u8"指定された移動先フォルダは監視フォルダと同じです。監視フォルダ以外のフォルダを指定してください。")

MOLVAR_FIXED_TEXT(ProgramFileFilter, u8"プログラムファイル (*.EXE)|*.EXE|全てのファイル (*.*)|*.*||")
MOLVAR_FIXED_TEXT(WaveFileFilter, u8"プログラムファイル (*.WAV)|*.WAV|全てのファイル (*.*)|*.*||")
MOLVAR_FIXED_TEXT(ProgramFileTitle, u8"プログラムファイル指定")
MOLVAR_FIXED_TEXT(ChooseFolderTitle, u8"フォルダーを選択してください")

text::Cp932String ChosenPathTooLong(std::size_t maxBytes) {
    static const text::Cp932String before = text::LiteralToCp932(u8"選択された場所のパスが長すぎるため使用できません。この欄に入るのは ");
    static const text::Cp932String after = text::LiteralToCp932(u8" バイト（全角文字は 2 バイト）までです。");
    return before + text::Cp932String::FromBytes(std::to_string(maxBytes)) + after;
}

MOLVAR_FIXED_TEXT(ChosenPathNotConvertible,
                  u8"選択された場所のパスにはシフト JIS で表せない文字が含まれているため使用できません。")
MOLVAR_FIXED_TEXT(ChosenFolderVirtual,
                  u8"選択された場所はファイルシステム上のフォルダではないため使用できません。")

text::Cp932String TextTooLong(std::size_t maxBytes) {
    static const text::Cp932String before = text::LiteralToCp932(u8"この欄には ");
    static const text::Cp932String after =
        text::LiteralToCp932(u8" バイト以内で入力してください（全角文字は 1 文字 2 バイトです）。");
    return before + text::Cp932String::FromBytes(std::to_string(maxBytes)) + after;
}

MOLVAR_FIXED_TEXT(FolderWatch, u8"フォルダ監視")

MOLVAR_FIXED_TEXT(RunningLinePrefix, u8"【実行中】 ")
MOLVAR_FIXED_TEXT(StoppedLinePrefix, u8"【停止中】 ")
MOLVAR_FIXED_TEXT(SwitchCaptionRunning, u8"実  行  中")
MOLVAR_FIXED_TEXT(SwitchCaptionStopped, u8"停  止  中")

MOLVAR_FIXED_TEXT(SettingsLimitReached, u8"既に登録可能数に達しております。これ以上は登録できません。")
MOLVAR_FIXED_TEXT(ChooseSettingToChange, u8"変更される設定タイトルを選んでください。")
MOLVAR_FIXED_TEXT(ChooseSettingToDelete, u8"削除対象の設定タイトルを選んでください。")
MOLVAR_FIXED_TEXT(DeleteSettingQuestion,
                  u8"この設定情報を削除してよろしいですか？「はい／いいえ」を選んでください。")
MOLVAR_FIXED_TEXT(ChooseSetting, u8"設定タイトルを選んでください。")
MOLVAR_FIXED_TEXT(ChooseFromList, u8"リストを選んでください。")
MOLVAR_FIXED_TEXT(DiscardChangesQuestion,
                  u8"情報が更新されています、保存しなくてよろしいですか？「はい／いいえ」を選んでください。")
MOLVAR_FIXED_TEXT(SettingsFileUnreadable,
                  u8"設定ファイル dirinfo.dat を読み込めませんでした。"
                  u8"登録済みの設定を失わないよう、この一覧は保存できません。")
MOLVAR_FIXED_TEXT(SaveRefusedUnreadable,
                  u8"設定ファイル dirinfo.dat を読み込めなかったため、保存できません。")

#undef MOLVAR_FIXED_TEXT

}  // namespace molvar::res
