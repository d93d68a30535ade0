// The Win32 backend's windows: a real dialog window made from a template in
// memory, its controls addressed by id. Shared by the parts of the backend
// (the scripted user, the choosers). The framework headers come before
// <windows.h>, which defines some of their names (IDOK, WM_KEYDOWN, ...) as
// macros.
#pragma once

#include "framework/choosers.h"
#include "framework/dialog.h"
#include "framework/frame.h"
#include "framework/window_backend.h"
#include "res/templates.h"

#include <windows.h>

#include <cstddef>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace molvar::framework::win32 {

class Win32Window final : public WindowPeer {
public:
    Win32Window(const res::DialogTemplate& source, CDialog& dialog);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    // Makes the window: a modal dialog owned by `parent`, or a page inside
    // `parent`. False when Windows refused.
    bool Create(HWND parent);

    const res::DialogTemplate& Template() const override { return source_; }
    void SetText(int id, const text::Cp932String& value) override;
    text::Cp932String GetText(int id) const override;
    void SetLimit(int id, std::size_t bytes) override;
    void SetCheck(int id, int state) override;
    int GetCheck(int id) const override;
    void Enable(int id, bool on) override;
    bool IsEnabled(int id) const override;
    void Show(int id, bool on) override;
    bool IsVisible(int id) const override;
    void SetFocus(int id) override;
    void FocusFirstTabStop() override;
    int ListInsert(int id, int index, const text::Cp932String& line) override;
    void ListDelete(int id, int index) override;
    void ListReset(int id) override;
    int ListCount(int id) const override;
    text::Cp932String ListText(int id, int index) const override;
    void ListSelect(int id, int index) override;
    int ListSelection(int id) const override;
    void TabReset(int id) override;
    void TabInsert(int id, int index, const text::Cp932String& label) override;
    void TabSelect(int id, int index) override;
    int TabSelection(int id) const override;
    int TabCount(int id) const override;
    void ReportAddColumn(int id, const text::Cp932String& header) override;
    int ReportInsertRow(int id, int index, const std::vector<std::string>& cells, bool marked) override;
    void ReportDeleteRow(int id, int index) override;
    int ReportRowCount(int id) const override;
    std::string ReportCell(int id, int row, int column) const override;
    bool ReportRowMarked(int id, int row) const override;
    void ReportFitColumns(int id) override;
    void ShowWindow() override;

    HWND Handle() const { return window_; }
    CDialog& Dialog() const { return dialog_; }
    // Control `id` (0: the window itself); null when the template has none.
    HWND Control(int id) const;

private:
    // What an edit has accepted so far; typing and pasting never go past
    // `limit` bytes of code page 932.
    struct EditState {
        std::size_t limit = std::numeric_limits<std::size_t>::max();
        std::wstring accepted;
        bool programmatic = false;  // SetText runs: the program's text is taken as it is
        bool fixing = false;        // the edit is being put back to what it accepted
        bool changed = false;       // an accepted change not yet reported
        bool reported = false;      // EN_CHANGE went to the dialog during SetText
    };

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnControlCommand(int id, unsigned code, HWND control);
    // Takes what the edit holds now, or cuts it back to what fits.
    void CheckEdit(int id, EditState& state);
    const res::ControlTemplate* Find(int id) const;
    // The dialog window at the top, which keeps the focus for its pages.
    Win32Window* TopWindow();
    void PlaceInParent(HWND parent);
    // A report list's rows select whole, and a failure's row carries the
    // system's error icon.
    void PrepareReportList(HWND list);
    // A resizable dialog: its least size and where its controls stood at it.
    void KeepLayout();
    void FollowSize(int width, int height);

    const res::DialogTemplate& source_;
    CDialog& dialog_;
    HWND window_ = nullptr;
    bool ready_ = false;  // notifications go to the dialog from now on
    HWND pendingFocus_ = nullptr;  // set while the window is hidden
    std::map<int, EditState> edits_;
    SIZE leastWindow_{};  // a resizable dialog's window at its template size
    SIZE leastClient_{};  // and its client area
    std::map<int, RECT> placed_;  // the controls that follow the size, at the least size
};

// The window of this backend that is `hwnd` or holds it as a control; null
// for any other window.
Win32Window* WindowHolding(HWND hwnd);

// The windows of this backend that exist, oldest first.
const std::vector<Win32Window*>& AllWindows();

// The window of `window`'s peer when it is one of this backend's (a dialog,
// a page or a frame).
HWND HandleOf(const CWnd* window);

// The window of a frame peer of this backend; null for any other.
HWND FrameHandle(const FramePeer* peer);

// The owner that a chooser opened now gets: the modal dialog's window, or
// none.
HWND ActiveModalWindow();

// The backend's parts that WindowBackend gives the framework.
MessageBoxPresenter& MessageBoxes();
Choosers& FileChoosers();
std::unique_ptr<FramePeer> MakeFramePeer(CFrameWnd& frame);
bool BringWindowWithPropForward(const text::Cp932String& name);
int RunMessageLoop(CCmdTarget& target, unsigned quitCommand);

}  // namespace molvar::framework::win32
