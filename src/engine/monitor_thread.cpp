#include "engine/monitor_thread.h"

#include <string>

#include "engine/reactions.h"
#include "platform/activity.h"
#include "platform/clock.h"

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

std::atomic<std::chrono::milliseconds::rep> g_lookForFolderEveryMs{2000};

namespace {

void TellOfFolder(const MonitorContext& context, std::string_view event, std::string detail = {}) {
    TellActivity(context.entry, event, WatchedFolderPath(context.entry), std::move(detail));
}

// The watch's start and stop, told by the thread that watches.
class WatchSpan {
public:
    explicit WatchSpan(const MonitorContext& context) : context_(context) { TellOfFolder(context_, "watch-start"); }
    ~WatchSpan() { TellOfFolder(context_, "watch-stop"); }
    WatchSpan(const WatchSpan&) = delete;
    WatchSpan& operator=(const WatchSpan&) = delete;

private:
    const MonitorContext& context_;
};

// Looks for the setting's folder at its path every few seconds until one is
// there to be watched; empty once the watch stops first.
std::shared_ptr<platform::ChangeNotification> WaitForFolder(const MonitorContext& context) {
    const std::chrono::milliseconds every{g_lookForFolderEveryMs.load()};
    while (!context.stop->WaitFor(every)) {
        if (auto change = RegisterChangeNotification(context.entry)) {
            return change;
        }
    }
    return nullptr;
}

}  // namespace

void MonitorThreadProc(int entryIndex, const MonitorContext& context) {
    using Wake = platform::ChangeNotification::Wake;
    if (entryIndex < 0 || entryIndex >= config::kMaxWatchEntries) {
        return;
    }
    const WatchSpan span(context);
    const platform::StopSignal& stop = *context.stop;
    std::shared_ptr<platform::ChangeNotification> change = context.change;
    // Set while deferred reports or files still being written wait for a scan.
    std::optional<std::chrono::milliseconds> scanOwedIn;
    for (;;) {
        if (!change || change->Broken()) {
            // Gone, or never there: the setting reacts to no old folder, and
            // its path is looked at again only while nothing is there.
            TellOfFolder(context, change ? "folder-gone" : "folder-missing",
                         (change ? "フォルダがなくなりました。" : "フォルダがありません。") +
                             std::to_string(g_lookForFolderEveryMs.load()) + " ミリ秒ごとに探します");
            change = WaitForFolder(context);
            if (!change) {
                return;
            }
            TellOfFolder(context, "folder-back", "フォルダが戻りました。監視を続けます");
            // The folder found is compared with the last listing stored.
            const ScanInProgress scanning(context.scans);
            if (g_bWatching == 0 || stop.IsRaised()) {
                return;
            }
            scanOwedIn = ScanAfterQuietInterval(entryIndex, context.entry, *context.services, context.run)
                             ? std::optional(std::chrono::milliseconds(std::chrono::seconds(kSettlingSeconds)))
                             : std::nullopt;
            continue;
        }
        const Wake wake = change->Wait(stop, scanOwedIn ? scanOwedIn : context.scanEvery);
        if (wake == Wake::Stopped) {
            return;
        }
        const ScanInProgress scanning(context.scans);
        if (g_bWatching == 0 || stop.IsRaised()) {
            return;
        }
        // A timer runs only while a scan is owed: to deferred reports, or to
        // files that were still being written.
        // A wait that timed out is a scan owed, or the timer of a folder whose
        // changes are not all reported; neither is a report, so neither
        // holds back the scan of the next one.
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
