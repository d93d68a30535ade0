#include "config/snapshot.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "config/data_folder.h"
#include "config/settings_file.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace molvar::config {
namespace {

namespace layout = snapshot_layout;

// Far beyond any real folder; only keeps a damaged file from taking all memory.
constexpr std::size_t kMaxListingRecords = 4'000'000;

// A listing that its file could not take, per entry index, with the path it
// belongs to (a listing of another data folder is none of this one's). Used
// only by the one who holds the index's listing.
struct KeptListing {
    text::Cp932String path;
    std::vector<std::uint8_t> bytes;
};
std::array<std::optional<KeptListing>, kMaxWatchEntries> g_keptListings;

std::optional<KeptListing>* KeptSlot(int entryIndex) {
    if (entryIndex < 0 || entryIndex >= kMaxWatchEntries) {
        return nullptr;
    }
    return &g_keptListings[static_cast<std::size_t>(entryIndex)];
}

// The listing of an index as a scan compares with it: the one kept in
// memory, else the file's.
platform::FileHead ReadListing(int entryIndex) {
    const text::Cp932String path = ListingFilePath(entryIndex);
    if (const auto* kept = KeptSlot(entryIndex); kept != nullptr && *kept && (*kept)->path == path) {
        return platform::FileHead{platform::ReadStatus::Read, (*kept)->bytes};
    }
    return platform::ReadFileHead(path, kMaxListingRecords * SnapshotRecord::kSize);
}

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

std::string_view NameIn(std::span<const char> field) {
    const void* nul = std::memchr(field.data(), '\0', field.size());
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - field.data()) : field.size();
    return std::string_view(field.data(), length);
}

std::uint64_t Load64(std::string_view bytes, std::size_t at) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        value |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(bytes[at + i])) << (8 * i);
    }
    return value;
}

std::uint64_t Rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

std::uint64_t Fmix(std::uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ULL;
    k ^= k >> 33;
    return k;
}

// MurmurHash3_x64_128 with seed 0, reading the bytes little-endian on every
// machine: the substitutes stored in listings must never change.
std::pair<std::uint64_t, std::uint64_t> Murmur3x64_128(std::string_view bytes) {
    constexpr std::uint64_t c1 = 0x87c37b91114253d5ULL;
    constexpr std::uint64_t c2 = 0x4cf5ad432745937fULL;
    std::uint64_t h1 = 0;
    std::uint64_t h2 = 0;
    const auto mix1 = [&](std::uint64_t k1) {
        k1 *= c1;
        k1 = Rotl(k1, 31);
        k1 *= c2;
        h1 ^= k1;
    };
    const auto mix2 = [&](std::uint64_t k2) {
        k2 *= c2;
        k2 = Rotl(k2, 33);
        k2 *= c1;
        h2 ^= k2;
    };
    const std::size_t blocks = bytes.size() / 16;
    for (std::size_t b = 0; b < blocks; ++b) {
        mix1(Load64(bytes, b * 16));
        h1 = Rotl(h1, 27) + h2;
        h1 = h1 * 5 + 0x52dce729;
        mix2(Load64(bytes, b * 16 + 8));
        h2 = Rotl(h2, 31) + h1;
        h2 = h2 * 5 + 0x38495ab5;
    }
    const std::string_view tail = bytes.substr(blocks * 16);
    std::uint64_t k1 = 0;
    std::uint64_t k2 = 0;
    for (std::size_t i = tail.size(); i > 8; --i) {
        k2 ^= static_cast<std::uint64_t>(static_cast<std::uint8_t>(tail[i - 1])) << (8 * (i - 9));
    }
    for (std::size_t i = std::min<std::size_t>(tail.size(), 8); i > 0; --i) {
        k1 ^= static_cast<std::uint64_t>(static_cast<std::uint8_t>(tail[i - 1])) << (8 * (i - 1));
    }
    if (tail.size() > 8) {
        mix2(k2);
    }
    if (!tail.empty()) {
        mix1(k1);
    }
    h1 ^= bytes.size();
    h2 ^= bytes.size();
    h1 += h2;
    h2 += h1;
    h1 = Fmix(h1);
    h2 = Fmix(h2);
    h1 += h2;
    h2 += h1;
    return {h1, h2};
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
    static_assert(sizeof record.fileName == layout::fileName.width);
    std::memcpy(record.fileName.data(), bytes.data() + layout::fileName.offset, layout::fileName.width);
    return record;
}

