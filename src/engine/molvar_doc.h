// The document: it owns the watch settings of the running setting table and
// the watch itself, which it starts when it is created, stops when it is
// destroyed, and starts and stops on the tray menu's commands.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "config/settings_file.h"
#include "engine/change_scan.h"
#include "engine/monitor_thread.h"
#include "framework/document.h"
#include "platform/change_notification.h"
#include "platform/services.h"

namespace molvar::engine {

// Starts a thread running `body`; empty when no thread could be created.
using ThreadStarter = std::function<std::optional<std::thread>(std::function<void()> body)>;

std::optional<std::thread> StartSystemThread(std::function<void()> body);

class CMolvarDoc : public framework::CDocument {
public:
    explicit CMolvarDoc(const platform::Services& services = platform::SystemServices(),
                        ThreadStarter startThread = StartSystemThread);
    // Ends the watch the way the program's end does: no reaction starts any
    // more, and a scan that still waits in one (a message box, a program)
    // after a moment is left to finish by itself.
    ~CMolvarDoc() override;
    CMolvarDoc(const CMolvarDoc&) = delete;
    CMolvarDoc& operator=(const CMolvarDoc&) = delete;

    // Reloads the running settings and starts one monitor thread for each,
    // after writing its baseline listing. A start while the watch is on ends
    // the current run first, so without a running setting the watch is off
    // afterwards.
    void StartWatching();
    // Turns the watch off and wakes every monitor thread of the run, without
    // waiting: a thread that is in a scan finishes it, then ends.
    void StopWatching();
    // Stops the watch at the end of the program. True once every monitor
    // thread has ended; false when a scan is still in progress after a
    // moment: it waits in a reaction (a message box, a program) for as long
    // as the user or the program takes, and the program ends without it.
    bool StopForExit();
    // Stops the watch and closes the application. From here on no scan
    // starts a reaction, also one whose message box is open now.
    void OnTrayExit();
    // The list of watched folders, opened with the watch stopped (a save
    // may replace the settings and listings the threads use); the watch
    // starts again from the settings file, however the list was closed.
    void OnWatchSettings();
    void OnUpdateWatchStart(framework::CCmdUI* ui);
    void OnUpdateWatchStop(framework::CCmdUI* ui);

    bool OnCmdMsg(unsigned id, int code, framework::CCmdUI* ui) override;

    const config::WatchTable& watchTable() const { return m_watchTable; }
    int entryCount() const { return m_entryCount; }

private:
    // One run of the watch, from a start to the next stop: its per-index
    // thread table and the signal that stops it. Kept until its threads have
    // ended, since a thread may still be finishing a scan after the stop.
    struct WatchRun {
        explicit WatchRun(std::uint64_t number) : number(number) {}
        std::uint64_t number;
        platform::StopSignal stop;
        std::array<std::thread, config::kMaxWatchEntries> threads;  // by entry index
        std::atomic<int> runningThreads{0};
    };

    void JoinEndedRuns(bool waitForAll);

    config::WatchTable m_watchTable{};
    int m_entryCount = 0;

    // What the monitor threads share with the document. Each thread holds it
    // (and its run) as well, so that a thread still in a reaction when the
    // document goes finishes without it.
    struct WatchShared {
        ListingGate listingGate;
        // The program is ending (quit, end signal, end of the session): no
        // scan of any run starts another reaction.
        std::atomic<bool> ending{false};
        ScansInProgress scans;  // of every run
    };

    // The services outlive every scan (the system's are for the whole process).
    const platform::Services& services_;
    ThreadStarter startThread_;
    std::shared_ptr<WatchShared> shared_ = std::make_shared<WatchShared>();
    ListingGate& listingGate_ = shared_->listingGate;
    std::atomic<bool>& ending_ = shared_->ending;
    ScansInProgress& scans_ = shared_->scans;
    std::uint64_t lastRunNumber_ = 0;
    std::shared_ptr<WatchRun> currentRun_;
    std::vector<std::shared_ptr<WatchRun>> stoppedRuns_;
};

}  // namespace molvar::engine
