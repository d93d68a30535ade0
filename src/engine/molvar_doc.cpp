#include "engine/molvar_doc.h"

#include <chrono>
#include <system_error>

#include "config/snapshot.h"
#include "dialogs/dir_list_dlg.h"
#include "engine/monitor_thread.h"
#include "engine/reactions.h"
#include "framework/message_box.h"
#include "framework/message_loop.h"
#include "platform/activity.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "res/resource.h"
#include "res/strings.h"

namespace molvar::engine {
namespace {

using framework::OnCommand;
using framework::OnUpdateCommandUI;

constexpr framework::MessageMapEntry<CMolvarDoc> kMessageMap[] = {
    OnCommand(res::ID_WATCH_START, &CMolvarDoc::StartWatching),
    OnCommand(res::ID_WATCH_STOP, &CMolvarDoc::StopWatching),
    OnCommand(res::ID_TRAY_EXIT, &CMolvarDoc::OnTrayExit),
    OnCommand(res::ID_WATCH_SETTINGS, &CMolvarDoc::OnWatchSettings),
    OnUpdateCommandUI(res::ID_WATCH_START, &CMolvarDoc::OnUpdateWatchStart),
    OnUpdateCommandUI(res::ID_WATCH_STOP, &CMolvarDoc::OnUpdateWatchStop),
};

}  // namespace

std::optional<std::thread> StartSystemThread(std::function<void()> body) {
    try {
        return std::thread(std::move(body));
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

CMolvarDoc::CMolvarDoc(const platform::Services& services, ThreadStarter startThread)
    : services_(services), startThread_(std::move(startThread)) {
    g_bWatching = 0;
    ResetLastScanTimes();
    StartWatching();
}

CMolvarDoc::~CMolvarDoc() {
    if (StopForExit()) {
        return;
    }
    // A scan waits in a reaction: its thread goes on with its own share of
    // the watch and ends once the reaction returns.
    for (const std::shared_ptr<WatchRun>& run : stoppedRuns_) {
        for (std::thread& thread : run->threads) {
            if (thread.joinable()) {
                thread.detach();
            }
        }
    }
}

void CMolvarDoc::StartWatching() {
    // A dialog that the end closed returns to a start: nothing starts now.
    if (ending_) {
        return;
    }
    // Only one run at a time: a start while the watch is on begins a new run.
    if (currentRun_) {
        StopWatching();
    }
    JoinEndedRuns(false);
    config::LoadWatchTable(m_watchTable, m_entryCount);
    if (m_entryCount <= 0) {
        return;
    }
    g_bWatching = 1;
    auto run = std::make_shared<WatchRun>(++lastRunNumber_);
    // From here on a scan of an earlier run leaves the listings alone.
    listingGate_.BeginRun(run->number);
    for (int index = 0; index < m_entryCount; ++index) {
        const config::WatchEntry& entry = m_watchTable[static_cast<std::size_t>(index)];
        if (entry.afterAction == config::MoveTarget) {
            // What a move across file systems left there when its process
            // was killed half-way.
            platform::RemoveAbandonedTemporaryFiles(config::FieldText(entry.moveFolder));
        }
        std::shared_ptr<platform::ChangeNotification> change = RegisterChangeNotification(entry);
        {
            std::lock_guard lock(listingGate_.LockOf(index));
            TellOfListingWrite(index, entry, config::WriteSnapshot(index, entry));
        }
        MonitorContext context{entry,
                               std::move(change),
                               &run->stop,
                               ScanRun{&listingGate_, run->number, &ending_},
                               &services_,
                               &scans_,
                               std::nullopt};
        if (const auto kind = platform::FileSystemWithoutChangeReports(config::FieldText(entry.folder))) {
            context.scanEvery = kUnreportedScanInterval;
            TellActivity(entry, "folder-timed", WatchedFolderPath(entry),
                         std::string(*kind) + " は他所での変更を通知しないため、" +
                             std::to_string(kUnreportedScanInterval.count()) + " 秒ごとにも調べます");
        }
        WatchRun& owner = *run;
        ++owner.runningThreads;
        auto thread = startThread_([index, context, run, shared = shared_] {
            MonitorThreadProc(index, context);
            --run->runningThreads;
        });
        if (!thread) {
            --owner.runningThreads;
            AfxMessageBox(res::ThreadCreationFailed(index), MB_OK);
            break;
        }
        owner.threads[static_cast<std::size_t>(index)] = std::move(*thread);
    }
    currentRun_ = std::move(run);
}

void CMolvarDoc::StopWatching() {
    g_bWatching = 0;
    if (!currentRun_) {
        return;
    }
    currentRun_->stop.Raise();
    stoppedRuns_.push_back(std::move(currentRun_));
}

bool CMolvarDoc::StopForExit() {
    ending_ = true;
    StopWatching();
    // A scan that is only finishing (writing its listing) ends in a moment,
    // and the program then ends the ordinary way; one that waits in a
    // reaction is not waited for beyond that.
    constexpr std::chrono::milliseconds kMomentOfAScan{250};
    if (!scans_.WaitUntilNone(kMomentOfAScan)) {
        return false;
    }
    JoinEndedRuns(true);
    return true;
}

void CMolvarDoc::OnTrayExit() {
    ending_ = true;
    StopWatching();
    AfxPostCommand(framework::ID_APP_EXIT);
}

void CMolvarDoc::OnWatchSettings() {
    StopWatching();
    dialogs::CDirListDlg dlg;
    dlg.DoModal();
    StartWatching();
}

void CMolvarDoc::OnUpdateWatchStart(framework::CCmdUI* ui) { ui->Enable(g_bWatching != 1); }

void CMolvarDoc::OnUpdateWatchStop(framework::CCmdUI* ui) { ui->Enable(g_bWatching != 0); }

bool CMolvarDoc::OnCmdMsg(unsigned id, int code, framework::CCmdUI* ui) {
    return framework::DispatchThroughMap<CMolvarDoc>(*this, kMessageMap, id, code, ui);
}

void CMolvarDoc::JoinEndedRuns(bool waitForAll) {
    std::erase_if(stoppedRuns_, [waitForAll](const std::shared_ptr<WatchRun>& run) {
        if (!waitForAll && run->runningThreads > 0) {
            return false;  // a thread still finishes a scan; joined later
        }
        for (std::thread& thread : run->threads) {
            if (thread.joinable()) {
                thread.join();
            }
        }
        return true;
    });
}

}  // namespace molvar::engine
