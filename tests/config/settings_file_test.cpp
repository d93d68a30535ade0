#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <filesystem>

#include "config/data_folder.h"
#include "config/settings_file.h"
#include "support/test_support.h"

namespace molvar::config {
namespace {

namespace fs = std::filesystem;
using test::Sj;
using test::SjPath;

#ifndef _WIN32
// Lets writes beyond `bytes` fail with EFBIG, as a full disk fails them.
// Windows has no such limit for one process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : previousHandler_(::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    sighandler_t previousHandler_;
};
#endif

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

std::vector<std::uint8_t> FileOf(const std::vector<WatchFileRecord>& records) { return test::BytesOfRecords(records); }

std::vector<std::string> Titles(const WatchRecordList& list) {
    std::vector<std::string> titles;
    for (const auto& record : list) {
        titles.push_back(FieldText(record.entry.title).bytes());
    }
    return titles;
}

class SettingsFileTest : public ::testing::Test {
protected:
    fs::path SettingsFile() const { return dataFolder_.Obsdat() / "dirinfo.dat"; }
    void WriteSettings(const std::vector<std::uint8_t>& bytes) const { test::WriteBytes(SettingsFile(), bytes); }

    test::TempFolder data_;
    test::ScopedDataFolder dataFolder_{data_.path()};
    test::EffectRecorder recorder_;
};

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

    // An empty file is no settings, read successfully.
    fs::remove(SettingsFile());
    WriteSettings({});
    EXPECT_EQ(LoadWatchTable(table, entryCount), SettingsFileState::Loaded);
    EXPECT_EQ(entryCount, 0);
}

TEST_F(SettingsFileTest, LoadsTheFirstHundredWholeRecordsAndSavesThemByteForByte) {
    // Every third record is stopped; running may be any non-zero value.
    std::vector<WatchFileRecord> records;
    for (int k = 0; k < 101; ++k) {
        records.push_back(MakeRecord("s" + std::to_string(k), static_cast<std::int16_t>(k % 3 == 1 ? 0 : k % 3 + 1)));
    }
    auto bytes = FileOf(records);
    bytes.resize(bytes.size() + 100, 0xAB);  // and a trailing piece of a record
    WriteSettings(bytes);

    WatchTable table{};
    int entryCount = -1;
    EXPECT_EQ(LoadWatchTable(table, entryCount), SettingsFileState::Loaded);
    ASSERT_EQ(entryCount, 67);
    EXPECT_EQ(table[0], records[0].entry);
    EXPECT_EQ(table[1], records[2].entry);
    EXPECT_EQ(table[66], records[99].entry);

    WatchRecordList list;
    const RecordListLoad load = LoadRecordList(list);
    EXPECT_EQ(load.state, SettingsFileState::Loaded);
    EXPECT_EQ(load.count, 100);
    EXPECT_TRUE(SaveRecordList(list, load.count));
    bytes.resize(100 * WatchFileRecord::kSize);
    EXPECT_EQ(test::ReadBytes(SettingsFile()), bytes);
    EXPECT_TRUE(recorder_.events().empty());
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

    EXPECT_TRUE(SaveRecordList(list, 5));  // never more than the list holds
    EXPECT_EQ(test::ReadBytes(SettingsFile()),
              FileOf({MakeRecord("Green", 1), MakeRecord("Cyan", 0), MakeRecord("Black", 1)}));
}

TEST_F(SettingsFileTest, AFileThatCannotBeWrittenIsReportedAndKept) {
    const auto old = FileOf({MakeRecord("old", 1)});
    WriteSettings(old);
    fs::permissions(SettingsFile(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    WatchRecordList list;
    AppendRecord(list, MakeRecord("new", 1));

    EXPECT_FALSE(SaveRecordList(list, 1));
    EXPECT_EQ(recorder_.events(), std::vector<std::string>{"message:書込みファイルオープンエラー"});
    EXPECT_EQ(test::ReadBytes(SettingsFile()), old);

    // No temporary file is left behind.
    EXPECT_EQ(test::FolderNames(data_.path() / "obsdat"), std::vector<std::string>{"dirinfo.dat"});
    fs::permissions(SettingsFile(), fs::perms::owner_write, fs::perm_options::add);
    std::size_t messages = 1;

#ifndef _WIN32
    // The disk fills up while writing: the same message, and still the old file.
    for (int k = 0; k < 9; ++k) {
        AppendRecord(list, MakeRecord("more", 1));
    }
    {
        FileSizeLimit diskFull(1000);
        EXPECT_FALSE(SaveRecordList(list, list.size()));
    }
    EXPECT_EQ(recorder_.events().size(), ++messages);
    EXPECT_EQ(test::ReadBytes(SettingsFile()), old);
    EXPECT_EQ(test::FolderNames(data_.path() / "obsdat"), std::vector<std::string>{"dirinfo.dat"});
#endif

    // No data folder at all.
    fs::remove_all(data_.path() / "obsdat");
    EXPECT_FALSE(SaveRecordList(list, 1));
    EXPECT_EQ(recorder_.events().size(), messages + 1);
}

}  // namespace
}  // namespace molvar::config
