// Folder listings: for every running setting, the files of its watched folder
// as last seen (name, size, last-write date and time), in the file
// "obsdat/<entry index>.dir": a plain sequence of 144-byte records in the
// order of the directory search, no header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/watch_record.h"
#include "platform/directory_search.h"
#include "text/cp932.h"

namespace molvar::config {

namespace snapshot_layout {
inline constexpr FieldSpan fileSize{0, 4};
inline constexpr FieldSpan writeDate{4, 4};
inline constexpr FieldSpan writeTime{8, 4};
inline constexpr FieldSpan reserved{12, 4};
// `fileName` holds the file's code page 932 name, NUL-terminated, where it
// has one of at most 127 bytes. Any other name (no code page 932 form,
// longer, not even text) is held by a substitute made from its exact native
// name: "/" followed by the 32 lowercase hex digits of the 128-bit
// MurmurHash3 (x64, seed 0) of the name's bytes (UTF-8 or whatever bytes the
// file system holds on Linux, UTF-16LE on Windows), h1 then h2. No file
// system takes "/" in a name and no code page 932 name begins with it, so a
// substitute never stands for a real name of another file.
inline constexpr FieldSpan fileName{16, 128};
inline constexpr std::size_t kRecordSize = 144;

static_assert(writeDate.offset == fileSize.end() && writeTime.offset == writeDate.end() &&
              reserved.offset == writeTime.end() && fileName.offset == reserved.end() &&
              fileName.end() == kRecordSize);
}  // namespace snapshot_layout

// The longest code page 932 name a listing holds as it is.
inline constexpr std::size_t kMaxListedNameBytes = snapshot_layout::fileName.width - 1;
static_assert(kMaxListedNameBytes == platform::kMaxCp932NameBytes);

struct SnapshotRecord {
    static constexpr std::size_t kSize = snapshot_layout::kRecordSize;

    std::uint32_t fileSize = 0;   // low 32 bits of the size
    std::uint32_t writeDate = 0;  // local date as yyyymmdd: 20110303
    std::uint32_t writeTime = 0;  // local time of day as hhmmss: 90507
    std::array<char, snapshot_layout::fileName.width> fileName{};  // NUL-terminated

    // `reserved` is never read, and written as 0.
    static SnapshotRecord FromBytes(std::span<const std::uint8_t, kSize> bytes);
    void ToBytes(std::span<std::uint8_t, kSize> bytes) const;

    // The name up to its NUL, or the whole field when it holds none.
    std::string_view Name() const;
};

// The record of one file found by a directory search, under its code page
// 932 name or the substitute. A last-write time without a local form is
// stored as 0.
SnapshotRecord MakeSnapshotRecord(const platform::DirectoryItem& item);

// The listed name of a file without a code page 932 name that fits.
std::string SubstituteName(const platform::NativePath& name);

// The pattern a setting's folder is searched with: its `namePattern` when it
// counts named files only, otherwise "*". A pattern that holds a path
// separator would search another folder; it is refused and finds nothing.
text::Cp932String SearchPatternOf(const WatchEntry& entry);

// One file of a watched folder: its listing record, and its name as the OS
// holds it, by which it is handed to programs and moved.
struct FolderFile {
    SnapshotRecord record;
    const platform::NativePath* name = nullptr;  // the search's own, valid as long as this
};

// The files of a setting's folder, in the order of the directory search:
// sub-folders are passed over. A folder that cannot be searched has no files.
class FolderFiles {
public:
    explicit FolderFiles(const WatchEntry& entry);
    // The next file, valid until the next call; null once there is none.
    const FolderFile* Next();

private:
    platform::DirectorySearch search_;
    FolderFile file_;
    // The folder holds the listings themselves: they are no files of the
    // setting (they change at every scan, and it would feed on them).
    bool skipsProgramFiles_;
};

enum class SnapshotMatch : std::int16_t {
    Unchanged = 0,    // same name, size, date and time
    NotListed = 1,    // no such name: a new file
    SizeChanged = 2,  // same name, other size
    DateChanged = 3,  // same name and size, other date
    TimeChanged = 4,  // same name, size and date, other time
};

// One record of a loaded listing, read in place from the listing's bytes.
struct SnapshotNode {
    std::span<const std::uint8_t, SnapshotRecord::kSize> bytes;
    std::uint16_t seen = 0;  // 1 once a scanned file matched this node
    // No earlier node has this name (a listing the program wrote never
    // holds a name twice).
    bool firstOfName = true;

