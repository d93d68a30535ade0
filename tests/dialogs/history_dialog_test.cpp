// The history window as a user meets it: the same scenarios on the headless
// backend, on real windows in the Windows build and on the Qt widgets.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "dialogs/history_dlg.h"
#include "res/resource.h"
#include "support/dialog_script.h"
#include "support/test_support.h"

namespace molvar::test {
namespace {

using framework::DialogUser;
using Row = std::vector<std::string>;

constexpr framework::ControlRef kOpenFile{res::IDD_HISTORY, res::IDC_OPEN_HISTORY_FILE};
constexpr framework::ControlRef kClose{res::IDD_HISTORY, IDCANCEL};
constexpr std::int64_t kTime = 1796619785;

// Whoever opens the file: the shell, here a list.
struct OpenedFiles final : platform::Services {
    platform::Failure ShellOpenDocument(const platform::NativePath& path) const override {
        return opened.push_back(Utf8ForDisplay(path)), failure;
    }
    mutable std::vector<std::string> opened;
    platform::Failure failure;
};

class HistoryDialogTest : public ::testing::Test {
protected:
    void Record(std::string_view event, std::string detail = {}) {
        log.Record({kTime, Sj(u8"ダウンロード"), event, Native(Utf8(temp.path() / u8"受信.txt")), std::move(detail)});
    }
    // Every cell of a row but the time, and whether it stands out ("!").
    Row Cells(int row) const {
        Row cells;
        for (int column = 1; column < 5; ++column) cells.push_back(dlg.m_lstHistory.GetItemText(row, column));
        if (dlg.m_lstHistory.IsItemMarked(row)) cells.push_back("!");
        return cells;
    }
    Row Expected(std::u8string_view event, std::string detail = {}, bool marked = false) const {
        Row cells{U8(u8"ダウンロード"), U8(event), Utf8(temp.path() / u8"受信.txt"), std::move(detail)};
        if (marked) cells.push_back("!");
        return cells;
    }

    TempFolder temp;
    platform::ActivityLog log{Native(Utf8(temp.path() / "history"))};
    OpenedFiles shell;
    dialogs::CHistoryDlg dlg{log, shell};
    DialogScript script;
};

TEST_F(HistoryDialogTest, ShowsTheLatestLinesNewestFirstAFailureStandingOutAndEscapeCloses) {
    Record("watch-start");
    Record("failed", U8(u8"移動できません"));
    Record("some-later-word");
    script.Then([&](DialogUser& u) {
        ASSERT_EQ(dlg.m_lstHistory.GetItemCount(), 3);
        std::string time = platform::IsoLocalTime(kTime).substr(0, 19);
        time[10] = ' ';
        EXPECT_EQ(dlg.m_lstHistory.GetItemText(0, 0), time);
        EXPECT_EQ(Cells(0), Expected(u8"some-later-word"));  // a word it does not know, as it is
        EXPECT_EQ(Cells(1), Expected(u8"失敗", U8(u8"移動できません"), true));
        EXPECT_EQ(Cells(2), Expected(u8"監視開始"));
        EXPECT_TRUE(u.IsEnabled(kOpenFile));
        u.PressKey(VK_ESCAPE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    Record("found");  // heard by nobody once the window is gone
    EXPECT_TRUE(shell.opened.empty());
}

TEST_F(HistoryDialogTest, LinesRecordedWhileOpenComeOnTopKeepingTheLatestThousandAndTheFileOpensOrSaysWhyNot) {
    for (std::size_t k = 0; k < dialogs::CHistoryDlg::kShownLines; ++k) Record("found", std::to_string(k));
    script.Then([&](DialogUser&) {
        ASSERT_EQ(dlg.m_lstHistory.GetItemCount(), 1000);
        EXPECT_EQ(Cells(999), Expected(u8"検出", "0"));
        // Recorded by a watch thread; the window takes it in its own loop.
        std::thread([&] { Record("moved", "/dest"); }).join();
    });
    script.Then([&](DialogUser& u) {
        ASSERT_EQ(dlg.m_lstHistory.GetItemCount(), 1000);
        EXPECT_EQ(Cells(0), Expected(u8"移動", "/dest"));
        EXPECT_EQ(Cells(999), Expected(u8"検出", "1"));
        u.Click(kOpenFile);
        EXPECT_EQ(shell.opened, std::vector{Utf8ForDisplay(log.FilePath())});
        shell.failure = "no handler";
        u.Click(kOpenFile);
    });
    script.Then([&](DialogUser& u) {
        EXPECT_EQ(dlg.m_lstHistory.GetItemText(0, 4), U8(u8"履歴ファイルを開けません: no handler"));
        EXPECT_TRUE(dlg.m_lstHistory.IsItemMarked(0));
        u.Click(kClose);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(HistoryDialogTest, BeforeTheFirstLineThereIsNoFileToOpen) {
    script.Then([&](DialogUser& u) {
        EXPECT_EQ(dlg.m_lstHistory.GetItemCount(), 0);
        EXPECT_FALSE(u.IsEnabled(kOpenFile));
        u.Click(kOpenFile);
        Record("watch-start");
    });
    script.Then([&](DialogUser& u) {
        EXPECT_EQ(dlg.m_lstHistory.GetItemCount(), 1);
        EXPECT_TRUE(u.IsEnabled(kOpenFile));
        u.Click(kClose);
    });
    dlg.DoModal();
    EXPECT_TRUE(shell.opened.empty());
}

}  // namespace
}  // namespace molvar::test
