// What the framework needs of a window system: one interface, one backend per
// platform (headless, Win32, Qt). Application code never sees it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "framework/window.h"

namespace molvar::framework {

class CDialog;

class WindowBackend {
public:
    virtual ~WindowBackend() = default;

    // Makes the window of `dialog` from `source`: a modal dialog owned by
    // `parent` (none: the active modal dialog or no owner) or, for a page,
    // a child of `parent`. The window stays hidden until ShowWindow. Its
    // control notifications reach dialog.OnCommand and dialog.OnNotify.
    // Null when no window can be made.
    virtual std::unique_ptr<WindowPeer> CreateDialogWindow(const res::DialogTemplate& source, CDialog& dialog,
                                                           CWnd* parent) = 0;

    // The modal loop is the framework's (RunModalLoop); these are what it
    // asks of the window system.

    // What the start of a modal loop changed, for its end to put back.
    struct ModalState {
        std::uintptr_t owner = 0;  // the top-level window that owns the dialog
        bool disabledOwner = false;
        std::uintptr_t outerLoop = 0;
    };
    // Disables the window that owns the dialog (`owner`'s, or else the
    // dialog window's own owner) when it is enabled; the loop runs from now on.
    virtual ModalState BeginModal(CDialog& dialog, CWnd* owner) = 0;
    // Enables the owner again if BeginModal disabled it, hides the dialog's
    // window and gives the owner back the activation the dialog had.
    virtual void EndModal(CDialog& dialog, const ModalState& state) = 0;

    enum class Pumped {
        Handled,  // a message or event was handled (or, with `wait`, waited for)
        Nothing,  // nothing was pending
        Quit,     // the program's quit came: the dialog ends as cancelled, and so do the loops outside it
        Gone,     // the dialog's window is gone
    };
    // Handles what is pending for the thread; with `wait`, waits first until
    // something comes (a message, an event, a wake). Keys go through
    // OfferKeyToDialog before the window system's own handling.
    virtual Pumped PumpOne(CDialog& dialog, bool wait) = 0;
    // After a loop that a quit ended: the loops outside it see the quit too.
    virtual void PassQuitOn() {}

    // Wakes the modal loop of this thread: EndDialog ran, perhaps on
    // another thread.
    virtual void WakeModalLoop() = 0;
};

// Runs the modal loop of `dialog` (its window made and shown) until
// dialog.ContinueModal() is false: the owner is disabled meanwhile, each
// key goes to OfferKeyToDialog, and a test's idle hook acts as the user
// whenever nothing is pending. Without a hook, a backend that cannot wait
// for a user (headless) ends the dialog as cancelled. `owner` may be null.
void RunModalLoop(CDialog& dialog, CWnd* owner);

// The dialog manager's rules for a key pressed in `target` (a window of the
// active modal dialog: the dialog or one of its pages), which the backend
// leaves to the framework: PreTranslateMessage of the target and its
// parents first; then Escape is Cancel, and Enter presses the push button
// with the focus (`focusedPushButton`, a control id of `target`, 0 for
// none), else the dialog's default push button (nothing when that one is
// disabled), else OK. True when the key was used.
bool OfferKeyToDialog(CWnd& target, unsigned virtualKey, int focusedPushButton);

// The backend of this build (headless on Linux, Win32 on Windows). Tests
// act on its windows through a DialogUser rather than replace it.
WindowBackend& PlatformBackend();

// Called by a modal loop whenever it has nothing to do. A test installs one
// to act as the user; it returns false when it has nothing more to do.
using IdleHook = std::function<bool()>;
void SetModalIdleHook(IdleHook hook);
// Runs the installed hook; false when there is none or it is done.
bool RunModalIdleHook();
bool HasModalIdleHook();

// Offers `message` to PreTranslateMessage of message.target and its parents;
// true when one of them handled it.
bool PreTranslateThroughParents(Message& message);

}  // namespace molvar::framework
