#include "dialogs/set_env_dlg.h"

#include "config/data_folder.h"
#include "framework/choosers.h"
#include "platform/files.h"
#include "res/resource.h"
#include "res/strings.h"

namespace molvar::dialogs {

using namespace res;
using framework::DialogMapEntry;

namespace {

constexpr int kPageCount = 3;
constexpr std::size_t kTitleBytes = 56;
constexpr std::size_t kFolderBytes = 126;
constexpr std::size_t kProgramBytes = 126;
constexpr std::size_t kMoveFolderBytes = 126;

enum class FolderOffer { Present, Declined, NotCreated };

// A missing folder is offered for creation; any answer but No is a yes.
// A folder made here stays, whatever happens to the dialog afterwards.
FolderOffer EnsureFolder(const Cp932String& path, const Cp932String& question, const Cp932String& notCreated) {
    if (platform::PathExists(path)) {
        return FolderOffer::Present;
    }
    if (AfxMessageBox(question, MB_YESNO) == IDNO) {
        return FolderOffer::Declined;
    }
    if (platform::MakeFolder(path)) {
        return FolderOffer::Present;
    }
    AfxMessageBox(notCreated);
    return FolderOffer::NotCreated;
}

// Makes the window of a page whose members are set; a page without a window
// is dropped, and the dialog goes on with its own values.
template <class Page>
framework::CDialog* OpenPage(std::unique_ptr<Page>& page, unsigned templateId, framework::CWnd* parent) {
    if (!page->Create(templateId, parent)) {
        page.reset();
    }
    return page.get();
}

template <class Page>
void DestroyPage(std::unique_ptr<Page>& page) {
    if (page) {
        page->DestroyWindow();
        page.reset();
    }
}

}  // namespace

CSetEnvDlg::~CSetEnvDlg() {
    DestroyPage(filePage);
    DestroyPage(afterPage);
    DestroyPage(noticePage);
}

void CSetEnvDlg::DoDataExchange(CDataExchange* pDX) {
    framework::DDX_Control(pDX, IDC_PAGE_TABS, tabControl);
    framework::DDX_Text(pDX, IDC_TITLE, title, kTitleBytes);
    framework::DDX_Text(pDX, IDC_WATCH_FOLDER, folder, kFolderBytes);
    framework::DDX_Text(pDX, IDC_PROGRAM, program, kProgramBytes);
    framework::DDX_Check(pDX, IDC_OPEN_TARGET, openTarget);
    framework::DDX_Check(pDX, IDC_WAIT_FOR_EXIT, waitForExit);
}

bool CSetEnvDlg::OnDialogMessage(int id, unsigned code, long* result) {
    static constexpr DialogMapEntry<CSetEnvDlg> kMap[] = {
        framework::OnNotifyCode(TCN_SELCHANGE, IDC_PAGE_TABS, &CSetEnvDlg::OnSelchangePages),
        framework::OnControl(BN_CLICKED, IDC_BROWSE_FOLDER, &CSetEnvDlg::OnBrowseFolder),
        framework::OnControl(BN_CLICKED, IDC_BROWSE_PROGRAM, &CSetEnvDlg::OnBrowseProgram),
        framework::OnControl(EN_CHANGE, IDC_PROGRAM, &CSetEnvDlg::OnChangeProgram),
    };
    return framework::DispatchDialogMap<CSetEnvDlg>(*this, kMap, id, code, result) ||
           CDialog::OnDialogMessage(id, code, result);
}

bool CSetEnvDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    if (program.empty()) {
        EnableControls(*this, {IDC_WAIT_FOR_EXIT}, false);
    }
    tabControl.DeleteAllItems();
    for (int index = 0; index < kPageCount; ++index) {
        tabControl.InsertItem(index, PageTabLabel(index));
    }
    // A dialog opens on the target-file page (currentPage 0).
    tabControl.SetCurSel(currentPage);
    CreatePage(currentPage);
    return true;
}

// The test is of the value last exchanged, not of the text typed. A text the
// dialog puts back unchanged (empty) is no typing.
void CSetEnvDlg::OnChangeProgram() {
    if (program.empty() && !GetDlgItemText(IDC_PROGRAM).empty()) {
        EnableControls(*this, {IDC_WAIT_FOR_EXIT}, true);
    }
}

void CSetEnvDlg::OnSelchangePages(long* result) {
    *result = 0;
    if (!UpdateData(true)) {
        return;
    }
    const int index = tabControl.GetCurSel();
    if (index < 0 || index >= kPageCount || index == currentPage) {
        return;
    }
    // A refusal keeps the old page; the tab stays where the user clicked.
    if (!CollectShownPage()) {
        return;
    }
    ShowPage(index);
}

void CSetEnvDlg::ShowPage(int index) {
    if (PageOf(index) == nullptr) {
        if (framework::CDialog* page = CreatePage(index)) {
            page->UpdateData(false);
        }
    }
    DestroyPagesOtherThan(index);
    currentPage = index;
}

