#include "dialogs/history_dlg.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "res/resource.h"
#include "res/strings.h"

namespace molvar::dialogs {

using framework::DialogMapEntry;
using framework::OnControl;
using platform::HistoryLine;

// What the log's listener hands over, for the user-interface thread to take.
struct CHistoryDlg::Inbox {
    std::mutex mutex;
    std::deque<HistoryLine> lines;  // oldest first
    bool posted = false;            // the modal loop has been asked to take them
    CHistoryDlg* dialog = nullptr;  // read and written on the user-interface thread only
};

namespace {

constexpr std::string_view kFailed = "failed";

struct EventWord {
    std::string_view word;
    std::u8string_view text;
};

constexpr EventWord kEventWords[] = {
    {"watch-start", u8"監視開始"},
    {"watch-stop", u8"監視停止"},
    {"found", u8"検出"},
    {"vanished", u8"消失"},
    {"notified", u8"通知"},
    {"ran", u8"プログラム実行"},
    {"opened", u8"ファイルを開いた"},
    {"moved", u8"移動"},
    {"failed", u8"失敗"},
    {"absorbed", u8"反応なしで取り込み"},
    {"writing", u8"書き込み中"},
    {"folder-missing", u8"フォルダなし"},
    {"folder-gone", u8"フォルダ消失"},
    {"folder-back", u8"フォルダ復帰"},
    {"folder-timed", u8"定時走査"},
    {"listing-kept", u8"一覧をメモリに保持"},
    {"listing-written", u8"一覧を再書き込み"},
};

// "2026-12-07T14:03:05+09:00" as "2026-12-07 14:03:05": the offset stays in
// the file, where a reader across time zones needs it.
std::string TimeText(const std::string& time) {
    if (time.size() < 19 || time[10] != 'T') {
        return time;
    }
    std::string shown = time.substr(0, 19);
    shown[10] = ' ';
    return shown;
}

std::vector<std::string> CellsOf(const HistoryLine& line) {
    return {TimeText(line.time), line.setting, CHistoryDlg::EventText(line.event), line.path, line.detail};
}

}  // namespace

std::string CHistoryDlg::EventText(std::string_view event) {
    const auto known = std::ranges::find(kEventWords, event, &EventWord::word);
    if (known == std::end(kEventWords)) {
        return std::string(event);
    }
    return std::string(known->text.begin(), known->text.end());
}

CHistoryDlg::CHistoryDlg(platform::ActivityLog& log, const platform::Services& services)
    : CDialog(res::IDD_HISTORY), log_(log), services_(services), inbox_(std::make_shared<Inbox>()) {}

CHistoryDlg::~CHistoryDlg() { StopListening(); }

void CHistoryDlg::DoDataExchange(framework::CDataExchange* pDX) {
    framework::DDX_Control(pDX, res::IDC_HISTORY_LIST, m_lstHistory);
}

bool CHistoryDlg::OnDialogMessage(int id, unsigned code, long* result) {
    static constexpr DialogMapEntry<CHistoryDlg> kMap[] = {
        OnControl(BN_CLICKED, res::IDC_OPEN_HISTORY_FILE, &CHistoryDlg::OnOpenHistoryFile),
    };
    return framework::DispatchDialogMap<CHistoryDlg>(*this, kMap, id, code, result) ||
           CDialog::OnDialogMessage(id, code, result);
}

bool CHistoryDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    for (int column = 0; column < res::kHistoryColumns; ++column) {
        m_lstHistory.InsertColumn(res::HistoryColumnHeader(column));
    }
    inbox_->dialog = this;
    // Heard from before the file is read, so that no line falls between
    // the two. The listener runs on the thread that records: it only
    // queues the line and wakes this thread's loop, once per batch.
    listening_ = log_.Listen([inbox = inbox_](const HistoryLine& line) {
        bool wake = false;
        {
            const std::lock_guard lock(inbox->mutex);
            inbox->lines.push_back(line);
            if (inbox->lines.size() > kShownLines) {
                inbox->lines.pop_front();
            }
            wake = !std::exchange(inbox->posted, true);
        }
        if (wake) {
            framework::PostToModalLoop([weak = std::weak_ptr<Inbox>(inbox)] {
                const std::shared_ptr<Inbox> alive = weak.lock();
                if (alive != nullptr && alive->dialog != nullptr) {
                    alive->dialog->TakeNewLines();
                }
            });
        }
    });
    const std::vector<HistoryLine> lines = log_.Latest(kShownLines);
    {
        // A line heard while the file was read may be in it too: it is
        // shown once.
        const std::lock_guard lock(inbox_->mutex);
        std::vector<bool> matched(lines.size());
        std::erase_if(inbox_->lines, [&](const HistoryLine& heard) {
            for (std::size_t k = 0; k < lines.size(); ++k) {
                if (!matched[k] && lines[k] == heard) {
                    matched[k] = true;
                    return true;
                }
            }
            return false;
        });
    }
    for (const HistoryLine& line : lines) {
        m_lstHistory.InsertItem(-1, CellsOf(line), line.event == kFailed);
    }
    m_lstHistory.FitColumnsToContent();
    EnableOpenButton();
    return true;
}

void CHistoryDlg::TakeNewLines() {
    std::deque<HistoryLine> fresh;
    {
        const std::lock_guard lock(inbox_->mutex);
        fresh.swap(inbox_->lines);
        inbox_->posted = false;
    }
    if (fresh.empty() || !m_lstHistory.IsWindow()) {
        return;
    }
    for (const HistoryLine& line : fresh) {
        m_lstHistory.InsertItem(0, CellsOf(line), line.event == kFailed);
    }
    for (int count = m_lstHistory.GetItemCount(); count > static_cast<int>(kShownLines); --count) {
        m_lstHistory.DeleteItem(count - 1);
    }
    m_lstHistory.FitColumnsToContent();
    EnableOpenButton();
}

void CHistoryDlg::EnableOpenButton() {
    // Nothing to open before the first line is written, or where the
    // history has no folder.
    const platform::NativePath file = log_.FilePath();
    if (CWnd* button = GetDlgItem(res::IDC_OPEN_HISTORY_FILE)) {
        button->EnableWindow(!file.empty() && platform::PathExists(file));
    }
}

void CHistoryDlg::OnOpenHistoryFile() {
    const platform::NativePath file = log_.FilePath();
    if (file.empty() || !platform::PathExists(file)) {
        return;
    }
    // No box, as for every other failure: the history tells it, on top of
    // this window.
    if (const platform::Failure failure = services_.ShellOpenDocument(file)) {
        log_.Record({platform::CalendarTimeNow(), {}, kFailed, file, "履歴ファイルを開けません: " + *failure});
    }
}

void CHistoryDlg::StopListening() {
    listening_.reset();
    inbox_->dialog = nullptr;
}

bool CHistoryDlg::DestroyWindow() {
    StopListening();
    return CDialog::DestroyWindow();
}

}  // namespace molvar::dialogs
