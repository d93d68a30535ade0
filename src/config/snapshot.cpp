#include "config/snapshot.h"

#include <algorithm>
#include <cstring>

#include "config/data_folder.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace molvar::config {
namespace {

namespace layout = snapshot_layout;

// Far beyond any real folder; only keeps a damaged file from taking all memory.
constexpr std::size_t kMaxListingRecords = 4'000'000;

std::uint32_t ReadUint32(std::span<const std::uint8_t, SnapshotRecord::kSize> bytes, FieldSpan field) {
    static_assert(sizeof(std::uint32_t) == 4);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(bytes[field.offset + i]) << (8 * i);
    }
    return value;
}

void WriteUint32(std::span<std::uint8_t, SnapshotRecord::kSize> bytes, FieldSpan field, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[field.offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// yyyymmdd and hhmmss in 32 bits; the arithmetic is done wide so that no
// year, however odd, overflows a signed int on the way.
std::uint32_t Packed(std::int64_t high, std::int64_t middle, std::int64_t low) {
    return static_cast<std::uint32_t>((high * 100 + middle) * 100 + low);
}

bool HoldsPathSeparator(std::string_view pattern) {
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        if (text::IsLeadByte(static_cast<std::uint8_t>(pattern[at]))) {
            ++at;  // its trail byte may be 0x5C and is no separator
        } else if (pattern[at] == '\\' || pattern[at] == '/') {
            return true;
        }
    }
    return false;
}

}  // namespace

SnapshotRecord SnapshotRecord::FromBytes(std::span<const std::uint8_t, kSize> bytes) {
    SnapshotRecord record;
    record.fileSize = ReadUint32(bytes, layout::fileSize);
    record.writeDate = ReadUint32(bytes, layout::writeDate);
    record.writeTime = ReadUint32(bytes, layout::writeTime);
    const auto name = bytes.subspan<layout::fileName.offset, layout::fileName.width>();
    std::transform(name.begin(), name.end(), record.fileName.begin(),
                   [](std::uint8_t b) { return static_cast<char>(b); });
    return record;
}

void SnapshotRecord::ToBytes(std::span<std::uint8_t, kSize> bytes) const {
    WriteUint32(bytes, layout::fileSize, fileSize);
    WriteUint32(bytes, layout::writeDate, writeDate);
    WriteUint32(bytes, layout::writeTime, writeTime);
    WriteUint32(bytes, layout::reserved, 0);
    std::transform(fileName.begin(), fileName.end(), bytes.begin() + layout::fileName.offset,
                   [](char c) { return static_cast<std::uint8_t>(c); });
}

std::string_view SnapshotRecord::Name() const {
    const auto end = std::find(fileName.begin(), fileName.end(), '\0');
    return std::string_view(fileName.data(), static_cast<std::size_t>(end - fileName.begin()));
}

std::optional<SnapshotRecord> MakeSnapshotRecord(const platform::DirectoryItem& item) {
    const std::string& name = item.name.bytes();
    if (name.empty() || name.size() > kMaxListedNameBytes || name.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    SnapshotRecord record;
    std::copy(name.begin(), name.end(), record.fileName.begin());
    record.fileSize = static_cast<std::uint32_t>(item.size);
    // The bias in force at the file's own time: with today's bias every file
    // would look changed after each switch to or from daylight-saving time.
    if (const auto local = platform::ToLocalTime(item.lastWriteTime)) {
        record.writeDate = Packed(local->year, local->month, local->day);
        record.writeTime = Packed(local->hour, local->minute, local->second);
    }
    return record;
}

text::Cp932String SearchPatternOf(const WatchEntry& entry) {
    using text::operator""_cp;
    if (entry.targetKind != NamedFiles) {
        static const text::Cp932String everything = "*"_cp;
        return everything;
    }
    text::Cp932String pattern = FieldText(entry.namePattern);
    if (HoldsPathSeparator(pattern.bytes())) {
        return text::Cp932String();
    }
    return pattern;
}

FolderFiles::FolderFiles(const WatchEntry& entry) : search_(FieldText(entry.folder), SearchPatternOf(entry)) {}

std::optional<SnapshotRecord> FolderFiles::Next() {
    while (auto item = search_.Next()) {
        if (item->isDirectory) {
            continue;
        }
        if (auto record = MakeSnapshotRecord(*item)) {
            return record;
        }
    }
    return std::nullopt;
}

SnapshotLoad LoadSnapshot(int entryIndex, FolderSnapshot& snapshot) {
    const platform::FileHead file =
        platform::ReadFileHead(ListingFilePath(entryIndex), kMaxListingRecords * SnapshotRecord::kSize);
    SnapshotLoad load;
    if (file.status == platform::ReadStatus::Unreadable) {
        load.readable = false;
        return load;
    }
    const std::size_t records = file.bytes.size() / SnapshotRecord::kSize;
    snapshot.nodes_.reserve(snapshot.nodes_.size() + records);
    for (std::size_t k = 0; k < records; ++k) {
        const std::span<const std::uint8_t, SnapshotRecord::kSize> bytes(file.bytes.data() + k * SnapshotRecord::kSize,
                                                                         SnapshotRecord::kSize);
        snapshot.nodes_.push_back(SnapshotNode{SnapshotRecord::FromBytes(bytes), 0});
    }
    // Indexed once the nodes no longer move; emplace keeps the first node of
    // a name, as a walk from the start would find it.
    snapshot.firstByName_.clear();
    snapshot.firstByName_.reserve(snapshot.nodes_.size());
    for (std::size_t k = 0; k < snapshot.nodes_.size(); ++k) {
        snapshot.firstByName_.emplace(snapshot.nodes_[k].record.Name(), k);
    }
    load.count = static_cast<int>(records);
    return load;
}

SnapshotMatch MatchFile(FolderSnapshot& snapshot, const SnapshotRecord& scanned) {
    const auto found = snapshot.firstByName_.find(scanned.Name());
    if (found == snapshot.firstByName_.end()) {
        return SnapshotMatch::NotListed;
    }
    SnapshotNode& node = snapshot.nodes_[found->second];
    node.seen = 1;
    if (node.record.fileSize != scanned.fileSize) {
        return SnapshotMatch::SizeChanged;
    }
    if (node.record.writeDate != scanned.writeDate) {
        return SnapshotMatch::DateChanged;
    }
    if (node.record.writeTime != scanned.writeTime) {
        return SnapshotMatch::TimeChanged;
    }
    return SnapshotMatch::Unchanged;
}

void ClearSnapshot(FolderSnapshot& snapshot) {
    snapshot.firstByName_.clear();
    snapshot.nodes_.clear();
}

void WriteSnapshot(int entryIndex, const WatchEntry& entry) {
    std::vector<std::uint8_t> bytes;
    FolderFiles files(entry);
    while (const auto record = files.Next()) {
        bytes.resize(bytes.size() + SnapshotRecord::kSize);
        record->ToBytes(std::span<std::uint8_t, SnapshotRecord::kSize>(bytes.end() - SnapshotRecord::kSize,
                                                                       SnapshotRecord::kSize));
    }
    platform::ReplaceFileAtomically(ListingFilePath(entryIndex), bytes);
}

}  // namespace molvar::config
