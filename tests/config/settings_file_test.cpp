#include <gtest/gtest.h>

#include <filesystem>

#include "config/data_folder.h"
#include "config/settings_file.h"
#include "support/test_support.h"

namespace molvar::config {
namespace {

namespace fs = std::filesystem;
using test::Sj;
using test::SjPath;

WatchFileRecord MakeRecord(const std::string& title, std::int16_t running) {
    WatchFileRecord record;
    record.running = running;
    text::StoreField(record.entry.title, text::Cp932String::FromBytes(title), text_limit::title);
    text::StoreField(record.entry.folder, text::Cp932String::FromBytes("/watch/" + title), text_limit::folder);
    // Leftovers after the NULs, which a save must carry along.
    record.entry.program.fill('\x7F');
    record.entry.program[0] = '\0';
    return record;
}

std::vector<std::uint8_t> FileOf(const std::vector<WatchFileRecord>& records) {
    std::vector<std::uint8_t> bytes(records.size() * WatchFileRecord::kSize);
    for (std::size_t k = 0; k < records.size(); ++k) {
        records[k].ToBytes(std::span<std::uint8_t, WatchFileRecord::kSize>(bytes.data() + k * WatchFileRecord::kSize,
                                                                           WatchFileRecord::kSize));
    }
    return bytes;
}

std::vector<std::string> Titles(const WatchRecordList& list) {
    std::vector<std::string> titles;
    for (const auto& record : list) {
        titles.push_back(FieldText(record.entry.title).bytes());
    }
    return titles;
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(data_.path() / "obsdat");
        savedBase_ = g_baseFolder;
        g_baseFolder = SjPath(data_.path());
    }
    void TearDown() override { g_baseFolder = savedBase_; }

    fs::path SettingsFile() const { return data_.path() / "obsdat" / "dirinfo.dat"; }
    void WriteSettings(const std::vector<std::uint8_t>& bytes) const { test::WriteBytes(SettingsFile(), bytes); }

    test::TempFolder data_;
    text::Cp932String savedBase_;
    test::EventLog log_;
    test::RecordingMessageBoxes boxes_{log_};
    framework::ScopedMessageBoxPresenter installBoxes_{boxes_};
};

TEST_F(SettingsFileTest, PathsLieInObsdat) {
    EXPECT_EQ(SettingsFilePath(), SjPath(SettingsFile()));
    EXPECT_EQ(ListingFilePath(12), SjPath(data_.path() / "obsdat" / "12.dir"));
}

TEST_F(SettingsFileTest, TheTableHoldsRunningSettingsOnlyInFileOrder) {
    WriteSettings(FileOf({MakeRecord("zero", 1), MakeRecord("one", 0), MakeRecord("two", 2)}));
    WatchTable table{};
    int entryCount = -1;
    EXPECT_EQ(LoadWatchTable(table, entryCount), SettingsFileState::Loaded);
    ASSERT_EQ(entryCount, 2);
    EXPECT_EQ(FieldText(table[0].title).bytes(), "zero");
    EXPECT_EQ(FieldText(table[1].title).bytes(), "two");
    EXPECT_EQ(table[1], MakeRecord("two", 2).entry);
}

TEST_F(SettingsFileTest, AMissingOrUnreadableFileLeavesTheTableAsItWas) {
    WatchTable table{};
    table[0] = MakeRecord("kept", 1).entry;
    int entryCount = 1;
    EXPECT_EQ(LoadWatchTable(table, entryCount), SettingsFileState::Missing);
    EXPECT_EQ(entryCount, 1);

    fs::create_directory(SettingsFile());  // exists, but cannot be read as a file
    EXPECT_EQ(LoadWatchTable(table, entryCount), SettingsFileState::Unreadable);
    EXPECT_EQ(entryCount, 1);
    EXPECT_EQ(FieldText(table[0].title).bytes(), "kept");

    WatchRecordList list;
    EXPECT_EQ(LoadRecordList(list).state, SettingsFileState::Unreadable);
    EXPECT_TRUE(list.empty());
}

TEST_F(SettingsFileTest, AnEmptyFileMeansNoSettings) {
    WriteSettings({});
    WatchTable table{};
    int entryCount = 3;
    EXPECT_EQ(LoadWatchTable(table, entryCount), SettingsFileState::Loaded);
    EXPECT_EQ(entryCount, 0);
    WatchRecordList list;
    EXPECT_EQ(LoadRecordList(list).count, 0);
}

TEST_F(SettingsFileTest, OnlyTheFirstHundredWholeRecordsAreRead) {
    std::vector<WatchFileRecord> records;
    for (int k = 0; k < 101; ++k) {
        records.push_back(MakeRecord("s" + std::to_string(k), 1));
    }
    auto bytes = FileOf(records);
    bytes.resize(bytes.size() + 100, 0xAB);  // a trailing piece of a record
    WriteSettings(bytes);

    WatchTable table{};
    int entryCount = 0;
    LoadWatchTable(table, entryCount);
    EXPECT_EQ(entryCount, 100);
    EXPECT_EQ(FieldText(table[99].title).bytes(), "s99");

    WatchRecordList list;
    EXPECT_EQ(LoadRecordList(list).count, 100);
    EXPECT_EQ(SaveRecordList(list, list.size()), true);
    EXPECT_EQ(test::ReadBytes(SettingsFile()), std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 100 * 632));
}

