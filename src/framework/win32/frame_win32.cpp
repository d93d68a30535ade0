// The Win32 frame: a real top-level window of the program's own class. Its
// messages go to the frame's WindowProc; what the frame leaves goes to
// DefWindowProc. It keeps the notification-area icons it added, to add them
// again when Explorer restarts and to remove them when it goes.
#include "framework/frame.h"
#include "framework/app.h"
#include "framework/win32/win32_window.h"
#include "res/templates.h"
#include "text/convert.h"
#include "text/win32/wide.h"

#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

namespace molvar::framework {
namespace win32 {
namespace {

constexpr wchar_t kFrameClass[] = L"MolvarFrame";
// While a popup menu is open, the popup-menu hook runs on this timer.
constexpr UINT_PTR kMenuHookTimer = 1;
constexpr UINT kMenuHookDelayMs = 20;

UINT TaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

// Text for a field of `capacity` wide characters, NUL included.
template <std::size_t capacity>
void CopyWide(wchar_t (&field)[capacity], const text::Cp932String& value) {
    const std::wstring wide = text::ToWideForDisplay(value);
    const std::size_t length = std::min(wide.size(), capacity - 1);
    std::copy_n(wide.begin(), length, field);
    field[length] = L'\0';
}

class MenuHandle {
public:
    MenuHandle() : menu_(::CreatePopupMenu()) {}
    ~MenuHandle() {
        if (menu_ != nullptr) {
            ::DestroyMenu(menu_);
        }
    }
    MenuHandle(const MenuHandle&) = delete;
    MenuHandle& operator=(const MenuHandle&) = delete;
    HMENU get() const { return menu_; }

private:
    HMENU menu_;
};

class Win32Frame final : public FramePeer {
public:
    explicit Win32Frame(CFrameWnd& frame) : frame_(frame) {}

    // The window's end takes its icons away (WM_NCDESTROY).
    ~Win32Frame() override {
        if (window_ != nullptr) {
            ::DestroyWindow(window_);
        }
    }
    Win32Frame(const Win32Frame&) = delete;
    Win32Frame& operator=(const Win32Frame&) = delete;

    bool Create(const CREATESTRUCTA& params) override {
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        RegisterFrameClass(instance);
        TaskbarCreatedMessage();
        // The framework's own style bits (FWS_*) are no window styles.
        const DWORD style = params.style & 0xFFFF0000u;
        const HWND made = ::CreateWindowExW(params.dwExStyle, kFrameClass, text::ToWideForDisplay(params.lpszName).c_str(),
                                            style, params.x, params.y, params.cx, params.cy, nullptr, nullptr,
                                            instance, this);
        return made != nullptr;
    }

    void Destroy() override {
        if (window_ != nullptr) {
            ::DestroyWindow(window_);
        }
    }

