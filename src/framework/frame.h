// The frame window and the view: the application's main window, made by the
// document template, which routes the commands of its menus to the view,
// the document and the application.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "framework/window.h"
#include "text/cp932.h"

namespace molvar::res {
struct PopupTemplate;
}

// Window messages and styles, with the values of Windows.
inline constexpr unsigned WM_CREATE = 0x0001;
inline constexpr unsigned WM_DESTROY = 0x0002;
inline constexpr unsigned WM_CLOSE = 0x0010;
inline constexpr unsigned WM_ENDSESSION = 0x0016;
inline constexpr unsigned WM_COMMAND = 0x0111;
inline constexpr unsigned WM_LBUTTONDOWN = 0x0201;
inline constexpr unsigned WM_LBUTTONUP = 0x0202;
inline constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
inline constexpr unsigned WM_RBUTTONDOWN = 0x0204;
inline constexpr unsigned WM_RBUTTONUP = 0x0205;
inline constexpr unsigned WM_USER = 0x0400;
inline constexpr std::uint32_t WS_EX_TOPMOST = 0x00000008;
inline constexpr std::uint32_t WS_EX_TOOLWINDOW = 0x00000080;
inline constexpr std::uint32_t WS_EX_CLIENTEDGE = 0x00000200;
inline constexpr std::uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000;
inline constexpr std::uint32_t FWS_ADDTOTITLE = 0x00008000;
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_RESTORE = 9;
inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);

namespace molvar::framework {

class CDocument;
class CFrameWnd;
class CView;

// The framework's help commands.
inline constexpr unsigned ID_HELP_FINDER = 57667;
inline constexpr unsigned ID_HELP = 57670;
inline constexpr unsigned ID_CONTEXT_HELP = 57669;
inline constexpr unsigned ID_DEFAULT_HELP = 57671;

// The creation parameters of a frame window, as PreCreateWindow sees them.
struct CREATESTRUCTA {
    std::uint32_t dwExStyle = 0;
    std::uint32_t style = 0;
    int x = CW_USEDEFAULT;
    int y = CW_USEDEFAULT;
    int cx = CW_USEDEFAULT;
    int cy = CW_USEDEFAULT;
    text::Cp932String lpszName;
};

struct CPoint {
    int x = 0;
    int y = 0;
};

// A notification-area icon: its id, the message its mouse events come as,
// the icon resource and the tip.
struct TrayIconData {
    unsigned id = 0;
    unsigned callbackMessage = 0;
    unsigned iconResource = 0;
    text::Cp932String tip;
};

// One item of a popup menu as it is shown.
struct ShownMenuItem {
    unsigned id = 0;  // 0: a separator
    text::Cp932String text;
    bool enabled = true;
};

// Acts as the user while a popup menu is open (a test, the picture tool):
// sees its items and returns the command chosen, or 0 to close it without one.
using PopupMenuHook = std::function<unsigned(const std::vector<ShownMenuItem>& items)>;
void SetPopupMenuHook(PopupMenuHook hook);
// The hook, or an empty one.
const PopupMenuHook& CurrentPopupMenuHook();

// What a backend keeps of a frame window.
class FramePeer {
public:
    virtual ~FramePeer() = default;

    // Makes the window; during it the frame gets WM_CREATE. False when the
    // window could not be made (or OnCreate refused).
    virtual bool Create(const CREATESTRUCTA& params) = 0;
    // Destroys the window; the frame gets WM_DESTROY.
    virtual void Destroy() = 0;
    virtual bool Exists() const = 0;

    virtual void Show(int command) = 0;
    virtual bool IsVisible() const = 0;
    virtual std::uint32_t ExStyle() const = 0;
    virtual void SetTopmost(bool on) = 0;
    // Width and height of the window.
    virtual CPoint Size() const = 0;

    // A named property of the window, by which another process can find it.
    virtual bool SetProperty(const text::Cp932String& name) = 0;
    virtual void RemoveProperty(const text::Cp932String& name) = 0;
    virtual bool HasProperty(const text::Cp932String& name) const = 0;

