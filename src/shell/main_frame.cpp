#include "shell/main_frame.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "engine/molvar_doc.h"
#include "framework/app.h"
#include "framework/dialog.h"
#include "platform/executable_path.h"
#include "platform/files.h"
#include "platform/login_link.h"
#include "platform/paths.h"
#include "platform/services.h"
#include "res/resource.h"
#include "res/strings.h"
#include "res/templates.h"

namespace molvar::shell {
namespace {

using framework::CCmdUI;
using framework::OnCommand;
using framework::OnUpdateCommandUI;

constexpr framework::MessageMapEntry<CMainFrame> kCommands[] = {
    OnCommand(framework::ID_HELP_FINDER, &CMainFrame::OnHelpFinder),
    OnCommand(framework::ID_HELP, &CMainFrame::OnHelpFinder),
    OnCommand(framework::ID_CONTEXT_HELP, &CMainFrame::OnHelpFinder),
    OnCommand(framework::ID_DEFAULT_HELP, &CMainFrame::OnHelpFinder),
    OnUpdateCommandUI(framework::ID_HELP_FINDER, &CMainFrame::OnUpdateHelp),
    OnUpdateCommandUI(framework::ID_HELP, &CMainFrame::OnUpdateHelp),
    OnUpdateCommandUI(framework::ID_CONTEXT_HELP, &CMainFrame::OnUpdateHelp),
    OnUpdateCommandUI(framework::ID_DEFAULT_HELP, &CMainFrame::OnUpdateHelp),
};

constexpr framework::FrameMessageEntry<CMainFrame> kMessages[] = {
    {WM_TRAYNOTIFY, &CMainFrame::OnTrayNotify},
    {WM_ENDSESSION, &CMainFrame::OnEndSession},
};

// The property that marks the window: the executable's name.
const text::Cp932String& PropertyName() {
    static const text::Cp932String fallback = text::Cp932String::FromBytes("Molvar3");
    const framework::CWinApp* app = framework::AfxGetApp();
    return app != nullptr && !app->m_pszExeName.empty() ? app->m_pszExeName : fallback;
}

}  // namespace

namespace {

// The executable's folder with its separator, and its name without the
// extension. The extension begins at the last dot after the last separator.
// A separator byte may also be the second byte of a double-byte character,
// so the walk steps over those.
std::pair<std::string_view, std::string_view> FolderAndStem(std::string_view bytes) {
    std::size_t nameStart = 0;
    std::size_t dot = std::string_view::npos;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(bytes[i]);
        if (text::IsLeadByte(byte)) {
            ++i;
        } else if (bytes[i] == platform::kPathSeparator || bytes[i] == '/') {
            nameStart = i + 1;
            dot = std::string_view::npos;
        } else if (bytes[i] == '.') {
            dot = i;
        }
    }
    const std::size_t stem = dot != std::string_view::npos && dot > nameStart ? dot : bytes.size();
    return {bytes.substr(0, nameStart), bytes.substr(nameStart, stem - nameStart)};
}

}  // namespace

text::Cp932String HelpPageOf(const text::Cp932String& executable) {
    const auto [folder, stem] = FolderAndStem(executable.bytes());
    return text::Cp932String::FromBytes(std::string(folder) + std::string(stem) + ".html");
}

text::Cp932String InstalledHelpPageOf(const text::Cp932String& executable) {
    const auto [folder, stem] = FolderAndStem(executable.bytes());
    const char separator = platform::kPathSeparator;
    return text::Cp932String::FromBytes(std::string(folder) + ".." + separator + "share" + separator + "molvar" +
                                        separator + std::string(stem) + ".html");
}

text::Cp932String HelpPagePath() {
    const auto executable = platform::RunningExecutablePath();
    if (!executable) {
        return text::Cp932String();
    }
    const text::Cp932String beside = HelpPageOf(*executable);
    const text::Cp932String installed = InstalledHelpPageOf(*executable);
    return !platform::PathExists(beside) && platform::PathExists(installed) ? installed : beside;
}