    bool Exists() const override { return window_ != nullptr; }
    void Show(int command) override { ::ShowWindow(window_, command); }
    bool IsVisible() const override { return window_ != nullptr && ::IsWindowVisible(window_); }
    std::uint32_t ExStyle() const override {
        return window_ != nullptr ? static_cast<std::uint32_t>(::GetWindowLongPtrW(window_, GWL_EXSTYLE)) : 0;
    }
    void SetTopmost(bool on) override {
        ::SetWindowPos(window_, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    CPoint Size() const override {
        RECT rect{};
        ::GetWindowRect(window_, &rect);
        return {rect.right - rect.left, rect.bottom - rect.top};
    }

    bool SetProperty(const text::Cp932String& name) override {
        const auto wide = text::ToWide(name);
        return wide && ::SetPropW(window_, wide->c_str(), reinterpret_cast<HANDLE>(1)) != FALSE;
    }
    void RemoveProperty(const text::Cp932String& name) override {
        if (const auto wide = text::ToWide(name)) {
            ::RemovePropW(window_, wide->c_str());
        }
    }
    bool HasProperty(const text::Cp932String& name) const override {
        const auto wide = text::ToWide(name);
        return wide && window_ != nullptr && ::GetPropW(window_, wide->c_str()) != nullptr;
    }

    bool AddTrayIcon(const TrayIconData& icon) override {
        std::erase_if(icons_, [&](const TrayIconData& kept) { return kept.id == icon.id; });
        icons_.push_back(icon);
        NOTIFYICONDATAW data = DataOf(icon);
        return ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    }
    bool DeleteTrayIcon(unsigned id) override {
        const auto it = std::find_if(icons_.begin(), icons_.end(), [id](const TrayIconData& icon) { return icon.id == id; });
        if (it == icons_.end()) {
            return false;
        }
        NOTIFYICONDATAW data = DataOf(*it);
        icons_.erase(it);
        return ::Shell_NotifyIconW(NIM_DELETE, &data) != FALSE;
    }
    bool HasTrayIcon(unsigned id) const override {
        return std::any_of(icons_.begin(), icons_.end(), [id](const TrayIconData& icon) { return icon.id == id; });
    }

    CPoint CursorPos() const override {
        POINT point{};
        ::GetCursorPos(&point);
        return {point.x, point.y};
    }
    void SetForeground() override { ::SetForegroundWindow(window_); }
    void BringLastActivePopupForward() override { ::SetForegroundWindow(::GetLastActivePopup(window_)); }

    void TrackPopupMenu(const res::PopupTemplate& popup, CPoint at) override {
        MenuHandle menu;
        if (menu.get() == nullptr) {
            return;
        }
        for (const res::MenuItemTemplate& item : popup.items) {
            if (item.id == 0) {
                ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
            } else {
                ::AppendMenuW(menu.get(), MF_STRING, item.id,
                              text::ToWideForDisplay(text::LiteralToCp932(item.text)).c_str());
            }
        }
        trackedMenu_ = menu.get();
        if (CurrentPopupMenuHook()) {
            ::SetTimer(window_, kMenuHookTimer, kMenuHookDelayMs, nullptr);
        }
        ::TrackPopupMenu(menu.get(), 0, at.x, at.y, 0, window_, nullptr);
        ::KillTimer(window_, kMenuHookTimer);
        trackedMenu_ = nullptr;
    }

    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        ::PostMessageW(window_, message, wParam, lParam);
    }

    HWND Handle() const { return window_; }

private:
    static void RegisterFrameClass(HINSTANCE instance) {
        static const bool registered = [instance] {
            WNDCLASSEXW windowClass{};
            windowClass.cbSize = sizeof windowClass;
            windowClass.style = CS_DBLCLKS;
            windowClass.lpfnWndProc = WindowProcedure;
            windowClass.hInstance = instance;
            windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(res::IDR_MAINFRAME));
            windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
            windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
            windowClass.lpszClassName = kFrameClass;
            return ::RegisterClassExW(&windowClass) != 0;
        }();
        (void)registered;
    }

