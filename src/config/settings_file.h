// The settings file "dirinfo.dat": a plain sequence of 632-byte records, at
// most 100, no header.
#pragma once

#include <array>

#include "config/watch_record.h"
#include "config/watch_record_list.h"

namespace molvar::config {

inline constexpr int kMaxWatchEntries = 100;

// The running settings in file order, packed from slot 0; a slot's number is
// the setting's entry index.
using WatchTable = std::array<WatchEntry, kMaxWatchEntries>;

enum class SettingsFileState {
    Loaded,
    Missing,     // no settings file (or no data folder): there are no settings
    Unreadable,  // the file exists but could not be read: its settings are unknown
};

// Fills the table with the running settings. When the file is missing or
// unreadable the table and the count stay as they were.
SettingsFileState LoadWatchTable(WatchTable& table, int& entryCount);

struct RecordListLoad {
    SettingsFileState state = SettingsFileState::Missing;
    int count = 0;  // records appended to the list
};

// Appends every record of the file, running or stopped, byte for byte.
// A trailing piece shorter than a record is ignored.
RecordListLoad LoadRecordList(WatchRecordList& list);

// Replaces the settings file with the first `count` records of the list.
// When the file cannot be written the user is told, the old file stays as it
// was, and false is returned.
bool SaveRecordList(const WatchRecordList& list, int count);

}  // namespace molvar::config
