#include "config/watch_record_list.h"

#include <iterator>
#include <new>

namespace molvar::config {

std::list<WatchFileRecord>::iterator WatchRecordList::Find(int position) {
    if (position < 0 || position >= size()) {
        return records_.end();
    }
    return std::next(records_.begin(), position);
}

const WatchFileRecord* WatchRecordList::At(int position) const {
    if (position < 0 || position >= size()) {
        return nullptr;
    }
    return &*std::next(records_.begin(), position);
}

bool AppendRecord(WatchRecordList& list, const WatchFileRecord& record) {
    try {
        list.records_.push_back(record);
    } catch (const std::bad_alloc&) {
        return false;  // push_back leaves the list as it was
    }
    return true;
}

bool ReplaceRecordAt(WatchRecordList& list, int position, const WatchFileRecord& record) {
    const auto node = list.Find(position);
    if (node == list.records_.end()) {
        return false;
    }
    *node = record;
    return true;
}

void RemoveRecordAt(WatchRecordList& list, int position) {
    const auto node = list.Find(position);
    if (node != list.records_.end()) {
        list.records_.erase(node);
    }
}

}  // namespace molvar::config
