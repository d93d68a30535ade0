#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>

#include "config/data_folder.h"
#include "config/snapshot.h"
#include "platform/native_path.h"
#include "support/test_support.h"

namespace molvar::config {
namespace {

namespace fs = std::filesystem;
using test::Sj;
using test::SjPath;
using test::Store;
using Bytes = std::vector<std::uint8_t>;

SnapshotRecord Record(std::string_view name, std::uint32_t size, std::uint32_t date, std::uint32_t time) {
    SnapshotRecord record;
    std::copy(name.begin(), name.end(), record.fileName.begin());
    record.fileSize = size;
    record.writeDate = date;
    record.writeTime = time;
    return record;
}

class SnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(watched_);
        Store(entry_.folder, SjPath(watched_));
    }

    test::TempFolder root_;
    test::ScopedDataFolder dataFolder_{root_.path() / "data"};
    fs::path watched_ = root_.path() / u8"受信";
    WatchEntry entry_;
};

// The local time of the file's own time, with the bias in force then: with
// today's, every file would look changed after each daylight-saving switch.
TEST_F(SnapshotTest, ARecordHoldsLowSizeLocalDateAndTimeAndTheName) {
    const test::ScopedCentralEuropeanTime zone;
    if (!zone.active()) {
        GTEST_SKIP() << "needs Central European time (TZ=" << test::kCentralEuropeanTimeZone << " under Wine)";
    }
    const fs::path file = watched_ / "report.csv";
    test::WriteText(file, "");
    fs::resize_file(file, 5'000'000'000);  // sparse; only the low 32 bits are kept
    test::SetLastWriteTime(file, 1299139507);  // 2011-03-03 09:05:07 in winter

    WriteSnapshot(3, entry_);
    const Bytes bytes = test::ReadBytes(dataFolder_.ListingFile(3));
    ASSERT_EQ(bytes.size(), 144u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 16), (Bytes{0x00, 0xF2, 0x05, 0x2A,    // 705,032,704
                                                                0xDF, 0xDB, 0x32, 0x01,    // 20110303
                                                                0x8B, 0x61, 0x01, 0x00,    // 90507
                                                                0x00, 0x00, 0x00, 0x00}));  // reserved
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[16])), "report.csv");

    // Growing the file by exactly 4 GiB is no size change.
    FolderSnapshot listing;
    EXPECT_EQ(LoadSnapshot(3, listing).count, 1);
    EXPECT_EQ(listing.nodes()[0].record().fileSize, 705'032'704u);
    fs::resize_file(file, 5'000'000'000 + (std::uint64_t{1} << 32));
    test::SetLastWriteTime(file, 1299139507);
    EXPECT_EQ(MatchFile(listing, FolderFiles(entry_).Next()->record), SnapshotMatch::Unchanged);

    // In summer the bias is another.
    test::SetLastWriteTime(file, 1310731200);  // 2011-07-15 12:00:00 UTC
    const SnapshotRecord summer = FolderFiles(entry_).Next()->record;
    EXPECT_EQ(std::pair(summer.writeDate, summer.writeTime), std::pair(20110715u, 140000u));
}

// Every file is listed: by its code page 932 name where it has one that fits,
// else by the substitute of its native name. Folders, FIFOs and files the
// pattern does not take are not.
TEST_F(SnapshotTest, AListingHoldsTheMatchingFilesOnlyEachByItsNameOrSubstitute) {
    test::WriteText(watched_ / "a.txt", "a");
    test::WriteText(watched_ / "b.csv", "b");
    fs::create_directory(watched_ / "c.csv");
    test::WriteText(watched_ / std::string(127, 'n'), "fits");
    test::WriteText(watched_ / std::string(128, 'n'), "too long for a record");
    test::WriteText(watched_ / u8"\u00e9.csv", "");  // no code page 932 name
    std::vector<std::string> csv = {SubstituteName(test::Native("\u00e9.csv")), "b.csv"};
#ifndef _WIN32
    ::mkfifo((watched_ / "pipe.csv").c_str(), 0600);  // neither file nor folder
    test::WriteText(watched_ / "\xff.csv", "");       // not even UTF-8
    csv.push_back(SubstituteName(test::Native("\xff.csv")));
#endif
    std::sort(csv.begin(), csv.end());
    std::vector<std::string> all = csv;
    all.insert(all.end(), {"a.txt", std::string(127, 'n'), SubstituteName(test::Native(std::string(128, 'n')))});
    std::sort(all.begin(), all.end());

    WriteSnapshot(0, entry_);
    const Bytes listing = test::ReadBytes(dataFolder_.ListingFile(0));
    EXPECT_EQ(dataFolder_.ListedNames(0), all);
    // A file that starts with the new listing but goes on is rewritten.
    Bytes longer = listing;
    longer.resize(listing.size() + 10, 'x');
    test::WriteBytes(dataFolder_.ListingFile(0), longer);
    WriteSnapshot(0, entry_);
    EXPECT_EQ(test::ReadBytes(dataFolder_.ListingFile(0)), listing);

    entry_.targetKind = NamedFiles;
    Store(entry_.namePattern, Sj(u8"*.CSV"));
    WriteSnapshot(0, entry_);
    EXPECT_EQ(dataFolder_.ListedNames(0), csv);

    // A pattern that reaches into another folder finds nothing.
    fs::create_directory(watched_ / "sub");
    test::WriteText(watched_ / "sub" / "d.csv", "d");
    Store(entry_.namePattern, Sj(u8"sub\\*.csv"));
    WriteSnapshot(0, entry_);
    EXPECT_TRUE(test::ReadBytes(dataFolder_.ListingFile(0)).empty());
}