    // A notification-area icon the window keeps from now on: it is put in
    // again whenever the notification area is made anew (Explorer restarted,
    // or came up after the program). False when the system refused it now.
    virtual bool AddTrayIcon(const TrayIconData& icon) = 0;
    virtual bool DeleteTrayIcon(unsigned id) = 0;
    // Whether the window keeps the icon: added and not deleted.
    virtual bool HasTrayIcon(unsigned id) const = 0;

    virtual CPoint CursorPos() const = 0;
    virtual void SetForeground() = 0;
    // Brings the window's last active popup (a dialog it owns) to the front.
    virtual void BringLastActivePopupForward() = 0;
    // Shows the popup at `at` and returns when it is closed; a chosen item's
    // command reaches the frame as WM_COMMAND. Before it shows, each item's
    // state is asked of the frame (CFrameWnd::IsCommandEnabled).
    virtual void TrackPopupMenu(const res::PopupTemplate& popup, CPoint at) = 0;
    // Posts the window a message; it is handled by the message loop.
    virtual void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

// Makes the backend's peer of a frame: a window not made yet.
std::unique_ptr<FramePeer> MakeFramePeer(CFrameWnd& frame);

// Another running copy's main window carries the property `name`: brings
// it (restored when it is iconic) and its last active popup, a dialog it
// shows, to the front. False when no window carries it.
bool BringWindowWithPropForward(const text::Cp932String& name);

class CView : public CWnd {
public:
    CDocument* GetDocument() const { return document_; }
    void SetDocument(CDocument* document) { document_ = document; }

private:
    CDocument* document_ = nullptr;
};

// One entry of a frame's message map for a window message: the handler gets
// both parameters and returns the message's result.
template <class Frame>
struct FrameMessageEntry {
    unsigned message;
    std::intptr_t (Frame::*handler)(std::uintptr_t wParam, std::intptr_t lParam);
};

template <class Frame>
bool DispatchFrameMessageMap(Frame& frame, std::span<const FrameMessageEntry<Frame>> map, unsigned message,
                             std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t& result) {
    for (const auto& entry : map) {
        if (entry.message == message) {
            result = (frame.*entry.handler)(wParam, lParam);
            return true;
        }
    }
    return false;
}

class CFrameWnd : public CWnd {
public:
    CFrameWnd();
    ~CFrameWnd() override;

    // Makes the window with the frame's view and document; false when
    // PreCreateWindow or the window failed.
    bool LoadFrame(unsigned resourceId, CDocument* document, std::unique_ptr<CView> view);
    bool DestroyWindow() override;

    // Every message of the window, as the backend delivers it; empty for a
    // message the frame leaves to the window system's default handling.
    std::optional<std::intptr_t> WindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

    // The route of a command or of a state query: the frame, its view, the
    // document, the application.
    bool OnCmdMsg(unsigned id, int code, CCmdUI* ui) override;
    // Whether the route enables the command: its state handler says so, or
    // it has no state handler but a command handler. A command nobody
    // handles is disabled.
    bool IsCommandEnabled(unsigned id);

    CView* GetActiveView() const { return view_.get(); }
    CDocument* GetActiveDocument() const { return document_; }
    FramePeer* GetFramePeer() const { return framePeer_.get(); }

    // Loads popup `position` of menu `menuId` and shows it; see FramePeer.
    void TrackPopupMenu(unsigned menuId, int position, CPoint at);

protected:
    virtual bool PreCreateWindow(CREATESTRUCTA& params);
    // 0 on success, -1 to fail the creation.
    virtual int OnCreate(const CREATESTRUCTA& params);
    virtual void OnDestroy();
    // Closing the main window ends the application (the framework's exit
    // command).
    virtual void OnClose();
    // Messages of the derived frame's own message map.
    virtual bool OnFrameMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                                std::intptr_t& result);
    // The frame's own commands (its command map).
    virtual bool OnFrameCommand(unsigned id, int code, CCmdUI* ui);

private:
    const CREATESTRUCTA* creating_ = nullptr;
    std::unique_ptr<FramePeer> framePeer_;
    std::unique_ptr<CView> view_;
    CDocument* document_ = nullptr;
};

}  // namespace molvar::framework
