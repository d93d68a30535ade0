#include "engine/monitor_thread.h"

namespace molvar::engine {
namespace {

// Counted from before the thread looks at the stop until its scan is over,
// so that whoever raises the stop and then finds no scan in progress knows
// that none begins afterwards.
class ScanInProgress {
public:
    explicit ScanInProgress(std::atomic<int>* count) : count_(count) {
        if (count_ != nullptr) {
            ++*count_;
        }
    }
    ~ScanInProgress() {
        if (count_ != nullptr) {
            --*count_;
        }
    }
    ScanInProgress(const ScanInProgress&) = delete;
    ScanInProgress& operator=(const ScanInProgress&) = delete;

private:
    std::atomic<int>* count_;
};

}  // namespace

std::atomic<int> g_bWatching{0};

void MonitorThreadProc(int entryIndex, const MonitorContext& context) {
    using Wake = platform::ChangeNotification::Wake;
    if (entryIndex < 0 || entryIndex >= config::kMaxWatchEntries) {
        return;
    }
    const platform::StopSignal& stop = *context.stop;
    const std::shared_ptr<platform::ChangeNotification> change = context.change;
    if (!change) {
        stop.Wait();
        return;
    }
    // Set while deferred reports wait for their scan.
    std::optional<std::chrono::milliseconds> scanOwedIn;
    for (;;) {
        const Wake wake = change->Wait(stop, scanOwedIn);
        if (wake == Wake::Stopped) {
            return;
        }
        const ScanInProgress scanning(context.scansInProgress);
        if (g_bWatching == 0 || stop.IsRaised()) {
            return;
        }
        if (wake == Wake::TimedOut) {
            ScanAfterQuietInterval(entryIndex, context.entry, *context.services, context.run);
            scanOwedIn.reset();
        } else if (ScanForChanges(entryIndex, context.entry, *context.services, context.run) ==
                   ReportOutcome::Deferred) {
            scanOwedIn = std::chrono::seconds(kSettlingSeconds);
        } else {
            scanOwedIn.reset();
        }
        // A scan that was running when the watch stopped ends its thread
        // without re-arming.
        if (stop.IsRaised()) {
            return;
        }
    }
}

std::unique_ptr<platform::ChangeNotification> RegisterChangeNotification(const config::WatchEntry& entry) {
    // Any trigger kind but CreateOrUpdate watches file names.
    const auto filter = entry.triggerKind != config::CreateOrUpdate ? platform::ChangeFilter::FileName
                                                                     : platform::ChangeFilter::Attributes;
    return platform::ChangeNotification::Register(config::FieldText(entry.folder), filter);
}

}  // namespace molvar::engine
