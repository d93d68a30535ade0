#include "engine/change_scan.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "config/data_folder.h"
#include "config/snapshot.h"
#include "engine/reactions.h"
#include "platform/activity.h"
#include "platform/files.h"
#include "platform/paths.h"

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

// True when files were left for another scan because they are still being
// written.
bool ScanFolder(int entryIndex, const config::WatchEntry& entry, const platform::Services& services,
                const ScanRun& run) {
    config::FolderSnapshot listing;
    // A listing that exists but cannot be read is no reason to take every
    // file for new and react to all of them: the scan waits for a later
    // report, and the changes are still there to be found.
    bool readable = false;
    if (!WithListingOfRun(entryIndex, run, [&] { readable = config::LoadSnapshot(entryIndex, listing).readable; }) ||
        !readable) {
        return false;
    }
    const bool hasProgram = !config::FieldText(entry.program).empty();
    // A program, or the application that opens the file, may write into the
    // folder: the listing is then searched afresh after the reactions, so
    // that the setting does not feed on its own output. A message, a sound
    // and a move write nothing there, and the listing stays the comparison's:
    // what arrives meanwhile (while a message box waits) is reported next.
    const bool mayWriteIntoFolder = hasProgram || entry.openTarget != 0;

    int foundFiles = 0;
    bool reacted = false;
    bool toldOfChangedFiles = false;
    // Files that another process still writes: neither reacted to nor
    // listed, so that a later scan, once they are closed, finds them whole.
    std::vector<platform::NativePath> stillWritten;
    config::ListingBytes searched(listing.fileBytes());
    config::FolderFiles files(entry);
    while (const auto scanned = files.Next()) {
        ++foundFiles;
        if (config::MatchFile(listing, scanned->record) == config::SnapshotMatch::Unchanged) {
            searched.Append(scanned->record);
            continue;
        }
        // The reactions name the file as the OS does, never by its listed name.
        const platform::NativePath& name = *scanned->name;
        const auto path = platform::JoinPath(config::FieldText(entry.folder), name);
        if (path && platform::IsOpenForWriting(*path)) {
            stillWritten.push_back(name);
            continue;
        }
        reacted = true;
        if (!toldOfChangedFiles) {
            NotifyUser(entry, services);
            toldOfChangedFiles = true;
        }
        // The program's end wins over what the scan still meant to do; its
        // listing stays as it was.
        if (run.Ending()) {
            return false;
        }
        if (hasProgram) {
            RunProgram(name, entry, services);
        } else if (entry.openTarget != 0) {
            OpenTargetFile(name, entry, services);
        }
        if (run.Ending()) {
            return false;
        }
        AfterProcess(name, entry, services);
        // A file moved away is gone from the listing.
        if (entry.afterAction != config::MoveTarget || (path && platform::PathExists(*path))) {
            searched.Append(scanned->record);
        }
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
            if (run.Ending()) {
                return false;
            }
            if (hasProgram) {
                RunProgram(std::nullopt, entry, services);
            }
        }
    }

    // Where nothing ran that writes into the folder, the comparison's search
    // is the folder as it is: a change made during it is reported by the next
    // scan instead of being taken in unseen. Otherwise a fresh search after
    // the reactions: files they moved away are gone from it, and files that
    // changed meanwhile are taken in unreported. (Both are made beside the
    // loaded bytes, which go only afterwards.)
    std::optional<config::ListingBytes> fresh;
    if (reacted && mayWriteIntoFolder) {
        fresh.emplace(listing.fileBytes());
        config::FolderFiles again(entry);
        while (const config::FolderFile* file = again.Next()) {
            if (std::find(stillWritten.begin(), stillWritten.end(), *file->name) == stillWritten.end()) {
                fresh->Append(file->record);
            }
        }
    }
    WithListingOfRun(entryIndex, run, [&] {
        TellOfListingWrite(entryIndex, entry, config::StoreListing(entryIndex, fresh ? *fresh : searched), services);
    });
    config::ClearSnapshot(listing);
    return !stillWritten.empty();
}

}  // namespace

std::array<std::atomic<std::uint32_t>, config::kMaxWatchEntries> g_lastScanTime{};

void TellOfListingWrite(int entryIndex, const config::WatchEntry& entry, config::ListingWrite write, const platform::Services& services) {
    using config::ListingWrite;
    if (write != ListingWrite::NowKeptInMemory && write != ListingWrite::WrittenAgain) {
        return;
    }
    const bool kept = write == ListingWrite::NowKeptInMemory;
    platform::ReportActivity({services.CalendarTime(), config::FieldText(entry.title), kept ? "listing-kept" : "listing-written",
                              platform::NativeOf(config::ListingFilePath(entryIndex)).value_or(platform::NativePath{}),
                              kept ? "cannot be written; kept in memory, the next scan compares with it"
                                   : "written again"});
}

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
    return ScanFolder(entryIndex, entry, services, run) ? ReportOutcome::ScannedButFilesStillWritten
                                                        : ReportOutcome::Scanned;
}

bool ScanAfterQuietInterval(int entryIndex, const config::WatchEntry& entry, const platform::Services& services,
                            const ScanRun& run) {
    return entryIndex >= 0 && entryIndex < config::kMaxWatchEntries && ScanFolder(entryIndex, entry, services, run);
}

}  // namespace molvar::engine
