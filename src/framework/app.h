// The application object, and the single-document template that makes the
// one document, main frame and view of the program.
#pragma once

#include <functional>
#include <memory>

#include "framework/command_target.h"
#include "text/cp932.h"

namespace molvar::framework {

class CDocument;
class CFrameWnd;
class CView;

// The framework's standard commands the application handles.
inline constexpr unsigned ID_FILE_NEW = 57600;
inline constexpr unsigned ID_FILE_OPEN = 57601;

// Makes the document, then the frame, which makes its view, for the
// framework's new-file command; the set lives until CloseDocument.
class CSingleDocTemplate {
public:
    using DocumentFactory = std::function<std::unique_ptr<CDocument>()>;
    using FrameFactory = std::function<std::unique_ptr<CFrameWnd>()>;
    using ViewFactory = std::function<std::unique_ptr<CView>()>;

    CSingleDocTemplate(unsigned resourceId, DocumentFactory makeDocument, FrameFactory makeFrame,
                       ViewFactory makeView);
    ~CSingleDocTemplate();
    CSingleDocTemplate(const CSingleDocTemplate&) = delete;
    CSingleDocTemplate& operator=(const CSingleDocTemplate&) = delete;

    // Makes the set, in the order document, frame (with its window), view.
    // False when the frame's window could not be made; nothing is left then.
    bool OpenDocumentFile();
    // Destroys the frame (and its view), then the document.
    void CloseDocument();

    unsigned ResourceId() const { return resourceId_; }
    CDocument* Document() const { return document_.get(); }
    CFrameWnd* Frame() const { return frame_.get(); }

private:
    unsigned resourceId_;
    DocumentFactory makeDocument_;
    FrameFactory makeFrame_;
    ViewFactory makeView_;
    std::unique_ptr<CDocument> document_;
    std::unique_ptr<CFrameWnd> frame_;
};

class CWinApp : public CCmdTarget {
public:
    // The one application object; AfxGetApp() returns it while it lives.
    CWinApp();
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up; false ends the program without running the message loop.
    virtual bool InitInstance();
    // The message loop, until the exit command; returns the exit status.
    virtual int Run();

    // Profile values go to the registry under `key` (Windows) or to an INI
    // file in m_profileFolder (elsewhere).
    void SetRegistryKey(const text::Cp932String& key);
    // The framework's recent-file list of `maxFiles` entries; the program
    // never shows one, so nothing is kept.
    void LoadStdProfileSettings(unsigned maxFiles = 4) { (void)maxFiles; }
    int GetProfileInt(const text::Cp932String& section, const text::Cp932String& entry, int defaultValue) const;
    bool WriteProfileInt(const text::Cp932String& section, const text::Cp932String& entry, int value);

    void AddDocTemplate(std::unique_ptr<CSingleDocTemplate> docTemplate);
    CSingleDocTemplate* DocTemplate() const { return docTemplate_.get(); }
    // The framework's new-file command: opens the template's set; with one
    // set open already nothing happens.
    void OnFileNew();
    // The framework's open-file command: the template has no file filter
    // and the document no file, so nothing is opened.
    void OnFileOpen() {}
    // The end of the program: destroys the main frame and the document.
    void CloseAllDocuments();

    bool OnCmdMsg(unsigned id, int code, CCmdUI* ui) override;

    // The executable's file name without folder and extension.
    text::Cp932String m_pszExeName;
    // The name the profile values are kept under (the application title).
    text::Cp932String m_pszProfileName;
    text::Cp932String m_pszRegistryKey;
    // Where the INI file of the profile is kept off Windows.
    text::Cp932String m_profileFolder;
    CFrameWnd* m_pMainWnd = nullptr;

private:
    CWinApp* previous_;  // the one before, made again by its end
    std::unique_ptr<CSingleDocTemplate> docTemplate_;
};

// The application object; null when there is none (tests of single dialogs).
CWinApp* AfxGetApp();

// Prepares OLE (and COM) on the user-interface thread for the rest of the
// program: the shell's folder chooser needs it. False when it failed.
bool AfxOleInit();

}  // namespace molvar::framework
