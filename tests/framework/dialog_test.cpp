// The framework's dialog machinery on this build's backend: data exchange
// and its refusal, nested modal loops, the walk of PreTranslateMessage, a
// dialog nobody answers, and the file dialog's filter.
#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "framework/choosers.h"
#include "framework/dialog.h"
#include "framework/dialog_user.h"
#include "res/resource.h"
#include "res/templates.h"
#include "support/test_support.h"

namespace molvar::framework {
namespace {

using test::Sj;
constexpr ControlRef kTitle{res::IDD_SETENV, res::IDC_TITLE};
constexpr ControlRef kFolder{res::IDD_SETENV, res::IDC_WATCH_FOLDER};

// The settings dialog's window with two of its fields, and nothing else.
class TwoFieldDialog : public CDialog {
public:
    TwoFieldDialog() : CDialog(res::IDD_SETENV) {}

    text::Cp932String title, folder;
    std::function<bool(Message&)> onKey = [](Message&) { return false; };

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, res::IDC_TITLE, title, 4);
        DDX_Text(pDX, res::IDC_WATCH_FOLDER, folder, 8);
    }
    bool PreTranslateMessage(Message& message) override { return onKey(message); }
};

// Runs one step of `steps` whenever the modal loop is idle.
class Steps {
public:
    explicit Steps(std::deque<std::function<void(DialogUser&)>> steps) : steps_(std::move(steps)) {
        SetModalIdleHook([this] {
            if (steps_.empty()) return false;
            auto step = std::move(steps_.front());
            steps_.pop_front();
            step(*user_);
            return true;
        });
    }
    ~Steps() { SetModalIdleHook(nullptr); }

private:
    std::unique_ptr<DialogUser> user_ = MakeDialogUser();
    std::deque<std::function<void(DialogUser&)>> steps_;
};

struct RecordedBoxes final : MessageBoxPresenter {
    int Present(const text::Cp932String& message, unsigned) override {
        shown.push_back(message);
        return IDOK;
    }
    std::vector<text::Cp932String> shown;
};

TEST(DialogTest, ExchangeLimitsTypingAndRefusesWhatDoesNotFit) {
    RecordedBoxes boxes;
    ScopedMessageBoxPresenter presenter(boxes);
    TwoFieldDialog dialog;
    dialog.title = Sj(u8"あい");
    Steps steps({
        [](DialogUser& user) {
            EXPECT_EQ(user.Text(kTitle), "あい");
            EXPECT_EQ(user.Focus().id, kTitle.id);  // the first control
            user.Type(kTitle, "aあいう");           // 4 bytes: "aあ", then "い" is refused
            EXPECT_EQ(user.Text(kTitle), "aあ");
            user.Type(kFolder, "b\xF0\x9F\x98\x80" "c");  // no code page 932 form: refused
            EXPECT_EQ(user.Text(kFolder), "bc");
            user.PressKey(VK_RETURN);
        },
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.title, Sj(u8"aあ"));
    EXPECT_EQ(dialog.folder, Sj(u8"bc"));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(DialogTest, ATextLongerThanItsFieldIsRefusedWithItsLimitAndTheFocusOnIt) {
    RecordedBoxes boxes;
    ScopedMessageBoxPresenter presenter(boxes);
    TwoFieldDialog dialog;
    Steps steps({
        [&](DialogUser&) {
            dialog.SetDlgItemText(res::IDC_WATCH_FOLDER, Sj(u8"ながいパス"));  // 10 bytes, as a browse could put
            EXPECT_FALSE(dialog.UpdateData(true));
            EXPECT_TRUE(dialog.folder.empty());
        },
        [&](DialogUser& user) {
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_NE(boxes.shown[0].bytes().find(" 8 "), std::string::npos);
            EXPECT_EQ(user.Focus().id, kFolder.id);
            user.PressKey(VK_ESCAPE);
        },
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST(DialogTest, KeysGoThroughPreTranslateMessageBeforeTheDialogManager) {
    TwoFieldDialog dialog;
    std::vector<unsigned> seen;
    dialog.onKey = [&](Message& message) {
        seen.push_back(message.wParam);
        return message.wParam == VK_RETURN;  // Enter swallowed, Escape not
    };
    Steps steps({
        [](DialogUser& user) { user.PressKey(VK_RETURN); },
        [](DialogUser& user) {
            EXPECT_EQ(user.ModalTemplate(), res::IDD_SETENV);  // still open
            user.PressKey(VK_ESCAPE);
        },
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(seen, (std::vector<unsigned>{VK_RETURN, VK_ESCAPE}));
}

TEST(DialogTest, ModalDialogsNestAndTheOwnerIsDisabledMeanwhile) {
    TwoFieldDialog outer;
    int innerResult = 0;
    Steps steps({
        [&](DialogUser&) {
            CDialog about(res::IDD_ABOUTBOX);
            innerResult = about.DoModal();  // runs the following steps
            EXPECT_TRUE(outer.IsWindowEnabled());
        },
        [&](DialogUser& user) {
            EXPECT_EQ(user.ModalTemplate(), res::IDD_ABOUTBOX);
            EXPECT_FALSE(outer.IsWindowEnabled());
            user.Click({res::IDD_ABOUTBOX, IDOK});
        },
        [](DialogUser& user) {
            EXPECT_EQ(user.ModalTemplate(), res::IDD_SETENV);
            user.Click({res::IDD_SETENV, IDCANCEL});
        },
    });
    EXPECT_EQ(outer.DoModal(), IDCANCEL);
    EXPECT_EQ(innerResult, IDOK);
}

TEST(DialogTest, ADialogThatNobodyAnswersEndsAsCancelledInsteadOfHanging) {
    TwoFieldDialog dialog;
    Steps none({});
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_FALSE(dialog.IsWindow());
}

TEST(FileDialogTest, FiltersSplitOnlyAtBarsThatStartACharacter) {
    struct Recorder final : Choosers {
        ChooserResult OpenFile(const OpenFileRequest& request) override {
            seen = request;
            return {ChooserResult::Outcome::Chosen, Sj(u8"C:\\ポ.exe")};
        }
        ChooserResult Folder(const text::Cp932String&, const text::Cp932String&) override { return {}; }
        OpenFileRequest seen;
    } recorder;
    ScopedChoosers choosers(recorder);
    // "ポ" is 0x83 0x7C: its second byte is a '|'.
    CFileDialog dialog(true, Sj(u8"ポ (*.EXE)|*.EXE|全て|*.*||"), Sj(u8"指定"));
    EXPECT_EQ(dialog.DoModal(), IDOK);
    using Filters = std::vector<std::pair<text::Cp932String, text::Cp932String>>;
    EXPECT_EQ(recorder.seen.filters, (Filters{{Sj(u8"ポ (*.EXE)"), Sj(u8"*.EXE")}, {Sj(u8"全て"), Sj(u8"*.*")}}));
    EXPECT_EQ(recorder.seen.title, Sj(u8"指定"));
    EXPECT_EQ(dialog.GetPathName(), Sj(u8"C:\\ポ.exe"));
}

}  // namespace
}  // namespace molvar::framework
