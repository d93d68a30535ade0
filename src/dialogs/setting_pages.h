// The three pages of the settings dialog: modeless child dialogs that edit a
// few values of one setting, and the folder chooser they share with it.
#pragma once

#include <cstddef>
#include <initializer_list>

#include "config/watch_record.h"
#include "framework/dialog.h"
#include "res/templates.h"

namespace molvar::framework {
struct ChooserResult;
}

namespace molvar::dialogs {

using framework::CDataExchange;
using framework::Message;
using text::Cp932String;

// A page of the settings dialog. Enter and Escape typed inside it would end
// the page, or reach the settings dialog as OK or Cancel: a page takes
// neither.
class CSettingPage : public framework::CDialog {
public:
    using CDialog::CDialog;

protected:
    bool PreTranslateMessage(Message& message) override;
};

// Which files count and which change triggers the reaction.
class CFileProcDlg : public CSettingPage {
public:
    CFileProcDlg() : CSettingPage(res::IDD_FILEPROC) {}

    Cp932String namePattern;  // at most config::text_limit::namePattern bytes
    int targetKind = config::AllFiles;
    int triggerKind = config::CreateOrUpdate;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    bool OnDialogMessage(int id, unsigned code, long* result) override;

private:
    void OnAllFiles();
    void OnNamedFiles();
    void OnCreateOrUpdate();
    void OnCreateRenameDelete();
    void EnablePattern();
};

// Whether a message is shown and which sound plays.
class CNoticeProcDlg : public CSettingPage {
public:
    CNoticeProcDlg() : CSettingPage(res::IDD_NOTICEPROC) {}

    // The two sound choices of the page; the setting's SoundKind adds "none".
    static constexpr int kBeep = 0;
    static constexpr int kWaveFile = 1;

    int showMessage = 0;
    int playSound = 0;
    Cp932String soundFile;  // at most config::text_limit::soundFile bytes
    int soundChoice = kBeep;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    bool OnDialogMessage(int id, unsigned code, long* result) override;

private:
    void OnPlaySound();
    void OnBeep();
    void OnWave();
    void OnBrowseSound();
    void EnableSoundControls();
};

// What happens to the file afterwards.
class CAfterProcDlg : public CSettingPage {
public:
    CAfterProcDlg() : CSettingPage(res::IDD_AFTERPROC) {}

    Cp932String moveFolder;  // at most config::text_limit::moveFolderField bytes
    int overwriteMoved = 0;
    int afterAction = config::LeaveFile;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    bool OnDialogMessage(int id, unsigned code, long* result) override;

private:
    void OnLeaveFile();
    void OnDeleteTarget();
    void OnMoveTarget();
    void OnBrowseMoveFolder();
    void EnableMoveControls();
};

// Lets the user pick a folder, starting at `initial`. True and the folder's
// full path in `result` when one was chosen that fits `maxBytes` bytes;
// otherwise false, with a message when the choice could not be used.
bool ChooseFolder(const Cp932String& initial, Cp932String& result, std::size_t maxBytes);

// Whether a chooser's result can go into a field of `maxBytes` bytes as it
// is; a result that cannot (too long, no code page 932 form, a virtual
// folder) is refused with a message. A cancelled choice is just false.
bool AcceptChosenPath(const framework::ChooserResult& choice, std::size_t maxBytes);

// Helpers for the dialogs' own controls.
void EnableControls(framework::CWnd& window, std::initializer_list<int> ids, bool on);
void FocusControl(framework::CWnd& window, int id);

}  // namespace molvar::dialogs
