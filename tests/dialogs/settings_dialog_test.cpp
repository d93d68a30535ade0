// The settings dialog and its pages as a user meets them. The same scenarios
// run on the headless backend and, in the Windows build, on real windows.
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "dialogs/set_env_dlg.h"
#include "res/resource.h"
#include "support/dialog_script.h"
#include "support/test_support.h"

namespace molvar::test {
namespace {

using namespace res;
using text::operator""_cp;
using framework::ChooserResult;
using framework::ControlRef;
using framework::DialogUser;
using Shown = DialogScript::Shown;
using Outcome = ChooserResult::Outcome;

constexpr ControlRef Dlg(int id) { return {IDD_SETENV, id}; }
constexpr ControlRef FilePage(int id) { return {IDD_FILEPROC, id}; }
constexpr ControlRef NoticePage(int id) { return {IDD_NOTICEPROC, id}; }
constexpr ControlRef AfterPage(int id) { return {IDD_AFTERPROC, id}; }

constexpr ControlRef kTitle = Dlg(IDC_TITLE), kFolder = Dlg(IDC_WATCH_FOLDER), kProgram = Dlg(IDC_PROGRAM);
constexpr ControlRef kWait = Dlg(IDC_WAIT_FOR_EXIT), kTabs = Dlg(IDC_PAGE_TABS), kOk = Dlg(IDOK);
constexpr ControlRef kPattern = FilePage(IDC_NAME_PATTERN), kNote = FilePage(IDC_WILDCARD_NOTE);
constexpr ControlRef kSoundFile = NoticePage(IDC_SOUND_FILE), kDestination = AfterPage(IDC_MOVE_FOLDER);

const Shown kNoPattern = Say(u8"対象ファイル名の入力がございません。");
const Shown kNoDestination = Say(u8"移動先フォルダ名の入力がございません。");
const Shown kCreateDestination =
    Ask(u8"指定された移動先フォルダは存在しません。このフォルダを作成しますか？「はい／いいえ」を選んでください。");
const Shown kDestinationNotCreated = Say(u8"指定された移動先フォルダは作成できませんでした。");
const Shown kNoTitle = Say(u8"タイトルの入力がございません。");
const Shown kNoFolder = Say(u8"監視するフォルダの入力がございません。");
const Shown kCreateFolder =
    Ask(u8"指定された監視フォルダは存在しません。このフォルダを作成しますか？「はい／いいえ」を選んでください。");
const Shown kFolderNotCreated = Say(u8"指定された監視フォルダは作成できませんでした。");
const Shown kFolderInDataFolder =
    Say(u8"指定された監視フォルダはMolvarのデータフォルダです。データフォルダとその中のフォルダは監視できません。");
const Shown kMoveIntoWatched =
    Say(u8"指定された移動先フォルダは監視フォルダと同じです。監視フォルダ以外のフォルダを指定してください。");

std::pair<unsigned, int> Where(ControlRef control) { return {control.templateId, control.id}; }

// One character per control, '1' where `query` holds: "101".
using Query = bool (DialogUser::*)(ControlRef) const;
constexpr Query kChecked = &DialogUser::IsChecked, kEnabled = &DialogUser::IsEnabled;
std::string Flags(const DialogUser& u, Query query, std::initializer_list<ControlRef> controls) {
    std::string flags;
    for (const ControlRef control : controls) flags += (u.*query)(control) ? '1' : '0';
    return flags;
}

std::string Repeat(std::string_view piece, int count) {
    std::string text;
    while (count-- > 0) text += piece;
    return text;
}

class SettingsDialogTest : public ::testing::Test {
protected:
    // A title and an existing folder: enough for OK.
    void MakeValid() {
        dlg.title = "t"_cp;
        dlg.folder = SjPath(temp.path());
    }
    std::string In(std::u8string_view name) const { return Utf8(temp.path() / name); }

