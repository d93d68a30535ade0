#include "framework/app.h"

#include "framework/document.h"
#include "framework/frame.h"
#include "framework/message_loop.h"
#include "platform/profile.h"

namespace molvar::framework {
namespace {

CWinApp* g_app = nullptr;

constexpr MessageMapEntry<CWinApp> kAppCommands[] = {
    OnCommand(ID_FILE_NEW, &CWinApp::OnFileNew),
    OnCommand(ID_FILE_OPEN, &CWinApp::OnFileOpen),
};

}  // namespace

CSingleDocTemplate::CSingleDocTemplate(unsigned resourceId, DocumentFactory makeDocument, FrameFactory makeFrame,
                                       ViewFactory makeView)
    : resourceId_(resourceId),
      makeDocument_(std::move(makeDocument)),
      makeFrame_(std::move(makeFrame)),
      makeView_(std::move(makeView)) {}

CSingleDocTemplate::~CSingleDocTemplate() { CloseDocument(); }

bool CSingleDocTemplate::OpenDocumentFile() {
    if (document_) {
        return true;
    }
    document_ = makeDocument_();
    frame_ = makeFrame_();
    if (!frame_->LoadFrame(resourceId_, document_.get(), makeView_())) {
        CloseDocument();
        return false;
    }
    return true;
}

void CSingleDocTemplate::CloseDocument() {
    if (frame_) {
        frame_->DestroyWindow();
        frame_.reset();
    }
    document_.reset();
}

CWinApp::CWinApp() : previous_(g_app) { g_app = this; }

CWinApp::~CWinApp() {
    docTemplate_.reset();
    if (g_app == this) {
        g_app = previous_;
    }
}

CWinApp* AfxGetApp() { return g_app; }

bool CWinApp::InitInstance() { return true; }

int CWinApp::Run() {
    if (m_pMainWnd == nullptr) {
        return 1;
    }
    return RunMessageLoop(*m_pMainWnd, ID_APP_EXIT);
}

void CWinApp::SetRegistryKey(const text::Cp932String& key) { m_pszRegistryKey = key; }

int CWinApp::GetProfileInt(const text::Cp932String& section, const text::Cp932String& entry, int defaultValue) const {
    return platform::ReadProfileInt({m_pszRegistryKey, m_pszProfileName, m_profileFolder}, section, entry,
                                    defaultValue);
}

bool CWinApp::WriteProfileInt(const text::Cp932String& section, const text::Cp932String& entry, int value) {
    return platform::WriteProfileInt({m_pszRegistryKey, m_pszProfileName, m_profileFolder}, section, entry, value);
}

void CWinApp::AddDocTemplate(std::unique_ptr<CSingleDocTemplate> docTemplate) { docTemplate_ = std::move(docTemplate); }

void CWinApp::OnFileNew() {
    if (!docTemplate_ || !docTemplate_->OpenDocumentFile()) {
        return;
    }
    m_pMainWnd = docTemplate_->Frame();
}

void CWinApp::CloseAllDocuments() {
    m_pMainWnd = nullptr;
    if (docTemplate_) {
        docTemplate_->CloseDocument();
    }
}

bool CWinApp::OnCmdMsg(unsigned id, int code, CCmdUI* ui) {
    return DispatchThroughMap<CWinApp>(*this, kAppCommands, id, code, ui);
}

}  // namespace molvar::framework
