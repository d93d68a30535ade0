#include "res/templates.h"

#include <algorithm>
#include <array>

#include "res/resource.h"

namespace molvar::res {
namespace {

using K = ControlKind;
using namespace style;

// The usual styles of each kind of input control.
constexpr std::uint32_t kEditStyle = kBorder | kAutoHScroll | kTabStop;
constexpr std::uint32_t kCheckStyle = kTabStop;
constexpr std::uint32_t kButtonStyle = kTabStop;
constexpr std::uint32_t kFirstRadio = kGroup | kTabStop;

constexpr int kIdOk = 1;  // the framework's IDOK and IDCANCEL
constexpr int kIdCancel = 2;

constexpr std::u8string_view kDialogFont = u8"ＭＳ Ｐゴシック";
constexpr std::u8string_view kBrowse = u8"参　照";
constexpr std::u8string_view kCancel = u8"ｷｬﾝｾﾙ";

constexpr std::array kAboutControls{
    ControlTemplate{IDC_STATIC, K::Icon, kGroup, {14, 14, 20, 20}, u8"128"},
    // Two lines high: where the font is wider than the one the box was laid
    // out for, the version wraps onto the second line rather than vanishing.
    ControlTemplate{IDC_STATIC, K::Static, 0, {42, 14, 114, 16}, u8"フォルダ監視 Molvar Version 3.01.4.22"},
    ControlTemplate{kIdOk, K::DefPushButton, kButtonStyle, {96, 40, 50, 14}, u8"OK"},
};

constexpr std::array kListControls{
    ControlTemplate{IDC_STATIC, K::BlackFrame, kGroup | kSunken, {9, 8, 269, 28}, u8""},
    ControlTemplate{IDC_STATIC, K::Static, 0, {14, 12, 52, 8}, u8"【監視 フォルダ】"},
    ControlTemplate{IDC_SHOWN_FOLDER, K::Static, 0, {68, 12, 196, 8}, u8""},
    ControlTemplate{IDC_STATIC, K::Static, 0, {14, 24, 52, 8}, u8"【実行する処理】"},
    ControlTemplate{IDC_SHOWN_PROGRAM, K::Static, 0, {68, 24, 196, 8}, u8""},
    ControlTemplate{IDC_ENTRY_LIST, K::ListBox,
                    kNotify | kNoSort | kNoIntegralHeight | kVScroll | kBorder | kTabStop,
                    {9, 44, 201, 138}, u8""},
    ControlTemplate{IDC_NEW_ENTRY, K::PushButton, kButtonStyle, {223, 52, 50, 16}, u8"新規登録"},
    ControlTemplate{IDC_CHANGE_ENTRY, K::PushButton, kButtonStyle, {223, 72, 50, 16}, u8"変更登録"},
    ControlTemplate{IDC_DELETE_ENTRY, K::PushButton, kButtonStyle, {223, 92, 50, 16}, u8"削　　　除"},
    ControlTemplate{IDC_SWITCH_ENTRY, K::PushButton, kButtonStyle, {223, 112, 50, 16}, u8"実  行  中"},
    ControlTemplate{kIdOk, K::DefPushButton, kButtonStyle, {223, 144, 50, 16}, u8"保　　存"},
    ControlTemplate{kIdCancel, K::PushButton, kButtonStyle, {223, 164, 50, 16}, kCancel},
    ControlTemplate{IDC_STATIC, K::GrayRect, kSunken, {218, 44, 60, 140}, u8""},
    ControlTemplate{IDC_START_WITH_LOGIN, K::CheckBox, kCheckStyle, {8, 188, 144, 10},
                    u8"Windows 起動時にMolvarを起動する"},
};

// The three radio buttons are one group although the folder edit and the
// frame stand between the second and the third: the group ends at the
// browse button.
constexpr std::array kAfterProcControls{
    ControlTemplate{IDC_LEAVE_FILE, K::RadioButton, kFirstRadio, {12, 15, 60, 10}, u8"なにもしない。"},
    ControlTemplate{IDC_DELETE_TARGET, K::RadioButton, kHidden, {140, 8, 94, 10}, u8"対象ファイルを削除する。"},
    ControlTemplate{IDC_MOVE_FOLDER, K::Edit, kEditStyle, {12, 42, 224, 14}, u8""},
    ControlTemplate{IDC_STATIC, K::GroupBox, 0, {4, 0, 240, 80}, u8" 後処理 "},
    ControlTemplate{IDC_MOVE_TARGET, K::RadioButton, 0, {12, 29, 142, 10},
                    u8"対象ファイルを別のフォルダへ移動する。"},
    ControlTemplate{IDC_BROWSE_MOVE, K::PushButton, kGroup | kButtonStyle, {196, 26, 38, 14}, kBrowse},
    ControlTemplate{IDC_OVERWRITE, K::CheckBox, kCheckStyle, {12, 59, 114, 10}, u8"移動したファイルは上書きする。"},
};

constexpr std::array kFileProcControls{
    ControlTemplate{IDC_STATIC, K::GroupBox, kGroup, {4, 0, 124, 80}, u8" 対象ファイル "},
    ControlTemplate{IDC_ALL_FILES, K::RadioButton, kFirstRadio, {12, 16, 108, 10}, u8"更新の行われたファイルすべて"},
    ControlTemplate{IDC_NAMED_FILES, K::RadioButton, 0, {12, 28, 88, 10}, u8"名前を指定したファイル"},
    ControlTemplate{IDC_NAME_PATTERN, K::Edit, kGroup | kEditStyle, {12, 42, 108, 14}, u8""},
    ControlTemplate{IDC_STATIC, K::GroupBox, 0, {132, 0, 112, 80}, u8" 実行のタイミング"},
    ControlTemplate{IDC_WILDCARD_NOTE, K::Static, kGroup, {13, 60, 108, 8}, u8"「abc*.*」などのワイルドカード可能"},
    ControlTemplate{IDC_CREATE_OR_UPDATE, K::RadioButton, kFirstRadio | kMultiLine | kTextTop, {140, 16, 99, 16},
                    u8"ファイルの作成及び更新が発生した場合。"},
    ControlTemplate{IDC_CREATE_RENAME_DELETE, K::RadioButton, kMultiLine | kTextTop, {140, 40, 96, 24},
                    u8"ファイルの作成、名前の変更、削除が発生した場合。"},
    ControlTemplate{IDC_STATIC, K::Static, kGroup | kHidden, {136, 68, 20, 8}, u8"Static"},
};

constexpr std::array kNoticeProcControls{
    ControlTemplate{IDC_SHOW_MESSAGE, K::CheckBox, kGroup | kCheckStyle, {16, 16, 93, 10}, u8"メッセージを表示させる。"},
    ControlTemplate{IDC_PLAY_SOUND, K::CheckBox, kCheckStyle, {16, 28, 69, 10}, u8"通知音を鳴らす。"},
    ControlTemplate{IDC_STATIC, K::GroupBox, 0, {4, 0, 240, 80}, u8" 通知 "},
    ControlTemplate{IDC_SOUND_FILE, K::Edit, kEditStyle, {16, 54, 216, 14}, u8""},
    ControlTemplate{IDC_BROWSE_SOUND, K::PushButton, kButtonStyle, {196, 38, 36, 14}, kBrowse},
    ControlTemplate{IDC_BEEP, K::RadioButton, kFirstRadio, {16, 42, 66, 10}, u8" ビープ音を使用"},
    ControlTemplate{IDC_WAVE, K::RadioButton, 0, {88, 42, 85, 10}, u8"ＷＡＶＥサウンドを使用"},
};

constexpr std::array kSetEnvControls{
    ControlTemplate{IDC_STATIC, K::GroupBox, kGroup, {12, 12, 252, 60}, u8" 監視フォルダ "},
    ControlTemplate{IDC_STATIC, K::Static, 0, {24, 32, 24, 8}, u8"タイトル"},
    ControlTemplate{IDC_TITLE, K::Edit, kEditStyle, {56, 28, 200, 14}, u8""},
    ControlTemplate{IDC_STATIC, K::Static, 0, {24, 52, 27, 8}, u8"フォルダ"},
    ControlTemplate{IDC_WATCH_FOLDER, K::Edit, kEditStyle, {56, 48, 158, 14}, u8""},
    ControlTemplate{IDC_BROWSE_FOLDER, K::PushButton, kButtonStyle, {216, 48, 40, 14}, kBrowse},
    ControlTemplate{IDC_STATIC, K::GroupBox, 0, {12, 76, 252, 64}, u8" 実行する処理 "},
    ControlTemplate{IDC_PROGRAM, K::Edit, kEditStyle, {24, 92, 190, 14}, u8""},
    ControlTemplate{IDC_BROWSE_PROGRAM, K::PushButton, kButtonStyle, {216, 92, 40, 14}, kBrowse},
    ControlTemplate{IDC_OPEN_TARGET, K::CheckBox, kCheckStyle, {24, 112, 128, 10},
                    u8" 実行時に対象となるファイルを開く。"},
    ControlTemplate{IDC_WAIT_FOR_EXIT, K::CheckBox, kCheckStyle, {24, 124, 188, 10},
                    u8" 実行時の処理が終了するまで以後の処理を待機する。"},
    ControlTemplate{IDC_PAGE_TABS, K::TabControl, kTabStop, {12, 145, 252, 108}, u8""},
    ControlTemplate{kIdOk, K::DefPushButton, kButtonStyle, {157, 262, 50, 17}, u8"OK"},
    ControlTemplate{kIdCancel, K::PushButton, kButtonStyle, {213, 262, 50, 17}, kCancel},
};

constexpr std::array kHistoryControls{
    ControlTemplate{IDC_HISTORY_LIST, K::ReportList, kGroup | kBorder | kTabStop | kGrowRight | kGrowBottom,
                    {7, 7, 426, 186}, u8""},
    ControlTemplate{IDC_OPEN_HISTORY_FILE, K::PushButton, kButtonStyle | kFollowBottom, {7, 200, 84, 14},
                    u8"履歴ファイルを開く"},
    ControlTemplate{kIdCancel, K::DefPushButton, kButtonStyle | kFollowRight | kFollowBottom, {383, 200, 50, 14},
                    u8"閉じる"},
};

constexpr std::array kDialogs{
    DialogTemplate{IDD_ABOUTBOX, DialogKind::Modal, {0, 0, 162, 62}, u8"Molvar バージョン情報", 9,
                   u8"MS UI Gothic", kAboutControls},
    DialogTemplate{IDD_DIRLIST, DialogKind::Modal, {0, 0, 291, 209}, u8"監視フォルダ一覧", 10, kDialogFont,
                   kListControls},
    DialogTemplate{IDD_AFTERPROC, DialogKind::Page, {14, 167, 245, 84}, u8"", 10, kDialogFont, kAfterProcControls},
    DialogTemplate{IDD_FILEPROC, DialogKind::Page, {14, 167, 245, 84}, u8"", 10, kDialogFont, kFileProcControls},
    DialogTemplate{IDD_NOTICEPROC, DialogKind::Page, {14, 167, 245, 80}, u8"", 10, kDialogFont,
                   kNoticeProcControls},
    DialogTemplate{IDD_SETENV, DialogKind::Modal, {0, 0, 275, 289}, u8"監視フォルダ設定", 10, kDialogFont,
                   kSetEnvControls},
    DialogTemplate{IDD_HISTORY, DialogKind::Resizable, {0, 0, 440, 221}, u8"処理履歴", 10, kDialogFont,
                   kHistoryControls},
};

constexpr MenuItemTemplate kSeparator{0, u8""};

constexpr std::array kTrayItems{
    MenuItemTemplate{ID_WATCH_START, u8"開始(&S)"},
    MenuItemTemplate{ID_WATCH_STOP, u8"停止(&T)"},
    kSeparator,
    MenuItemTemplate{ID_WATCH_SETTINGS, u8"監視設定...(&U)"},
    MenuItemTemplate{ID_SHOW_HISTORY, u8"処理履歴(&L)..."},
    kSeparator,
    MenuItemTemplate{ID_HELP_FINDER, u8"トピックスの検索(&H)"},
    MenuItemTemplate{ID_APP_ABOUT, u8"バージョン情報(&A)..."},
    kSeparator,
    MenuItemTemplate{ID_TRAY_EXIT, u8"終了(&X)"},
};
constexpr std::array kTrayPopups{PopupTemplate{u8"ポップアップ", kTrayItems}};

// The main frame's menu is never shown; it is kept for the frame's commands.
constexpr std::array kFileItems{
    MenuItemTemplate{57600, u8"新規作成(&N)\tCtrl+N"},
    MenuItemTemplate{57601, u8"開く(&O)...\tCtrl+O"},
    MenuItemTemplate{57603, u8"上書き保存(&S)\tCtrl+S"},
    MenuItemTemplate{57604, u8"名前を付けて保存(&A)..."},
    kSeparator,
    MenuItemTemplate{57616, u8"最近使ったファイル"},
    kSeparator,
    MenuItemTemplate{57665, u8"アプリケーションの終了(&X)"},
};
constexpr std::array kEditItems{
    MenuItemTemplate{57643, u8"元に戻す(&U)\tCtrl+Z"},
    kSeparator,
    MenuItemTemplate{57635, u8"切り取り(&T)\tCtrl+X"},
    MenuItemTemplate{57634, u8"コピー(&C)\tCtrl+C"},
    MenuItemTemplate{57637, u8"貼り付け(&P)\tCtrl+V"},
};
constexpr std::array kHelpItems{
    MenuItemTemplate{ID_APP_ABOUT, u8"バージョン情報 Molvar3(&A)..."},
};
constexpr std::array kMainPopups{
    PopupTemplate{u8"ファイル(&F)", kFileItems},
    PopupTemplate{u8"編集(&E)", kEditItems},
    PopupTemplate{u8"ヘルプ(&H)", kHelpItems},
};

constexpr std::array kMenus{
    MenuTemplate{IDR_MAINFRAME, kMainPopups},
    MenuTemplate{IDR_TRAYMENU, kTrayPopups},
};

struct StringEntry {
    unsigned id;
    std::u8string_view text;
};

constexpr std::array kStrings{
    StringEntry{IDP_OLE_INIT_FAILED,
                u8"OLE の初期化に失敗しました。OLE ライブラリのバージョンが正しいことを確認してください。"},
    StringEntry{IDR_MAINFRAME, u8"Molvar3\n\nMolvar3\n\n\nMolvar3.Document\nMolvar3.Document"},
    StringEntry{AFX_IDS_APP_TITLE, u8"Molvar3"},
};

template <typename Table>
auto FindById(const Table& table, unsigned id) -> decltype(&table[0]) {
    const auto it = std::find_if(table.begin(), table.end(), [id](const auto& entry) { return entry.id == id; });
    return it == table.end() ? nullptr : &*it;
}

}  // namespace

int DefaultButtonId(const DialogTemplate& dialog) {
    for (const ControlTemplate& control : dialog.controls) {
        if (control.kind == ControlKind::DefPushButton) {
            return control.id;
        }
    }
    return 0;
}

const DialogTemplate* FindDialogTemplate(unsigned id) {
    return FindById(kDialogs, id);
}

const MenuTemplate* FindMenuTemplate(unsigned id) {
    return FindById(kMenus, id);
}

std::optional<std::u8string_view> FindString(unsigned id) {
    if (const StringEntry* entry = FindById(kStrings, id)) {
        return entry->text;
    }
    return std::nullopt;
}

}  // namespace molvar::res