void CSetEnvDlg::OnOK() {
    if (!UpdateData(true) || !CollectShownPage()) {
        return;
    }
    if (title.empty()) {
        AfxMessageBox(NoTitle());
        FocusControl(*this, IDC_TITLE);
        return;
    }
    if (folder.empty()) {
        AfxMessageBox(NoWatchFolder());
        FocusControl(*this, IDC_WATCH_FOLDER);
        return;
    }
    if (platform::IsSameOrInsideFolder(CutToBytes(folder, kFolderBytes), config::g_baseFolder)) {
        AfxMessageBox(WatchFolderInDataFolder());
        FocusControl(*this, IDC_WATCH_FOLDER);
        return;
    }
    switch (EnsureFolder(CutToBytes(folder, kFolderBytes), CreateWatchFolderQuestion(), WatchFolderNotCreated())) {
    case FolderOffer::Present:
        if (!RefusedAsFeedingItself()) {
            CDialog::OnOK();
        }
        return;
    case FolderOffer::Declined:
        FocusControl(*this, IDC_WATCH_FOLDER);
        return;
    case FolderOffer::NotCreated:
        return;
    }
}

// The data folder's listings change at every scan, and a file moved into the
// watched folder itself would be found again: the engine leaves it in place,
// so the setting would silently do nothing. Both are said at once instead.
bool CSetEnvDlg::RefusedAsFeedingItself() {
    if (afterAction != 2 || !platform::IsSameFile(CutToBytes(folder, kFolderBytes), moveFolder)) {
        return false;
    }
    AfxMessageBox(MoveFolderIsWatchFolder());
    tabControl.SetCurSel(2);
    ShowPage(2);
    if (afterPage) {
        FocusControl(*afterPage, IDC_MOVE_FOLDER);
    }
    return true;
}

void CSetEnvDlg::OnBrowseFolder() {
    UpdateData(true);
    if (ChooseFolder(folder, folder, kFolderBytes)) {
        UpdateData(false);
    }
}

void CSetEnvDlg::OnBrowseProgram() {
    UpdateData(true);
    framework::CFileDialog chooser(true, ProgramFileFilter(), ProgramFileTitle());
    chooser.DoModal();
    if (!AcceptChosenPath(chooser.Result(), kProgramBytes)) {
        return;
    }
    program = chooser.GetPathName();
    UpdateData(false);
    // Choosing a program changes the field as typing one does.
    EnableControls(*this, {IDC_WAIT_FOR_EXIT}, true);
}

framework::CDialog* CSetEnvDlg::PageOf(int index) const {
    switch (index) {
    case 0:
        return filePage.get();
    case 1:
        return noticePage.get();
    case 2:
        return afterPage.get();
    default:
        return nullptr;
    }
}

framework::CDialog* CSetEnvDlg::CreatePage(int index) {
    switch (index) {
    case 0:
        filePage = std::make_unique<CFileProcDlg>();
        filePage->namePattern = namePattern;
        filePage->targetKind = targetKind;
        filePage->triggerKind = triggerKind;
        return OpenPage(filePage, IDD_FILEPROC, this);
    case 1:
        noticePage = std::make_unique<CNoticeProcDlg>();
        noticePage->showMessage = showMessage != 0;
        noticePage->playSound = soundKind != 0;
        noticePage->soundChoice = soundKind == 2 ? 1 : 0;
        noticePage->soundFile = soundFile;
        return OpenPage(noticePage, IDD_NOTICEPROC, this);
    case 2:
        afterPage = std::make_unique<CAfterProcDlg>();
        afterPage->afterAction = afterAction;
        afterPage->moveFolder = moveFolder;
        afterPage->overwriteMoved = overwriteMoved != 0;
        return OpenPage(afterPage, IDD_AFTERPROC, this);
    default:
        return nullptr;
    }
}

bool CSetEnvDlg::CollectShownPage() {
    framework::CDialog* page = PageOf(currentPage);
    if (page == nullptr) {
        return true;
    }
    // A value over its limit has had its prompt; the page's member keeps
    // what it held and the collection goes on.
    page->UpdateData(true);
    switch (currentPage) {
    case 0:
        namePattern = filePage->namePattern;
        targetKind = filePage->targetKind;
        triggerKind = filePage->triggerKind;
        if (targetKind == 1 && namePattern.empty()) {
            AfxMessageBox(NoTargetFileName());
            FocusControl(*filePage, IDC_NAME_PATTERN);
            return false;
        }
        return true;
    case 1:
        showMessage = noticePage->showMessage != 0;
        soundKind = noticePage->playSound == 0 ? 0 : noticePage->soundChoice == 1 ? 2 : 1;
        soundFile = noticePage->soundFile;
        return true;
    default:
        afterAction = afterPage->afterAction;
        moveFolder = afterPage->moveFolder;
        overwriteMoved = afterPage->overwriteMoved != 0;
        return afterAction != 2 || CollectMoveFolder();
    }
}

bool CSetEnvDlg::CollectMoveFolder() {
    if (moveFolder.empty()) {
        AfxMessageBox(NoMoveFolder());
        FocusControl(*afterPage, IDC_MOVE_FOLDER);
        return false;
    }
    // The field takes 127 bytes, the setting keeps 126.
    moveFolder = CutToBytes(moveFolder, kMoveFolderBytes);
    switch (EnsureFolder(moveFolder, CreateMoveFolderQuestion(), MoveFolderNotCreated())) {
    case FolderOffer::Present:
        return true;
    case FolderOffer::Declined:
        FocusControl(*afterPage, IDC_MOVE_FOLDER);
        return false;
    case FolderOffer::NotCreated:
        return false;
    }
    return false;
}

void CSetEnvDlg::DestroyPagesOtherThan(int index) {
    if (index != 0) {
        DestroyPage(filePage);
    }
    if (index != 1) {
        DestroyPage(noticePage);
    }
    if (index != 2) {
        DestroyPage(afterPage);
    }
}

}  // namespace molvar::dialogs
