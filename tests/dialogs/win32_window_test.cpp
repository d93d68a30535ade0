// What the Win32 backend promises beyond the scenarios that every backend
// runs: the windows stand where their templates put them, with their texts;
// the edits' byte limits hold against paste and one-piece insertions as
// well as typing; Tab walks into a page; the modal loop wakes for an
// EndDialog from another thread; the system's choosers give code page 932
// paths.
#include "framework/win32/win32_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <memory>
#include <functional>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "config/watch_record.h"
#include "dialogs/dir_list_dlg.h"
#include "dialogs/set_env_dlg.h"
#include "framework/app.h"
#include "res/resource.h"
#include "support/dialog_script.h"
#include "support/test_support.h"
#include "text/convert.h"

namespace molvar::test {
namespace {

using namespace std::chrono_literals;
using framework::CDialog;
using framework::ControlRef;
using framework::DialogUser;
using framework::win32::HandleOf;

// UTF-16 of a template text (the path type converts UTF-8 on Windows).
std::wstring Wide(std::u8string_view utf8) { return std::filesystem::path(utf8).wstring(); }

std::wstring WindowText(HWND window) {
    std::array<wchar_t, 512> buffer{};
    const int length = ::GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), static_cast<std::size_t>(std::max(length, 0)));
}

using Box = std::array<LONG, 4>;  // left, top, right, bottom

// Where a template rectangle lands in `window`'s client area. The dialog
// manager converts the position and the size each by itself, so the far
// edges round as the sizes do.
Box Mapped(HWND window, const res::DluRect& rect) {
    RECT mapped{rect.x, rect.y, rect.cx, rect.cy};
    ::MapDialogRect(window, &mapped);
    return {mapped.left, mapped.top, mapped.left + mapped.right, mapped.top + mapped.bottom};
}

// Where `child` stands in `window`'s client area.
Box Placed(HWND child, HWND window) {
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

// The controls of `window` in creation order, without its pages.
std::vector<HWND> Controls(HWND window) {
    std::vector<HWND> controls;
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const framework::win32::Win32Window* holder = framework::win32::WindowHolding(child);
        if (holder == nullptr || holder->Handle() != child) {
            controls.push_back(child);
        }
    }
    // Z-order: the page went above the tab control, the controls stay in
    // template order.
    return controls;
}

// Each control at its template rectangle, in the dialog units of its own
// window, with its template text.
void ExpectLaidOut(HWND window, const res::DialogTemplate& source) {
    const std::vector<HWND> controls = Controls(window);
    ASSERT_EQ(controls.size(), source.controls.size());
    for (std::size_t k = 0; k < controls.size(); ++k) {
        const res::ControlTemplate& control = source.controls[k];
        SCOPED_TRACE(testing::Message() << "template " << source.id << ", control " << k << " (id " << control.id
                                        << ")");
        EXPECT_EQ(::GetDlgCtrlID(controls[k]), control.id);
        if (control.kind == res::ControlKind::Icon) {
            continue;  // takes the size of its icon
        }
        EXPECT_EQ(Placed(controls[k], window), Mapped(window, control.rect));
        if (control.kind != res::ControlKind::Edit && control.kind != res::ControlKind::ListBox &&
            control.kind != res::ControlKind::TabControl && control.kind != res::ControlKind::ReportList) {
            EXPECT_EQ(WindowText(controls[k]), Wide(control.text));
        }
    }
}

struct Layout {
    unsigned dialog;
    std::optional<unsigned> page;
};

class LayoutTest : public testing::TestWithParam<Layout> {};

