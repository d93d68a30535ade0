#include "dialogs/set_env_dlg.h"

#include <iterator>
#include <type_traits>

#include "config/data_folder.h"
#include "framework/choosers.h"
#include "platform/files.h"
#include "res/resource.h"
#include "res/strings.h"

namespace molvar::dialogs {

using namespace res;
using namespace config;
using framework::DialogMapEntry;

namespace {

constexpr SettingPage kPages[] = {SettingPage::TargetFiles, SettingPage::Notification, SettingPage::AfterProcessing};
constexpr int kPageCount = static_cast<int>(std::size(kPages));

// A page's position among the tabs.
constexpr int TabIndex(SettingPage page) { return static_cast<int>(page); }

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

template <class Page>
void DestroyPage(std::unique_ptr<Page>& page) {
    if (page) {
        page->DestroyWindow();
        page.reset();
    }
}

}  // namespace

template <class Action>
decltype(auto) CSetEnvDlg::WithPage(SettingPage page, Action&& action) {
    switch (page) {
    case SettingPage::TargetFiles:
        return action(filePage);
    case SettingPage::Notification:
        return action(noticePage);
    case SettingPage::AfterProcessing:
        break;
    }
    return action(afterPage);
}

CSetEnvDlg::~CSetEnvDlg() {
    DestroyPage(filePage);
    DestroyPage(afterPage);
    DestroyPage(noticePage);
}

void CSetEnvDlg::DoDataExchange(CDataExchange* pDX) {
    framework::DDX_Control(pDX, IDC_PAGE_TABS, tabControl);
    framework::DDX_Text(pDX, IDC_TITLE, title, text_limit::title);
    framework::DDX_Text(pDX, IDC_WATCH_FOLDER, folder, text_limit::folder);
    framework::DDX_Text(pDX, IDC_PROGRAM, program, text_limit::program);
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
    for (const SettingPage page : kPages) {
        tabControl.InsertItem(TabIndex(page), PageTabLabel(TabIndex(page)));
    }
    // A dialog opens on the target-file page.
    tabControl.SetCurSel(TabIndex(currentPage));
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
    if (index < 0 || index >= kPageCount || index == TabIndex(currentPage)) {
        return;
    }
    // A refusal keeps the old page; the tab stays where the user clicked.
    if (!CollectShownPage()) {
        return;
    }
    ShowPage(kPages[index]);
}

void CSetEnvDlg::ShowPage(SettingPage shown) {
    if (WithPage(shown, [](auto& owned) { return owned == nullptr; })) {
        if (framework::CDialog* page = CreatePage(shown)) {
            page->UpdateData(false);
        }
    }
    for (const SettingPage page : kPages) {
        if (page != shown) {
            WithPage(page, [](auto& owned) { DestroyPage(owned); });
        }
    }
    currentPage = shown;
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
    const Cp932String watched = text::CutToBytes(folder, text_limit::folder);
    if (platform::IsSameOrInsideFolder(watched, config::g_baseFolder)) {
        AfxMessageBox(WatchFolderInDataFolder());
        FocusControl(*this, IDC_WATCH_FOLDER);
        return;
    }
    switch (EnsureFolder(watched, CreateWatchFolderQuestion(), WatchFolderNotCreated())) {
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
    if (afterAction != MoveTarget || !platform::IsSameFile(text::CutToBytes(folder, text_limit::folder), moveFolder)) {
        return false;
    }
    AfxMessageBox(MoveFolderIsWatchFolder());
    tabControl.SetCurSel(TabIndex(SettingPage::AfterProcessing));
    ShowPage(SettingPage::AfterProcessing);
    if (afterPage) {
        FocusControl(*afterPage, IDC_MOVE_FOLDER);
    }
    return true;
}

void CSetEnvDlg::OnBrowseFolder() {
    UpdateData(true);
    if (ChooseFolder(folder, folder, text_limit::folder)) {
        UpdateData(false);
    }
}

void CSetEnvDlg::OnBrowseProgram() {
    UpdateData(true);
    framework::CFileDialog chooser(true, ProgramFileFilter(), ProgramFileTitle());
    chooser.DoModal();
    if (!AcceptChosenPath(chooser.Result(), text_limit::program)) {
        return;
    }
    program = chooser.GetPathName();
    UpdateData(false);
    // Choosing a program changes the field as typing one does.
    EnableControls(*this, {IDC_WAIT_FOR_EXIT}, true);
}

framework::CDialog* CSetEnvDlg::CreatePage(SettingPage page) {
    return WithPage(page, [this](auto& owned) -> framework::CDialog* {
        owned = std::make_unique<typename std::remove_reference_t<decltype(owned)>::element_type>();
        GiveTo(*owned);
        // A page without a window is dropped; the dialog goes on with its
        // own values.
        if (!owned->Create(owned->TemplateId(), this)) {
            owned.reset();
        }
        return owned.get();
    });
}

bool CSetEnvDlg::CollectShownPage() {
    return WithPage(currentPage, [this](auto& owned) {
        if (owned == nullptr) {
            return true;
        }
        // A value over its limit has had its prompt; the page's member keeps
        // what it held and the collection goes on.
        owned->UpdateData(true);
        return TakeFrom(*owned);
    });
}

void CSetEnvDlg::GiveTo(CFileProcDlg& page) const {
    page.namePattern = namePattern;
    page.targetKind = targetKind;
    page.triggerKind = triggerKind;
}

bool CSetEnvDlg::TakeFrom(CFileProcDlg& page) {
    namePattern = page.namePattern;
    targetKind = page.targetKind;
    triggerKind = page.triggerKind;
    if (targetKind == NamedFiles && namePattern.empty()) {
        AfxMessageBox(NoTargetFileName());
        FocusControl(page, IDC_NAME_PATTERN);
        return false;
    }
    return true;
}

void CSetEnvDlg::GiveTo(CNoticeProcDlg& page) const {
    page.showMessage = showMessage != 0;
    page.playSound = soundKind != NoSound;
    page.soundChoice = soundKind == WaveFile ? CNoticeProcDlg::kWaveFile : CNoticeProcDlg::kBeep;
    page.soundFile = soundFile;
}

bool CSetEnvDlg::TakeFrom(CNoticeProcDlg& page) {
    showMessage = page.showMessage != 0;
    soundKind = page.playSound == 0                             ? NoSound
                : page.soundChoice == CNoticeProcDlg::kWaveFile ? WaveFile
                                                                : BeepSound;
    soundFile = page.soundFile;
    return true;
}

void CSetEnvDlg::GiveTo(CAfterProcDlg& page) const {
    page.afterAction = afterAction;
    page.moveFolder = moveFolder;
    page.overwriteMoved = overwriteMoved != 0;
}

bool CSetEnvDlg::TakeFrom(CAfterProcDlg& page) {
    afterAction = page.afterAction;
    moveFolder = page.moveFolder;
    overwriteMoved = page.overwriteMoved != 0;
    return afterAction != MoveTarget || CollectMoveFolder();
}

bool CSetEnvDlg::CollectMoveFolder() {
    if (moveFolder.empty()) {
        AfxMessageBox(NoMoveFolder());
        FocusControl(*afterPage, IDC_MOVE_FOLDER);
        return false;
    }
    // The field takes 127 bytes, the setting keeps 126.
    moveFolder = text::CutToBytes(moveFolder, text_limit::moveFolder);
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

}  // namespace molvar::dialogs
