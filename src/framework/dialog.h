// Dialogs: modal ones with the framework's own loop, modeless child pages,
// data exchange between members and controls, and their message maps.
#pragma once

#include <atomic>
#include <functional>
#include <span>

#include "framework/window.h"

namespace molvar::framework {

class CDialog;

// Moves values between a dialog's members and its controls: to the controls
// (saving false) or from them (saving true). The first value that fails its
// check stops the exchange: its message has been shown and its control has
// the focus.
class CDataExchange {
public:
    CDataExchange(CDialog& dialog, bool saveAndValidate) : m_pDlgWnd(&dialog), m_bSaveAndValidate(saveAndValidate) {}

    // Shows `message`, puts the focus on control `id` and stops the exchange.
    void Fail(int id, const text::Cp932String& message);
    bool Failed() const { return failed_; }

    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;

private:
    bool failed_ = false;
};

// A text of at most `maxBytes` bytes. To the controls it also limits the edit
// to that many bytes; from them a longer text is refused with a message
// naming the limit, and `value` keeps what it held.
void DDX_Text(CDataExchange* pDX, int id, text::Cp932String& value, std::size_t maxBytes);
// A check box as 0 or 1.
void DDX_Check(CDataExchange* pDX, int id, int& value);
// Makes `control` stand for control `id` (once, when the window is new).
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

// One entry of a dialog's message map: a control notification (BN_CLICKED,
// EN_CHANGE, LBN_SELCHANGE) or a WM_NOTIFY code from a control.
template <class Dialog>
struct DialogMapEntry {
    unsigned code;
    int id;
    bool notify;
    void (Dialog::*onCommand)() = nullptr;
    void (Dialog::*onNotify)(long* result) = nullptr;
};

template <class Dialog>
constexpr DialogMapEntry<Dialog> OnControl(unsigned code, int id, void (Dialog::*handler)()) {
    return {code, id, false, handler, nullptr};
}

template <class Dialog>
constexpr DialogMapEntry<Dialog> OnNotifyCode(unsigned code, int id, void (Dialog::*handler)(long*)) {
    return {code, id, true, nullptr, handler};
}

template <class Dialog>
bool DispatchDialogMap(Dialog& dialog, std::span<const DialogMapEntry<Dialog>> map, int id, unsigned code,
                       long* result) {
    for (const auto& entry : map) {
        if (entry.id != id || entry.code != code || entry.notify != (result != nullptr)) {
            continue;
        }
        if (entry.notify) {
            (dialog.*entry.onNotify)(result);
        } else {
            (dialog.*entry.onCommand)();
        }
        return true;
    }
    return false;
}

class CDialog : public CWnd {
public:
    explicit CDialog(unsigned templateId, CWnd* parent = nullptr) : templateId_(templateId), parentWindow_(parent) {}
    ~CDialog() override;

    // Runs the dialog modally on top of the active window and returns the
    // value given to EndDialog (IDCANCEL when the window could not be made).
    // Nests: a handler may run another modal dialog or a message box.
    virtual int DoModal();
    // Makes the dialog a modeless child window of `parent` (a page).
    bool Create(unsigned templateId, CWnd* parent);

    // Ends a modal dialog with `result`. May be called from any thread; the
    // loop wakes and the dialog closes at once.
    void EndDialog(int result);
    bool ContinueModal() const { return continueModal_.load(); }

    // Moves the values to the controls (false) or from them (true); false
    // when a value was refused.
    bool UpdateData(bool saveAndValidate = true);

    bool DestroyWindow() override;
    bool OnCommand(int id, unsigned code) override;
    bool OnNotify(int id, unsigned code, long* result) override;

    unsigned TemplateId() const { return templateId_; }

protected:
    virtual void DoDataExchange(CDataExchange*) {}
    // After the window and its controls exist: moves the values to the
    // controls. True lets the framework put the focus on the first control.
    virtual bool OnInitDialog();
    // Enter and the OK button: takes the values and ends with IDOK.
    virtual void OnOK();
    virtual void OnCancel();
    // The dialog's own notifications; the default has none.
    virtual bool OnDialogMessage(int id, unsigned code, long* result);

private:
    bool MakeWindow(CWnd* parent);

    unsigned templateId_;
    CWnd* parentWindow_;
    std::atomic<bool> continueModal_{false};
    std::atomic<int> modalResult_{IDCANCEL};
};

// Hands `work` to the user-interface thread from any thread, without
// waiting for it: the modal loop that runs there is woken and runs it
// between two messages. Work posted while no dialog is open waits for the
// next modal loop. A window that may be gone by then is reached through a
// weak reference.
void PostToModalLoop(std::function<void()> work);

// The modal dialog that is active on this thread (the innermost), or none:
// always none on a thread that runs no dialog. A message box asked while it
// is active is owned by it, so the dialog takes no input until answered.
CDialog* ActiveModalDialog();
// Whether `window` is that dialog or a window inside it (one of its pages).
bool InActiveModalDialog(const CWnd& window);

}  // namespace molvar::framework