TEST_P(LayoutTest, ControlsStandAtTheirTemplateRectanglesWithTheirTexts) {
    const auto [dialogId, pageId] = GetParam();
    CDialog dialog(dialogId);
    DialogScript script;
    script.Then([&](DialogUser&) {
        const HWND window = HandleOf(&dialog);
        ExpectLaidOut(window, *res::FindDialogTemplate(dialogId));
        EXPECT_EQ(WindowText(window), Wide(res::FindDialogTemplate(dialogId)->caption));
        if (pageId) {
            CDialog page(*pageId);
            ASSERT_TRUE(page.Create(*pageId, &dialog));
            const HWND pageWindow = HandleOf(&page);
            const res::DialogTemplate& source = *res::FindDialogTemplate(*pageId);
            // Placed in the dialog's units, sized in its own.
            const Box size = Mapped(pageWindow, {0, 0, source.rect.cx, source.rect.cy});
            const Box at = Mapped(window, {source.rect.x, source.rect.y, 0, 0});
            EXPECT_EQ(Placed(pageWindow, window), (Box{at[0], at[1], at[0] + size[2], at[1] + size[3]}));
            EXPECT_TRUE(::IsWindowVisible(pageWindow));
            ExpectLaidOut(pageWindow, source);
        }
        dialog.EndDialog(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

INSTANTIATE_TEST_SUITE_P(Templates, LayoutTest,
                         testing::Values(Layout{res::IDD_SETENV, std::nullopt}, Layout{res::IDD_SETENV, res::IDD_FILEPROC},
                                         Layout{res::IDD_SETENV, res::IDD_NOTICEPROC},
                                         Layout{res::IDD_SETENV, res::IDD_AFTERPROC},
                                         Layout{res::IDD_DIRLIST, std::nullopt},
                                         Layout{res::IDD_ABOUTBOX, std::nullopt},
                                         Layout{res::IDD_HISTORY, std::nullopt}),
                         [](const testing::TestParamInfo<Layout>& info) {
                             return std::to_string(info.param.dialog) +
                                    (info.param.page ? "With" + std::to_string(*info.param.page) : "");
                         });

// The history window grows with its list and its buttons along; the user
// cannot make it smaller than its template.
TEST(Win32ResizeTest, TheHistoryFollowsItsSizeDownToItsTemplate) {
    CDialog dialog(res::IDD_HISTORY);
    DialogScript script;
    script.Then([&](DialogUser&) {
        const HWND window = HandleOf(&dialog);
        const HWND list = ::GetDlgItem(window, res::IDC_HISTORY_LIST), close = ::GetDlgItem(window, IDCANCEL);
        const Box listAt = Placed(list, window), closeAt = Placed(close, window);
        RECT least;
        ::GetWindowRect(window, &least);
        const auto resize = [&](LONG dx, LONG dy) {
            ::SetWindowPos(window, nullptr, 0, 0, least.right - least.left + dx, least.bottom - least.top + dy,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        };
        resize(100, 50);
        EXPECT_EQ(Placed(list, window), (Box{listAt[0], listAt[1], listAt[2] + 100, listAt[3] + 50}));
        EXPECT_EQ(Placed(close, window), (Box{closeAt[0] + 100, closeAt[1] + 50, closeAt[2] + 100, closeAt[3] + 50}));
        resize(-200, -100);
        RECT now;
        ::GetWindowRect(window, &now);
        EXPECT_EQ(std::pair(now.right - now.left, now.bottom - now.top),
                  std::pair(least.right - least.left, least.bottom - least.top));
        EXPECT_EQ(Placed(list, window), listAt);
        dialog.EndDialog(IDOK);
    });
    dialog.DoModal();
}

// Text on the clipboard, for a paste. Test programs that show windows take
// turns (the scripted user has the screen), and so they do here.
void PutOnClipboard(HWND owner, const std::wstring& text) {
    ASSERT_TRUE(::OpenClipboard(owner));
    ::EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    std::unique_ptr<void, decltype(&::GlobalFree)> memory(::GlobalAlloc(GMEM_MOVEABLE, bytes), ::GlobalFree);
    if (void* data = memory ? ::GlobalLock(memory.get()) : nullptr) {
        std::memcpy(data, text.c_str(), bytes);
        ::GlobalUnlock(memory.get());
        if (::SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr) {
            memory.release();  // the clipboard's now
        }
    }
    ::CloseClipboard();
}

// How the text reaches the edit.
enum class Input {
    Typed,          // the user types over the whole text
    TypedAtCaret,   // characters typed at the caret
    Pasted,         // Ctrl+V at the caret
    InOnePiece,     // as an input method inserts a converted phrase
    Backspace,      // one character before the caret deleted
};

struct LimitCase {
    const char* name;
    std::size_t limit;
    std::u8string_view before;  // set by the program
    int caret;                  // UTF-16 units; -1: the end
    Input input;
    std::u8string_view entered;
    std::u8string_view after;
    int caretAfter;
    int changes;  // EN_CHANGE reported to the dialog
};

class LimitTest : public testing::TestWithParam<LimitCase> {};

// The settings dialog's window, counting what its title edit reports.
class TitleDialog : public CDialog {
public:
    TitleDialog() : CDialog(res::IDD_SETENV) {}
    bool OnCommand(int id, unsigned code) override {
        changes += id == res::IDC_TITLE && code == EN_CHANGE ? 1 : 0;
        return CDialog::OnCommand(id, code);
    }
    int changes = 0;
};

TEST_P(LimitTest, TheEditKeepsWhatFitsAndReportsOnlyThat) {
    const LimitCase& row = GetParam();
    constexpr ControlRef kTitle{res::IDD_SETENV, res::IDC_TITLE};
    TitleDialog dialog;
    DialogScript script;
    script.Then([&](DialogUser& user) {
        dialog.Peer()->SetLimit(res::IDC_TITLE, row.limit);
        dialog.Peer()->SetText(res::IDC_TITLE, text::LiteralToCp932(row.before));
        const HWND edit = ::GetDlgItem(HandleOf(&dialog), res::IDC_TITLE);
        const int caret = row.caret < 0 ? ::GetWindowTextLengthW(edit) : row.caret;
        ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(caret), caret);
        dialog.changes = 0;
        const std::wstring entered = Wide(row.entered);
        switch (row.input) {
        case Input::Typed:
            user.Type(kTitle, U8(row.entered));
            break;
        case Input::TypedAtCaret:
            for (const wchar_t unit : entered) {
                ::SendMessageW(edit, WM_CHAR, unit, 1);
            }
            break;
        case Input::Pasted:
            PutOnClipboard(edit, entered);
            ::SendMessageW(edit, WM_PASTE, 0, 0);
            break;
        case Input::InOnePiece:
            ::SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(entered.c_str()));
            break;
        case Input::Backspace:
            ::SendMessageW(edit, WM_CHAR, VK_BACK, 1);
            break;
        }
        EXPECT_EQ(user.Text(kTitle), U8(row.after));
        DWORD start = 0, end = 0;
        ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(std::make_pair(start, end), std::make_pair(DWORD(row.caretAfter), DWORD(row.caretAfter)));
        EXPECT_EQ(dialog.changes, row.changes);
        dialog.EndDialog(IDCANCEL);
    });
    dialog.DoModal();
}

// "é" has no code page 932 form (a best fit would make it "e"), nor has
// "😀", which comes as two UTF-16 units.
INSTANTIATE_TEST_SUITE_P(
    Edits, LimitTest,
    testing::Values(
        LimitCase{"TypedDoubleByteStopsAtTheLimit", 5, u8"", 0, Input::Typed, u8"あいう", u8"あい", 2, 2},
        LimitCase{"TypedWithoutCp932FormIsRefused", 5, u8"", 0, Input::Typed, u8"éa😀b", u8"ab", 2, 2},
        LimitCase{"RefusedKeyKeepsTheCaret", 4, u8"abcd", 2, Input::TypedAtCaret, u8"x", u8"abcd", 2, 0},
        LimitCase{"PasteIsCutToTheLimit", 5, u8"", 0, Input::Pasted, u8"aあいう", u8"aあい", 3, 1},
        LimitCase{"PasteInTheMiddleIsCut", 4, u8"ab", 1, Input::Pasted, u8"xyz", u8"axyb", 3, 1},
        LimitCase{"PasteStopsBeforeACharacterWithoutForm", 10, u8"", 0, Input::Pasted, u8"abéc", u8"ab", 2, 1},
        LimitCase{"PasteThatCannotFitChangesNothing", 4, u8"あい", -1, Input::Pasted, u8"う", u8"あい", 2, 0},
        LimitCase{"OnePieceInsertionIsCut", 5, u8"a", -1, Input::InOnePiece, u8"いうえ", u8"aいう", 3, 1},
        LimitCase{"ProgramTextPastTheLimitMayShrink", 5, u8"abcdefg", -1, Input::Backspace, u8"", u8"abcdef", 6, 1},
        LimitCase{"ProgramTextPastTheLimitTakesNoMore", 5, u8"abcdefg", -1, Input::TypedAtCaret, u8"x", u8"abcdefg",
                  7, 0}),
    [](const testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

TEST(Win32DialogTest, TabWalksThroughThePageBetweenTheFieldsAndTheTabs) {
    using namespace res;
    CDialog dialog(IDD_SETENV);
    CDialog page(IDD_FILEPROC);
    const std::vector<std::pair<unsigned, int>> walk{
        {IDD_SETENV, IDC_TITLE},           {IDD_SETENV, IDC_WATCH_FOLDER},      {IDD_SETENV, IDC_BROWSE_FOLDER},
        {IDD_SETENV, IDC_PROGRAM},         {IDD_SETENV, IDC_BROWSE_PROGRAM},    {IDD_SETENV, IDC_OPEN_TARGET},
        {IDD_SETENV, IDC_WAIT_FOR_EXIT},   {IDD_FILEPROC, IDC_ALL_FILES},       {IDD_FILEPROC, IDC_NAME_PATTERN},
        {IDD_FILEPROC, IDC_CREATE_OR_UPDATE}, {IDD_SETENV, IDC_PAGE_TABS},     {IDD_SETENV, IDOK},
        {IDD_SETENV, IDCANCEL},            {IDD_SETENV, IDC_TITLE},
    };
    DialogScript script;
    script.Then([&](DialogUser&) { ASSERT_TRUE(page.Create(IDD_FILEPROC, &dialog)); });
    for (const auto& expected : walk) {
        script.Then([&, expected](DialogUser& user) {
            const ControlRef focus = user.Focus();
            EXPECT_EQ(std::make_pair(focus.templateId, focus.id), expected);
            user.PressKey(VK_TAB);
        });
    }
    script.Then([&](DialogUser&) { dialog.EndDialog(IDOK); });
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST(Win32DialogTest, TheOwnerIsActiveAgainWhenANestedDialogCloses) {
    CDialog outer(res::IDD_SETENV);
    DialogScript script;
    script
        .Then([&](DialogUser&) {
            CDialog about(res::IDD_ABOUTBOX);
            EXPECT_EQ(about.DoModal(), IDOK);
            EXPECT_TRUE(::IsWindowEnabled(HandleOf(&outer)));
            EXPECT_EQ(::GetActiveWindow(), HandleOf(&outer));
        })
        .Then([](DialogUser& user) {
            EXPECT_EQ(::GetActiveWindow(), framework::win32::ActiveModalWindow());
            user.Click({res::IDD_ABOUTBOX, IDOK});
        })
        .Then([&](DialogUser&) { outer.EndDialog(IDCANCEL); });
    EXPECT_EQ(outer.DoModal(), IDCANCEL);
}

TEST(Win32ModalLoopTest, EndDialogFromAnotherThreadClosesTheDialogAtOnce) {
    // Nothing else wakes the loop: no idle hook, and no caret blinks in
    // the about box. The user only holds the screen.
    const std::unique_ptr<DialogUser> user = framework::MakeDialogUser();
    CDialog about(res::IDD_ABOUTBOX);
    std::mutex mutex;
    std::condition_variable returnedOne;
    bool returned = false, wokenByTheTest = false;
    const DWORD uiThread = ::GetCurrentThreadId();
    std::thread ender([&] {
        // Late enough for the messages of the window's start to be done.
        std::this_thread::sleep_for(500ms);
        about.EndDialog(IDOK);
        // A loop that did not wake is woken by the test, much later, so that
        // it fails rather than hangs.
        std::unique_lock lock(mutex);
        if (!returnedOne.wait_for(lock, 20s, [&] { return returned; })) {
            wokenByTheTest = true;
            ::PostThreadMessageW(uiThread, WM_NULL, 0, 0);
        }
    });
    const int result = about.DoModal();
    {
        const std::lock_guard lock(mutex);
        returned = true;
    }
    returnedOne.notify_all();
    ender.join();
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(wokenByTheTest) << "EndDialog did not wake the loop";
}

// The system's dialogs on this thread (the program's real message boxes,
// the choosers): once each is up, `look` sees it (the user clicks around it
// or fills it in), then it is answered with the next of `answers`, as a
// click on that button does.
class SystemDialogs {
public:
    SystemDialogs(std::function<void(HWND box)> look, std::vector<int> answers)
        : look_(std::move(look)), answers_(std::move(answers)) {
        current_ = this;
        hook_ = ::SetWindowsHookExW(WH_CBT, OnCbt, nullptr, ::GetCurrentThreadId());
    }
    ~SystemDialogs() {
        ::UnhookWindowsHookEx(hook_);
        current_ = nullptr;
        EXPECT_EQ(shown, answers_.size()) << "dialogs expected but never shown";
    }
    SystemDialogs(const SystemDialogs&) = delete;
    SystemDialogs& operator=(const SystemDialogs&) = delete;

    std::size_t shown = 0;

private:
    static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
        const auto window = reinterpret_cast<HWND>(wParam);
        wchar_t className[16] = {};
        if (code == HCBT_ACTIVATE && current_ != nullptr && framework::win32::WindowHolding(window) == nullptr &&
            ::GetClassNameW(window, className, 16) > 0 && std::wstring_view(className) == L"#32770" &&
            current_->seen_.insert(window).second) {
            // Looked at once the box's own loop runs.
            ::SetTimer(window, 1, 0, OnShown);
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static void CALLBACK OnShown(HWND box, UINT, UINT_PTR timer, DWORD) {
        ::KillTimer(box, timer);
        SystemDialogs& self = *current_;
        self.look_(box);
        const int answer = self.shown < self.answers_.size() ? self.answers_[self.shown] : IDOK;
        ++self.shown;
        ::PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
    }

    static inline SystemDialogs* current_ = nullptr;
    HHOOK hook_ = nullptr;
    std::function<void(HWND)> look_;
    std::vector<int> answers_;
    std::set<HWND> seen_;
};

// A dialog's question disables the dialog until it is answered: a click
// underneath reaches nothing, so a handler cannot run again inside itself.
TEST(Win32MessageBoxTest, TheListDialogsDeleteQuestionCannotBeEnteredTwice) {
    TempFolder temp;
    const ScopedDataFolder data(temp.path());
    std::vector<config::WatchFileRecord> records(3);
    for (std::size_t k = 0; k < records.size(); ++k) {
        Store(records[k].entry.title, Cp(std::string(1, static_cast<char>('a' + k))));
        Store(records[k].entry.folder, SjPath(temp.path()));
    }
    WriteBytes(data.Obsdat() / "dirinfo.dat", BytesOfRecords(records));
    framework::CWinApp app;
    dialogs::CDirListDlg dlg;
    const std::unique_ptr<DialogUser> user = framework::MakeDialogUser();
    constexpr ControlRef kLines{res::IDD_DIRLIST, res::IDC_ENTRY_LIST}, kDelete{res::IDD_DIRLIST, res::IDC_DELETE_ENTRY};
    SystemDialogs boxes(
        [&](HWND box) {
            EXPECT_EQ(::GetWindow(box, GW_OWNER), HandleOf(&dlg));
            EXPECT_FALSE(::IsWindowEnabled(HandleOf(&dlg)));
            user->PickListLine(kLines, 2);
            user->Click(kDelete);
            user->Click({res::IDD_DIRLIST, IDOK});
        },
        {IDYES});
    DialogScript script(false);
    script
        .Then([&](DialogUser& u) {
            u.PickListLine(kLines, 0);
            u.Click(kDelete);
        })
        .Then([&](DialogUser&) {
            EXPECT_TRUE(::IsWindowEnabled(HandleOf(&dlg)));
            EXPECT_EQ(boxes.shown, 1u);
            EXPECT_EQ(dlg.m_lstSettings.GetCount(), 2);
            EXPECT_NE(text::ToUtf8ForDisplay(dlg.m_lstSettings.GetText(1)).find('c'), std::string::npos);
            dlg.EndDialog(IDCANCEL);
        });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

// The settings dialog's question and refusal while the after-processing page
// is left: a click on another tab meanwhile does nothing (it destroyed the
// page under the first box before), and the focus goes where the refusal says.
TEST(Win32MessageBoxTest, ALeftPagesQuestionAndRefusalHoldTheSettingsDialog) {
    TempFolder temp;
    const ScopedDataFolder data(temp.path() / "data");
    dialogs::CSetEnvDlg dlg;
    dlg.afterAction = 2;
    dlg.moveFolder = SjPath(temp.path() / "missing");
    const std::unique_ptr<DialogUser> user = framework::MakeDialogUser();
    constexpr ControlRef kTabs{res::IDD_SETENV, res::IDC_PAGE_TABS};
    constexpr ControlRef kDestination{res::IDD_AFTERPROC, res::IDC_MOVE_FOLDER};
    SystemDialogs boxes(
        [&](HWND box) {
            EXPECT_EQ(::GetWindow(box, GW_OWNER), HandleOf(&dlg));
            EXPECT_FALSE(::IsWindowEnabled(HandleOf(&dlg)));
            user->PickTab(kTabs, 1);
        },
        {IDNO, IDOK});
    DialogScript script(false);
    script.Then([&](DialogUser& u) { u.PickTab(kTabs, 2); })
        .Then([&](DialogUser& u) {
            u.PickTab(kTabs, 0);  // the question: the folder is not made
            EXPECT_EQ(u.Focus().id, kDestination.id);
            u.Type(kDestination, "");
            u.PickTab(kTabs, 1);  // the refusal: no destination
            EXPECT_EQ(boxes.shown, 2u);
            EXPECT_TRUE(u.HasWindow(res::IDD_AFTERPROC));
            EXPECT_EQ(u.TabSelection(kTabs), 1);  // where the user clicked, as the page stays
            EXPECT_EQ(u.Focus().id, kDestination.id);
            dlg.EndDialog(IDCANCEL);
        });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_FALSE(std::filesystem::exists(temp.path() / "missing"));
}

// The system's choosers, answered once each is up as a user would: the
// path typed into the file name, or a cancel. (Whether the folder chooser
// opens on its initial folder Wine cannot show reliably: its tree stays on
// the desktop now and then, in a fresh prefix especially.)
struct ChooserCase {
    const char* name;
    bool folder;                    // the folder chooser, else the file-open dialog
    std::u8string_view fileName;    // made in a fresh folder and chosen
    int answer;                     // IDOK or IDCANCEL
    framework::ChooserResult::Outcome outcome;
};

class ChooserTest : public testing::TestWithParam<ChooserCase> {};

TEST_P(ChooserTest, GivesThePathInCodePage932OrSaysWhyNot) {
    using Outcome = framework::ChooserResult::Outcome;
    const ChooserCase& row = GetParam();
    const std::unique_ptr<DialogUser> user = framework::MakeDialogUser();  // the screen is this test's
    const TempFolder folder;
    const std::filesystem::path chosen = folder.path() / std::filesystem::path(row.fileName);
    if (!row.folder) {
        WriteText(chosen, "x");
    }
    const SystemDialogs chooser(
        [&](HWND box) {
            // The file name field, by its id in either look of the dialog.
            for (const int field : {0x047C /* cmb13 */, 0x0480 /* edt1 */}) {
                if (const HWND edit = ::GetDlgItem(box, field); edit != nullptr && !row.folder) {
                    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(chosen.c_str()));
                }
            }
        },
        {row.answer});
    framework::Choosers& choosers = framework::BackendChoosers();
    const framework::ChooserResult result =
        row.folder ? choosers.Folder(Cp("Folder"), SjPath(folder.path()))
                   : choosers.OpenFile({{{Cp("All files"), Cp("*.*")}}, Cp("Open")});
    EXPECT_EQ(result.outcome, row.outcome);
    const std::filesystem::path expected = row.folder ? folder.path() : chosen;
    EXPECT_EQ(result.path, row.outcome == Outcome::Chosen ? SjPath(expected) : text::Cp932String());
}

INSTANTIATE_TEST_SUITE_P(
    Choosers, ChooserTest,
    testing::Values(ChooserCase{"FileWithAJapaneseName", false, u8"ポ.txt", IDOK,
                                framework::ChooserResult::Outcome::Chosen},
                    ChooserCase{"FileWithoutCp932Form", false, u8"é.txt", IDOK,
                                framework::ChooserResult::Outcome::NotConvertible},
                    ChooserCase{"FolderCancelled", true, u8"", IDCANCEL, framework::ChooserResult::Outcome::Cancelled}),
    [](const testing::TestParamInfo<ChooserCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace molvar::test