TEST_F(SettingsFileTest, LoadingAndSavingUnchangedReproducesTheFile) {
    const auto bytes = FileOf({MakeRecord("a", 1), MakeRecord("b", 0), MakeRecord("c", -1)});
    WriteSettings(bytes);
    WatchRecordList list;
    const RecordListLoad load = LoadRecordList(list);
    EXPECT_EQ(load.state, SettingsFileState::Loaded);
    EXPECT_EQ(load.count, 3);
    EXPECT_TRUE(SaveRecordList(list, load.count));
    EXPECT_EQ(test::ReadBytes(SettingsFile()), bytes);
    EXPECT_TRUE(log_.events().empty());
}

TEST_F(SettingsFileTest, ListOperationsKeepTheOrderTheListShows) {
    WatchRecordList list;
    for (const char* title : {"Red", "Green", "Blue"}) {
        ASSERT_TRUE(AppendRecord(list, MakeRecord(title, 1)));
    }
    RemoveRecordAt(list, 0);
    AppendRecord(list, MakeRecord("White", 1));
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"Green", "Blue", "White"}));
    RemoveRecordAt(list, 2);
    AppendRecord(list, MakeRecord("Black", 1));
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"Green", "Blue", "Black"}));

    EXPECT_TRUE(ReplaceRecordAt(list, 1, MakeRecord("Cyan", 0)));
    EXPECT_FALSE(ReplaceRecordAt(list, 3, MakeRecord("None", 1)));
    EXPECT_FALSE(ReplaceRecordAt(list, -1, MakeRecord("None", 1)));
    RemoveRecordAt(list, 7);
    EXPECT_EQ(Titles(list), (std::vector<std::string>{"Green", "Cyan", "Black"}));
    EXPECT_EQ(list.At(1)->running, 0);
    EXPECT_EQ(list.At(3), nullptr);

    EXPECT_TRUE(SaveRecordList(list, 3));
    EXPECT_EQ(test::ReadBytes(SettingsFile()),
              FileOf({MakeRecord("Green", 1), MakeRecord("Cyan", 0), MakeRecord("Black", 1)}));

    // Removing the only record leaves a list that appends normally.
    WatchRecordList single;
    AppendRecord(single, MakeRecord("only", 1));
    RemoveRecordAt(single, 0);
    EXPECT_TRUE(single.empty());
    AppendRecord(single, MakeRecord("next", 1));
    EXPECT_EQ(Titles(single), std::vector<std::string>{"next"});
}

TEST_F(SettingsFileTest, SavingWritesOnlyTheCountedRecords) {
    WatchRecordList list;
    AppendRecord(list, MakeRecord("a", 1));
    AppendRecord(list, MakeRecord("b", 1));
    EXPECT_TRUE(SaveRecordList(list, 1));
    EXPECT_EQ(test::ReadBytes(SettingsFile()).size(), 632u);
    EXPECT_TRUE(SaveRecordList(list, 5));  // never more than the list holds
    EXPECT_EQ(test::ReadBytes(SettingsFile()).size(), 2 * 632u);
    EXPECT_TRUE(SaveRecordList(list, 0));
    EXPECT_EQ(test::ReadBytes(SettingsFile()).size(), 0u);
}

TEST_F(SettingsFileTest, AFileThatCannotBeWrittenIsReportedAndKept) {
    const auto old = FileOf({MakeRecord("old", 1)});
    WriteSettings(old);
    fs::permissions(SettingsFile(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    WatchRecordList list;
    AppendRecord(list, MakeRecord("new", 1));

    EXPECT_FALSE(SaveRecordList(list, 1));
    EXPECT_EQ(log_.events(), std::vector<std::string>{"message:書込みファイルオープンエラー"});
    EXPECT_EQ(test::ReadBytes(SettingsFile()), old);

    // No data folder at all.
    fs::permissions(SettingsFile(), fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(data_.path() / "obsdat");
    EXPECT_FALSE(SaveRecordList(list, 1));
    EXPECT_EQ(log_.events().size(), 2u);
    EXPECT_FALSE(fs::exists(SettingsFile()));
}

}  // namespace
}  // namespace molvar::config
