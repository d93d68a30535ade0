// The settings dialog: one watch setting, its own fields and three pages in
// a tab control, checked before a page is left and before OK.
#pragma once

#include <memory>

#include "dialogs/setting_pages.h"

namespace molvar::dialogs {

class CSetEnvDlg : public framework::CDialog {
public:
    CSetEnvDlg() : CDialog(res::IDD_SETENV) {}
    ~CSetEnvDlg() override;

    framework::CTabCtrl tabControl;
    Cp932String title;    // at most 56 bytes
    Cp932String folder;   // at most 126 bytes
    Cp932String program;  // at most 126 bytes
    int openTarget = 0;
    int waitForExit = 0;
    int targetKind = 0;
    int triggerKind = 0;
    int afterAction = 0;
    int showMessage = 0;
    int soundKind = 0;  // NoSound 0, BeepSound 1, WaveFile 2
    int overwriteMoved = 0;
    Cp932String namePattern;  // at most 40 bytes
    Cp932String moveFolder;   // at most 126 bytes kept
    Cp932String soundFile;    // at most 126 bytes
    int currentPage = 0;
    std::unique_ptr<CFileProcDlg> filePage;
    std::unique_ptr<CNoticeProcDlg> noticePage;
    std::unique_ptr<CAfterProcDlg> afterPage;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnOK() override;
    bool OnDialogMessage(int id, unsigned code, long* result) override;

private:
    void OnSelchangePages(long* result);
    void OnBrowseFolder();
    void OnBrowseProgram();
    void OnChangeProgram();
    // Makes the page of `index` with the dialog's values; null when its
    // window could not be made.
    framework::CDialog* CreatePage(int index);
    framework::CDialog* PageOf(int index) const;
    // Takes the shown page's values; false when a check refused them.
    bool CollectShownPage();
    // Shows page `index` in place of the shown one, as a click on its tab does.
    void ShowPage(int index);
    // Refuses a setting that would react to its own output for ever.
    bool RefusedAsFeedingItself();
    bool CollectMoveFolder();
    void DestroyPagesOtherThan(int index);
};

}  // namespace molvar::dialogs
