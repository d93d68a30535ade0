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
    snapshot.BuildNameIndex();
    snapshot.expectedNext_ = 0;
    load.count = static_cast<int>(records);
    return load;
}

void FolderSnapshot::BuildNameIndex() {
    std::size_t slots = 16;
    while (slots < nodes_.size() * 2) {
        slots *= 2;
    }
    nameSlots_.assign(slots, 0);
    // Built once the nodes no longer move; only the first node of a name is
    // entered, as a walk from the start would find it.
    for (std::size_t k = 0; k < nodes_.size(); ++k) {
        const std::string_view name = nodes_[k].record.Name();
        std::size_t slot = std::hash<std::string_view>{}(name) & (slots - 1);
        while (nameSlots_[slot] != 0 && nodes_[nameSlots_[slot] - 1].record.Name() != name) {
            slot = (slot + 1) & (slots - 1);
        }
        nodes_[k].firstOfName = nameSlots_[slot] == 0;
        if (nodes_[k].firstOfName) {
            nameSlots_[slot] = static_cast<std::uint32_t>(k + 1);
        }
    }
}

std::size_t FolderSnapshot::FindFirstOfName(std::string_view name) {
    if (expectedNext_ < nodes_.size()) {
        const SnapshotNode& expected = nodes_[expectedNext_];
        if (expected.firstOfName && expected.record.Name() == name) {
            return expectedNext_++;
        }
    }
    if (nameSlots_.empty()) {
        return nodes_.size();
    }
    const std::size_t mask = nameSlots_.size() - 1;
    for (std::size_t slot = std::hash<std::string_view>{}(name) & mask; nameSlots_[slot] != 0;
         slot = (slot + 1) & mask) {
        const std::size_t at = nameSlots_[slot] - 1;
        if (nodes_[at].record.Name() == name) {
            expectedNext_ = at + 1;
            return at;
        }
    }
    return nodes_.size();
}

SnapshotMatch MatchFile(FolderSnapshot& snapshot, const SnapshotRecord& scanned) {
    const std::size_t at = snapshot.FindFirstOfName(scanned.Name());
    if (at == snapshot.nodes_.size()) {
        return SnapshotMatch::NotListed;
    }
    SnapshotNode& node = snapshot.nodes_[at];
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
    snapshot.BuildNameIndex();
    snapshot.expectedNext_ = 0;
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
    // Most scans find the folder as listed: leaving an equal file alone
    // spares the disk a rewrite of the whole listing.
    const text::Cp932String path = ListingFilePath(entryIndex);
    const platform::FileHead current = platform::ReadFileHead(path, bytes.size() + 1);
    if (current.status == platform::ReadStatus::Read && current.bytes == bytes) {
        return;
    }
    platform::ReplaceFileAtomically(path, bytes);
}

}  // namespace molvar::config
