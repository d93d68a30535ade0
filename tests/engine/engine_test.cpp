// The engine: the change scan and its reactions, the monitor threads and the
// document's control of the watch.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "config/snapshot.h"
#include "engine/change_scan.h"
#include "engine/molvar_doc.h"
#include "engine/monitor_thread.h"
#include "engine/reactions.h"
#include "platform/directory_search.h"
#include "res/resource.h"
#include "support/test_support.h"

namespace molvar::engine {
namespace {

namespace fs = std::filesystem;
using config::WatchFileRecord;
using test::Sj;
using test::SjPath;
using test::Store;
using Events = std::vector<std::string>;
using Names = std::vector<std::string>;

// Starts real threads, counts the starts and the ends, and can refuse one.
struct Threads {
    int refuseAt = -1;  // the call that fails, counted from 0
    std::atomic<int> calls{0}, started{0};

    ThreadStarter Starter() {
        return [this](std::function<void()> body) -> std::optional<std::thread> {
            if (calls++ == refuseAt) {
                return std::nullopt;
            }
            ++started;
            return std::thread([this, body = std::move(body)] {
                body();
                const std::lock_guard lock(mutex);
                ++ended;
                endedOne.notify_all();
            });
        };
    }
    // Also threads that their document left to finish by themselves.
    bool WaitUntilAllEnded() {
        std::unique_lock lock(mutex);
        return endedOne.wait_for(lock, std::chrono::seconds(20), [this] { return ended == started; });
    }

    std::mutex mutex;
    std::condition_variable endedOne;
    int ended = 0;
};

// A message box that stays open until the test closes it.
class HeldMessageBox final : public framework::MessageBoxPresenter {
public:
    int Present(const text::Cp932String&, unsigned) override {
        std::call_once(shownOnce_, [this] { shown_.set_value(); });
        closed_.wait();
        return IDOK;
    }
    bool WaitUntilShown() { return shownFuture_.wait_for(std::chrono::seconds(20)) == std::future_status::ready; }
    void Close() { close_.set_value(); }

private:
    std::once_flag shownOnce_;
    std::promise<void> shown_, close_;
    std::future<void> shownFuture_ = shown_.get_future();
    std::shared_future<void> closed_ = close_.get_future().share();
};

class EngineTest : public ::testing::Test {
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
        effects_.localTime = platform::LocalTime{2012, 4, 22, 14, 5, 9};
    }
    void Arrive(const std::string& name) { test::WriteText(watched_ / test::Utf8Path(name), "new"); }
    void Move(const std::string& name) { AfterProcess(Sj(std::u8string(name.begin(), name.end())), entry_, effects_); }

    // Takes the folder as it is now, as the start of the watch does.
    void Baseline() { config::WriteSnapshot(0, entry_); }

