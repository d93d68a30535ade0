#include "dialogs/dir_list_dlg.h"

#include "config/settings_file.h"
#include "config/watch_record.h"
#include "dialogs/set_env_dlg.h"
#include "dialogs/startup_shortcut.h"
#include "framework/app.h"
#include "res/resource.h"
#include "res/strings.h"

namespace molvar::dialogs {

using namespace res;
using config::WatchFileRecord;
using framework::DialogMapEntry;
using framework::OnControl;
using text::operator""_cp;

namespace {

const Cp932String& ProfileSection() {
    static const Cp932String section = "Molvar"_cp;
    return section;
}

const Cp932String& StartEntry() {
    static const Cp932String entry = "nStart"_cp;
    return entry;
}

int StoredStartOption() {
    const framework::CWinApp* app = framework::AfxGetApp();
    return app != nullptr ? app->GetProfileInt(ProfileSection(), StartEntry(), 0) : 0;
}

Cp932String LineOf(const WatchFileRecord& record) {
    return (record.running != 0 ? RunningLinePrefix() : StoppedLinePrefix()) + config::FieldText(record.entry.title);
}

}  // namespace

void CDirListDlg::DoDataExchange(CDataExchange* pDX) {
    framework::DDX_Control(pDX, IDC_SWITCH_ENTRY, m_btnRun);
    framework::DDX_Control(pDX, IDC_ENTRY_LIST, m_lstSettings);
    framework::DDX_Check(pDX, IDC_START_WITH_LOGIN, m_bStartWithWindows);
    // A stored path may fill its whole field; the static then shows it all.
    framework::DDX_Text(pDX, IDC_SHOWN_FOLDER, m_strFolder, config::record_layout::folder.width);
    framework::DDX_Text(pDX, IDC_SHOWN_PROGRAM, m_strProgram, config::record_layout::program.width);
}

bool CDirListDlg::OnDialogMessage(int id, unsigned code, long* result) {
    static constexpr DialogMapEntry<CDirListDlg> kMap[] = {
        OnControl(BN_CLICKED, IDC_NEW_ENTRY, &CDirListDlg::OnNewEntry),
        OnControl(BN_CLICKED, IDC_CHANGE_ENTRY, &CDirListDlg::OnChangeEntry),
        OnControl(BN_CLICKED, IDC_DELETE_ENTRY, &CDirListDlg::OnDeleteEntry),
        OnControl(BN_CLICKED, IDC_SWITCH_ENTRY, &CDirListDlg::OnSwitchEntry),
        OnControl(LBN_SELCHANGE, IDC_ENTRY_LIST, &CDirListDlg::OnSelchangeEntries),
    };
    return framework::DispatchDialogMap<CDirListDlg>(*this, kMap, id, code, result) ||
           CDialog::OnDialogMessage(id, code, result);
}

bool CDirListDlg::OnInitDialog() {
    // Binds the list box and the switch button before they are filled.
    CDialog::OnInitDialog();
    m_nStartStored = StoredStartOption();
    m_bStartWithWindows = m_nStartStored != 0 ? 1 : 0;

    m_records = config::WatchRecordList();
    const config::RecordListLoad load = config::LoadRecordList(m_records);
    m_bSettingsUnreadable = load.state == config::SettingsFileState::Unreadable;
    // Lines, records and the file's positions must stay the same: a record
    // that gets no line is not kept either, so Save cannot write it.
    while (m_records.size() > config::kMaxWatchEntries) {
        config::RemoveRecordAt(m_records, m_records.size() - 1);
    }
    FillList();
    m_lstSettings.SetCurSel(0);
    if (const WatchFileRecord* first = m_records.At(0)) {
        m_strFolder = config::FieldText(first->entry.folder);
        m_strProgram = config::FieldText(first->entry.program);
    } else {
        m_strFolder = Cp932String();
        m_strProgram = Cp932String();
    }
    UpdateData(false);
    if (m_bSettingsUnreadable) {
        AfxMessageBox(SettingsFileUnreadable(), MB_OK);
    }
    return true;
}

void CDirListDlg::FillList() {
    m_lstSettings.ResetContent();
    m_nCount = 0;
    for (const WatchFileRecord& record : m_records) {
        m_lstSettings.AddString(LineOf(record));
        ++m_nCount;
    }
}

void CDirListDlg::OnNewEntry() {
    UpdateData(true);
    if (m_nCount >= config::kMaxWatchEntries) {
        AfxMessageBox(SettingsLimitReached(), MB_OK);
        return;
    }
    CSetEnvDlg setting;
    if (setting.DoModal() != IDOK) {
        return;
    }
    WatchFileRecord record;
    config::PutSettingIntoRecord(setting.Values(), record);
    if (!config::AppendRecord(m_records, record)) {
        return;  // no memory: neither the list nor the lines change
    }
    m_lstSettings.AddString(LineOf(record));
    ++m_nCount;
    m_wModified = 1;
}

void CDirListDlg::OnChangeEntry() {
    UpdateData(true);
    const int selected = m_lstSettings.GetCurSel();
    const WatchFileRecord* stored = m_records.At(selected);  // none for LB_ERR
    if (stored == nullptr) {
        AfxMessageBox(ChooseSettingToChange(), MB_OK);
        return;
    }
    // The copy keeps the bytes after each text's NUL as the file had them.
    WatchFileRecord record = *stored;
    CSetEnvDlg setting;
    setting.Values() = config::SettingFromRecord(record);
    if (setting.DoModal() != IDOK) {
        return;
    }
    config::PutSettingIntoRecord(setting.Values(), record);
    config::ReplaceRecordAt(m_records, selected, record);
    FillList();
    m_lstSettings.SetCurSel(selected);
    m_wModified = 1;
}

void CDirListDlg::OnDeleteEntry() {
    UpdateData(true);
    const int selected = m_lstSettings.GetCurSel();
    if (m_records.At(selected) == nullptr) {
        AfxMessageBox(ChooseSettingToDelete(), MB_OK);
        return;
    }
    if (AfxMessageBox(DeleteSettingQuestion(), MB_YESNO) == IDNO) {
        return;
    }
    config::RemoveRecordAt(m_records, selected);
    FillList();
    m_wModified = 1;
}

void CDirListDlg::OnSwitchEntry() {
    UpdateData(true);
    const int selected = m_lstSettings.GetCurSel();
    const WatchFileRecord* stored = m_records.At(selected);  // none for LB_ERR
    if (stored == nullptr) {
        AfxMessageBox(ChooseSetting(), MB_OK);
        return;
    }
    WatchFileRecord record = *stored;
    config::ToggleRunning(record);
    // The caption tells what the last switch made of its setting.
    m_btnRun.SetWindowText(record.running != 0 ? SwitchCaptionRunning() : SwitchCaptionStopped());
    m_wModified = 1;
    config::ReplaceRecordAt(m_records, selected, record);
    FillList();
    m_lstSettings.SetCurSel(selected);
}

void CDirListDlg::OnSelchangeEntries() {
    // Takes the check box as the user left it before the statics are set.
    UpdateData(true);
    const WatchFileRecord* chosen = m_records.At(m_lstSettings.GetCurSel());
    if (chosen == nullptr) {
        AfxMessageBox(ChooseFromList(), MB_OK);
        return;
    }
    m_strFolder = config::FieldText(chosen->entry.folder);
    m_strProgram = config::FieldText(chosen->entry.program);
    UpdateData(false);
}

void CDirListDlg::OnOK() {
    UpdateData(true);
    if (m_bSettingsUnreadable) {
        AfxMessageBox(SaveRefusedUnreadable(), MB_OK);
        return;
    }
    // A failed save has told the user; the list stays open to try again.
    if (!config::SaveRecordList(m_records, m_nCount)) {
        return;
    }
    // Compared with the value as stored: a stored 2 shows ticked, and saving
    // it ticked writes 1 and makes the link again.
    const int startOption = m_bStartWithWindows != 0 ? 1 : 0;
    if (startOption != m_nStartStored) {
        if (framework::CWinApp* app = framework::AfxGetApp()) {
            app->WriteProfileInt(ProfileSection(), StartEntry(), startOption);
        }
        if (startOption == 1) {
            CreateStartupShortcut();
        } else {
            DeleteStartupShortcut();
        }
        m_nStartStored = startOption;
    }
    CDialog::OnOK();
}

void CDirListDlg::OnCancel() {
    UpdateData(true);
    if (m_wModified != 0 && AfxMessageBox(DiscardChangesQuestion(), MB_YESNO) == IDNO) {
        return;
    }
    CDialog::OnCancel();
}

}  // namespace molvar::dialogs
