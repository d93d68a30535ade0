#include "framework/frame.h"

#include "framework/app.h"
#include "framework/document.h"
#include "framework/message_loop.h"
#include "res/templates.h"
#include "text/convert.h"

namespace molvar::framework {
namespace {

PopupMenuHook g_popupMenuHook;

}  // namespace

void SetPopupMenuHook(PopupMenuHook hook) { g_popupMenuHook = std::move(hook); }

const PopupMenuHook& CurrentPopupMenuHook() { return g_popupMenuHook; }

CFrameWnd::CFrameWnd() : framePeer_(MakeFramePeer(*this)) {}

CFrameWnd::~CFrameWnd() { CFrameWnd::DestroyWindow(); }

bool CFrameWnd::LoadFrame(unsigned resourceId, CDocument* document, std::unique_ptr<CView> view) {
    document_ = document;
    view_ = std::move(view);
    if (view_) {
        view_->SetDocument(document);
    }
    CREATESTRUCTA params;
    params.style = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE;
    params.dwExStyle = WS_EX_CLIENTEDGE;
    if (const auto title = res::FindString(resourceId)) {
        // The document string's first part is the window title.
        const std::u8string_view whole = *title;
        params.lpszName = text::LiteralToCp932(whole.substr(0, whole.find(u8'\n')));
    }
    if (!PreCreateWindow(params)) {
        return false;
    }
    creating_ = &params;
    const bool made = framePeer_->Create(params);
    creating_ = nullptr;
    return made;
}

bool CFrameWnd::DestroyWindow() {
    if (framePeer_ && framePeer_->Exists()) {
        framePeer_->Destroy();
    }
    view_.reset();
    return true;
}

std::optional<std::intptr_t> CFrameWnd::WindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::intptr_t result = 0;
    if (OnFrameMessage(message, wParam, lParam, result)) {
        return result;
    }
    switch (message) {
        case WM_CREATE:
            return creating_ != nullptr ? OnCreate(*creating_) : OnCreate(CREATESTRUCTA{});
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_COMMAND:
            OnCmdMsg(static_cast<unsigned>(wParam & 0xFFFF), CN_COMMAND, nullptr);
            return 0;
        default:
            return std::nullopt;
    }
}

bool CFrameWnd::OnCmdMsg(unsigned id, int code, CCmdUI* ui) {
    if (OnFrameCommand(id, code, ui)) {
        return true;
    }
    if (view_ && view_->OnCmdMsg(id, code, ui)) {
        return true;
    }
    if (document_ != nullptr && document_->OnCmdMsg(id, code, ui)) {
        return true;
    }
    if (CWinApp* app = AfxGetApp(); app != nullptr && app->OnCmdMsg(id, code, ui)) {
        return true;
    }
    if (id == ID_APP_EXIT && code != CN_UPDATE_COMMAND_UI) {
        // The framework's own exit, when it comes to the window itself.
        if (code == CN_COMMAND) {
            OnClose();
        }
        return true;
    }
    return false;
}

bool CFrameWnd::IsCommandEnabled(unsigned id) {
    CCmdUI state(id);
    if (OnCmdMsg(id, CN_UPDATE_COMMAND_UI, &state)) {
        return state.m_bEnabled;
    }
    return OnCmdMsg(id, CN_HAS_HANDLER, nullptr);
}

void CFrameWnd::TrackPopupMenu(unsigned menuId, int position, CPoint at) {
    const res::MenuTemplate* menu = res::FindMenuTemplate(menuId);
    if (menu == nullptr || position < 0 || static_cast<std::size_t>(position) >= menu->popups.size()) {
        return;
    }
    framePeer_->TrackPopupMenu(menu->popups[static_cast<std::size_t>(position)], at);
}

bool CFrameWnd::PreCreateWindow(CREATESTRUCTA&) { return true; }

int CFrameWnd::OnCreate(const CREATESTRUCTA&) { return 0; }

void CFrameWnd::OnDestroy() {}

void CFrameWnd::OnClose() { AfxPostCommand(ID_APP_EXIT); }

bool CFrameWnd::OnFrameMessage(unsigned, std::uintptr_t, std::intptr_t, std::intptr_t&) { return false; }

bool CFrameWnd::OnFrameCommand(unsigned, int, CCmdUI*) { return false; }

}  // namespace molvar::framework
