// The list of watched folders as a user meets it, and the document that
// opens it from the tray. The same scenarios run on the headless backend and,
// in the Windows build, on real windows.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "config/watch_record.h"
#include "dialogs/dir_list_dlg.h"
#include "dialogs/startup_shortcut.h"
#include "engine/molvar_doc.h"
#include "engine/monitor_thread.h"
#include "framework/app.h"
#include "platform/files.h"
#include "platform/login_link.h"
#include "res/resource.h"
#include "support/dialog_script.h"
#include "support/test_support.h"

namespace molvar::test {
namespace {

using namespace res;
using config::WatchFileRecord;
using framework::ControlRef;
using framework::DialogUser;
using text::operator""_cp;
using Shown = DialogScript::Shown;
using Lines = std::vector<std::string>;

constexpr ControlRef List(int id) { return {IDD_DIRLIST, id}; }
constexpr ControlRef kNew = List(IDC_NEW_ENTRY), kChange = List(IDC_CHANGE_ENTRY), kDelete = List(IDC_DELETE_ENTRY);
constexpr ControlRef kSwitch = List(IDC_SWITCH_ENTRY), kEntries = List(IDC_ENTRY_LIST);
constexpr ControlRef kLoginBox = List(IDC_START_WITH_LOGIN), kShownFolder = List(IDC_SHOWN_FOLDER);
constexpr ControlRef kShownProgram = List(IDC_SHOWN_PROGRAM), kSave = List(IDOK), kCancel = List(IDCANCEL);

const Shown kLimitReached = Say(u8"既に登録可能数に達しております。これ以上は登録できません。");
const Shown kChooseToChange = Say(u8"変更される設定タイトルを選んでください。");
const Shown kChooseToDelete = Say(u8"削除対象の設定タイトルを選んでください。");
const Shown kChooseSetting = Say(u8"設定タイトルを選んでください。");
const Shown kDeleteQuestion = Ask(u8"この設定情報を削除してよろしいですか？「はい／いいえ」を選んでください。");
const Shown kDiscardQuestion =
    Ask(u8"情報が更新されています、保存しなくてよろしいですか？「はい／いいえ」を選んでください。");
const Shown kWriteError = Say(u8"書込みファイルオープンエラー");
const Shown kUnreadable = Say(u8"設定ファイル dirinfo.dat を読み込めませんでした。"
                              u8"登録済みの設定を失わないよう、この一覧は保存できません。");
const Shown kSaveRefused = Say(u8"設定ファイル dirinfo.dat を読み込めなかったため、保存できません。");

std::string Running(const std::string& title) { return U8(u8"【実行中】 ") + title; }
std::string Stopped(const std::string& title) { return U8(u8"【停止中】 ") + title; }

Lines LinesOf(const dialogs::CDirListDlg& dlg) {
    Lines lines;
    for (int k = 0; k < dlg.m_lstSettings.GetCount(); ++k) {
        lines.push_back(text::ToUtf8ForDisplay(dlg.m_lstSettings.GetText(k)));
    }
    return lines;
}

// A setting with bytes after the NUL of its title and program, which every
// step of the list must carry to the file.
WatchFileRecord Setting(const std::string& title, std::int16_t running, const fs::path& folder) {
    WatchFileRecord record;
    record.running = running;
    record.entry.title.fill('\x7F');
    record.entry.program.fill('~');
    Store(record.entry.title, Cp(title));
    Store(record.entry.folder, SjPath(folder));
    Store(record.entry.program, Cp("prog-" + title));
    return record;
}

// The settings dialog of a new setting, filled in and confirmed.
DialogScript::Step EnterSetting(const std::string& title, const fs::path& folder) {
    return [=](DialogUser& u) {
        ASSERT_EQ(u.ModalTemplate(), IDD_SETENV);
        u.Type({IDD_SETENV, IDC_TITLE}, title);
        u.Type({IDD_SETENV, IDC_WATCH_FOLDER}, Utf8(folder));
        u.Click({IDD_SETENV, IDOK});
    };
}

class DirListDialogTest : public ::testing::Test {
protected:
    DirListDialogTest() {
        app.m_pszRegistryKey = "Molvar tests"_cp;
        app.m_profileFolder = SjPath(temp.path());
        UseProfile(Utf8(temp.path().filename()));
    }
    void TearDown() override {
        for (const std::string& name : profiles_) RemoveTestProfile(name);
    }

