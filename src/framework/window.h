// Windows and controls. A CWnd stands for a window made from a template, or
// for one control of it; the backend's peer keeps the real state (an HWND,
// Qt widgets, or memory when headless). Text is code page 932 here; the
// backend converts at its edge. Limits count bytes.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/command_target.h"
#include "framework/message_box.h"
#include "text/cp932.h"

namespace molvar::res {
struct DialogTemplate;
}

// The values are those of Windows.
inline constexpr unsigned BN_CLICKED = 0;
inline constexpr unsigned LBN_SELCHANGE = 1;
inline constexpr unsigned EN_CHANGE = 0x0300;
inline constexpr unsigned TCN_SELCHANGE = static_cast<unsigned>(-551);
inline constexpr unsigned WM_KEYDOWN = 0x0100;
inline constexpr unsigned VK_TAB = 0x09;
inline constexpr unsigned VK_RETURN = 0x0D;
inline constexpr unsigned VK_ESCAPE = 0x1B;
inline constexpr int BST_UNCHECKED = 0;
inline constexpr int BST_CHECKED = 1;
inline constexpr int LB_ERR = -1;

namespace molvar::framework {

class CWnd;

// What a backend keeps of one window made from a template. Controls are
// addressed by their template id; id 0 is the window itself.
class WindowPeer {
public:
    virtual ~WindowPeer() = default;

    virtual const res::DialogTemplate& Template() const = 0;

    virtual void SetText(int id, const text::Cp932String& value) = 0;
    virtual text::Cp932String GetText(int id) const = 0;
    // Typing and pasting stop at `bytes` bytes of code page 932.
    virtual void SetLimit(int id, std::size_t bytes) = 0;
    virtual void SetCheck(int id, int state) = 0;
    virtual int GetCheck(int id) const = 0;
    virtual void Enable(int id, bool on) = 0;
    virtual bool IsEnabled(int id) const = 0;
    virtual void Show(int id, bool on) = 0;
    virtual bool IsVisible(int id) const = 0;
    virtual void SetFocus(int id) = 0;
    // The first control that takes the focus with Tab.
    virtual void FocusFirstTabStop() = 0;

    // List boxes.
    virtual int ListInsert(int id, int index, const text::Cp932String& line) = 0;  // -1 appends
    virtual void ListDelete(int id, int index) = 0;
    virtual void ListReset(int id) = 0;
    virtual int ListCount(int id) const = 0;
    virtual text::Cp932String ListText(int id, int index) const = 0;
    virtual void ListSelect(int id, int index) = 0;  // -1: none
    virtual int ListSelection(int id) const = 0;

    // Tab controls.
    virtual void TabReset(int id) = 0;
    virtual void TabInsert(int id, int index, const text::Cp932String& label) = 0;
    virtual void TabSelect(int id, int index) = 0;
    virtual int TabSelection(int id) const = 0;
    virtual int TabCount(int id) const = 0;

    // Report lists. Their cells are UTF-8, not code page 932: they show
    // file names, and a file's name need not have a code page 932 form.
    virtual void ReportAddColumn(int id, const text::Cp932String& header) = 0;
    // Inserts a row before `index` (-1 appends); a marked row stands out
    // (a failure). Returns where it went.
    virtual int ReportInsertRow(int id, int index, const std::vector<std::string>& cells, bool marked) = 0;
    virtual void ReportDeleteRow(int id, int index) = 0;
    virtual int ReportRowCount(int id) const = 0;
    virtual std::string ReportCell(int id, int row, int column) const = 0;
    virtual bool ReportRowMarked(int id, int row) const = 0;
    // Each column as wide as its widest cell or its header.
    virtual void ReportFitColumns(int id) = 0;

    // Makes the window visible once its values are in place.
    virtual void ShowWindow() = 0;
};

// A window's message as PreTranslateMessage sees it: a key press for now.
struct Message {
    unsigned message = 0;
    unsigned wParam = 0;
    CWnd* target = nullptr;  // the window whose control has the focus
};

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    bool OnCmdMsg(unsigned, int, CCmdUI*) override { return false; }

    // Whether a window (or a control, when attached to one) is there.
    bool IsWindow() const { return peer_ != nullptr; }
    CWnd* GetParent() const { return parent_; }

