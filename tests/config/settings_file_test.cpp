// The setting record's layout, the settings file and the list's working copy.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <cstring>

#include "config/settings_file.h"
#include "config/watch_record.h"
#include "support/test_support.h"

namespace molvar::config {
namespace {

namespace fs = std::filesystem;
using text::Cp932String;
using Texts = std::vector<std::string>;

// A setting with leftovers after the NUL of its program, which a save must
// carry along.
WatchFileRecord MakeRecord(const std::string& title, std::int16_t running) {
    WatchFileRecord record;
    record.running = running;
    test::Store(record.entry.title, text::Cp932String::FromBytes(title));
    record.entry.program.fill('\x7F');
    record.entry.program[0] = '\0';
    return record;
}

class SettingsFileTest : public ::testing::Test {
protected:
    fs::path SettingsFile() const { return dataFolder_.Obsdat() / "dirinfo.dat"; }

    test::TempFolder data_;
    test::ScopedDataFolder dataFolder_{data_.path()};
    test::EffectRecorder recorder_;
};

TEST_F(SettingsFileTest, LoadsTheRunningSettingsOfTheFirstHundredWholeRecords) {
    // A missing or unreadable file leaves the table as it was.
    WatchTable table{};
    table[0] = MakeRecord("kept", 1).entry;
    int entryCount = 1;
    EXPECT_EQ(LoadWatchTable(table, entryCount), SettingsFileState::Missing);
    fs::create_directory(SettingsFile());  // exists, but cannot be read as a file
    EXPECT_EQ(LoadWatchTable(table, entryCount), SettingsFileState::Unreadable);
    EXPECT_EQ(entryCount, 1);
    EXPECT_EQ(FieldText(table[0].title).bytes(), "kept");
    WatchRecordList list;
    EXPECT_EQ(LoadRecordList(list).state, SettingsFileState::Unreadable);
    EXPECT_TRUE(list.empty());
    fs::remove(SettingsFile());

    // Every third record is stopped; running may be any value other than 0.
    // An empty file holds no setting, nor does a piece shorter than a record.
    std::vector<WatchFileRecord> records;
    for (int k = 0; k < 101; ++k) records.push_back(MakeRecord(std::to_string(k), static_cast<std::int16_t>(k % 3 - 1)));
    const auto bytes = test::BytesOfRecords(records);
    for (const auto& [size, running] :
         {std::pair<std::size_t, int>{0, 0}, {2 * WatchFileRecord::kSize + 100, 1}, {bytes.size(), 67}}) {
        test::WriteBytes(SettingsFile(), std::vector(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_EQ(LoadWatchTable(table, entryCount), SettingsFileState::Loaded);
        EXPECT_EQ(entryCount, running) << size << " bytes";
    }
    EXPECT_EQ(table[0], records[0].entry);
    EXPECT_EQ(table[1], records[2].entry);
    EXPECT_EQ(table[66], records[99].entry);

    // The list takes every record, running or stopped, and saves them byte for byte.
    const RecordListLoad load = LoadRecordList(list);
    EXPECT_EQ(std::pair(load.state, load.count), std::pair(SettingsFileState::Loaded, 100));
    EXPECT_TRUE(SaveRecordList(list, load.count));
    EXPECT_EQ(test::ReadBytes(SettingsFile()), std::vector(bytes.begin(), bytes.end() - WatchFileRecord::kSize));
    EXPECT_TRUE(recorder_.events().empty());
}

TEST_F(SettingsFileTest, ListOperationsKeepTheOrderTheListShows) {
    WatchRecordList list;
    for (const char* title : {"Red", "Green", "Blue", "White"}) ASSERT_TRUE(AppendRecord(list, MakeRecord(title, 1)));
    RemoveRecordAt(list, 0);
    RemoveRecordAt(list, 2);  // the last one
    RemoveRecordAt(list, 7);  // none there
    Texts titles;
    for (const auto& record : list) titles.push_back(FieldText(record.entry.title).bytes());
    EXPECT_EQ(titles, (Texts{"Green", "Blue"}));

    AppendRecord(list, MakeRecord("Black", 1));
    EXPECT_TRUE(ReplaceRecordAt(list, 1, MakeRecord("Cyan", 0)));
    EXPECT_FALSE(ReplaceRecordAt(list, 3, MakeRecord("None", 1)));
    EXPECT_FALSE(ReplaceRecordAt(list, -1, MakeRecord("None", 1)));
    EXPECT_EQ(list.At(1)->running, 0);
    EXPECT_EQ(list.At(3), nullptr);
    EXPECT_TRUE(SaveRecordList(list, 5));  // never more than the list holds
    EXPECT_EQ(test::ReadBytes(SettingsFile()),
              test::BytesOfRecords(std::vector{MakeRecord("Green", 1), MakeRecord("Cyan", 0), MakeRecord("Black", 1)}));
}

TEST_F(SettingsFileTest, AFileThatCannotBeWrittenIsReportedAndKept) {
    const auto old = test::BytesOfRecords(std::vector{MakeRecord("old", 1)});
    test::WriteBytes(SettingsFile(), old);
    WatchRecordList list;
    for (int k = 0; k < 10; ++k) AppendRecord(list, MakeRecord("new", 1));
    // Each failure tells the user, keeps the old file and leaves no temporary file behind.
    std::size_t messages = 0;
    const auto expectRefused = [&] {
        EXPECT_FALSE(SaveRecordList(list, list.size()));
        EXPECT_EQ(recorder_.events(), Texts(++messages, "message:書込みファイルオープンエラー"));
        EXPECT_EQ(test::ReadBytes(SettingsFile()), old);
        EXPECT_EQ(test::FolderNames(dataFolder_.Obsdat()), Texts{"dirinfo.dat"});
    };
    fs::permissions(SettingsFile(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    expectRefused();
    fs::permissions(SettingsFile(), fs::perms::owner_write, fs::perm_options::add);
#ifndef _WIN32
    // The disk fills up while writing: writes beyond 1000 bytes fail with
    // EFBIG, as on a full disk. Windows has no such limit for one process.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit diskFull{1000, saved.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &diskFull);
    expectRefused();
    ::setrlimit(RLIMIT_FSIZE, &saved);
#endif
    // No data folder at all.
    fs::remove_all(dataFolder_.Obsdat());
    EXPECT_FALSE(SaveRecordList(list, 1));
    EXPECT_EQ(recorder_.events().size(), messages + 1);
}

using Record = std::array<std::uint8_t, WatchFileRecord::kSize>;

// A record written byte by byte from the documented layout: the numbers
// (running .. overwriteMoved), then the texts (title .. soundFile), over
// bytes that an older version of a text would leave after its NUL.
Record RecordBytes(const std::vector<int>& numbers, const std::vector<std::string>& texts) {
    Record bytes;
    bytes.fill(0xCC);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(numbers[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>((numbers[i] >> 8) & 0xFF);
    }
    const std::size_t offsets[] = {18, 76, 204, 248, 376, 504};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::memcpy(bytes.data() + offsets[i], texts[i].c_str(), texts[i].size() + 1);
    }
    return bytes;
}

// Distinct, so that two fields read from each other's place show, and some
// negative.
const std::vector<int> kNumbers = {2, 11, 12, 13, -14, 15, 16, 17, -3};
const std::vector<std::string> kTexts = {"Inbox", "D:\\In", "*.csv", "C:\\Tools\\conv.exe", "D:\\Done", "C:\\ding.wav"};

// Writing every field at its offset: see PutSettingIntoRecord below.
TEST(WatchFileRecord, ReadsEveryFieldAtItsOffset) {
    const Record bytes = RecordBytes(kNumbers, kTexts);
    const WatchFileRecord record = WatchFileRecord::FromBytes(bytes);
    const WatchEntry& e = record.entry;
    EXPECT_EQ((std::vector<int>{record.running, e.targetKind, e.triggerKind, e.showMessage, e.soundKind, e.afterAction,
                                e.openTarget, e.waitForExit, e.overwriteMoved}),
              kNumbers);
    EXPECT_EQ((std::vector<std::string>{FieldText(e.title).bytes(), FieldText(e.folder).bytes(),
                                        FieldText(e.namePattern).bytes(), FieldText(e.program).bytes(),
                                        FieldText(e.moveFolder).bytes(), FieldText(e.soundFile).bytes()}),
              kTexts);
    // The entry is the record without its first two bytes.
    std::array<std::uint8_t, WatchEntry::kSize> entryBytes{};
    e.ToBytes(entryBytes);
    EXPECT_TRUE(std::equal(entryBytes.begin(), entryBytes.end(), bytes.begin() + 2));
    EXPECT_EQ(WatchEntry::FromBytes(entryBytes), e);
}

// Dialog values put over a stopped setting's record: it runs, flags are
// stored as 1, texts are cut to their stored lengths without splitting a
// character, and the bytes after each NUL stay as they were.
TEST(PutSettingIntoRecord, CutsTextsStoresFlagsAndKeepsTheBytesAfterEachText) {
    WatchFileRecord record = WatchFileRecord::FromBytes(RecordBytes(kNumbers, kTexts));
    record.running = 0;
    WatchSettingValues values = SettingFromRecord(record);
    EXPECT_EQ(std::pair(values.openTarget, values.waitForExit), std::pair(1, 1));  // check boxes: 0 or 1
    values.showMessage = values.openTarget = values.waitForExit = -1;  // any value other than 0
    values.title = test::Sj(std::u8string(55, u8'a') + u8"あ");        // 57 bytes, a lead byte at 56
    values.folder = Cp932String::FromBytes(std::string(126, 'f'));
    values.namePattern = Cp932String::FromBytes(std::string(45, '*'));
    values.moveFolder = Cp932String::FromBytes(std::string(127, 'm'));  // the page admits 127
    PutSettingIntoRecord(values, record);
    Record written{};
    record.ToBytes(written);
    EXPECT_EQ(written, RecordBytes({1, 11, 12, 1, -14, 15, 1, 1, 1},
                                   {std::string(55, 'a'), std::string(126, 'f'), std::string(40, '*'), kTexts[3],
                                    std::string(126, 'm'), kTexts[5]}));
}

}  // namespace
}  // namespace molvar::config