    // A profile of its own, with nothing stored yet.
    void UseProfile(const std::string& name) {
        profiles_.push_back(name);
        app.m_pszProfileName = Cp(name);
    }
    std::optional<int> StoredStart() const {
        const int value = app.GetProfileInt("Molvar"_cp, "nStart"_cp, -1);
        return value == -1 ? std::nullopt : std::optional(value);
    }
    // On Linux the link goes to this test's own folder; under Wine to the
    // throw-away prefix's Startup folder.
    static bool LinkExists() {
        const auto path = platform::LoginLinkPath("Molvar"_cp);
        return path && platform::PathExists(*path);
    }

    fs::path SettingsFile() const { return data.Obsdat() / "dirinfo.dat"; }
    void WriteSettings(const std::vector<WatchFileRecord>& records) { WriteBytes(SettingsFile(), BytesOfRecords(records)); }
    std::vector<std::uint8_t> SettingsBytes() const { return ReadBytes(SettingsFile()); }

    TempFolder temp;
    ScopedEnv configHome{"XDG_CONFIG_HOME", Utf8(temp.path())};
    ScopedDataFolder data{temp.path() / "data"};
    framework::CWinApp app;
    DialogScript script;
    dialogs::CDirListDlg dlg;

private:
    std::vector<std::string> profiles_;
};

TEST_F(DirListDialogTest, PositionsStayAlignedThroughDeleteAndNew) {
    const fs::path other = temp.path() / "other";
    fs::create_directory(other);
    const auto a = Setting("A", 1, temp.path()), b = Setting("B", 0, other), c = Setting("C", 7, temp.path());
    WriteSettings({a, b, c});
    script.Then([&](DialogUser& u) {
        EXPECT_EQ(LinesOf(dlg), (Lines{Running("A"), Stopped("B"), Running("C")}));
        EXPECT_EQ(u.ListSelection(kEntries), 0);
        EXPECT_EQ(std::pair(u.Text(kShownFolder), u.Text(kShownProgram)), std::pair(Utf8(temp.path()), U8(u8"prog-A")));
        EXPECT_FALSE(u.IsChecked(kLoginBox));
        u.Click(kLoginBox);
        u.PickListLine(kEntries, 1);  // shows B; the box stays as the user left it
        EXPECT_EQ(std::pair(u.Text(kShownFolder), u.Text(kShownProgram)), std::pair(Utf8(other), U8(u8"prog-B")));
        EXPECT_TRUE(u.IsChecked(kLoginBox));
        u.Click(kLoginBox);

        u.PickListLine(kEntries, 0);
        script.Answer(IDYES);
        u.Click(kDelete);
        EXPECT_EQ(LinesOf(dlg), (Lines{Stopped("B"), Running("C")}));
        EXPECT_EQ(u.ListSelection(kEntries), -1);
        for (const ControlRef button : {kChange, kDelete, kSwitch}) {
            script.Answer(IDOK);
            u.Click(button);
        }
        EXPECT_EQ(script.TakeMessages(), (std::vector{kDeleteQuestion, kChooseToChange, kChooseToDelete, kChooseSetting}));

        u.Click(kNew);
        EXPECT_EQ(LinesOf(dlg), (Lines{Stopped("B"), Running("C"), Running("D")}));
        EXPECT_EQ(u.ListSelection(kEntries), -1);
        EXPECT_EQ(u.Text(kShownFolder), Utf8(temp.path()));  // still A's, picked last
        u.Click(kSave);
    });
    script.Then(EnterSetting("D", other));
    ASSERT_EQ(dlg.DoModal(), IDOK);

    const auto saved = SettingsBytes();
    ASSERT_EQ(saved.size(), 3 * WatchFileRecord::kSize);
    const auto kept = BytesOfRecords(std::vector{b, c});
    EXPECT_EQ(std::vector(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(kept.size())), kept);
    const auto added = WatchFileRecord::FromBytes(
        std::span<const std::uint8_t, WatchFileRecord::kSize>(saved.data() + kept.size(), WatchFileRecord::kSize));
    EXPECT_EQ(std::tuple(added.running, config::FieldText(added.entry.title), config::FieldText(added.entry.folder)),
              std::tuple(std::int16_t{1}, "D"_cp, SjPath(other)));
    EXPECT_EQ(StoredStart(), std::nullopt);
}

// A file of 101 settings: the list has the first 100 and refuses a new one
// until one is deleted; the 101st never reaches the saved file.
TEST_F(DirListDialogTest, AtAHundredSettingsNewIsRefusedUntilOneIsDeleted) {
    std::vector<WatchFileRecord> records;
    for (int k = 0; k < 101; ++k) records.push_back(Setting(std::to_string(k), 1, temp.path()));
    WriteSettings(records);
    script.Then([&](DialogUser& u) {
        ASSERT_EQ(dlg.m_lstSettings.GetCount(), 100);
        EXPECT_EQ(LinesOf(dlg).back(), Running("99"));
        script.Answer(IDOK);
        u.Click(kNew);
        EXPECT_EQ(u.ModalTemplate(), IDD_DIRLIST);  // no settings dialog came
        EXPECT_EQ(script.TakeMessages(), std::vector{kLimitReached});
        u.PickListLine(kEntries, 0);
        script.Answer(IDYES);
        u.Click(kDelete);
        u.Click(kNew);
        EXPECT_EQ(LinesOf(dlg).back(), Running("new"));
        u.Click(kSave);
    });
    script.Then(EnterSetting("new", temp.path()));
    ASSERT_EQ(dlg.DoModal(), IDOK);
    const auto saved = SettingsBytes();
    ASSERT_EQ(saved.size(), 100 * WatchFileRecord::kSize);
    const auto kept = BytesOfRecords(std::vector(records.begin() + 1, records.begin() + 100));
    EXPECT_EQ(std::vector(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(kept.size())), kept);
}

// Cancel asks only when the working list was changed; No keeps the dialog,
// Yes ends it with the file as it was.
struct CancelCase {
    const char* name;
    std::vector<ControlRef> clicks;  // on the list, the first line selected
    std::vector<int> answers;        // for the messages the clicks bring
    bool changeCancelled;            // the settings dialog of Change is cancelled
    bool byEscape;
    bool asks;
};

class CancelTest : public DirListDialogTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CancelTest, AsksBeforeChangesAreLost) {
    const CancelCase& c = GetParam();
    WriteSettings({Setting("A", 1, temp.path()), Setting("B", 0, temp.path())});
    const auto before = SettingsBytes();
    const auto cancel = [&](DialogUser& u) { c.byEscape ? u.PressKey(VK_ESCAPE) : u.Click(kCancel); };
    script.Then([&](DialogUser& u) {
        for (const int answer : c.answers) script.Answer(answer);
        for (const ControlRef button : c.clicks) u.Click(button);
        if (c.asks) script.Answer(IDNO);
        cancel(u);
    });
    if (c.changeCancelled) {
        script.Then([](DialogUser& u) { u.Click({IDD_SETENV, IDCANCEL}); });
    }
    if (c.asks) {
        script.Then([&](DialogUser& u) {
            EXPECT_EQ(script.TakeMessages().back(), kDiscardQuestion);
            script.Answer(IDYES);
            cancel(u);
        });
    }
    ASSERT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(std::count(script.messages.begin(), script.messages.end(), kDiscardQuestion), c.asks ? 1 : 0);
    EXPECT_EQ(SettingsBytes(), before);
    EXPECT_EQ(StoredStart(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    DirListDialog, CancelTest,
    ::testing::Values(CancelCase{"SwitchedTwice", {kSwitch, kSwitch}, {}, false, false, true},
                      CancelCase{"DeletedThenEscape", {kDelete}, {IDYES}, false, true, true},
                      CancelCase{"DeletionDeclined", {kDelete}, {IDNO}, false, false, false},
                      CancelCase{"OnlyTheLoginBox", {kLoginBox}, {}, false, false, false},
                      CancelCase{"ChangeCancelledThenEscape", {kChange}, {}, true, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DirListDialogTest, ChangeAndSwitchKeepTheirLinesAndEnterOnTheListSaves) {
    const auto a = Setting("A", 1, temp.path()), b = Setting("B", 0, temp.path());
    WriteSettings({a, b});
    script.Then([&](DialogUser& u) {
        u.PickListLine(kEntries, 1);
        u.Click(kChange);
        EXPECT_EQ(LinesOf(dlg), (Lines{Running("A"), Running("B")}));
        EXPECT_EQ(u.ListSelection(kEntries), 1);
        u.PickListLine(kEntries, 0);
        u.Click(kSwitch);
        EXPECT_EQ(LinesOf(dlg), (Lines{Stopped("A"), Running("B")}));
        EXPECT_EQ(u.ListSelection(kEntries), 0);
        EXPECT_EQ(u.Text(kSwitch), U8(u8"停  止  中"));
        u.PickListLine(kEntries, 1);  // a running one: the caption stays
        EXPECT_EQ(u.Text(kSwitch), U8(u8"停  止  中"));
        u.PressKey(VK_RETURN);
    });
    script.Then([&](DialogUser& u) {
        EXPECT_EQ(std::pair(u.Text({IDD_SETENV, IDC_TITLE}), u.Text({IDD_SETENV, IDC_PROGRAM})),
                  std::pair(std::string("B"), std::string("prog-B")));
        u.Click({IDD_SETENV, IDOK});
    });
    ASSERT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(script.TakeMessages(), kNoMessages);
    auto stopped = a, started = b;
    stopped.running = 0;
    started.running = 1;
    EXPECT_EQ(SettingsBytes(), BytesOfRecords(std::vector{stopped, started}));
}

TEST_F(DirListDialogTest, AFailedSaveKeepsFileDialogAndLoginOption) {
    if (LinkExists()) GTEST_SKIP() << "a login link named Molvar exists already and is left alone";
    WriteSettings({Setting("A", 1, temp.path())});
    const auto before = SettingsBytes();
    fs::permissions(SettingsFile(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    script.Then([&](DialogUser& u) {
        u.Click(kSwitch);
        u.Click(kLoginBox);
        script.Answer(IDOK);
        u.Click(kSave);
        EXPECT_TRUE(dlg.ContinueModal());
        EXPECT_EQ(script.TakeMessages(), std::vector{kWriteError});
        script.Answer(IDYES);
        u.Click(kCancel);
    });
    ASSERT_EQ(dlg.DoModal(), IDCANCEL);
    fs::permissions(SettingsFile(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(SettingsBytes(), before);
    EXPECT_EQ(StoredStart(), std::nullopt);
    EXPECT_FALSE(LinkExists());
}

TEST_F(DirListDialogTest, AnUnreadableSettingsFileIsNeverReplaced) {
    fs::create_directory(SettingsFile());  // there, but not readable as a file
    script.Answer(IDOK);
    script.Then([&](DialogUser& u) {
        EXPECT_EQ(script.TakeMessages(), std::vector{kUnreadable});
        EXPECT_EQ(LinesOf(dlg), Lines{});
        EXPECT_EQ(u.Text(kShownFolder), "");
        u.Click(kNew);
        script.Answer(IDOK);
        u.Click(kSave);
        EXPECT_TRUE(dlg.ContinueModal());
        EXPECT_EQ(script.TakeMessages(), std::vector{kSaveRefused});
        script.Answer(IDYES);
        u.Click(kCancel);
    });
    script.Then(EnterSetting("A", temp.path()));
    ASSERT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(fs::is_directory(SettingsFile()));
    EXPECT_EQ(FolderNames(data.Obsdat()), Lines{"dirinfo.dat"});
}

// The login option is stored, and the link made or removed, only when Save
// finds the box changed from what was stored. One test, as the Startup
// folder of a Windows run is shared by every test.
TEST_F(DirListDialogTest, TheLoginOptionIsAppliedOnlyWhenTheBoxChanged) {
    if (LinkExists()) GTEST_SKIP() << "a login link named Molvar exists already and is left alone";
    struct Case {
        std::optional<int> stored;
        bool linkBefore, click, shownTicked;
        std::optional<int> storedAfter;
        bool linkAfter;
    };
    const Case cases[] = {
        {2, false, false, true, 1, true},                // shown ticked, saved as 1: the link made again
        {1, false, false, true, 1, false},               // ticked and kept: no link made
        {2, true, true, true, 0, false},                 // unticked: 0, link removed
        {std::nullopt, false, true, false, 1, true},     // ticked: 1, link made
        {0, true, false, false, 0, true},                // unticked and kept: the link stays
        {std::nullopt, false, false, false, std::nullopt, false},
    };
    int k = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(k);
        UseProfile(Utf8(temp.path().filename()) + "-" + std::to_string(k++));
        if (c.stored) app.WriteProfileInt("Molvar"_cp, "nStart"_cp, *c.stored);
        c.linkBefore ? dialogs::CreateStartupShortcut() : dialogs::DeleteStartupShortcut();
        ASSERT_EQ(LinkExists(), c.linkBefore);
        dialogs::CDirListDlg list;
        script.Then([&](DialogUser& u) {
            EXPECT_EQ(u.IsChecked(kLoginBox), c.shownTicked);
            if (c.click) u.Click(kLoginBox);
            u.Click(kSave);
        });
        ASSERT_EQ(list.DoModal(), IDOK);
        EXPECT_EQ(StoredStart(), c.storedAfter);
        EXPECT_EQ(LinkExists(), c.linkAfter);
    }
    dialogs::DeleteStartupShortcut();
}

// The watch is off while the list is open, and starts again from the
// settings file as the list left it.
class WatchSettingsTest : public DirListDialogTest, public ::testing::WithParamInterface<bool> {};

TEST_P(WatchSettingsTest, TheWatchStopsWhileTheListIsOpen) {
    const bool save = GetParam();
    // A folder of its own and no program: nothing the watch sees runs anything.
    const fs::path watched = temp.path() / "watched";
    fs::create_directory(watched);
    WatchFileRecord setting = Setting("A", 1, watched);
    Store(setting.entry.program, ""_cp);
    WriteSettings({setting});
    engine::CMolvarDoc doc;
    ASSERT_EQ(std::pair(engine::g_bWatching.load(), doc.entryCount()), std::pair(1, 1));
    framework::CCmdUI ui(ID_WATCH_SETTINGS);
    EXPECT_FALSE(doc.OnCmdMsg(ID_WATCH_SETTINGS, framework::CN_UPDATE_COMMAND_UI, &ui));  // always enabled
    script.Then([&](DialogUser& u) {
        EXPECT_EQ(u.ModalTemplate(), IDD_DIRLIST);
        EXPECT_EQ(engine::g_bWatching.load(), 0);
        u.Click(kSwitch);  // stops the only setting
        if (!save) script.Answer(IDYES);
        u.Click(save ? kSave : kCancel);
    });
    ASSERT_TRUE(doc.OnCmdMsg(ID_WATCH_SETTINGS, framework::CN_COMMAND, nullptr));
    const int expected = save ? 0 : 1;
    EXPECT_EQ(std::pair(engine::g_bWatching.load(), doc.entryCount()), std::pair(expected, expected));
}

INSTANTIATE_TEST_SUITE_P(DirListDialog, WatchSettingsTest, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Saved" : "Cancelled"); });

}  // namespace
}  // namespace molvar::test
