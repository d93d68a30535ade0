#include "engine/change_scan.h"

#include "config/snapshot.h"
#include "engine/reactions.h"

namespace molvar::engine {
namespace {

// Notes the report and tells whether it comes after a quiet interval. The
// difference is taken in unsigned 32-bit arithmetic, so a clock set back
// wraps to a large difference and scans.
bool ReportEndsQuietInterval(int entryIndex, const platform::Services& services) {
    const auto now = static_cast<std::uint32_t>(services.CalendarTime());
    const std::uint32_t previous = g_lastScanTime[static_cast<std::size_t>(entryIndex)].exchange(now);
    return static_cast<std::uint32_t>(now - previous) >= kSettlingSeconds;
}

// Runs `use` on the index's listing under its lock, unless the scan's run
// has ended and another has begun; false then.
template <typename Use>
bool WithListingOfRun(int entryIndex, const ScanRun& run, Use use) {
    if (run.gate == nullptr) {
        use();
        return true;
    }
    std::lock_guard lock(run.gate->LockOf(entryIndex));
    if (run.gate->currentRun() != run.run) {
        return false;
    }
    use();
    return true;
}

void ScanFolder(int entryIndex, const config::WatchEntry& entry, const platform::Services& services,
                const ScanRun& run) {
    config::FolderSnapshot listing;
    // A listing that exists but cannot be read is no reason to take every
    // file for new and react to all of them: the scan waits for a later
    // report, and the changes are still there to be found.
    bool readable = false;
    if (!WithListingOfRun(entryIndex, run, [&] { readable = config::LoadSnapshot(entryIndex, listing).readable; }) ||
        !readable) {
        return;
    }
    const bool hasProgram = !config::FieldText(entry.program).empty();

    int foundFiles = 0;
    bool reacted = false;
    bool toldOfChangedFiles = false;
    config::ListingBytes searched(listing.fileBytes());
    config::FolderFiles files(entry);
    while (const auto scanned = files.Next()) {
        ++foundFiles;
        searched.Append(scanned->record);
        if (config::MatchFile(listing, scanned->record) == config::SnapshotMatch::Unchanged) {
            continue;
        }
        reacted = true;
        if (!toldOfChangedFiles) {
            NotifyUser(entry, services);
            toldOfChangedFiles = true;
        }
        // The reactions name the file as the OS does, never by its listed name.
        const platform::NativePath& name = *scanned->name;
        if (hasProgram) {
            RunProgram(name, entry, services);
        } else if (entry.openTarget != 0) {
            OpenTargetFile(name, entry, services);
        }
        AfterProcess(name, entry, services);
    }

    // A vanished file is looked for only when fewer files were found than
    // the listing held: a renamed file shows as a new name and no vanished one.
    if (entry.triggerKind == config::CreateRenameDelete && foundFiles < listing.size()) {
        bool toldOfVanishedFiles = false;
        for (const config::SnapshotNode& node : listing.nodes()) {
            if (node.seen != 0) {
                continue;
            }
            reacted = true;
            if (!toldOfVanishedFiles) {
                NotifyUser(entry, services);
                toldOfVanishedFiles = true;
            }
            if (hasProgram) {
                RunProgram(std::nullopt, entry, services);
            }
        }
    }

    if (reacted) {
        // A fresh search after the reactions: files they moved away are gone
        // from it, and files that changed meanwhile are taken in unreported.
        config::ClearSnapshot(listing);
        WithListingOfRun(entryIndex, run, [&] { config::WriteSnapshot(entryIndex, entry); });
    } else {
        // Nothing ran, so the comparison's search is the folder as it is: a
        // change made during it is reported by the next scan instead of
        // being taken in unseen. (It is made beside the loaded bytes, which
        // go only afterwards.)
        WithListingOfRun(entryIndex, run, [&] { config::StoreListing(entryIndex, searched); });
        config::ClearSnapshot(listing);
    }
}

}  // namespace

std::array<std::atomic<std::uint32_t>, config::kMaxWatchEntries> g_lastScanTime{};

void ResetLastScanTimes() {
    for (auto& time : g_lastScanTime) {
        time = 0;
    }
}

ReportOutcome ScanForChanges(int entryIndex, const config::WatchEntry& entry, const platform::Services& services,
                             const ScanRun& run) {
    if (entryIndex < 0 || entryIndex >= config::kMaxWatchEntries) {
        return ReportOutcome::Scanned;
    }
    if (!ReportEndsQuietInterval(entryIndex, services)) {
        return ReportOutcome::Deferred;
    }
    ScanFolder(entryIndex, entry, services, run);
    return ReportOutcome::Scanned;
}

void ScanAfterQuietInterval(int entryIndex, const config::WatchEntry& entry, const platform::Services& services,
                            const ScanRun& run) {
    if (entryIndex >= 0 && entryIndex < config::kMaxWatchEntries) {
        ScanFolder(entryIndex, entry, services, run);
    }
}

}  // namespace molvar::engine