    TempFolder temp;
    // As the program sets it at start-up.
    ScopedDataFolder data{temp.path() / "data"};
    DialogScript script;
    dialogs::CSetEnvDlg dlg;
};

TEST_F(SettingsDialogTest, NewSettingOpensOnTheTargetPageAndOkGivesWhatWasEntered) {
    script.Then([&](DialogUser& u) {
        EXPECT_EQ(dlg.tabControl.GetItemCount(), 3);
        EXPECT_EQ(u.TabSelection(kTabs), 0);
        EXPECT_TRUE(u.HasWindow(IDD_FILEPROC) && !u.HasWindow(IDD_NOTICEPROC) && !u.HasWindow(IDD_AFTERPROC));
        EXPECT_EQ(Flags(u, kChecked, {FilePage(IDC_ALL_FILES), FilePage(IDC_CREATE_OR_UPDATE)}), "11");
        EXPECT_EQ(Where(u.Focus()), Where(kTitle));
        EXPECT_EQ(Flags(u, kEnabled, {kWait, kPattern, kNote}), "000");
        u.Type(kProgram, "p");
        EXPECT_TRUE(u.IsEnabled(kWait));
        u.Click(FilePage(IDC_NAMED_FILES));
        EXPECT_EQ(Flags(u, kEnabled, {kPattern, kNote}), "11");
        u.Type(kPattern, Repeat("x", 36) + "abc*.*");  // 40 bytes
        // Enter and Escape do nothing inside a page.
        u.PressKey(VK_RETURN);
        u.PressKey(VK_ESCAPE);
        EXPECT_TRUE(dlg.ContinueModal());
        u.Click(FilePage(IDC_ALL_FILES));  // greys the pattern, which is kept
        EXPECT_EQ(Flags(u, kEnabled, {kPattern, kNote}), "00");
        u.Click(FilePage(IDC_CREATE_RENAME_DELETE));
        // 56 bytes: the double-byte character that would cross it is refused.
        u.Type(kTitle, Repeat("あ", 27) + "aあb");
        EXPECT_EQ(u.Text(kTitle), Repeat("あ", 27) + "ab");
        u.Click(Dlg(IDC_OPEN_TARGET));
        u.Click(kWait);
        u.Type(kFolder, Utf8(temp.path()));
        u.PressKey(VK_RETURN);  // on the dialog's own controls: OK
    });
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(script.TakeMessages(), kNoMessages);
    EXPECT_EQ(std::tie(dlg.title, dlg.folder, dlg.program, dlg.namePattern, dlg.moveFolder, dlg.soundFile),
              std::tuple(Cp(Repeat("あ", 27) + "ab"), SjPath(temp.path()), "p"_cp, Cp(Repeat("x", 36) + "abc*"), ""_cp,
                         ""_cp));
    EXPECT_EQ(std::tie(dlg.openTarget, dlg.waitForExit, dlg.targetKind, dlg.triggerKind, dlg.afterAction,
                       dlg.showMessage, dlg.soundKind, dlg.overwriteMoved),
              std::tuple(1, 1, 0, 1, 0, 0, 0, 0));
}

// The notification page from a stored sound and the user's clicks: checks
// of sound box, beep, WAVE; enabled beep, WAVE, file, browse; the sound kept.
struct SoundCase {
    int storedKind;
    std::vector<int> clicks;
    std::string checked, enabled;
    int resultKind;
    friend void PrintTo(const SoundCase& c, std::ostream* out) {
        *out << "stored " << c.storedKind << ", clicks";
        for (const int id : c.clicks) *out << ' ' << id;
    }
};

class NotificationPageTest : public SettingsDialogTest, public ::testing::WithParamInterface<SoundCase> {};

TEST_P(NotificationPageTest, EnablesBySoundBoxAndChoiceAndGivesTheSoundKind) {
    const SoundCase& c = GetParam();
    MakeValid();
    dlg.soundKind = c.storedKind;
    dlg.soundFile = "a.wav"_cp;
    script.Then([&](DialogUser& u) {
        u.PickTab(kTabs, 1);
        for (const int id : c.clicks) u.Click(NoticePage(id));
        const ControlRef box = NoticePage(IDC_PLAY_SOUND), beep = NoticePage(IDC_BEEP), wave = NoticePage(IDC_WAVE);
        EXPECT_EQ(Flags(u, kChecked, {box, beep, wave}), c.checked);
        EXPECT_EQ(Flags(u, kEnabled, {beep, wave, kSoundFile, NoticePage(IDC_BROWSE_SOUND)}), c.enabled);
        u.Click(kOk);
    });
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(std::tie(dlg.soundKind, dlg.soundFile), std::tuple(c.resultKind, "a.wav"_cp));
}

INSTANTIATE_TEST_SUITE_P(SettingsDialog, NotificationPageTest,
                         ::testing::Values(SoundCase{0, {}, "010", "0000", 0}, SoundCase{1, {}, "110", "1100", 1},
                                           SoundCase{2, {}, "101", "1111", 2},
                                           SoundCase{0, {IDC_PLAY_SOUND}, "110", "1100", 1},
                                           SoundCase{0, {IDC_PLAY_SOUND, IDC_WAVE}, "101", "1111", 2},
                                           SoundCase{2, {IDC_PLAY_SOUND}, "001", "0000", 0},
                                           SoundCase{2, {IDC_PLAY_SOUND, IDC_PLAY_SOUND}, "101", "1111", 2},
                                           SoundCase{2, {IDC_BEEP}, "110", "1100", 1}));

TEST_F(SettingsDialogTest, AfterPageKeepsAStoredDeleteUntilAVisibleOptionIsPicked) {
    MakeValid();
    dlg.afterAction = 1;
    dlg.moveFolder = "x"_cp;
    const auto options = {AfterPage(IDC_LEAVE_FILE), AfterPage(IDC_DELETE_TARGET), AfterPage(IDC_MOVE_TARGET)};
    const auto moveControls = {kDestination, AfterPage(IDC_BROWSE_MOVE), AfterPage(IDC_OVERWRITE)};
    script.Then([&](DialogUser& u) {
        for (const int tab : {2, 0, 2}) u.PickTab(kTabs, tab);  // entered again: still the stored value
        EXPECT_EQ(Flags(u, kChecked, options), "010");
        EXPECT_FALSE(u.IsVisible(AfterPage(IDC_DELETE_TARGET)));
        EXPECT_EQ(Flags(u, kEnabled, moveControls), "000");
        u.Click(AfterPage(IDC_MOVE_TARGET));
        EXPECT_EQ(Flags(u, kEnabled, moveControls), "111");
        u.Click(AfterPage(IDC_OVERWRITE));
        u.Click(AfterPage(IDC_LEAVE_FILE));
        EXPECT_EQ(Flags(u, kEnabled, moveControls), "000");
        u.Click(kOk);
    });
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(std::tie(dlg.afterAction, dlg.overwriteMoved, dlg.moveFolder), std::tuple(0, 1, "x"_cp));
}

// OK with everything missing, mended one refusal at a time.
TEST_F(SettingsDialogTest, RefusalsComeInOrderWithTheirMessagesAndFocus) {
    dlg.targetKind = 1;
    dlg.afterAction = 2;
    // Plain boxes are answered OK, questions with `answer`.
    auto press = [&](DialogUser& u, const std::vector<Shown>& expected, std::optional<ControlRef> focus,
                     int answer = IDOK) {
        for (const Shown& box : expected) script.Answer(box.type == MB_YESNO ? answer : IDOK);
        u.Click(kOk);
        EXPECT_TRUE(dlg.ContinueModal());
        EXPECT_EQ(script.TakeMessages(), expected);
        if (focus) {
            EXPECT_EQ(Where(u.Focus()), Where(*focus));
        }
    };
    script.Then([&](DialogUser& u) { press(u, {kNoPattern}, kPattern); })
        .Then([&](DialogUser& u) {
            u.Type(kPattern, " ");  // only spaces, but entered
            u.PickTab(kTabs, 2);
            press(u, {kNoDestination}, kDestination);
            u.Type(kDestination, In(u8"移動先"));
            press(u, {kCreateDestination}, kDestination, IDNO);
            EXPECT_FALSE(fs::exists(temp.path() / u8"移動先"));
            u.Type(kDestination, In(u8"missing/dest"));
            press(u, {kCreateDestination, kDestinationNotCreated}, std::nullopt);
            u.Type(kDestination, In(u8"移動先"));
            press(u, {kCreateDestination, kNoTitle}, kTitle, IDYES);
            EXPECT_TRUE(fs::is_directory(temp.path() / u8"移動先"));
        })
        .Then([&](DialogUser& u) {
            u.Type(kTitle, " ");
            press(u, {kNoFolder}, kFolder);
            u.Type(kFolder, In(u8"監視"));
            press(u, {kCreateFolder}, kFolder, IDNO);
            EXPECT_FALSE(fs::exists(temp.path() / u8"監視"));
            u.Type(kFolder, In(u8"missing/w"));
            press(u, {kCreateFolder, kFolderNotCreated}, std::nullopt);
            u.Type(kFolder, In(u8"監視"));
            script.Answer(IDCANCEL);  // anything but No is a yes
            u.Click(kOk);
        });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(script.TakeMessages(), std::vector<Shown>{kCreateFolder});
    EXPECT_TRUE(fs::is_directory(temp.path() / u8"監視"));
}

// Settings that would feed on their own output: a folder in the data folder
// (also missing, or written with "." and ".."), and a destination that is the
// watched folder under another spelling. The destination's refusal shows its page.
TEST_F(SettingsDialogTest, SettingsThatWouldFeedOnThemselvesAreRefusedWithTheFieldToChange) {
    fs::create_directories(temp.path() / "w");
    fs::create_directories(temp.path() / "done");
    MakeValid();
    dlg.afterAction = 2;
    dlg.moveFolder = Cp(In(u8"w") + "/.");
    const struct {
        std::string folder;
        Shown message;
        ControlRef focus;
    } refused[] = {
        {In(u8"data"), kFolderInDataFolder, kFolder},
        {In(u8"data/obsdat/"), kFolderInDataFolder, kFolder},
        {In(u8"w/../data/obsdat/new"), kFolderInDataFolder, kFolder},
        {In(u8"w"), kMoveIntoWatched, kDestination},
    };
    script.Then([&](DialogUser& u) {
        for (const auto& c : refused) {
            SCOPED_TRACE(c.folder);
            u.PickTab(kTabs, 0);
            u.Type(kFolder, c.folder);
            script.Answer(IDOK);
            u.Click(kOk);
            EXPECT_EQ(script.TakeMessages(), std::vector<Shown>{c.message});
            EXPECT_EQ(Where(u.Focus()), Where(c.focus));
            EXPECT_EQ(u.TabSelection(kTabs), c.focus.templateId == IDD_AFTERPROC ? 2 : 0);
        }
        u.Type(kDestination, In(u8"done"));
        u.Click(kOk);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(script.TakeMessages(), kNoMessages);
    EXPECT_FALSE(fs::exists(temp.path() / "data" / "obsdat" / "new"));
}

// A file of the name passes the existence checks of both folders.
TEST_F(SettingsDialogTest, PagesAreMadeWhenEnteredAndARefusedSwitchKeepsTheOldPage) {
    WriteText(temp.path() / "file", "x");
    WriteText(temp.path() / "file2", "x");
    dlg.title = "t"_cp;
    dlg.folder = SjPath(temp.path() / "file");
    dlg.moveFolder = SjPath(temp.path() / "file2");
    dlg.targetKind = 1;
    dlg.afterAction = 2;
    script.Answer(IDOK).Then([&](DialogUser& u) {
        u.PickTab(kTabs, 1);
        EXPECT_EQ(script.TakeMessages(), std::vector<Shown>{kNoPattern});
        EXPECT_EQ(u.TabSelection(kTabs), 1);
        EXPECT_TRUE(u.HasWindow(IDD_FILEPROC) && !u.HasWindow(IDD_NOTICEPROC));
        EXPECT_EQ(Where(u.Focus()), Where(kPattern));
        u.PickTab(kTabs, 0);  // the page still shown: nothing to do
        EXPECT_EQ(script.TakeMessages(), kNoMessages);
        u.Type(kPattern, "a*");
        u.Click(FilePage(IDC_CREATE_RENAME_DELETE));
        u.PickTab(kTabs, 1);
        EXPECT_TRUE(!u.HasWindow(IDD_FILEPROC) && u.HasWindow(IDD_NOTICEPROC));
        u.Click(NoticePage(IDC_SHOW_MESSAGE));
        u.PickTab(kTabs, 2);
        EXPECT_TRUE(!u.HasWindow(IDD_NOTICEPROC) && u.HasWindow(IDD_AFTERPROC));
        u.PickTab(kTabs, 0);
        EXPECT_EQ(u.Text(kPattern), "a*");
        EXPECT_EQ(Flags(u, kChecked, {FilePage(IDC_NAMED_FILES), FilePage(IDC_CREATE_RENAME_DELETE)}), "11");
        u.PickTab(kTabs, 1);
        EXPECT_TRUE(u.IsChecked(NoticePage(IDC_SHOW_MESSAGE)));
        u.Click(kOk);
    });
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(script.TakeMessages(), kNoMessages);
    EXPECT_EQ(std::tie(dlg.namePattern, dlg.triggerKind, dlg.showMessage), std::tuple("a*"_cp, 1, 1));
}

TEST_F(SettingsDialogTest, BrowsesFillTheirFieldAndKeepWhatWasTyped) {
    const std::string folder = Utf8(temp.path()), program = In(u8"ツール.exe"), wave = In(u8"音.wav");
    const std::string destination = In(u8"済み");
    fs::create_directory(Utf8Path(destination));
    script.Choose(folder).Choose(program).Choose(wave).Choose(destination);
    script.Then([&](DialogUser& u) {
        u.Type(kTitle, "t");
        u.Click(Dlg(IDC_OPEN_TARGET));
        u.Type(kFolder, "start");
        u.Click(Dlg(IDC_BROWSE_FOLDER));
        EXPECT_EQ(u.Text(kFolder), folder);
        EXPECT_FALSE(u.IsEnabled(kWait)) << "putting back an empty program is no typing";
        u.Click(Dlg(IDC_BROWSE_PROGRAM));
        EXPECT_EQ(std::tuple(u.Text(kProgram), u.Text(kTitle)), std::tuple(program, "t"));
        EXPECT_EQ(Flags(u, kEnabled, {kWait}) + Flags(u, kChecked, {Dlg(IDC_OPEN_TARGET)}), "11");
        u.PickTab(kTabs, 1);
        for (const int id : {IDC_PLAY_SOUND, IDC_WAVE, IDC_SHOW_MESSAGE, IDC_BROWSE_SOUND}) u.Click(NoticePage(id));
        EXPECT_EQ(u.Text(kSoundFile), wave);
        EXPECT_TRUE(u.IsChecked(NoticePage(IDC_SHOW_MESSAGE)));
        u.PickTab(kTabs, 2);
        u.Click(AfterPage(IDC_MOVE_TARGET));
        u.Type(kDestination, "dest");
        u.Click(AfterPage(IDC_BROWSE_MOVE));
        EXPECT_EQ(u.Text(kDestination), destination);
        u.Click(kOk);
    });
    ASSERT_EQ(dlg.DoModal(), IDOK);
    const std::string title = U8(u8"フォルダーを選択してください");
    EXPECT_EQ(script.folderRequests,
              (std::vector<std::pair<std::string, std::string>>{{title, "start"}, {title, "dest"}}));
    using Filters = std::vector<std::pair<text::Cp932String, text::Cp932String>>;
    const std::pair allFiles(Sj(u8"全てのファイル (*.*)"), "*.*"_cp);
    ASSERT_EQ(script.fileRequests.size(), 2u);
    EXPECT_EQ(script.fileRequests[0].filters, (Filters{{Sj(u8"プログラムファイル (*.EXE)"), "*.EXE"_cp}, allFiles}));
    EXPECT_EQ(script.fileRequests[1].filters, (Filters{{Sj(u8"プログラムファイル (*.WAV)"), "*.WAV"_cp}, allFiles}));
    for (const auto& request : script.fileRequests) EXPECT_EQ(request.title, Sj(u8"プログラムファイル指定"));
    EXPECT_EQ(std::tie(dlg.folder, dlg.program, dlg.soundFile, dlg.moveFolder),
              std::tuple(Cp(folder), Cp(program), Cp(wave), Cp(destination)));
    EXPECT_EQ(std::tie(dlg.title, dlg.openTarget, dlg.showMessage, dlg.soundKind), std::tuple("t"_cp, 1, 1, 2));
}

// A choice that its field cannot hold as it is changes nothing: a message
// naming the reason (a part of it here), or none for a cancel.
struct BrowseCase {
    int tab;
    ControlRef button, field;
    ChooserResult result;
    std::string message;
    friend void PrintTo(const BrowseCase& c, std::ostream* out) {
        *out << "button " << c.button.id << " on tab " << c.tab << ", outcome " << static_cast<int>(c.result.outcome)
             << ", " << c.result.path.size() << " bytes";
    }
};

class BrowseResultTest : public SettingsDialogTest, public ::testing::WithParamInterface<BrowseCase> {};

TEST_P(BrowseResultTest, IsTakenOnlyWhenItFitsItsField) {
    const BrowseCase& c = GetParam();
    dlg.folder = dlg.program = dlg.soundFile = dlg.moveFolder = "keep"_cp;
    dlg.soundKind = 2;
    dlg.afterAction = 2;
    if (!c.message.empty()) script.Answer(IDOK);
    script.Choose(c.result).Then([&](DialogUser& u) {
        u.PickTab(kTabs, c.tab);
        u.Click(c.button);
        const std::vector<Shown> shown = script.TakeMessages();
        ASSERT_EQ(shown.size(), c.message.empty() ? 0u : 1u);
        if (!shown.empty()) {
            EXPECT_NE(shown[0].text.find(c.message), std::string::npos) << shown[0].text;
        }
        EXPECT_EQ(u.Text(c.field), c.message.empty() && !c.result.path.empty() ? c.result.path.bytes() : "keep");
        u.Click(Dlg(IDCANCEL));
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

const std::string kTooLong = U8(u8"126 バイト");
const ChooserResult kPath126{Outcome::Chosen, text::Cp932String::FromBytes("C:\\" + std::string(123, 'a'))};
const ChooserResult kPath127{Outcome::Chosen, text::Cp932String::FromBytes("C:\\" + std::string(124, 'a'))};
const ChooserResult kNotConvertible{Outcome::NotConvertible, {}}, kVirtual{Outcome::NoFileSystemPath, {}},
    kCancelled{Outcome::Cancelled, {}};
constexpr ControlRef kBrowseFolder = Dlg(IDC_BROWSE_FOLDER), kBrowseMove = AfterPage(IDC_BROWSE_MOVE);

INSTANTIATE_TEST_SUITE_P(
    SettingsDialog, BrowseResultTest,
    ::testing::Values(
        BrowseCase{0, kBrowseFolder, kFolder, kPath126, ""}, BrowseCase{0, kBrowseFolder, kFolder, kPath127, kTooLong},
        BrowseCase{0, kBrowseFolder, kFolder, kNotConvertible, U8(u8"シフト JIS")},
        BrowseCase{0, kBrowseFolder, kFolder, kVirtual, U8(u8"ファイルシステム")},
        BrowseCase{0, kBrowseFolder, kFolder, kCancelled, ""},
        BrowseCase{0, Dlg(IDC_BROWSE_PROGRAM), kProgram, kPath127, kTooLong},
        BrowseCase{1, NoticePage(IDC_BROWSE_SOUND), kSoundFile, kPath127, kTooLong},
        // The destination field takes 127 bytes, but the setting keeps 126.
        BrowseCase{2, kBrowseMove, kDestination, kPath127, kTooLong},
        BrowseCase{2, kBrowseMove, kDestination, kPath126, ""}));

// A destination typed at 127 bytes is kept as its first 126, or 125 when
// byte 126 starts a double-byte character; the offer makes the kept path,
// and the folder stays when the dialog is cancelled (by Escape).
class LongDestinationTest : public SettingsDialogTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LongDestinationTest, IsKeptAs126BytesWithoutSplittingACharacter) {
    const bool endsDoubleByte = GetParam();
    const std::string base = Utf8(temp.path()) + "/";
    ASSERT_LT(base.size(), 100u);
    const std::string typed = base + std::string(125 - base.size(), 'd') + (endsDoubleByte ? "あ" : "dd");
    const std::string kept = typed.substr(0, endsDoubleByte ? 125 : 126);
    script.Answer(IDYES).Then([&](DialogUser& u) {
        u.PickTab(kTabs, 2);
        u.Click(AfterPage(IDC_MOVE_TARGET));
        u.Type(kDestination, typed + "x");
        EXPECT_EQ(u.Text(kDestination), typed);
        u.PickTab(kTabs, 0);
        EXPECT_TRUE(u.HasWindow(IDD_FILEPROC));
        u.Type(kTitle, "u");
        u.PressKey(VK_ESCAPE);  // on the dialog's own controls: Cancel
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(script.TakeMessages(), std::vector<Shown>{kCreateDestination});
    EXPECT_EQ(dlg.moveFolder, Cp(kept));
    EXPECT_TRUE(fs::is_directory(Utf8Path(kept)));
}

INSTANTIATE_TEST_SUITE_P(SettingsDialog, LongDestinationTest, ::testing::Bool());

}  // namespace
}  // namespace molvar::test
