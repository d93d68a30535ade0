#include "config/settings_file.h"

#include <algorithm>
#include <vector>

#include "config/data_folder.h"
#include "framework/message_box.h"
#include "platform/files.h"
#include "res/strings.h"

namespace molvar::config {
namespace {

constexpr std::size_t kRecordSize = WatchFileRecord::kSize;

struct SettingsFileRecords {
    SettingsFileState state = SettingsFileState::Missing;
    std::vector<std::uint8_t> bytes;

    // Whole records only: a record beyond the hundredth is never looked at.
    std::size_t count() const { return bytes.size() / kRecordSize; }
    WatchFileRecord Record(std::size_t k) const {
        return WatchFileRecord::FromBytes(
            std::span<const std::uint8_t, kRecordSize>(bytes.data() + k * kRecordSize, kRecordSize));
    }
};

SettingsFileRecords ReadSettingsFile() {
    platform::FileHead head = platform::ReadFileHead(SettingsFilePath(), kRecordSize * kMaxWatchEntries);
    SettingsFileRecords file;
    switch (head.status) {
        case platform::ReadStatus::Read:
            file.state = SettingsFileState::Loaded;
            file.bytes = std::move(head.bytes);
            break;
        case platform::ReadStatus::NotFound:
            file.state = SettingsFileState::Missing;
            break;
        case platform::ReadStatus::Unreadable:
            file.state = SettingsFileState::Unreadable;
            break;
    }
    return file;
}

}  // namespace

SettingsFileState LoadWatchTable(WatchTable& table, int& entryCount) {
    const SettingsFileRecords file = ReadSettingsFile();
    if (file.state != SettingsFileState::Loaded) {
        return file.state;
    }
    entryCount = 0;
    for (std::size_t k = 0; k < file.count(); ++k) {
        const WatchFileRecord record = file.Record(k);
        if (record.running != 0) {
            table[static_cast<std::size_t>(entryCount++)] = record.entry;
        }
    }
    return file.state;
}

RecordListLoad LoadRecordList(WatchRecordList& list) {
    const SettingsFileRecords file = ReadSettingsFile();
    RecordListLoad load{file.state, 0};
    for (std::size_t k = 0; k < file.count(); ++k) {
        if (AppendRecord(list, file.Record(k))) {
            ++load.count;
        }
    }
    return load;
}

bool SaveRecordList(const WatchRecordList& list, int count) {
    const std::size_t records = static_cast<std::size_t>(std::clamp(count, 0, list.size()));
    std::vector<std::uint8_t> bytes(records * kRecordSize);
    std::size_t k = 0;
    for (auto record = list.begin(); k < records; ++record, ++k) {
        record->ToBytes(std::span<std::uint8_t, kRecordSize>(bytes.data() + k * kRecordSize, kRecordSize));
    }
    if (platform::ReplaceFileAtomically(SettingsFilePath(), bytes) != platform::WriteStatus::Written) {
        AfxMessageBox(res::WriteFileOpenError(), MB_OK);
        return false;
    }
    return true;
}

}  // namespace molvar::config
