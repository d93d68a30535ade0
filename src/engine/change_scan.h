// The change scan: what a monitor thread does each time the OS reports a
// change in the watched folder of its setting. It compares the folder with
// the setting's listing, reacts to each new or changed file, reports vanished
// files where the setting asks for it and stores the folder's new listing.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "config/settings_file.h"
#include "config/snapshot.h"
#include "config/watch_record.h"
#include "platform/services.h"

namespace molvar::engine {

// Per entry index, the low 32 bits of the calendar time of the last change
// report that reached the scan, whether it led to a scan or not. Only the
// thread of an index touches its entry; atomic so that a thread of a stopped
// run that is still scanning cannot race with the next run's thread.
extern std::array<std::atomic<std::uint32_t>, config::kMaxWatchEntries> g_lastScanTime;

// Sets every entry to 0, so the first report for each setting scans.
void ResetLastScanTimes();

// Keeps the scans of a stopped run of the watch away from the listings of
// the next run. The start of a run makes it current and then writes each
// baseline listing under that index's lock; a scan reads and writes its
// listing under the same lock, and only while its own run is current.
class ListingGate {
public:
    void BeginRun(std::uint64_t run) { currentRun_ = run; }
    std::uint64_t currentRun() const { return currentRun_; }
    std::mutex& LockOf(int entryIndex) { return locks_[static_cast<std::size_t>(entryIndex)]; }

private:
    std::atomic<std::uint64_t> currentRun_{0};
    std::array<std::mutex, config::kMaxWatchEntries> locks_;
};

// The run of the watch a scan belongs to; a scan without one (a gate of
// nullptr) always counts as current.
struct ScanRun {
    ListingGate* gate = nullptr;
    std::uint64_t run = 0;
    // Set once the program is ending: from then on the scan starts no
    // reaction (no program, no open, no move), even when a message box it
    // showed has just been answered. May be null.
    const std::atomic<bool>* ending = nullptr;

    bool Ending() const { return ending != nullptr && ending->load(); }
};

// How long a folder must have been quiet after a change report before it is
// scanned: a burst of reports (a large file being copied) scans once at its
// first report and once when it is over.
inline constexpr std::uint32_t kSettlingSeconds = 3;

enum class ReportOutcome {
    Scanned,   // the report came after a quiet interval: the folder was scanned
    Deferred,  // the report came within the interval: a scan is owed once it has been
               // quiet for kSettlingSeconds (ScanAfterQuietInterval)
    ScannedButFilesStillWritten,  // scanned, but files that another process still
                                  // writes wait for a scan kSettlingSeconds later
};

// One change report for the setting in slot `entryIndex`. The first report
// after a quiet interval scans at once; a report less than 3 seconds after the
// previous one is only noted, and each report restarts the interval.
ReportOutcome ScanForChanges(int entryIndex, const config::WatchEntry& entry, const platform::Services& services,
                             const ScanRun& run = {});

// The scan owed to deferred reports or to files still being written, once no
// report has come for the settling interval. It is no report itself: the time
// of the last report stays. True when files still being written owe another.
bool ScanAfterQuietInterval(int entryIndex, const config::WatchEntry& entry, const platform::Services& services,
                            const ScanRun& run = {});

// Tells the activity of a listing that its file could not take, and of one
// written again afterwards; a listing stored as ever is no news.
void TellOfListingWrite(int entryIndex, const config::WatchEntry& entry, config::ListingWrite write);

}  // namespace molvar::engine
