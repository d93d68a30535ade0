// A user at the keyboard, for tests and the picture tools (never part of the
// program): acts on whatever dialog is modal at the
// moment, through the backend (memory when headless, real messages to real
// windows on Win32). A control is named by the template it belongs to (the
// modal dialog or one of its pages) and its id: page and dialog ids overlap.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "framework/window_backend.h"

namespace molvar::framework {

struct ControlRef {
    unsigned templateId;
    int id;
};

class DialogUser {
public:
    virtual ~DialogUser() = default;

    // The template of the innermost modal dialog; 0 when none is open.
    unsigned ModalTemplate() const;
    // Whether a window of that template exists (a page, say).
    virtual bool HasWindow(unsigned templateId) const = 0;

    // Puts the focus in the edit and types `utf8` over its text, one
    // character at a time, as a keyboard does: what the edit refuses (past
    // its limit, without a code page 932 form) is not entered.
    virtual void Type(ControlRef control, std::string_view utf8) = 0;
    // A mouse click: buttons, check boxes, option buttons. A disabled or
    // hidden control ignores it.
    virtual void Click(ControlRef control) = 0;
    // Clicks the tab `index` of a tab control.
    virtual void PickTab(ControlRef control, int index) = 0;
    // Clicks the line `index` of a list box.
    virtual void PickListLine(ControlRef control, int index) = 0;
    // A key pressed where the focus is (VK_RETURN, VK_ESCAPE, VK_TAB).
    virtual void PressKey(unsigned virtualKey) = 0;

    virtual std::string Text(ControlRef control) const = 0;  // UTF-8
    virtual bool IsChecked(ControlRef control) const = 0;
    virtual bool IsEnabled(ControlRef control) const = 0;
    virtual bool IsVisible(ControlRef control) const = 0;
    virtual int TabSelection(ControlRef control) const = 0;
    virtual int ListSelection(ControlRef control) const = 0;
    // The control that has the focus; {0, 0} when none of ours has it.
    virtual ControlRef Focus() const = 0;
};

// The user for the window system the program runs on.
std::unique_ptr<DialogUser> MakeDialogUser();

namespace headless {
std::unique_ptr<DialogUser> MakeDialogUser();
}
namespace qt {
std::unique_ptr<DialogUser> MakeDialogUser();
}

}  // namespace molvar::framework
