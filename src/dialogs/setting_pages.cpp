#include "dialogs/setting_pages.h"

#include "config/watch_record.h"
#include "framework/choosers.h"
#include "res/resource.h"
#include "res/strings.h"

namespace molvar::dialogs {

using namespace res;
using namespace config;
using framework::ChooserResult;
using framework::DDX_Check;
using framework::DDX_Text;
using framework::DialogMapEntry;
using framework::OnControl;

namespace {

int CheckState(bool on) { return on ? BST_CHECKED : BST_UNCHECKED; }

}  // namespace

void EnableControls(framework::CWnd& window, std::initializer_list<int> ids, bool on) {
    for (const int id : ids) {
        if (framework::CWnd* control = window.GetDlgItem(id)) {
            control->EnableWindow(on);
        }
    }
}

void FocusControl(framework::CWnd& window, int id) {
    if (framework::CWnd* control = window.GetDlgItem(id)) {
        control->SetFocus();
    }
}

bool AcceptChosenPath(const ChooserResult& choice, std::size_t maxBytes) {
    switch (choice.outcome) {
    case ChooserResult::Outcome::Cancelled:
        return false;
    case ChooserResult::Outcome::NoFileSystemPath:
        AfxMessageBox(ChosenFolderVirtual());
        return false;
    case ChooserResult::Outcome::NotConvertible:
        AfxMessageBox(ChosenPathNotConvertible());
        return false;
    case ChooserResult::Outcome::Chosen:
        break;
    }
    // Cutting would name another file or folder: a path that does not fit
    // is refused as a whole.
    if (choice.path.size() > maxBytes) {
        AfxMessageBox(ChosenPathTooLong(maxBytes));
        return false;
    }
    return !choice.path.empty();
}

bool ChooseFolder(const Cp932String& initial, Cp932String& result, std::size_t maxBytes) {
    const ChooserResult choice = framework::ActiveChoosers().Folder(ChooseFolderTitle(), initial);
    if (!AcceptChosenPath(choice, maxBytes)) {
        return false;
    }
    result = choice.path;
    return true;
}

bool CSettingPage::PreTranslateMessage(Message& message) {
    const bool enterOrEscape =
        message.message == WM_KEYDOWN && (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE);
    return enterOrEscape || CDialog::PreTranslateMessage(message);
}

// Target files.

void CFileProcDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Text(pDX, IDC_NAME_PATTERN, namePattern, text_limit::namePattern);
}

bool CFileProcDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CheckDlgButton(IDC_ALL_FILES, CheckState(targetKind == AllFiles));
    CheckDlgButton(IDC_NAMED_FILES, CheckState(targetKind == NamedFiles));
    CheckDlgButton(IDC_CREATE_OR_UPDATE, CheckState(triggerKind == CreateOrUpdate));
    CheckDlgButton(IDC_CREATE_RENAME_DELETE, CheckState(triggerKind == CreateRenameDelete));
    EnablePattern();
    return true;
}

bool CFileProcDlg::OnDialogMessage(int id, unsigned code, long* result) {
    static constexpr DialogMapEntry<CFileProcDlg> kMap[] = {
        OnControl(BN_CLICKED, IDC_ALL_FILES, &CFileProcDlg::OnAllFiles),
        OnControl(BN_CLICKED, IDC_NAMED_FILES, &CFileProcDlg::OnNamedFiles),
        OnControl(BN_CLICKED, IDC_CREATE_OR_UPDATE, &CFileProcDlg::OnCreateOrUpdate),
        OnControl(BN_CLICKED, IDC_CREATE_RENAME_DELETE, &CFileProcDlg::OnCreateRenameDelete),
    };
    return framework::DispatchDialogMap<CFileProcDlg>(*this, kMap, id, code, result) ||
           CDialog::OnDialogMessage(id, code, result);
}

void CFileProcDlg::OnAllFiles() {
    targetKind = AllFiles;
    EnablePattern();
}

void CFileProcDlg::OnNamedFiles() {
    targetKind = NamedFiles;
    EnablePattern();
}

void CFileProcDlg::OnCreateOrUpdate() { triggerKind = CreateOrUpdate; }

void CFileProcDlg::OnCreateRenameDelete() { triggerKind = CreateRenameDelete; }

void CFileProcDlg::EnablePattern() {
    EnableControls(*this, {IDC_NAME_PATTERN, IDC_WILDCARD_NOTE}, targetKind == NamedFiles);
}

// Notification.

void CNoticeProcDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Check(pDX, IDC_SHOW_MESSAGE, showMessage);
    DDX_Check(pDX, IDC_PLAY_SOUND, playSound);
    DDX_Text(pDX, IDC_SOUND_FILE, soundFile, text_limit::soundFile);
}