CMainFrame::~CMainFrame() { CMainFrame::DestroyWindow(); }

bool CMainFrame::PreCreateWindow(framework::CREATESTRUCTA& params) {
    if (!CFrameWnd::PreCreateWindow(params)) {
        return false;
    }
    // No taskbar button, and nothing to see.
    params.cx = 0;
    params.cy = 0;
    params.dwExStyle = WS_EX_TOOLWINDOW;
    return true;
}

int CMainFrame::OnCreate(const framework::CREATESTRUCTA& params) {
    if (CFrameWnd::OnCreate(params) == -1) {
        return -1;
    }
    framework::FramePeer& window = *GetFramePeer();
    window.SetProperty(PropertyName());
    m_trayIcon.id = kTrayIconId;
    m_trayIcon.callbackMessage = WM_TRAYNOTIFY;
    m_trayIcon.iconResource = res::IDI_TRAY;
    m_trayIcon.tip = res::FolderWatch();
    window.AddTrayIcon(m_trayIcon);
    window.SetTopmost((window.ExStyle() & WS_EX_TOPMOST) == 0);
    return 0;
}

void CMainFrame::OnDestroy() {
    framework::FramePeer& window = *GetFramePeer();
    // An icon left behind would stay in the notification area until the
    // mouse passes over it.
    window.DeleteTrayIcon(kTrayIconId);
    window.RemoveProperty(PropertyName());
    CFrameWnd::OnDestroy();
}

bool CMainFrame::OnFrameMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                                std::intptr_t& result) {
    return framework::DispatchFrameMessageMap<CMainFrame>(*this, kMessages, message, wParam, lParam, result);
}

bool CMainFrame::OnFrameCommand(unsigned id, int code, CCmdUI* ui) {
    return framework::DispatchThroughMap<CMainFrame>(*this, kCommands, id, code, ui);
}

std::intptr_t CMainFrame::OnTrayNotify(std::uintptr_t iconId, std::intptr_t mouseMessage) {
    if (iconId != kTrayIconId) {
        return 0;
    }
    if (mouseMessage == WM_RBUTTONUP) {
        ShowTrayMenu();
    }
    return 0;
}

std::intptr_t CMainFrame::OnEndSession(std::uintptr_t ending, std::intptr_t) {
    if (ending == 0) {
        return 0;
    }
    // The quit command stops the watch, and no scan starts a reaction after
    // it; the writes in progress finish before the process goes.
    OnCmdMsg(res::ID_TRAY_EXIT, framework::CN_COMMAND, nullptr);
    auto* document = dynamic_cast<engine::CMolvarDoc*>(GetActiveDocument());
    if (document != nullptr && !document->StopForExit()) {
        platform::EndProcessAfterFileWrites(0);
    }
    return 0;
}

void CMainFrame::ShowTrayMenu() {
    framework::FramePeer& window = *GetFramePeer();
    // While a dialog of the program is open (the list of watched folders,
    // the about box) the menu would offer a second list dialog or a quit
    // from inside the first: the open dialog comes to the front instead.
    if (framework::ActiveModalDialog() != nullptr) {
        window.BringLastActivePopupForward();
        return;
    }
    const framework::CPoint at = window.CursorPos();
    // Without it the menu would not close when the user clicks elsewhere.
    window.SetForeground();
    TrackPopupMenu(res::IDR_TRAYMENU, 0, at);
    window.Post(WM_USER, 0, 0);
}

void CMainFrame::OnHelpFinder() {
    const text::Cp932String page = HelpPagePath();
    const auto nativePage = platform::NativeOf(page);
    if (nativePage && !page.empty() && platform::PathExists(page)) {
        platform::SystemServices().ShellOpenDocument(*nativePage);
    }
}

void CMainFrame::OnUpdateHelp(CCmdUI* ui) {
    const text::Cp932String page = HelpPagePath();
    ui->Enable(!page.empty() && platform::PathExists(page));
}

}  // namespace molvar::shell
