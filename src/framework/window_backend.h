// What the framework needs of a window system: one interface, one backend per
// platform (headless, Win32, Qt). Application code never sees it.
#pragma once

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

    // Runs the modal loop of `dialog` (its window made and shown) until
    // dialog.ContinueModal() is false: the owner is disabled meanwhile, and
    // each key message goes to PreTranslateMessage of its window and that
    // window's parents, then to the dialog manager (Tab, Enter as the
    // default button, Escape as IDCANCEL). `owner` may be null.
    virtual void RunModalLoop(CDialog& dialog, CWnd* owner) = 0;

    // Wakes the modal loop of this thread: EndDialog ran, perhaps on
    // another thread.
    virtual void WakeModalLoop() = 0;
};

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