    // This window's own text, or its control's when attached to one.
    void SetWindowText(const text::Cp932String& value);
    text::Cp932String GetWindowText() const;
    void EnableWindow(bool on = true);
    bool IsWindowEnabled() const;
    void ShowWindow(bool on);
    bool IsWindowVisible() const;
    void SetFocus();
    int GetDlgCtrlID() const { return id_; }

    // A control of this window; the object lives as long as the window.
    CWnd* GetDlgItem(int id);

    void SetDlgItemText(int id, const text::Cp932String& value);
    text::Cp932String GetDlgItemText(int id) const;
    void CheckDlgButton(int id, int state);
    int IsDlgButtonChecked(int id) const;

    // Destroys the window and its controls (and its pages' windows).
    virtual bool DestroyWindow();

    // Offered every key message meant for this window or a control inside
    // it, before the dialog manager; true when it was handled.
    virtual bool PreTranslateMessage(Message& message);

    // A control's notification (BN_CLICKED, EN_CHANGE, LBN_SELCHANGE) and a
    // WM_NOTIFY code; true when a handler took it. `result` is the notify
    // result the handler set.
    virtual bool OnCommand(int id, unsigned code);
    virtual bool OnNotify(int id, unsigned code, long* result);

    // For the backends and control classes.
    WindowPeer* Peer() const { return peer_; }
    // Makes this object stand for control `id` of `owner`'s window.
    void AttachToControl(CWnd& owner, int id);

protected:
    // Set by CDialog when its window is made; reset when it goes.
    void AttachPeer(std::unique_ptr<WindowPeer> peer, CWnd* parent);
    void ReleasePeer();

    WindowPeer* peer_ = nullptr;
    CWnd* parent_ = nullptr;
    int id_ = 0;  // 0: the window itself; else the control of peer_

private:
    std::unique_ptr<WindowPeer> ownedPeer_;
    std::map<int, std::unique_ptr<CWnd>> items_;
    // Pages and control objects that stand for a part of this window.
    std::vector<CWnd*> children_;
};

class CButton : public CWnd {
public:
    void SetCheck(int state) { peer_->SetCheck(id_, state); }
    int GetCheck() const { return peer_->GetCheck(id_); }
};

class CEdit : public CWnd {
public:
    // In bytes of code page 932.
    void LimitText(std::size_t bytes) { peer_->SetLimit(id_, bytes); }
};

class CListBox : public CWnd {
public:
    int AddString(const text::Cp932String& line) { return peer_->ListInsert(id_, -1, line); }
    int InsertString(int index, const text::Cp932String& line) { return peer_->ListInsert(id_, index, line); }
    void DeleteString(int index) { peer_->ListDelete(id_, index); }
    void ResetContent() { peer_->ListReset(id_); }
    int GetCount() const { return peer_->ListCount(id_); }
    int GetCurSel() const { return peer_->ListSelection(id_); }
    void SetCurSel(int index) { peer_->ListSelect(id_, index); }
    text::Cp932String GetText(int index) const { return peer_->ListText(id_, index); }
};

// A report-style list: columns with headers, one row per item.
class CListCtrl : public CWnd {
public:
    void InsertColumn(const text::Cp932String& header) { peer_->ReportAddColumn(id_, header); }
    int InsertItem(int index, const std::vector<std::string>& cells, bool marked = false) {
        return peer_->ReportInsertRow(id_, index, cells, marked);
    }
    void DeleteItem(int index) { peer_->ReportDeleteRow(id_, index); }
    int GetItemCount() const { return peer_->ReportRowCount(id_); }
    std::string GetItemText(int row, int column) const { return peer_->ReportCell(id_, row, column); }
    bool IsItemMarked(int row) const { return peer_->ReportRowMarked(id_, row); }
    void FitColumnsToContent() { peer_->ReportFitColumns(id_); }
};

class CTabCtrl : public CWnd {
public:
    void DeleteAllItems() { peer_->TabReset(id_); }
    void InsertItem(int index, const text::Cp932String& label) { peer_->TabInsert(id_, index, label); }
    int GetCurSel() const { return peer_->TabSelection(id_); }
    void SetCurSel(int index) { peer_->TabSelect(id_, index); }
    int GetItemCount() const { return peer_->TabCount(id_); }
};

}  // namespace molvar::framework
