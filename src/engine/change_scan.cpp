#include "engine/change_scan.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "config/data_folder.h"
#include "config/snapshot.h"
#include "engine/reactions.h"
#include "platform/activity.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "text/convert.h"

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

std::string_view ChangeWord(config::SnapshotMatch match) {
    switch (match) {
        case config::SnapshotMatch::NotListed: return "新規";
        case config::SnapshotMatch::SizeChanged: return "サイズ";
        case config::SnapshotMatch::DateChanged: return "日付";
        case config::SnapshotMatch::TimeChanged: return "時刻";
        case config::SnapshotMatch::Unchanged: break;
    }
    return {};
}

// A file of the folder by the name its listing holds: the native form where
// the listed name has one, else the listed text as it stands.
platform::NativePath ListedPath(const config::WatchEntry& entry, const config::SnapshotRecord& record) {
    const text::Cp932String name = text::Cp932String::FromBytes(record.Name());
    if (const auto native = platform::NativeOf(name)) {
        if (auto path = platform::JoinPath(config::FieldText(entry.folder), *native)) {
            return *std::move(path);
        }
    }
    return platform::NativeFromUtf8(text::ToUtf8ForDisplay(platform::JoinPath(config::FieldText(entry.folder), name)));
}

// A record's name, size and time, to tell the files a scan saw from those
// that came or changed after it.
std::string RecordKey(const config::SnapshotRecord& record) {
    std::string key(record.Name());
    key.append(reinterpret_cast<const char*>(&record.fileSize), sizeof record.fileSize);
    key.append(reinterpret_cast<const char*>(&record.writeDate), sizeof record.writeDate);
    key.append(reinterpret_cast<const char*>(&record.writeTime), sizeof record.writeTime);
    return key;
}

// True when files were left for another scan because they are still being
// written.
bool ScanFolder(int entryIndex, const config::WatchEntry& entry, const platform::Services& services,
                const ScanRun& run) {
    const platform::ActivityBatch historyOfTheScan;
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
    // What the scan saw, so that the fresh search after the reactions can
    // tell which files it takes in without a reaction.
    std::unordered_set<std::string> seen;
    config::ListingBytes searched(listing.fileBytes());
    config::FolderFiles files(entry);
    while (const auto scanned = files.Next()) {
        ++foundFiles;
        const config::SnapshotMatch match = config::MatchFile(listing, scanned->record);
        if (mayWriteIntoFolder) {
            seen.insert(RecordKey(scanned->record));
        }
        if (match == config::SnapshotMatch::Unchanged) {
            searched.Append(scanned->record);
            continue;
        }
        // The reactions name the file as the OS does, never by its listed name.
        const platform::NativePath& name = *scanned->name;
        const auto path = platform::JoinPath(config::FieldText(entry.folder), name);
        if (path && platform::IsOpenForWriting(*path)) {
            TellActivity(entry, "writing", *path, "書き込み中のため、閉じられてから調べます");
            stillWritten.push_back(name);
            continue;
        }
        TellActivity(entry, "found", path.value_or(platform::NativePath{}), std::string(ChangeWord(match)));
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
            TellActivity(entry, "vanished",
                         ListedPath(entry, config::SnapshotRecord::FromBytes(node.bytes)), {});
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
            if (std::find(stillWritten.begin(), stillWritten.end(), *file->name) != stillWritten.end()) {
                continue;
            }
            fresh->Append(file->record);
            if (!seen.contains(RecordKey(file->record))) {
                const auto path = platform::JoinPath(config::FieldText(entry.folder), *file->name);
                TellActivity(entry, "absorbed", path.value_or(platform::NativePath{}),
                             "反応なしで一覧に取り込み");
            }
        }
    }
    WithListingOfRun(entryIndex, run, [&] {
        TellOfListingWrite(entryIndex, entry, config::StoreListing(entryIndex, fresh ? *fresh : searched));
    });
    config::ClearSnapshot(listing);
    return !stillWritten.empty();
}

}  // namespace

std::array<std::atomic<std::uint32_t>, config::kMaxWatchEntries> g_lastScanTime{};

void TellOfListingWrite(int entryIndex, const config::WatchEntry& entry, config::ListingWrite write) {
    using config::ListingWrite;
    if (write != ListingWrite::NowKeptInMemory && write != ListingWrite::WrittenAgain) {
        return;
    }
    const bool kept = write == ListingWrite::NowKeptInMemory;
    TellActivity(entry, kept ? "listing-kept" : "listing-written",
                 platform::NativeOf(config::ListingFilePath(entryIndex)).value_or(platform::NativePath{}),
                 kept ? "一覧ファイルを書けません。メモリに保持し、次の検査はそれと比べます" : "一覧ファイルを書き直しました");
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