// The listing's format is as it was: an older copy's listing loads record for
// record, and a substitute written now is found again by the next search.
// (A listing that is missing or cannot be read: see the scan's tests.)
TEST_F(SnapshotTest, OldListingsLoadAsTheyWereAndSubstitutesRoundTrip) {
    // MurmurHash3 x64 128 of "hello", h1 then h2: stored substitutes never change.
    EXPECT_EQ(SubstituteName(platform::NativePath::FromOsBytes("hello")), "/cbd8a7b341bd9b025b1e906a48ae1d19");
    // A name without NUL is read to the end of its field; a trailing piece
    // shorter than a record is ignored.
    const std::vector old = {Record(Sj(u8"表.txt").bytes(), 1, 20120422, 140509), Record(std::string(128, 'x'), 2, 3, 4)};
    const Bytes oldBytes = test::BytesOfRecords(old);
    Bytes withTail = oldBytes;
    withTail.resize(oldBytes.size() + 100, 'x');
    test::WriteBytes(dataFolder_.ListingFile(2), withTail);
    FolderSnapshot listing;
    ASSERT_EQ(LoadSnapshot(2, listing).count, 2);
    EXPECT_EQ(listing.nodes()[1].Name(), std::string(128, 'x'));
    EXPECT_EQ(test::BytesOfRecords(std::vector{listing.nodes()[0].record(), listing.nodes()[1].record()}), oldBytes);

    test::WriteText(watched_ / test::Utf8Path("写真😀.jpg"), "x");
    test::WriteText(watched_ / u8"表.txt", "y");
    WriteSnapshot(2, entry_);
    EXPECT_EQ(dataFolder_.ListedNames(2),
              (std::vector<std::string>{SubstituteName(test::Native("写真😀.jpg")), Sj(u8"表.txt").bytes()}));
    ClearSnapshot(listing);
    ASSERT_EQ(LoadSnapshot(2, listing).count, 2);
    FolderFiles files(entry_);
    while (const auto file = files.Next()) {
        EXPECT_EQ(MatchFile(listing, file->record), SnapshotMatch::Unchanged) << file->record.Name();
    }
}

TEST_F(SnapshotTest, MatchFileComparesWholeNamesThenSizeDateAndTime) {
    test::WriteBytes(dataFolder_.ListingFile(1),
                     test::BytesOfRecords(std::vector{
                         Record("same.txt", 10, 20120422, 140509), Record("size.txt", 10, 20120422, 140509),
                         Record("date.txt", 10, 20120422, 140509), Record("time.txt", 10, 20120422, 140509),
                         Record("report.txt.bak", 1, 1, 1), Record("a.txt", 1, 1, 1), Record("twice", 1, 1, 1),
                         Record("twice", 2, 2, 2)}));
    FolderSnapshot listing;
    ASSERT_EQ(LoadSnapshot(1, listing).count, 8);

    EXPECT_EQ(MatchFile(listing, Record("same.txt", 10, 20120422, 140509)), SnapshotMatch::Unchanged);
    // The size is compared first, then the date, then the time.
    EXPECT_EQ(MatchFile(listing, Record("size.txt", 11, 20120423, 140510)), SnapshotMatch::SizeChanged);
    EXPECT_EQ(MatchFile(listing, Record("date.txt", 10, 20120423, 140510)), SnapshotMatch::DateChanged);
    EXPECT_EQ(MatchFile(listing, Record("time.txt", 10, 20120422, 140510)), SnapshotMatch::TimeChanged);
    // Names match whole and with their case.
    EXPECT_EQ(MatchFile(listing, Record("report.txt", 1, 1, 1)), SnapshotMatch::NotListed);
    EXPECT_EQ(MatchFile(listing, Record("A.txt", 1, 1, 1)), SnapshotMatch::NotListed);
    // Of two nodes of one name (never written by the program) the first
    // counts, even when the lookup stands right before the second.
    EXPECT_EQ(MatchFile(listing, Record("twice", 1, 1, 1)), SnapshotMatch::Unchanged);
    EXPECT_EQ(MatchFile(listing, Record("twice", 2, 2, 2)), SnapshotMatch::SizeChanged);

    std::vector<int> seen;
    for (const SnapshotNode& node : listing.nodes()) seen.push_back(node.seen);
    EXPECT_EQ(seen, (std::vector<int>{1, 1, 1, 1, 0, 0, 1, 0}));

    // Nothing of the cleared listing is found any more.
    ClearSnapshot(listing);
    EXPECT_EQ(MatchFile(listing, Record("same.txt", 10, 20120422, 140509)), SnapshotMatch::NotListed);
}

}  // namespace
}  // namespace molvar::config
