// The framework's dialog machinery on this build's backend: data exchange
// and its refusal, a dialog nobody answers, and the file dialog's filter.
// (Nested modal dialogs: see the Win32 window tests.)
#include <gtest/gtest.h>

#include "framework/dialog.h"
#include "framework/window_system.h"
#include "res/resource.h"
#include "res/templates.h"
#include "support/dialog_script.h"
#include "support/test_support.h"

namespace molvar::test {
namespace {

using framework::CDialog;
using framework::DialogUser;
constexpr framework::ControlRef kTitle{res::IDD_SETENV, res::IDC_TITLE};
constexpr framework::ControlRef kFolder{res::IDD_SETENV, res::IDC_WATCH_FOLDER};

// The settings dialog's window with two of its fields, and nothing else.
class TwoFieldDialog : public CDialog {
public:
    TwoFieldDialog() : CDialog(res::IDD_SETENV) {}
    text::Cp932String title, folder;

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override {
        DDX_Text(pDX, res::IDC_TITLE, title, 4);
        DDX_Text(pDX, res::IDC_WATCH_FOLDER, folder, 8);
    }
};

TEST(DialogTest, ExchangeLimitsTypingAndRefusesWhatDoesNotFitWithItsLimit) {
    TwoFieldDialog dialog;
    dialog.title = Sj(u8"あい");
    DialogScript script;
    script.Answer(IDOK)
        .Then([&](DialogUser& user) {
            EXPECT_EQ(user.Text(kTitle), "あい");
            EXPECT_EQ(user.Focus().id, kTitle.id);  // the first control
            user.Type(kTitle, "aあいう");           // 4 bytes: "aあ", then "い" is refused
            EXPECT_EQ(user.Text(kTitle), "aあ");
            user.Type(kFolder, "b\xF0\x9F\x98\x80" "c");  // no code page 932 form: refused
            EXPECT_EQ(user.Text(kFolder), "bc");
            EXPECT_TRUE(dialog.UpdateData(true));
            // 10 bytes, as only the program (a browse) could put there.
            dialog.SetDlgItemText(res::IDC_WATCH_FOLDER, Sj(u8"ながいパス"));
            EXPECT_FALSE(dialog.UpdateData(true));
        })
        .Then([&](DialogUser& user) {
            ASSERT_EQ(script.messages.size(), 1u);
            EXPECT_NE(script.messages[0].text.find(" 8 "), std::string::npos);
            EXPECT_EQ(user.Focus().id, kFolder.id);
            user.PressKey(VK_ESCAPE);
        });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.title, Sj(u8"aあ"));
    EXPECT_EQ(dialog.folder, Sj(u8"bc"));
}

// A list box's lines, its selection and the notification of a click on a
// line reach the dialog's message map.
class ListDialog : public CDialog {
public:
    ListDialog() : CDialog(res::IDD_DIRLIST) {}
    framework::CListBox list;
    std::vector<int> picked;

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override { DDX_Control(pDX, res::IDC_ENTRY_LIST, list); }
    bool OnInitDialog() override {
        CDialog::OnInitDialog();
        for (const char* line : {"a", "b", "c"}) list.AddString(text::Cp932String::FromBytes(line));
        list.DeleteString(0);
        return true;
    }
    bool OnDialogMessage(int id, unsigned code, long* result) override {
        static constexpr framework::DialogMapEntry<ListDialog> kMap[] = {
            framework::OnControl(LBN_SELCHANGE, res::IDC_ENTRY_LIST, &ListDialog::OnPick)};
        return framework::DispatchDialogMap<ListDialog>(*this, kMap, id, code, result);
    }

private:
    void OnPick() { picked.push_back(list.GetCurSel()); }
};

TEST(DialogTest, AClickOnAListLineSelectsItAndNotifiesTheDialog) {
    ListDialog dialog;
    DialogScript script;
    script.Then([&](DialogUser& user) {
        constexpr framework::ControlRef kList{res::IDD_DIRLIST, res::IDC_ENTRY_LIST};
        EXPECT_EQ(user.ListSelection(kList), -1);
        user.PickListLine(kList, 1);
        user.PickListLine(kList, 2);  // past the last line: nothing
        EXPECT_EQ(user.ListSelection(kList), 1);
        EXPECT_EQ(dialog.list.GetText(1), text::Cp932String::FromBytes("c"));
        user.Click({res::IDD_DIRLIST, IDCANCEL});
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.picked, std::vector<int>{1});
}

// Enter as the dialog manager takes it: the push button with the focus, else
// the default button, and nothing while that one is disabled.
TEST(DialogTest, EnterPressesTheFocusedPushButtonElseAnEnabledDefaultButton) {
    struct Recorder final : CDialog {
        Recorder() : CDialog(res::IDD_DIRLIST) {}
        bool OnCommand(int id, unsigned code) override {
            if (code == BN_CLICKED) pressed.push_back(id);
            return true;
        }
        std::vector<int> pressed;
    } dialog;
    const struct {
        int focus;
        bool defaultEnabled;
    } steps[] = {{res::IDC_DELETE_ENTRY, true}, {IDOK, true}, {res::IDC_ENTRY_LIST, true},
                 {res::IDC_ENTRY_LIST, false}, {res::IDC_NEW_ENTRY, false}};
    DialogScript script;
    for (const auto& step : steps) {
        // One key per turn: a real window takes it in the loop's next turn.
        script.Then([&](DialogUser& user) {
            dialog.GetDlgItem(IDOK)->EnableWindow(step.defaultEnabled);
            dialog.GetDlgItem(step.focus)->SetFocus();
            user.PressKey(VK_RETURN);
        });
    }
    script.Then([&](DialogUser&) { dialog.EndDialog(IDCANCEL); });
    dialog.DoModal();
    EXPECT_EQ(dialog.pressed, (std::vector<int>{res::IDC_DELETE_ENTRY, IDOK, IDOK, res::IDC_NEW_ENTRY}));
}

// Without a display nobody can answer a dialog: it ends as cancelled rather
// than waiting forever.
TEST(DialogTest, WithoutADisplayADialogEndsAsCancelled) {
    if (framework::StartWindowSystem(framework::WindowSystemUse::DialogsOnly) != framework::WindowSystem::Headless) {
        GTEST_SKIP() << "windows have a user here";
    }
    TwoFieldDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST(FileDialogTest, FiltersSplitOnlyAtBarsThatStartACharacter) {
    DialogScript script;
    script.Choose(U8(u8"C:\\ポ.exe"));
    // "ポ" is 0x83 0x7C: its second byte is a '|'.
    framework::CFileDialog dialog(true, Sj(u8"ポ (*.EXE)|*.EXE|全て|*.*||"), Sj(u8"指定"));
    EXPECT_EQ(dialog.DoModal(), IDOK);
    using Filters = std::vector<std::pair<text::Cp932String, text::Cp932String>>;
    ASSERT_EQ(script.fileRequests.size(), 1u);
    EXPECT_EQ(script.fileRequests[0].filters,
              (Filters{{Sj(u8"ポ (*.EXE)"), Sj(u8"*.EXE")}, {Sj(u8"全て"), Sj(u8"*.*")}}));
}

}  // namespace
}  // namespace molvar::test