    SnapshotRecord record() const { return SnapshotRecord::FromBytes(bytes); }
    // The name up to its NUL, or the whole field when it holds none.
    std::string_view Name() const;
};

struct SnapshotLoad {
    bool readable = true;  // false: the file exists but could not be read
    int count = 0;         // records loaded
};

// A listing loaded for one scan. Each scan has its own, so scans of different
// settings never share one.
class FolderSnapshot {
public:
    FolderSnapshot() = default;
    FolderSnapshot(const FolderSnapshot&) = delete;
    FolderSnapshot& operator=(const FolderSnapshot&) = delete;

    // The records in file order.
    const std::vector<SnapshotNode>& nodes() const { return nodes_; }
    int size() const { return static_cast<int>(nodes_.size()); }

    // The listing file's bytes as loaded; empty when there was no file.
    std::optional<std::span<const std::uint8_t>> fileBytes() const;

private:
    friend SnapshotLoad LoadSnapshot(int entryIndex, FolderSnapshot& snapshot);
    friend SnapshotMatch MatchFile(FolderSnapshot& snapshot, const SnapshotRecord& scanned);
    friend void ClearSnapshot(FolderSnapshot& snapshot);

    std::size_t FindFirstOfName(std::string_view name);

    bool fileRead_ = false;
    std::vector<std::uint8_t> listingBytes_;  // the file as read; the nodes point into it
    std::vector<SnapshotNode> nodes_;
    // A folder that has not changed is searched in the order of its listing,
    // so a lookup first tries the node after the last one matched.
    std::size_t expectedNext_ = 0;
    // Name to the first node of that name, for the lookups the order does
    // not answer, so a lookup never walks the list: an open-addressing table
    // of node positions + 1 (0 is a free slot), one allocation per listing.
    void BuildNameIndex();
    std::vector<std::uint32_t> nameSlots_;
};

// Loads the listing of an entry index into an empty snapshot. A missing file
// gives no record; a trailing piece shorter than a record is ignored.
SnapshotLoad LoadSnapshot(int entryIndex, FolderSnapshot& snapshot);

// Looks a scanned file up by its whole name, byte for byte (so case counts),
// marks the node it matched as seen and tells how the file compares.
SnapshotMatch MatchFile(FolderSnapshot& snapshot, const SnapshotRecord& scanned);

void ClearSnapshot(FolderSnapshot& snapshot);

// The bytes of a listing file, record after record, made beside the bytes the
// file holds now (`current`, empty when there is no file): while the records
// repeat those, nothing is copied, and a folder found as listed costs no more
// than the comparison.
class ListingBytes {
public:
    explicit ListingBytes(std::optional<std::span<const std::uint8_t>> current);
    void Append(const SnapshotRecord& record);
    // The file holds these bytes already.
    bool HeldByCurrent() const;
    std::span<const std::uint8_t> bytes() const;

private:
    std::optional<std::span<const std::uint8_t>> current_;
    std::size_t size_ = 0;
    bool diverged_ = false;
    std::vector<std::uint8_t> bytes_;
};

// What became of a listing that was stored.
enum class ListingWrite {
    Stored,             // the file holds it
    NowKeptInMemory,    // the file could not be written (disk full, no permission)
    StillKeptInMemory,  // nor could it be this time
    WrittenAgain,       // the file holds it again after it had been kept in memory
};

// Lists the setting's folder and replaces the listing of its entry index as a
// whole; a file that already holds that listing is left alone. A listing the
// file cannot take is kept in memory: LoadSnapshot gives it instead of the
// stale file, so that a full disk never has the same file reacted to twice,
// and the file is written once writing works again.
ListingWrite WriteSnapshot(int entryIndex, const WatchEntry& entry);

// Replaces the listing of an entry index with `listing` as WriteSnapshot
// does: not at all when the file holds it already.
ListingWrite StoreListing(int entryIndex, const ListingBytes& listing);

}  // namespace molvar::config
