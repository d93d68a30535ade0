// The list of watched folders: every setting of the settings file, running
// or stopped, one line each. New, changed, deleted and switched settings are
// kept in a working list until Save replaces the file with it.
#pragma once

#include <cstdint>

#include "config/watch_record_list.h"
#include "framework/dialog.h"
#include "res/templates.h"

namespace molvar::dialogs {

class CDirListDlg : public framework::CDialog {
public:
    CDirListDlg() : CDialog(res::IDD_DIRLIST) {}

    framework::CButton m_btnRun;
    // Line k stands for m_records' position k, which is the file's k-th record.
    framework::CListBox m_lstSettings;
    int m_bStartWithWindows = 0;
    text::Cp932String m_strFolder;   // of the line chosen last
    text::Cp932String m_strProgram;  // of the line chosen last
    std::uint16_t m_wModified = 0;   // 1 once the working list differs from the file
    int m_nCount = 0;                // lines in the list box, at most 100
    int m_nStartStored = 0;          // the start-with-login option as stored when the dialog opened
    config::WatchRecordList m_records;

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnDialogMessage(int id, unsigned code, long* result) override;

private:
    void OnNewEntry();
    void OnChangeEntry();
    void OnDeleteEntry();
    void OnSwitchEntry();
    void OnSelchangeEntries();
    // Shows every record of the working list again, in order.
    void FillList();

    // The settings file was there but could not be read: saving would lose
    // the settings it holds.
    bool m_bSettingsUnreadable = false;
};

}  // namespace molvar::dialogs
