// The user of the Win32 backend: drives the real windows with the messages
// a keyboard and a mouse would cause, so that the controls' own behaviour
// (and the byte limits the backend puts on the edits) takes part.
#include "framework/scripted_user/dialog_user.h"
#include "framework/win32/win32_window.h"
#include "platform/native_path.h"
#include "platform/win32/wide_path.h"

#include <commctrl.h>

#include <algorithm>

namespace molvar::framework {
namespace {

using win32::Win32Window;

// Whether `window` is the modal dialog's window or one of its pages.
bool InActiveDialog(const Win32Window& window) { return InActiveModalDialog(window.Dialog()); }

std::wstring WideFromUtf8(std::string_view utf8) { return platform::win32::WideOf(platform::NativeFromUtf8(utf8)); }

std::string Utf8FromWide(std::wstring_view wide) { return platform::Utf8ForDisplay(platform::win32::NativeOfWide(wide)); }

std::wstring WindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(std::clamp(::GetWindowTextW(window, text.data(), length + 1), 0, length)));
    return text;
}

// Whether a mouse or the keyboard can reach `control`: it and every window
// around it are shown and enabled.
bool CanReach(HWND control) {
    if (!::IsWindowVisible(control)) {
        return false;
    }
    for (HWND at = control; at != nullptr; at = ::GetAncestor(at, GA_PARENT)) {
        if (!::IsWindowEnabled(at)) {
            return false;
        }
        if ((::GetWindowLongW(at, GWL_STYLE) & WS_CHILD) == 0) {
            break;
        }
    }
    return true;
}

// One user at one screen. Test programs that run side by side take turns
// while they act on windows: under one Wine session, a program that shows a
// window takes the activation, and the focus with it, from another's.
class ScreenTurn {
public:
    ScreenTurn() {
        if (turn_ != nullptr) {
            ::WaitForSingleObject(turn_, INFINITE);  // also when a program ended while it had it
        }
    }
    ~ScreenTurn() {
        if (turn_ != nullptr) {
            ::ReleaseMutex(turn_);
            ::CloseHandle(turn_);
        }
    }
    ScreenTurn(const ScreenTurn&) = delete;
    ScreenTurn& operator=(const ScreenTurn&) = delete;

private:
    HANDLE turn_ = ::CreateMutexW(nullptr, FALSE, L"MolvarScriptedUser");
};

class Win32User final : public DialogUser {
public:
    bool HasWindow(unsigned templateId) const override { return FindWindow(templateId) != nullptr; }

    void Type(ControlRef control, std::string_view utf8) override {
        const HWND edit = Reachable(control);
        if (edit == nullptr) {
            return;
        }
        FindWindow(control.templateId)->SetFocus(control.id);
        // The old text goes first, as one key; then one character after
        // the other, each of which the edit may refuse.
        ::SendMessageW(edit, EM_SETSEL, 0, -1);
        if (::GetWindowTextLengthW(edit) > 0) {
            ::SendMessageW(edit, WM_CHAR, VK_BACK, 1);
        }
        for (const wchar_t unit : WideFromUtf8(utf8)) {
            ::SendMessageW(edit, WM_CHAR, static_cast<WPARAM>(unit), 1);
        }
    }

    void Click(ControlRef control) override {
        if (const HWND button = Reachable(control)) {
            ::SendMessageW(button, BM_CLICK, 0, 0);
        }
    }

