// The monitor threads: one per running setting, named by its entry index.
// Each waits for the OS to report a change in its setting's folder and runs
// the change scan for every report, until the watch is stopped.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "config/watch_record.h"
#include "engine/change_scan.h"
#include "platform/change_notification.h"
#include "platform/services.h"

namespace molvar::engine {

// 1 while the watch is on, 0 while it is off.
extern std::atomic<int> g_bWatching;

// Counts the monitor threads that are in a scan, which may wait in a
// reaction (a message box, a program) for as long as the user or the program
// takes. A thread counts itself before it looks at the stop, so once the stop
// is raised and none is counted, none begins a scan.
class ScansInProgress {
public:
    void Enter();
    void Leave();
    // Waits until no scan is in progress, for `limit` at the most; true when none is.
    bool WaitUntilNone(std::chrono::milliseconds limit);

private:
    std::mutex mutex_;
    std::condition_variable left_;
    int count_ = 0;
};

// What a monitor thread works with. The thread has its own copy of its
// setting, so the table can be reloaded by a later run while a thread of an
// earlier run still finishes a scan.
struct MonitorContext {
    config::WatchEntry entry;
    // Registered by the start of the watch before the baseline listing is
    // written, so that no change after the baseline goes unnoticed; empty for
    // a folder that cannot be watched. Shared by the copies of the context
    // (the thread's among them) and released, exactly once, with the last.
    std::shared_ptr<platform::ChangeNotification> change;
    const platform::StopSignal* stop = nullptr;  // raised when this run of the watch stops
    ScanRun run;
    const platform::Services* services = nullptr;
    ScansInProgress* scans = nullptr;  // may be null
    // For a folder whose file system reports no changes made elsewhere: the
    // time after which a wait without a report counts as one.
    std::optional<std::chrono::milliseconds> scanEvery;
};

// How often a folder on a file system without change reports from elsewhere
// (NFS, CIFS, FUSE, 9p) is scanned when nothing is reported.
inline constexpr std::chrono::seconds kUnreportedScanInterval{5};

// How often a monitor thread looks for its folder while none is at its path.
extern std::atomic<std::chrono::milliseconds::rep> g_lookForFolderEveryMs;

// The thread routine for one entry index. Reports that the settling interval
// defers are scanned once the folder has been quiet for that interval: the
// wait for the next report then ends with it at the latest. A folder that
// goes away (or was never there) is looked for at its path every
// g_lookForFolderEveryMs until one is there; that one is watched and compared
// with the last listing at once.
void MonitorThreadProc(int entryIndex, const MonitorContext& context);

// The change notification of a setting's folder, with the filter of its
// trigger kind; empty when the folder cannot be watched.
std::unique_ptr<platform::ChangeNotification> RegisterChangeNotification(const config::WatchEntry& entry);

}  // namespace molvar::engine
