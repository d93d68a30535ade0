// The list dialog's working copy of the settings file: every record, running
// or stopped, in file order. Positions count from 0 and are the same in the
// list, in the dialog's list box and in the file.
#pragma once

#include <cstddef>
#include <list>

#include "config/watch_record.h"

namespace molvar::config {

class WatchRecordList {
public:
    int size() const { return static_cast<int>(records_.size()); }
    bool empty() const { return records_.empty(); }

    // The record at a position, or null when there is none.
    const WatchFileRecord* At(int position) const;

    auto begin() const { return records_.begin(); }
    auto end() const { return records_.end(); }

private:
    friend bool AppendRecord(WatchRecordList& list, const WatchFileRecord& record);
    friend bool ReplaceRecordAt(WatchRecordList& list, int position, const WatchFileRecord& record);
    friend void RemoveRecordAt(WatchRecordList& list, int position);

    std::list<WatchFileRecord>::iterator Find(int position);

    std::list<WatchFileRecord> records_;
};

// Adds a copy of the record at the end. False, with the list unchanged, when
// no memory is left.
bool AppendRecord(WatchRecordList& list, const WatchFileRecord& record);

// Overwrites the record at the position. False, with nothing changed, when
// there is no record there.
bool ReplaceRecordAt(WatchRecordList& list, int position, const WatchFileRecord& record);

// Removes the record at the position; nothing happens when there is none.
void RemoveRecordAt(WatchRecordList& list, int position);

}  // namespace molvar::config