void SnapshotRecord::ToBytes(std::span<std::uint8_t, kSize> bytes) const {
    WriteUint32(bytes, layout::fileSize, fileSize);
    WriteUint32(bytes, layout::writeDate, writeDate);
    WriteUint32(bytes, layout::writeTime, writeTime);
    WriteUint32(bytes, layout::reserved, 0);
    std::memcpy(bytes.data() + layout::fileName.offset, fileName.data(), layout::fileName.width);
}

std::string_view SnapshotRecord::Name() const { return NameIn(std::span<const char>(fileName)); }

std::string_view SnapshotNode::Name() const {
    const auto field = bytes.subspan<layout::fileName.offset, layout::fileName.width>();
    return NameIn(std::span<const char>(reinterpret_cast<const char*>(field.data()), field.size()));
}

std::string SubstituteName(const platform::NativePath& name) {
    const auto [h1, h2] = Murmur3x64_128(name.bytes());
    char digits[34];
    std::snprintf(digits, sizeof digits, "/%016llx%016llx", static_cast<unsigned long long>(h1),
                  static_cast<unsigned long long>(h2));
    return digits;
}

SnapshotRecord MakeSnapshotRecord(const platform::DirectoryItem& item) {
    SnapshotRecord record;
    const std::string* cp932 = item.cp932Name ? &item.cp932Name->bytes() : nullptr;
    if (cp932 != nullptr && !cp932->empty() && cp932->size() <= kMaxListedNameBytes &&
        cp932->find('\0') == std::string::npos) {
        std::copy(cp932->begin(), cp932->end(), record.fileName.begin());
    } else {
        const std::string substitute = SubstituteName(item.name);
        std::copy(substitute.begin(), substitute.end(), record.fileName.begin());
    }
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

namespace {

// A listing ("<index>.dir") or a temporary file of a write in progress.
bool IsProgramFile(std::string_view name) {
    if (platform::IsTemporaryFileName(name)) {
        return true;
    }
    const std::size_t dot = name.find('.');
    return dot != 0 && dot != std::string_view::npos && name.substr(dot) == ".dir" &&
           name.substr(0, dot).find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

FolderFiles::FolderFiles(const WatchEntry& entry)
    : search_(FieldText(entry.folder), SearchPatternOf(entry)),
      skipsProgramFiles_(platform::IsSameFile(FieldText(entry.folder), DataSubfolderPath())) {}

const FolderFile* FolderFiles::Next() {
    while (const platform::DirectoryItem* item = search_.Next()) {
        if (item->isDirectory) {
            continue;
        }
        file_.record = MakeSnapshotRecord(*item);
        if (!skipsProgramFiles_ || !IsProgramFile(file_.record.Name())) {
            file_.name = &item->name;
            return &file_;
        }
    }
    return nullptr;
}

SnapshotLoad LoadSnapshot(int entryIndex, FolderSnapshot& snapshot) {
    platform::FileHead file = ReadListing(entryIndex);
    SnapshotLoad load;
    if (file.status == platform::ReadStatus::Unreadable) {
        load.readable = false;
        return load;
    }
    // The bytes are kept as read and the nodes point into them, so loading
    // copies nothing.
    snapshot.nodes_.clear();
    snapshot.fileRead_ = file.status == platform::ReadStatus::Read;
    snapshot.listingBytes_ = std::move(file.bytes);
    const std::size_t records = snapshot.listingBytes_.size() / SnapshotRecord::kSize;
    snapshot.nodes_.reserve(records);
    for (std::size_t k = 0; k < records; ++k) {
        snapshot.nodes_.push_back(SnapshotNode{
            std::span<const std::uint8_t, SnapshotRecord::kSize>(
                snapshot.listingBytes_.data() + k * SnapshotRecord::kSize, SnapshotRecord::kSize)});
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
        const std::string_view name = nodes_[k].Name();
        std::size_t slot = std::hash<std::string_view>{}(name) & (slots - 1);
        while (nameSlots_[slot] != 0 && nodes_[nameSlots_[slot] - 1].Name() != name) {
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
        if (expected.firstOfName && expected.Name() == name) {
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
        if (nodes_[at].Name() == name) {
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
    if (ReadUint32(node.bytes, layout::fileSize) != scanned.fileSize) {
        return SnapshotMatch::SizeChanged;
    }
    if (ReadUint32(node.bytes, layout::writeDate) != scanned.writeDate) {
        return SnapshotMatch::DateChanged;
    }
    if (ReadUint32(node.bytes, layout::writeTime) != scanned.writeTime) {
        return SnapshotMatch::TimeChanged;
    }
    return SnapshotMatch::Unchanged;
}

void ClearSnapshot(FolderSnapshot& snapshot) {
    // The index and the lookup hint point at nodes: they go with them.
    snapshot.nodes_.clear();
    snapshot.fileRead_ = false;
    snapshot.listingBytes_.clear();
    snapshot.nameSlots_.clear();
    snapshot.expectedNext_ = 0;
}

std::optional<std::span<const std::uint8_t>> FolderSnapshot::fileBytes() const {
    return fileRead_ ? std::optional(std::span<const std::uint8_t>(listingBytes_)) : std::nullopt;
}

ListingBytes::ListingBytes(std::optional<std::span<const std::uint8_t>> current) : current_(current) {}

void ListingBytes::Append(const SnapshotRecord& record) {
    std::array<std::uint8_t, SnapshotRecord::kSize> bytes;
    record.ToBytes(bytes);
    if (!diverged_) {
        if (current_ && current_->size() - size_ >= bytes.size() &&
            std::equal(bytes.begin(), bytes.end(), current_->begin() + static_cast<std::ptrdiff_t>(size_))) {
            size_ += bytes.size();
            return;
        }
        // The first record that differs: from here on the bytes are kept.
        diverged_ = true;
        if (current_) {
            bytes_.assign(current_->begin(), current_->begin() + static_cast<std::ptrdiff_t>(size_));
        }
    }
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    size_ += bytes.size();
}

bool ListingBytes::HeldByCurrent() const { return !diverged_ && current_ && current_->size() == size_; }

std::span<const std::uint8_t> ListingBytes::bytes() const {
    if (diverged_) {
        return bytes_;
    }
    return current_ ? current_->first(size_) : std::span<const std::uint8_t>();
}

ListingWrite WriteSnapshot(int entryIndex, const WatchEntry& entry) {
    const platform::FileHead current = ReadListing(entryIndex);
    ListingBytes listing(current.status == platform::ReadStatus::Read ? std::optional(std::span(current.bytes))
                                                                      : std::nullopt);
    FolderFiles files(entry);
    while (const auto file = files.Next()) {
        listing.Append(file->record);
    }
    return StoreListing(entryIndex, listing);
}

ListingWrite StoreListing(int entryIndex, const ListingBytes& listing) {
    const text::Cp932String path = ListingFilePath(entryIndex);
    std::optional<KeptListing>* kept = KeptSlot(entryIndex);
    const bool wasKept = kept != nullptr && *kept && (*kept)->path == path;
    // Most scans find the folder as listed: a file that holds the new listing
    // already is left alone, sparing the disk a rewrite of the whole listing.
    if (!wasKept && listing.HeldByCurrent()) {
        return ListingWrite::Stored;
    }
    if (platform::ReplaceFileAtomically(path, listing.bytes()) == platform::WriteStatus::Written) {
        if (kept != nullptr) {
            kept->reset();
        }
        return wasKept ? ListingWrite::WrittenAgain : ListingWrite::Stored;
    }
    if (kept != nullptr) {
        const std::span<const std::uint8_t> bytes = listing.bytes();
        *kept = KeptListing{path, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
    }
    return wasKept ? ListingWrite::StillKeptInMemory : ListingWrite::NowKeptInMemory;
}

}  // namespace molvar::config
