// The history window: the latest lines of the activity history, newest
// first, with the lines recorded while it is open added at the top as they
// come. A failure's line stands out.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "framework/dialog.h"
#include "platform/activity.h"
#include "platform/services.h"
#include "res/templates.h"

namespace molvar::dialogs {

class CHistoryDlg : public framework::CDialog {
public:
    // Shows `log`; its file is opened through `services`.
    explicit CHistoryDlg(platform::ActivityLog& log,
                         const platform::Services& services = platform::SystemServices());
    ~CHistoryDlg() override;

    static constexpr std::size_t kShownLines = 1000;

    // What the 内容 column says for an event word: a few Japanese words, or
    // the word itself for one this window does not know.
    static std::string EventText(std::string_view event);

    framework::CListCtrl m_lstHistory;

    bool DestroyWindow() override;

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    bool OnInitDialog() override;
    bool OnDialogMessage(int id, unsigned code, long* result) override;

private:
    struct Inbox;

    void OnOpenHistoryFile();
    // Puts the lines the log handed over since the last time at the top.
    void TakeNewLines();
    void StopListening();
    void EnableOpenButton();

    platform::ActivityLog& log_;
    const platform::Services& services_;
    // Shared with the log's listener, which runs on the thread that records.
    std::shared_ptr<Inbox> inbox_;
    std::shared_ptr<void> listening_;
};

}  // namespace molvar::dialogs
