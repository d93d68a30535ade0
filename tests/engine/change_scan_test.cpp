#include <gtest/gtest.h>

#include <filesystem>

#include "config/data_folder.h"
#include "config/snapshot.h"
#include "engine/change_scan.h"
#include "platform/directory_search.h"
#include "support/test_support.h"
#include "text/convert.h"

namespace molvar::engine {
namespace {

namespace fs = std::filesystem;
using config::WatchEntry;
using test::Sj;
using test::SjPath;
using test::Store;
using Events = std::vector<std::string>;
using Names = std::vector<std::string>;

class ChangeScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(watched_);
        fs::create_directory(done_);
        Store(entry_.folder, SjPath(watched_));
        Store(entry_.moveFolder, SjPath(done_));
        Store(entry_.program, Sj(u8"conv"));
        entry_.showMessage = 1;
        entry_.openTarget = 1;
        ResetLastScanTimes();
        effects_.calendarTime = 1'000'000;
    }

    // Takes the folder as it is now, as the start of the watch does.
    void Baseline() { config::WriteSnapshot(0, entry_); }

    // What a change report well after the previous one does.
    Events Report() { return ReportAt(effects_.calendarTime + 10); }
    Events ReportAt(std::int64_t time, ReportOutcome expected = ReportOutcome::Scanned) {
        effects_.calendarTime = time;
        return Effects([&] { EXPECT_EQ(ScanForChanges(0, entry_, effects_), expected) << "report at " << time; });
    }
    template <class Action>
    Events Effects(Action action) {
        const std::size_t before = effects_.events().size();
        action();
        const Events all = effects_.events();
        return Events(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    }

    std::string Told() const { return "message:" + test::Utf8(watched_) + "を実行します。"; }

    // One notice, then the program with each file (and the pause after it).
    Events Changed(const Names& names) const {
        Events events{Told()};
        for (const std::string& name : names) {
            events.insert(events.end(), {"shell-run:conv|" + test::Utf8(watched_ / test::Utf8Path(name)), "sleep:1000"});
        }
        return events;
    }
    // One notice, then the program once per vanished file, without a file.
    Events Vanished(int count) const {
        Events events{Told()};
        for (int k = 0; k < count; ++k) {
            events.insert(events.end(), {"shell-run:conv|(none)", "sleep:1000"});
        }
        return events;
    }

    // The files of the watched folder in the order of the directory search.
    Names SearchOrder() const {
        Names names;
        platform::DirectorySearch search(SjPath(watched_), text::Cp932String::FromBytes("*"));
        while (auto item = search.Next()) {
            if (!item->isDirectory) {
                names.push_back(text::ToUtf8ForDisplay(item->name));
            }
        }
        return names;
    }

    Names Listed() const {
        config::FolderSnapshot listing;
        config::LoadSnapshot(0, listing);
        Names names;
        for (const auto& node : listing.nodes()) {
            names.push_back(text::ToUtf8ForDisplay(text::Cp932String::FromBytes(node.Name())));
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempFolder root_;
    test::ScopedDataFolder dataFolder_{root_.path() / "data"};
    fs::path watched_ = root_.path() / u8"受信";
    fs::path done_ = root_.path() / "done";
    WatchEntry entry_;
    test::EffectRecorder effects_;
};

TEST_F(ChangeScanTest, AReportScansOnlyAfterThreeQuietSecondsAndDefersTheRest) {
    Baseline();
    test::WriteText(watched_ / "a.txt", "a");
    // The first report after the reset always scans.
    EXPECT_EQ(ReportAt(1000), Changed({"a.txt"}));

    // Reports within 3 seconds of the previous one are deferred, each from
    // the one before; the listing is neither read nor written meanwhile.
    test::WriteText(watched_ / "b.txt", "b");
    EXPECT_EQ(ReportAt(1002, ReportOutcome::Deferred), Events{});
    fs::remove(dataFolder_.ListingFile(0));
    EXPECT_EQ(ReportAt(1004, ReportOutcome::Deferred), Events{});
    EXPECT_FALSE(fs::exists(dataFolder_.ListingFile(0)));
    // The scan they are owed is no report: the time of the last one stays.
    EXPECT_EQ(Effects([&] { ScanAfterQuietInterval(0, entry_, effects_); }), Changed(SearchOrder()));
    EXPECT_EQ(g_lastScanTime[0], 1004u);
    EXPECT_EQ(ReportAt(1007), Events{});
    EXPECT_EQ(Listed(), (Names{"a.txt", "b.txt"}));

    // A clock set back wraps to a large difference and scans.
    test::WriteText(watched_ / "c.txt", "c");
    EXPECT_EQ(ReportAt(500), Changed({"c.txt"}));

    // Across the wrap of the low 32 bits the difference stays exact.
    test::WriteText(watched_ / "d.txt", "d");
    EXPECT_EQ(ReportAt(0xFFFF'FFFF), Changed({"d.txt"}));
    test::WriteText(watched_ / "e.txt", "e");
    EXPECT_EQ(ReportAt(0x1'0000'0001, ReportOutcome::Deferred), Events{});
    EXPECT_EQ(ReportAt(0x1'0000'0004), Changed({"e.txt"}));
}

TEST_F(ChangeScanTest, NewAndChangedFilesAreReactedToInSearchOrderAfterOneNotice) {
    for (const char* name : {"keep.txt", "grow.txt", "touch.txt", "same.txt"}) {
        test::WriteText(watched_ / name, "1234");
        test::SetLastWriteTime(watched_ / name, 1'300'000'000);
    }
    Baseline();

    for (const char8_t* name : {u8"new1.csv", u8"報告書.csv", u8"new3.csv"}) {
        test::WriteText(watched_ / name, "n");
    }
    test::WriteText(watched_ / "grow.txt", "12345");
    test::SetLastWriteTime(watched_ / "grow.txt", 1'300'000'000);
    test::SetLastWriteTime(watched_ / "touch.txt", 1'300'000'001);
    // Other content, same size and time to the second: not seen.
    test::WriteText(watched_ / "same.txt", "abcd");
    test::SetLastWriteTime(watched_ / "same.txt", 1'300'000'000);

    entry_.afterAction = config::MoveTarget;
    entry_.triggerKind = config::CreateRenameDelete;
    Names moved;
    for (const std::string& name : SearchOrder()) {
        if (name != "keep.txt" && name != "same.txt") {
            moved.push_back(name);
        }
    }
    ASSERT_EQ(moved.size(), 5u);
    EXPECT_EQ(Report(), Changed(moved));

    // Moved away by after-processing: gone from the new listing, and so not
    // reported as vanished by the next scan.
    std::sort(moved.begin(), moved.end());
    EXPECT_EQ(test::FolderNames(done_), moved);
    EXPECT_EQ(Listed(), (Names{"keep.txt", "same.txt"}));
    EXPECT_EQ(Report(), Events{});
}

TEST_F(ChangeScanTest, VanishedFilesAreReportedOnlyWhenFewerFilesAreFound) {
    entry_.triggerKind = config::CreateRenameDelete;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        test::WriteText(watched_ / name, name);
    }
    Baseline();

    // One file deleted: one notice, one program run without a file.
    fs::remove(watched_ / "b.txt");
    EXPECT_EQ(Report(), Vanished(1));

    // A file renamed: the new name is new, the old name is not vanished.
    fs::rename(watched_ / "a.txt", watched_ / "a2.txt");
    EXPECT_EQ(Report(), Changed({"a2.txt"}));

    // One deleted and one created between two reports: only the new one.
    fs::remove(watched_ / "c.txt");
    test::WriteText(watched_ / "d.txt", "d");
    EXPECT_EQ(Report(), Changed({"d.txt"}));

    // Two vanished and one new: the passes notify separately.
    fs::remove(watched_ / "a2.txt");
    fs::remove(watched_ / "d.txt");
    test::WriteText(watched_ / "e.txt", "e");
    Events both = Changed({"e.txt"});
    const Events vanished = Vanished(2);
    both.insert(both.end(), vanished.begin(), vanished.end());
    EXPECT_EQ(Report(), both);

    // A folder that cannot be searched: every listed file has vanished, and
    // the listing written afterwards is empty.
    test::WriteText(watched_ / "f.txt", "f");
    Report();
    fs::rename(watched_, root_.path() / "elsewhere");
    EXPECT_EQ(Report(), Vanished(2));
    EXPECT_EQ(Listed(), Names{});
}

TEST_F(ChangeScanTest, AScanWithoutReactionsStoresWhatItComparedAndRewritesNothingUnchanged) {
    test::WriteText(watched_ / "a.txt", "a");
    test::WriteText(watched_ / "b.txt", "b");
    Baseline();
    // Vanished files are not reported when woken by creation and update,
    // and sub-folders never count: no reaction, but the listing follows the
    // folder.
    fs::remove(watched_ / "a.txt");
    fs::create_directory(watched_ / "sub");
    EXPECT_EQ(Report(), Events{});
    EXPECT_EQ(Listed(), (Names{"b.txt"}));

    // A listing that holds the folder already is not written again.
    const fs::path listing = dataFolder_.ListingFile(0);
    test::SetLastWriteTime(listing, 1'000'000'000);
    const auto written = fs::last_write_time(listing);
    EXPECT_EQ(Report(), Events{});
    EXPECT_EQ(fs::last_write_time(listing), written);
    // A listing file that went missing is written, empty for a folder that
    // cannot be searched.
    fs::remove(listing);
    Store(entry_.folder, SjPath(root_.path() / "missing"));
    EXPECT_EQ(Report(), Events{});
    EXPECT_TRUE(fs::exists(listing));
}

TEST_F(ChangeScanTest, WithoutAProgramTheFileIsOpenedOrLeftToAfterProcessing) {
    Store(entry_.program, text::Cp932String());
    Baseline();
    test::WriteText(watched_ / "a.txt", "a");
    EXPECT_EQ(Report(), (Events{Told(), "shell-open:" + test::Utf8(watched_ / "a.txt"), "sleep:1000"}));

    entry_.openTarget = 0;
    entry_.afterAction = config::MoveTarget;
    test::WriteText(watched_ / "b.txt", "b");
    EXPECT_EQ(Report(), (Events{Told()}));
    EXPECT_EQ(test::FolderNames(done_), (Names{"b.txt"}));
}

TEST_F(ChangeScanTest, AListingThatCannotBeReadHoldsTheScanBack) {
    test::WriteText(watched_ / "a.txt", "a");
    entry_.afterAction = config::MoveTarget;
    fs::create_directory(dataFolder_.ListingFile(0));
    // Taken for empty, it would report and move every file of the folder.
    EXPECT_EQ(Report(), Events{});
    EXPECT_TRUE(fs::exists(watched_ / "a.txt"));
}

}  // namespace
}  // namespace molvar::engine
