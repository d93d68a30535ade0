// The settings dialog: one watch setting, its own fields and three pages in
// a tab control, checked before a page is left and before OK.
#pragma once

#include <memory>

#include "config/watch_record.h"
#include "dialogs/setting_pages.h"

namespace molvar::dialogs {

// The settings dialog's pages, in the order of their tabs.
enum class SettingPage { TargetFiles, Notification, AfterProcessing };

// The values it edits are the setting's, under the record's field names
// (title, folder, program, openTarget, ..., soundFile), so that the list
// dialog hands them in and takes them back as one value.
class CSetEnvDlg : public framework::CDialog, public config::WatchSettingValues {
public:
    CSetEnvDlg() : CDialog(res::IDD_SETENV) {}
    ~CSetEnvDlg() override;

    config::WatchSettingValues& Values() { return *this; }
    const config::WatchSettingValues& Values() const { return *this; }

    framework::CTabCtrl tabControl;
    SettingPage currentPage = SettingPage::TargetFiles;
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
    // Calls `action` with the owner of `page`'s object: the one place that
    // ties a page to its member.
    template <class Action>
    decltype(auto) WithPage(SettingPage page, Action&& action);
    // Makes `page` with the dialog's values; null when its window could not
    // be made.
    framework::CDialog* CreatePage(SettingPage page);
    // Takes the shown page's values; false when a check refused them.
    bool CollectShownPage();
    // A page's values as it starts with them, and as the dialog takes them
    // back from its members; false when a check refused them.
    void GiveTo(CFileProcDlg& page) const;
    void GiveTo(CNoticeProcDlg& page) const;
    void GiveTo(CAfterProcDlg& page) const;
    bool TakeFrom(CFileProcDlg& page);
    bool TakeFrom(CNoticeProcDlg& page);
    bool TakeFrom(CAfterProcDlg& page);
    // Shows `page` in place of the shown one, as a click on its tab does.
    void ShowPage(SettingPage page);
    // Refuses a setting that would react to its own output for ever.
    bool RefusedAsFeedingItself();
    bool CollectMoveFolder();
};

}  // namespace molvar::dialogs