bool CNoticeProcDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CheckDlgButton(IDC_BEEP, CheckState(soundChoice == kBeep));
    CheckDlgButton(IDC_WAVE, CheckState(soundChoice == kWaveFile));
    EnableSoundControls();
    return true;
}

bool CNoticeProcDlg::OnDialogMessage(int id, unsigned code, long* result) {
    static constexpr DialogMapEntry<CNoticeProcDlg> kMap[] = {
        OnControl(BN_CLICKED, IDC_PLAY_SOUND, &CNoticeProcDlg::OnPlaySound),
        OnControl(BN_CLICKED, IDC_BEEP, &CNoticeProcDlg::OnBeep),
        OnControl(BN_CLICKED, IDC_WAVE, &CNoticeProcDlg::OnWave),
        OnControl(BN_CLICKED, IDC_BROWSE_SOUND, &CNoticeProcDlg::OnBrowseSound),
    };
    return framework::DispatchDialogMap<CNoticeProcDlg>(*this, kMap, id, code, result) ||
           CDialog::OnDialogMessage(id, code, result);
}

void CNoticeProcDlg::OnPlaySound() {
    if (UpdateData(true)) {
        EnableSoundControls();
    }
}

void CNoticeProcDlg::OnBeep() {
    soundChoice = kBeep;
    EnableControls(*this, {IDC_SOUND_FILE, IDC_BROWSE_SOUND}, false);
}

void CNoticeProcDlg::OnWave() {
    soundChoice = kWaveFile;
    EnableControls(*this, {IDC_SOUND_FILE, IDC_BROWSE_SOUND}, true);
}

void CNoticeProcDlg::OnBrowseSound() {
    UpdateData(true);
    framework::CFileDialog chooser(true, WaveFileFilter(), ProgramFileTitle());
    chooser.DoModal();
    if (AcceptChosenPath(chooser.Result(), text_limit::soundFile)) {
        soundFile = chooser.GetPathName();
        UpdateData(false);
    }
}

// The sound choices go with the sound box; the WAVE file field with the box
// and the WAVE choice.
void CNoticeProcDlg::EnableSoundControls() {
    EnableControls(*this, {IDC_BEEP, IDC_WAVE}, playSound != 0);
    EnableControls(*this, {IDC_SOUND_FILE, IDC_BROWSE_SOUND}, playSound != 0 && soundChoice == kWaveFile);
}

// After-processing.

void CAfterProcDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Text(pDX, IDC_MOVE_FOLDER, moveFolder, text_limit::moveFolderField);
    DDX_Check(pDX, IDC_OVERWRITE, overwriteMoved);
}

bool CAfterProcDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // A stored "delete" checks the hidden option, so neither visible one is.
    CheckDlgButton(IDC_LEAVE_FILE, CheckState(afterAction == LeaveFile));
    CheckDlgButton(IDC_DELETE_TARGET, CheckState(afterAction == DeleteTarget));
    CheckDlgButton(IDC_MOVE_TARGET, CheckState(afterAction == MoveTarget));
    EnableMoveControls();
    return true;
}

bool CAfterProcDlg::OnDialogMessage(int id, unsigned code, long* result) {
    static constexpr DialogMapEntry<CAfterProcDlg> kMap[] = {
        OnControl(BN_CLICKED, IDC_LEAVE_FILE, &CAfterProcDlg::OnLeaveFile),
        OnControl(BN_CLICKED, IDC_DELETE_TARGET, &CAfterProcDlg::OnDeleteTarget),
        OnControl(BN_CLICKED, IDC_MOVE_TARGET, &CAfterProcDlg::OnMoveTarget),
        OnControl(BN_CLICKED, IDC_BROWSE_MOVE, &CAfterProcDlg::OnBrowseMoveFolder),
    };
    return framework::DispatchDialogMap<CAfterProcDlg>(*this, kMap, id, code, result) ||
           CDialog::OnDialogMessage(id, code, result);
}

void CAfterProcDlg::OnLeaveFile() {
    afterAction = LeaveFile;
    EnableMoveControls();
}

void CAfterProcDlg::OnDeleteTarget() {
    afterAction = DeleteTarget;
    EnableMoveControls();
}

void CAfterProcDlg::OnMoveTarget() {
    afterAction = MoveTarget;
    EnableMoveControls();
}

void CAfterProcDlg::OnBrowseMoveFolder() {
    UpdateData(true);
    // The setting keeps 126 bytes: a longer choice would be cut to another folder.
    if (ChooseFolder(moveFolder, moveFolder, text_limit::moveFolder)) {
        UpdateData(false);
    }
}

void CAfterProcDlg::EnableMoveControls() {
    EnableControls(*this, {IDC_MOVE_FOLDER, IDC_BROWSE_MOVE, IDC_OVERWRITE}, afterAction == MoveTarget);
}

}  // namespace molvar::dialogs