    NOTIFYICONDATAW DataOf(const TrayIconData& icon) const {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof data;
        data.hWnd = window_;
        data.uID = icon.id;
        data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        data.uCallbackMessage = icon.callbackMessage;
        data.hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(icon.iconResource));
        CopyWide(data.szTip, icon.tip);
        return data;
    }

    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_GETMINMAXINFO) {
            // A window asked for no size keeps none (this comes before
            // WM_NCCREATE, while the window is being made).
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {0, 0};
            return 0;
        }
        if (message == WM_NCCREATE) {
            auto* self = static_cast<Win32Frame*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            self->window_ = window;
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<Win32Frame*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self == nullptr) {
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
        return self->OnMessage(message, wParam, lParam);
    }

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        const HWND window = window_;
        switch (message) {
            case WM_INITMENUPOPUP:
                UpdateMenuStates(reinterpret_cast<HMENU>(wParam));
                return 0;
            case WM_TIMER:
                if (wParam == kMenuHookTimer) {
                    ::KillTimer(window, kMenuHookTimer);
                    RunMenuHook();
                    return 0;
                }
                break;
            case WM_NCDESTROY:
                // An icon left behind would stay until the mouse passes over it.
                for (const TrayIconData& icon : icons_) {
                    NOTIFYICONDATAW data = DataOf(icon);
                    ::Shell_NotifyIconW(NIM_DELETE, &data);
                }
                icons_.clear();
                ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                window_ = nullptr;
                return ::DefWindowProcW(window, message, wParam, lParam);
            default:
                if (message == TaskbarCreatedMessage()) {
                    // Explorer restarted: its notification area is empty.
                    for (const TrayIconData& icon : icons_) {
                        NOTIFYICONDATAW data = DataOf(icon);
                        ::Shell_NotifyIconW(NIM_ADD, &data);
                    }
                    return 0;
                }
                break;
        }
        if (const auto result = frame_.WindowProc(message, wParam, lParam)) {
            return static_cast<LRESULT>(*result);
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    // The route decides each item's state as the menu opens.
    void UpdateMenuStates(HMENU menu) {
        const int count = ::GetMenuItemCount(menu);
        for (int position = 0; position < count; ++position) {
            const UINT id = ::GetMenuItemID(menu, position);
            if (id == 0 || id == static_cast<UINT>(-1)) {
                continue;  // a separator or a sub-menu
            }
            ::EnableMenuItem(menu, static_cast<UINT>(position),
                             MF_BYPOSITION | (frame_.IsCommandEnabled(id) ? MF_ENABLED : MF_GRAYED));
        }
    }

    void RunMenuHook() {
        const PopupMenuHook& hook = CurrentPopupMenuHook();
        const HMENU menu = trackedMenu_;
        if (!hook || menu == nullptr) {
            return;
        }
        std::vector<ShownMenuItem> items;
        const int count = ::GetMenuItemCount(menu);
        for (int position = 0; position < count; ++position) {
            ShownMenuItem item;
            const UINT id = ::GetMenuItemID(menu, position);
            item.id = id == static_cast<UINT>(-1) ? 0 : id;
            wchar_t label[256] = {};
            ::GetMenuStringW(menu, static_cast<UINT>(position), label, 256, MF_BYPOSITION);
            item.text = text::FromWide(label).value_or(text::Cp932String());
            const UINT state = ::GetMenuState(menu, static_cast<UINT>(position), MF_BYPOSITION);
            item.enabled = item.id != 0 && (state & (MF_GRAYED | MF_DISABLED)) == 0;
            items.push_back(std::move(item));
        }
        const unsigned chosen = hook(items);
        const auto it = std::find_if(items.begin(), items.end(),
                                     [chosen](const ShownMenuItem& item) { return item.id == chosen; });
        ::EndMenu();
        // As a click on the item does: the command comes after the menu closed.
        if (chosen != 0 && it != items.end() && it->enabled) {
            ::PostMessageW(window_, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
        }
    }

    CFrameWnd& frame_;
    HWND window_ = nullptr;
    HMENU trackedMenu_ = nullptr;
    std::vector<TrayIconData> icons_;
};

}  // namespace

HWND FrameHandle(const FramePeer* peer) {
    const auto* frame = dynamic_cast<const Win32Frame*>(peer);
    return frame != nullptr ? frame->Handle() : nullptr;
}

}  // namespace win32

std::unique_ptr<FramePeer> win32::MakeFramePeer(CFrameWnd& frame) { return std::make_unique<win32::Win32Frame>(frame); }

bool AfxOleInit() {
    // Once for the user-interface thread, undone when the program ends.
    struct Ole {
        Ole() : ready(SUCCEEDED(::OleInitialize(nullptr))) {}
        ~Ole() {
            if (ready) {
                ::OleUninitialize();
            }
        }
        bool ready;
    };
    static const Ole ole;
    return ole.ready;
}

bool win32::BringWindowWithPropForward(const text::Cp932String& name) {
    const auto wide = text::ToWide(name);
    if (!wide) {
        return false;
    }
    for (HWND window = ::GetWindow(::GetDesktopWindow(), GW_CHILD); window != nullptr;
         window = ::GetWindow(window, GW_HWNDNEXT)) {
        if (::GetPropW(window, wide->c_str()) == nullptr) {
            continue;
        }
        if (::IsIconic(window)) {
            ::ShowWindow(window, SW_RESTORE);
        }
        ::SetForegroundWindow(window);
        ::SetForegroundWindow(::GetLastActivePopup(window));
        return true;
    }
    return false;
}

}  // namespace molvar::framework
