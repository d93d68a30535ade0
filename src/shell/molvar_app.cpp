#include "shell/molvar_app.h"

#include <cstdio>
#include <string>

#include "config/data_folder.h"
#include "dialogs/history_dlg.h"
#include "engine/molvar_doc.h"
#include "framework/executable_name.h"
#include "framework/message_box.h"
#include "framework/message_loop.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "res/resource.h"
#include "res/strings.h"
#include "shell/main_frame.h"
#include "text/convert.h"

namespace molvar::shell {
namespace {

using text::operator""_cp;

constexpr framework::MessageMapEntry<CMolvarApp> kCommands[] = {
    framework::OnCommand(res::ID_APP_ABOUT, &CMolvarApp::OnAppAbout),
    framework::OnCommand(res::ID_SHOW_HISTORY, &CMolvarApp::OnShowHistory),
};

const text::Cp932String& RegistryKey() {
    static const text::Cp932String key =
        text::LiteralToCp932(u8"アプリケーション ウィザードで生成されたローカル アプリケーション");
    return key;
}

}  // namespace

CMolvarApp::CMolvarApp() = default;

CMolvarApp::~CMolvarApp() {
    // The frame and the document go before the lock they were made under.
    CloseAllDocuments();
}

bool CMolvarApp::InitInstance() {
    if (!CWinApp::InitInstance()) {
        return false;
    }
    m_pszExeName = framework::ExecutableName();
    if (m_pszExeName.empty()) {
        m_pszExeName = "Molvar3"_cp;
    }
    if (!framework::AfxOleInit()) {
        AfxMessageBox(text::LiteralToCp932(*res::FindString(res::IDP_OLE_INIT_FAILED)), MB_OK);
        return false;
    }

    const auto appData = platform::ApplicationDataFolder();
    if (!appData) {
        AfxMessageBox(res::InstallProperly(), MB_OK);
        exitStatus_ = 1;
        return false;
    }
    config::g_baseFolder = platform::JoinPath(platform::JoinPath(*appData, "TORVEL"_cp), "Molvar3"_cp);
    // Known to a second copy too: off Windows the running copy is reached
    // through the data folder.
    m_profileFolder = config::g_baseFolder;
    // "obsdat" with any missing parent: without an installer (Linux, a copy
    // run where it was not installed) the settings could not be saved.
    platform::MakeFolderTree(config::DataSubfolderPath());

    platform::SingleInstanceLock::Outcome outcome{};
    std::string why;
    instance_ = platform::SingleInstanceLock::Acquire(m_pszExeName, config::g_baseFolder, outcome, &why);
    if (outcome == platform::SingleInstanceLock::Outcome::HeldByAnotherCopy) {
        // The running copy comes forward, with a dialog it shows.
        framework::BringWindowWithPropForward(m_pszExeName);
        return false;
    }
    if (outcome == platform::SingleInstanceLock::Outcome::Unavailable) {
        // Run without it and a second copy would process every file again.
        std::fprintf(stderr, "molvar: not started: no single-copy lock can be had (%s)\n", why.c_str());
        exitStatus_ = 1;
        return false;
    }
    // What a copy killed in the middle of a save left behind.
    platform::RemoveAbandonedTemporaryFiles(config::DataSubfolderPath());

    SetRegistryKey(RegistryKey());
    m_pszProfileName = text::LiteralToCp932(*res::FindString(res::AFX_IDS_APP_TITLE));
    LoadStdProfileSettings(4);

    AddDocTemplate(std::make_unique<framework::CSingleDocTemplate>(
        res::IDR_MAINFRAME, [] { return std::make_unique<engine::CMolvarDoc>(); },
        [] { return std::make_unique<CMainFrame>(); }, [] { return std::make_unique<CMolvarView>(); }));
    // The program takes no arguments: the command line always means a new
    // document, the framework's start without a file.
    OnFileNew();
    if (m_pMainWnd == nullptr) {
        exitStatus_ = 1;
        return false;
    }
    m_pMainWnd->GetFramePeer()->Show(SW_HIDE);
    return true;
}

int CMolvarApp::Run() { return framework::RunMessageLoop(*m_pMainWnd, res::ID_TRAY_EXIT); }

int CMolvarApp::ExitInstance(int status) {
    // A new copy may start from here on.
    instance_.reset();
    auto* document = DocTemplate() != nullptr ? dynamic_cast<engine::CMolvarDoc*>(DocTemplate()->Document()) : nullptr;
    if (m_pMainWnd != nullptr) {
        m_pMainWnd->DestroyWindow();
    }
    if (document != nullptr && !document->StopForExit()) {
        // A scan waits in a reaction (a message box, a program that is
        // waited for): the program ends without it, once the file writes
        // in progress are done. A started program runs on.
        platform::EndProcessAfterFileWrites(status);
    }
    CloseAllDocuments();
    return status;
}

void CMolvarApp::OnAppAbout() {
    CAboutDlg about;
    about.DoModal();
}

void CMolvarApp::OnShowHistory() {
    dialogs::CHistoryDlg history(platform::TheActivityLog());
    history.DoModal();
}

bool CMolvarApp::OnCmdMsg(unsigned id, int code, framework::CCmdUI* ui) {
    return framework::DispatchThroughMap<CMolvarApp>(*this, kCommands, id, code, ui) ||
           CWinApp::OnCmdMsg(id, code, ui);
}

}  // namespace molvar::shell