    // The tab control's own sequence for a click: the dialog may refuse the
    // change while the old tab is still selected.
    void PickTab(ControlRef control, int index) override {
        const HWND tabs = Reachable(control);
        if (tabs == nullptr) {
            return;
        }
        const auto count = static_cast<int>(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
        if (index < 0 || index >= count || index == ::SendMessageW(tabs, TCM_GETCURSEL, 0, 0)) {
            return;  // a click on the selected tab changes nothing and says nothing
        }
        const HWND parent = ::GetParent(tabs);
        NMHDR header{tabs, static_cast<UINT_PTR>(control.id), TCN_SELCHANGING};
        if (::SendMessageW(parent, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header)) != 0) {
            return;
        }
        ::SendMessageW(tabs, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
        header.code = TCN_SELCHANGE;
        ::SendMessageW(parent, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    }

    // What a click on a line does: the focus, the selection, and the
    // notification to the window that holds the list.
    void PickListLine(ControlRef control, int index) override {
        const HWND list = Reachable(control);
        if (list == nullptr || index < 0 || index >= ::SendMessageW(list, LB_GETCOUNT, 0, 0)) {
            return;
        }
        ::SetFocus(list);
        ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ::SendMessageW(::GetParent(list), WM_COMMAND, MAKEWPARAM(control.id, LBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(list));
    }

    // Posted where the focus is, so the modal loop takes it as a real key:
    // PreTranslateMessage first, then the dialog manager.
    void PressKey(unsigned virtualKey) override {
        const HWND modal = win32::ActiveModalWindow();
        if (modal == nullptr) {
            return;
        }
        HWND target = ::GetFocus();
        const Win32Window* holder = target != nullptr ? win32::WindowHolding(target) : nullptr;
        if (holder == nullptr || !InActiveDialog(*holder)) {
            target = modal;
        }
        const auto scanCode = static_cast<LPARAM>(::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
        const LPARAM down = 1 | (scanCode << 16);
        const LPARAM up = down | (LPARAM{1} << 30) | (LPARAM{1} << 31);
        ::PostMessageW(target, WM_KEYDOWN, virtualKey, down);
        ::PostMessageW(target, WM_KEYUP, virtualKey, up);
    }

    std::string Text(ControlRef control) const override {
        const HWND window = Control(control);
        return window != nullptr ? Utf8FromWide(WindowText(window)) : std::string();
    }

    bool IsChecked(ControlRef control) const override {
        const HWND button = Control(control);
        return button != nullptr && ::SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    bool IsEnabled(ControlRef control) const override {
        const HWND window = Control(control);
        return window != nullptr && (::GetWindowLongW(window, GWL_STYLE) & WS_DISABLED) == 0;
    }

    bool IsVisible(ControlRef control) const override {
        const HWND window = Control(control);
        return window != nullptr && ::IsWindowVisible(window);
    }

    int TabSelection(ControlRef control) const override {
        const HWND tabs = Control(control);
        return tabs != nullptr ? static_cast<int>(::SendMessageW(tabs, TCM_GETCURSEL, 0, 0)) : -1;
    }

    int ListSelection(ControlRef control) const override {
        const HWND list = Control(control);
        return list != nullptr ? static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0)) : -1;
    }

    ControlRef Focus() const override {
        HWND focus = ::GetFocus();
        const Win32Window* holder = focus != nullptr ? win32::WindowHolding(focus) : nullptr;
        if (holder == nullptr) {
            return {0, 0};
        }
        if (focus == holder->Handle()) {
            return {holder->Template().id, 0};
        }
        // The control itself, not a window inside it.
        while (::GetParent(focus) != holder->Handle()) {
            focus = ::GetParent(focus);
        }
        return {holder->Template().id, ::GetDlgCtrlID(focus)};
    }

private:
    Win32Window* FindWindow(unsigned templateId) const {
        for (Win32Window* window : win32::AllWindows()) {
            if (window->Template().id == templateId && InActiveDialog(*window)) {
                return window;
            }
        }
        return nullptr;
    }

    HWND Control(ControlRef control) const {
        const Win32Window* window = FindWindow(control.templateId);
        return window != nullptr ? window->Control(control.id) : nullptr;
    }

    // The control when the user can act on it, else null.
    HWND Reachable(ControlRef control) const {
        const HWND window = Control(control);
        return window != nullptr && CanReach(window) ? window : nullptr;
    }

    ScreenTurn turn_;
};

}  // namespace

std::unique_ptr<DialogUser> MakeDialogUser() { return std::make_unique<Win32User>(); }

}  // namespace molvar::framework