    // What a change report well after the previous one does.
    Events Report() { return ReportAt(effects_.calendarTime + 10); }
    Events ReportAt(std::int64_t time, ReportOutcome expected = ReportOutcome::Scanned) {
        effects_.calendarTime = time;
        const std::size_t before = effects_.events().size();
        EXPECT_EQ(ScanForChanges(0, entry_, effects_), expected) << "report at " << time;
        const Events all = effects_.events();
        return Events(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    }

    std::string Told() const { return "message:" + test::Utf8(watched_) + "を実行します。"; }

    // One notice, then the program with each file (and the pause after it).
    Events Changed(const Names& names, const fs::path& folder = {}) const {
        const fs::path& in = folder.empty() ? watched_ : folder;
        Events events{"message:" + test::Utf8(in) + "を実行します。"};
        for (const std::string& name : names) {
            events.insert(events.end(), {"shell-run:conv|" + test::Utf8(in / test::Utf8Path(name)), "sleep:1000"});
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

    fs::path Folder(const fs::path& name) {
        fs::create_directories(root_.path() / name);
        return root_.path() / name;
    }

    // A running setting like entry_ for another folder.
    WatchFileRecord Setting(const fs::path& folder) const {
        WatchFileRecord record;
        record.running = 1;
        record.entry = entry_;
        Store(record.entry.folder, SjPath(folder));
        return record;
    }

    void WriteSettings(const std::vector<WatchFileRecord>& records) {
        test::WriteBytes(dataFolder_.Obsdat() / "dirinfo.dat", test::BytesOfRecords(records));
    }

    // The document, with a clock that lets every report scan.
    std::unique_ptr<CMolvarDoc> Open(ThreadStarter starter = {}) {
        effects_.calendarStep = 10;
        return std::make_unique<CMolvarDoc>(effects_, starter ? starter : threads_.Starter());
    }

    static bool Enabled(CMolvarDoc& doc, unsigned id) {
        framework::CCmdUI ui(id);
        EXPECT_TRUE(doc.OnCmdMsg(id, framework::CN_UPDATE_COMMAND_UI, &ui));
        return ui.m_bEnabled;
    }

    test::TempFolder root_;
    // 表 is 0x95 0x5C in code page 932: its second byte is a backslash.
    test::ScopedDataFolder dataFolder_{root_.path() / u8"データ表"};
    fs::path watched_ = root_.path() / u8"受信表";
    fs::path done_ = root_.path() / u8"済み表";
    config::WatchEntry entry_;
    test::EffectRecorder effects_;
    Threads threads_;
};

// Deferred reports and the scan they are owed: see the monitor thread's test
// below.
TEST_F(EngineTest, TheQuietIntervalIsTakenIn32BitsSoAClockSetBackScans) {
    ReportAt(1000);
    // A clock set back wraps to a large difference and scans.
    ReportAt(500);
    // Across the wrap of the low 32 bits the difference stays exact.
    ReportAt(0xFFFF'FFFF);
    ReportAt(0x1'0000'0001, ReportOutcome::Deferred);
    ReportAt(0x1'0000'0004);
}

TEST_F(EngineTest, NewAndChangedFilesAreReactedToInSearchOrderAfterOneNotice) {
    for (const char* name : {"keep.txt", "grow.txt", "touch.txt"}) {
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

    entry_.afterAction = config::MoveTarget;
    entry_.triggerKind = config::CreateRenameDelete;
    Names moved;
    for (const std::string& name : SearchOrder()) {
        if (name != "keep.txt") {
            moved.push_back(name);
        }
    }
    EXPECT_EQ(Report(), Changed(moved));

    // Moved away by after-processing: gone from the new listing, and so not
    // reported as vanished by the next scan.
    std::sort(moved.begin(), moved.end());
    EXPECT_EQ(test::FolderNames(done_), moved);
    EXPECT_EQ(dataFolder_.ListedNames(0), Names{"keep.txt"});
    EXPECT_EQ(Report(), Events{});
}

TEST_F(EngineTest, VanishedFilesAreReportedOnlyWhenFewerFilesAreFound) {
    entry_.triggerKind = config::CreateRenameDelete;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        test::WriteText(watched_ / name, name);
    }
    Baseline();

    // A file renamed: the new name is new, the old name is not vanished.
    fs::rename(watched_ / "a.txt", watched_ / "a2.txt");
    EXPECT_EQ(Report(), Changed({"a2.txt"}));

    // Two vanished and one new: the passes notify separately.
    fs::remove(watched_ / "a2.txt");
    fs::remove(watched_ / "c.txt");
    test::WriteText(watched_ / "e.txt", "e");
    Events both = Changed({"e.txt"});
    const Events vanished = Vanished(2);
    both.insert(both.end(), vanished.begin(), vanished.end());
    EXPECT_EQ(Report(), both);

    // A folder that cannot be searched: every listed file has vanished, and
    // the listing written afterwards is empty.
    fs::rename(watched_, root_.path() / "elsewhere");
    EXPECT_EQ(Report(), Vanished(2));
    EXPECT_EQ(dataFolder_.ListedNames(0), Names{});
}

TEST_F(EngineTest, AScanWithoutReactionsStoresWhatItComparedAndRewritesNothingUnchanged) {
    test::WriteText(watched_ / "a.txt", "a");
    test::WriteText(watched_ / "b.txt", "b");
    Baseline();
    // Vanished files are not reported when woken by creation and update: no
    // reaction, but the listing follows the folder.
    fs::remove(watched_ / "a.txt");
    EXPECT_EQ(Report(), Events{});
    EXPECT_EQ(dataFolder_.ListedNames(0), (Names{"b.txt"}));

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

TEST_F(EngineTest, WithoutAProgramTheFileIsOpenedOrLeftToAfterProcessing) {
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

TEST_F(EngineTest, AListingThatCannotBeReadHoldsTheScanBack) {
    test::WriteText(watched_ / "a.txt", "a");
    entry_.afterAction = config::MoveTarget;
    fs::create_directory(dataFolder_.ListingFile(0));
    // Taken for empty, it would report and move every file of the folder.
    EXPECT_EQ(Report(), Events{});
    EXPECT_TRUE(fs::exists(watched_ / "a.txt"));
}

TEST_F(EngineTest, NotifyUserSoundsBeforeTheMessageNamingTheWholeFolder) {
    entry_.soundKind = config::BeepSound;
    entry_.showMessage = 1;
    NotifyUser(entry_, effects_);
    // A folder path too long for a 127-byte message is shown whole all the same.
    const std::string longFolder = "/" + std::string(124, 'd');
    Store(entry_.folder, text::Cp932String::FromBytes(longFolder));
    entry_.soundKind = config::WaveFile;
    Store(entry_.soundFile, Sj(u8"/sounds/ちん.wav"));
    NotifyUser(entry_, effects_);
    // Neither a message nor a known sound: nothing.
    entry_.showMessage = 0;
    entry_.soundKind = 7;
    NotifyUser(entry_, effects_);
    EXPECT_EQ(effects_.events(), (Events{"beep:800Hz,100ms", "message:" + test::Utf8(watched_) + "を実行します。",
                                         "wave:/sounds/ちん.wav", "message:" + longFolder + "を実行します。"}));
}

TEST_F(EngineTest, TheProgramGetsTheFileWithOpenTargetAndIsWaitedForOrFollowedByAPause) {
    const std::string file = test::Utf8(watched_ / u8"報告書.csv");
    struct Case {
        bool waitForExit, openTarget, named;
        Events events;
    };
    const Case cases[] = {
        {true, true, true, {"run:/opt/変換 -q|" + file}},
        {true, true, false, {"run:/opt/変換 -q|(none)"}},  // a vanished file names none
        {true, false, true, {"run:/opt/変換 -q|(none)"}},
        {false, false, true, {"shell-run:/opt/変換 -q|(none)"}},
        // Not waited for with open target: the pause after it, see the scans.
    };
    Store(entry_.program, Sj(u8"/opt/変換 -q"));
    for (const Case& c : cases) {
        test::EffectRecorder effects;
        entry_.waitForExit = c.waitForExit;
        entry_.openTarget = c.openTarget;
        RunProgram(c.named ? std::optional(Sj(u8"報告書.csv")) : std::nullopt, entry_, effects);
        EXPECT_EQ(effects.events(), c.events) << c.waitForExit << c.openTarget << c.named;
    }
}

TEST_F(EngineTest, AFileIsOpenedOrGivenToTheProgramOnlyWhenTheSystemCanNameIt) {
    OpenTargetFile(std::nullopt, entry_, effects_);  // a vanished file
    // A path beyond the system's limit, or one that does not convert, names
    // no file of the system: the reaction is skipped.
    const text::Cp932String hugeName = text::Cp932String::FromBytes(std::string(5000, 'n'));
    RunProgram(hugeName, entry_, effects_);
    OpenTargetFile(hugeName, entry_, effects_);
    OpenTargetFile(text::Cp932String::FromBytes("bad\x82"), entry_, effects_);
    EXPECT_EQ(effects_.events(), Events{});
}

// A move under the file's own name: see the scans that move files.
TEST_F(EngineTest, AfterProcessMovesUnderItsNameOrAStampOfTheMoveWhenTheNameIsTaken) {
    entry_.afterAction = config::MoveTarget;
    const std::vector<std::pair<std::string, std::string>> stamped = {
        {"report.csv", "report_120422140509.csv"},
        {"archive.tar.gz", "archive_120422140509.tar.gz"},
        {"README", "README_120422140509"},
        {".profile", "_120422140509.profile"},
        // An extension longer than 8 characters is kept whole, not cut into another type.
        {"notes.backup.txt", "notes_120422140509.backup.txt"},
    };
    for (const auto& [name, stampedName] : stamped) {
        Arrive(name);
        test::WriteText(done_ / name, "old");
        Move(name);
        EXPECT_EQ(test::ReadText(done_ / name), "old") << name;
        EXPECT_EQ(test::ReadText(done_ / stampedName), "new") << name;
    }
    // The stamped name is taken too: the file stays.
    Arrive("report.csv");
    Move("report.csv");
    EXPECT_EQ(test::ReadText(watched_ / "report.csv"), "new");

    // With overwrite the file of the same name is replaced.
    entry_.overwriteMoved = 1;
    Move("report.csv");
    EXPECT_FALSE(fs::exists(watched_ / "report.csv"));
    EXPECT_EQ(test::ReadText(done_ / "report.csv"), "new");
}

TEST_F(EngineTest, AfterProcessLeavesTheFileUnlessAskedToMoveItElsewhereAndAble) {
    Arrive("report.csv");
    entry_.afterAction = config::DeleteTarget;  // stored, but never acted on
    Move("report.csv");
    entry_.afterAction = config::MoveTarget;
    Store(entry_.moveFolder, SjPath(root_.path() / "missing"));
    Move("report.csv");
    // The destination is the watched folder itself: overwriting must not
    // delete the file, and a stamped copy would be reported at every scan.
    Store(entry_.moveFolder, SjPath(watched_));
    Move("report.csv");
    entry_.overwriteMoved = 1;
    Move("report.csv");
    EXPECT_EQ(test::FolderNames(watched_), Events{"report.csv"});
    EXPECT_EQ(test::ReadText(watched_ / "report.csv"), "new");
    EXPECT_TRUE(effects_.events().empty());
}

TEST_F(EngineTest, RunningSettingsGetDenseIndicesAndBaselinesAtEachStartBeforeTheirThreads) {
    const fs::path a = Folder("a"), b = Folder("b"), c = Folder("c"), d = Folder("d");
    WatchFileRecord stopped = Setting(b);
    stopped.running = 0;
    WriteSettings({Setting(a), stopped, Setting(c), Setting(d)});

    std::vector<bool> baselineBeforeThread;
    ThreadStarter counting = threads_.Starter();
    auto doc = Open([&](std::function<void()> body) {
        baselineBeforeThread.push_back(fs::exists(dataFolder_.ListingFile(threads_.started)));
        return counting(std::move(body));
    });
    EXPECT_EQ(doc->entryCount(), 3);
    EXPECT_EQ(config::FieldText(doc->watchTable()[1].folder), SjPath(c));
    EXPECT_EQ(baselineBeforeThread, (std::vector<bool>{true, true, true}));
    EXPECT_FALSE(Enabled(*doc, res::ID_WATCH_START));
    EXPECT_TRUE(Enabled(*doc, res::ID_WATCH_STOP));

    // The stop ends the waiting threads, and the start takes a new baseline:
    // what was put in while the watch was off is never reported.
    EXPECT_TRUE(doc->OnCmdMsg(res::ID_WATCH_STOP, framework::CN_COMMAND, nullptr));
    EXPECT_TRUE(Enabled(*doc, res::ID_WATCH_START));
    EXPECT_FALSE(Enabled(*doc, res::ID_WATCH_STOP));
    test::WriteText(d / "while-off.txt", "");
    EXPECT_TRUE(doc->OnCmdMsg(res::ID_WATCH_START, framework::CN_COMMAND, nullptr));
    // Only what comes after the start is reported, by the setting's own thread.
    test::ArriveByCopy(d / "after.txt", "");
    ASSERT_TRUE(effects_.WaitForEvents(3));
    EXPECT_EQ(effects_.events(), Changed({"after.txt"}, d));
}

TEST_F(EngineTest, AScanInAMessageBoxFinishesAfterAStopButStartsNothingOnceTheProgramEnds) {
    entry_.afterAction = config::MoveTarget;
    WriteSettings({Setting(watched_)});
    EXPECT_TRUE(Open()->StopForExit());  // waiting threads end at once
    for (const bool ending : {false, true}) {
        SCOPED_TRACE(ending);
        HeldMessageBox box;
        framework::ScopedMessageBoxPresenter held(box);
        auto doc = Open();
        const fs::path arrived = watched_ / (ending ? "ending.txt" : "stopped.txt");
        test::ArriveByCopy(arrived, "a");
        ASSERT_TRUE(box.WaitUntilShown());
        doc->StopWatching();  // returns while the box is open
        // The end does not wait for the box, and once it has been asked for,
        // the answer starts neither the program nor the move.
        if (ending) {
            EXPECT_FALSE(doc->StopForExit());
        }
        box.Close();
        if (!ending) {
            ASSERT_TRUE(effects_.WaitForEvents(2));  // the stopped scan still runs the program
        }
        doc.reset();
        EXPECT_TRUE(!ending || fs::exists(arrived));
    }
    const Events reported = Changed({"stopped.txt"});
    EXPECT_EQ(effects_.events(), Events(reported.begin() + 1, reported.end()));
}

// A setting stored before such settings were refused, that watches the
// folder of the listings: they change at every scan, and are never its files.
TEST_F(EngineTest, ASettingOnTheListingsFolderLeavesTheListingsAlone) {
    Store(entry_.folder, SjPath(dataFolder_.Obsdat()));
    entry_.triggerKind = config::CreateRenameDelete;
    test::WriteText(dataFolder_.ListingFile(7), "");
    Baseline();
    test::WriteText(dataFolder_.ListingFile(3), "new");
    fs::remove(dataFolder_.ListingFile(7));
#ifdef _WIN32
    test::WriteText(dataFolder_.Obsdat() / "~mvfffffffc-0a1b.tmp", "");
#else
    test::WriteText(dataFolder_.Obsdat() / ".molvar-1-a1B2c3", "");
#endif
    test::WriteText(dataFolder_.Obsdat() / "12a.dir", "");
    EXPECT_EQ(Report(), Changed({"12a.dir"}, dataFolder_.Obsdat()));
}

// The document goes as the program's end does: it does not wait for a box
// nobody answers, and the answer that comes later starts nothing.
TEST_F(EngineTest, TheDocumentGoesWithoutWaitingForAScanInAMessageBox) {
    entry_.afterAction = config::MoveTarget;
    WriteSettings({Setting(watched_)});
    HeldMessageBox box;
    framework::ScopedMessageBoxPresenter held(box);
    auto doc = Open();
    test::ArriveByCopy(watched_ / "a.txt", "a");
    ASSERT_TRUE(box.WaitUntilShown());
    doc.reset();
    box.Close();
    ASSERT_TRUE(threads_.WaitUntilAllEnded());
    EXPECT_TRUE(fs::exists(watched_ / "a.txt"));
    EXPECT_EQ(effects_.events(), Events{});
}

TEST_F(EngineTest, AThreadThatCannotBeCreatedStopsTheStartWithAMessage) {
    std::vector<WatchFileRecord> settings;
    for (int k = 0; k < 8; ++k) {
        settings.push_back(Setting(root_.path() / "missing" / std::to_string(k)));
    }
    WriteSettings(settings);
    threads_.refuseAt = 5;
    auto doc = Open();
    EXPECT_EQ(effects_.events(), Events{"message:5 番目のスレッド作成に失敗しました。"});
    EXPECT_EQ(threads_.started, 5);
    EXPECT_TRUE(Enabled(*doc, res::ID_WATCH_STOP));
}

TEST_F(EngineTest, AFolderDeletedWhileWatchedIsReportedOnceAndNeverSpins) {
    const fs::path gone = Folder("gone");
    test::WriteText(gone / "x.txt", "x");
    WatchFileRecord setting = Setting(gone);
    setting.entry.triggerKind = config::CreateRenameDelete;
    WriteSettings({Setting(root_.path() / "never-there"), setting});
    HeldMessageBox box;
    framework::ScopedMessageBoxPresenter held(box);
    auto doc = Open();
    const std::int64_t clockAtStart = effects_.calendarTime;

    fs::remove(gone / "x.txt");
    // The scan has listed the folder when it shows its notice. (Wine, unlike
    // Windows, refuses to remove a folder while a search lists it.)
    ASSERT_TRUE(box.WaitUntilShown());
    fs::remove(gone);
    box.Close();
    ASSERT_TRUE(effects_.WaitForEvents(2));
    EXPECT_EQ(effects_.events(), (Events{"shell-run:conv|(none)", "sleep:1000"}));
    doc.reset();
    // One report for the file and one for the folder at the most: the
    // thread waited for the stop instead of scanning on and on.
    EXPECT_LE((effects_.calendarTime - clockAtStart) / 10, 2);
}

TEST_F(EngineTest, ManyStartsAndStopsOfAHundredSettingsOnSharedFolders) {
    std::vector<WatchFileRecord> settings;
    std::vector<fs::path> folders;
    for (int k = 0; k < 100; ++k) {
        if (k < 20) {
            folders.push_back(Folder(std::to_string(k)));
        }
        settings.push_back(Setting(folders[static_cast<std::size_t>(k % 20)]));
    }
    WriteSettings(settings);
    auto doc = Open();
    for (int cycle = 0; cycle < 5; ++cycle) {
        test::ArriveByCopy(folders[static_cast<std::size_t>(cycle)] / "file.txt", std::to_string(cycle));
        doc->StopWatching();
        doc->StartWatching();
    }
    // After all that, one file in a folder is seen by each of its 5 settings.
    const std::size_t before = effects_.events().size();
    test::ArriveByCopy(folders[19] / "last.txt", "");
    ASSERT_TRUE(effects_.WaitForEvents(before + 15));
    doc.reset();
    EXPECT_EQ(threads_.started, 600);
}

// A folder's change notification and the services on a clock of the test's
// own: reports come at the given times, each bringing a file named by its
// time, a wait with a timeout ends once that has passed, and no real time goes
// by. After the last report, a wait without a timeout stops. The files handed
// to the program are noted by the time they were.
class ScriptedWatch final : public platform::ChangeNotification, public platform::Services {
public:
    ScriptedWatch(fs::path folder, std::vector<int> reportsAtMs)
        : folder_(std::move(folder)), reports_(std::move(reportsAtMs)) {}

    Wake Wait(const platform::StopSignal&, std::optional<std::chrono::milliseconds> timeout) override {
        timeouts.push_back(timeout ? std::optional(static_cast<int>(timeout->count())) : std::nullopt);
        if (next_ < reports_.size() && (!timeout || reports_[next_] <= nowMs_ + timeout->count())) {
            nowMs_ = reports_[next_++];
            test::WriteText(folder_ / std::to_string(nowMs_), "");
            return Wake::Changed;
        }
        nowMs_ += timeout ? static_cast<int>(timeout->count()) : 0;
        return timeout ? Wake::TimedOut : Wake::Stopped;
    }
    std::int64_t CalendarTime() const override { return 1'000'000 + nowMs_ / 1000; }
    void Sleep(std::chrono::milliseconds) const override {}
    void ShellRun(const text::Cp932String&, const std::optional<text::Cp932String>& parameter) const override {
        started[nowMs_].insert(test::Utf8Path(text::ToUtf8ForDisplay(parameter.value())).filename().string());
    }

    std::vector<std::optional<int>> timeouts;  // of each wait
    mutable std::map<int, std::set<std::string>> started;

private:
    fs::path folder_;
    std::vector<int> reports_;
    std::size_t next_ = 0;
    int nowMs_ = 0;
};

TEST(MonitorThreadTest, DeferredReportsAreScannedOnceTheFolderHasBeenQuiet) {
    struct Timeline {
        std::vector<int> reportsAtMs;
        std::map<int, std::set<std::string>> scans;
        std::vector<std::optional<int>> timeouts;  // a timer only while a scan is owed
    };
    const std::optional<int> none;
    const Timeline timelines[] = {
        // Reports less than 3 s apart: a scan at the first, one 3 s after the last.
        {{0, 2000, 4000}, {{0, {"0"}}, {7000, {"2000", "4000"}}}, {none, none, 3000, 3000, none}},
        {{0, 3000}, {{0, {"0"}}, {3000, {"3000"}}}, {none, none, none}},
        // The owed scan, then a report 3 s after the last one scans at once.
        {{0, 2000, 5500}, {{0, {"0"}}, {5000, {"2000"}}, {5500, {"5500"}}}, {none, none, 3000, none, none}},
    };
    test::TempFolder root;
    const test::ScopedDataFolder dataFolder(root.path() / "data");
    const platform::StopSignal stop;
    g_bWatching = 1;
    for (std::size_t k = 0; k < std::size(timelines); ++k) {
        const Timeline& timeline = timelines[k];
        SCOPED_TRACE(::testing::PrintToString(timeline.reportsAtMs));
        const fs::path folder = root.path() / std::to_string(k);
        fs::create_directory(folder);
        MonitorContext context;
        Store(context.entry.folder, SjPath(folder));
        Store(context.entry.program, Sj(u8"conv"));
        context.entry.openTarget = 1;
        config::WriteSnapshot(0, context.entry);
        ResetLastScanTimes();
        const auto watch = std::make_shared<ScriptedWatch>(folder, timeline.reportsAtMs);
        context.change = watch;
        context.stop = &stop;
        context.services = watch.get();

        MonitorThreadProc(0, context);
        EXPECT_EQ(watch->started, timeline.scans);
        EXPECT_EQ(watch->timeouts, timeline.timeouts);
        EXPECT_EQ(g_lastScanTime[0], 1'000'000u + static_cast<unsigned>(timeline.reportsAtMs.back() / 1000));
    }
    g_bWatching = 0;
}

}  // namespace
}  // namespace molvar::engine
