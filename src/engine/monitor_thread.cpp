#include "engine/monitor_thread.h"

namespace molvar::engine {
namespace {

class ScanInProgress {
public:
    explicit ScanInProgress(ScansInProgress* scans) : scans_(scans) {
        if (scans_ != nullptr) {
            scans_->Enter();
        }
    }
    ~ScanInProgress() {
        if (scans_ != nullptr) {
            scans_->Leave();
        }
    }
    ScanInProgress(const ScanInProgress&) = delete;
    ScanInProgress& operator=(const ScanInProgress&) = delete;

private:
    ScansInProgress* scans_;
};

}  // namespace

void ScansInProgress::Enter() {
    const std::lock_guard lock(mutex_);
    ++count_;
}

void ScansInProgress::Leave() {
    const std::lock_guard lock(mutex_);
    if (--count_ == 0) {
        left_.notify_all();
    }
}

bool ScansInProgress::WaitUntilNone(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return left_.wait_for(lock, limit, [this] { return count_ == 0; });
}

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
        const ScanInProgress scanning(context.scans);
        if (g_bWatching == 0 || stop.IsRaised()) {
            return;
        }
        // A timer runs only while a scan is owed: to deferred reports, or to
        // files that were still being written.
        const bool owed = wake == Wake::TimedOut
                              ? ScanAfterQuietInterval(entryIndex, context.entry, *context.services, context.run)
                              : ScanForChanges(entryIndex, context.entry, *context.services, context.run) !=
                                    ReportOutcome::Scanned;
        if (owed) {
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
