// The engine: the change scan and its reactions, the monitor threads and the
// document's control of the watch.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

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

std::string Kanji(int count) {
    std::string kanji;
    for (int k = 0; k < count; ++k) kanji += "漢";
    return kanji;
}

// Names a listing record cannot hold as they are: no code page 932 form,
// decomposed as a Mac writes them, longer than a record, or not UTF-8.
Names NamesWithoutARecordForm() {
    Names names = {"写真😀.jpg", "한국어 보고서.pdf", "Café crème.txt", "テ\u3099ータ.csv", std::string(200, 'a') + ".txt",
                   Kanji(80) + ".txt"};
#ifndef _WIN32
    names.push_back("\xff\xfe-latin1-\xe9.txt");
#endif
    return names;
}

// Starts real threads, counts the starts and the ends, and can refuse one.
struct Threads {
    int refuseAt = -1;  // the call that fails, counted from 0
    std::atomic<int> calls{0}, started{0};

    ThreadStarter Starter() {
        return [this](std::function<void()> body) -> std::optional<std::thread> {
            if (calls++ == refuseAt) return std::nullopt;
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
    void Move(const std::string& name) { AfterProcess(test::Native(name), entry_, effects_); }

    // Takes the folder as it is now, as the start of the watch does.
    void Baseline() { config::WriteSnapshot(0, entry_); }

    // What a change report well after the previous one does.
    Events Report() { return ReportAt(effects_.calendarTime + 10); }
    Events ReportAt(std::int64_t time, ReportOutcome expected = ReportOutcome::Scanned) {
        effects_.calendarTime = time;
        return During([&] { EXPECT_EQ(ScanForChanges(0, entry_, effects_), expected) << "report at " << time; });
    }
    // What the engine does to the user while `act` runs.
    Events During(const std::function<void()>& act) {
        const std::size_t before = effects_.events().size();
        act();
        const Events all = effects_.events();
        return Events(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    }

    std::string Told() const { return "message:" + test::Utf8(watched_) + "を実行します。"; }

    // One notice, then the program with each file (and the pause after it).
    Events Changed(const Names& names, const fs::path& folder = {}) const {
        const fs::path& in = folder.empty() ? watched_ : folder;
        Events events{"message:" + test::Utf8(in) + "を実行します。"};
        for (const std::string& name : names) {
            const std::string path = platform::Utf8ForDisplay(test::Native(test::Utf8(in / test::Utf8Path(name))));
            events.insert(events.end(), {"shell-run:conv|" + path, "sleep:1000"});
        }
        return events;
    }
    // After `before`, one notice, then the program once per vanished file,
    // without a file.
    Events Vanished(int count, Events before = {}) const {
        before.push_back(Told());
        for (int k = 0; k < count; ++k) before.insert(before.end(), {"shell-run:conv|(none)", "sleep:1000"});
        return before;
    }

    // The files of the watched folder in the order of the directory search.
    Names SearchOrder() const {
        Names names;
        platform::DirectorySearch search(SjPath(watched_), text::Cp932String::FromBytes("*"));
        while (auto item = search.Next()) {
            if (!item->isDirectory) names.push_back(platform::Utf8ForDisplay(item->name));
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

    // Whether the menu offers the start, and the stop.
    static std::pair<bool, bool> StartAndStop(CMolvarDoc& doc) {
        framework::CCmdUI start(res::ID_WATCH_START), stop(res::ID_WATCH_STOP);
        EXPECT_TRUE(doc.OnCmdMsg(res::ID_WATCH_START, framework::CN_UPDATE_COMMAND_UI, &start));
        EXPECT_TRUE(doc.OnCmdMsg(res::ID_WATCH_STOP, framework::CN_UPDATE_COMMAND_UI, &stop));
        return {start.m_bEnabled, stop.m_bEnabled};
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

    for (const char8_t* name : {u8"new1.csv", u8"報告書.csv", u8"new3.csv"}) test::WriteText(watched_ / name, "n");
    test::WriteText(watched_ / "grow.txt", "12345");
    test::SetLastWriteTime(watched_ / "grow.txt", 1'300'000'000);
    test::SetLastWriteTime(watched_ / "touch.txt", 1'300'000'001);

    entry_.afterAction = config::MoveTarget;
    entry_.triggerKind = config::CreateRenameDelete;
    Names moved = SearchOrder();
    std::erase(moved, "keep.txt");
    EXPECT_EQ(Report(), Changed(moved));

    // Moved away by after-processing: gone from the new listing, and so not
    // reported as vanished by the next scan.
    std::sort(moved.begin(), moved.end());
    EXPECT_EQ(test::FolderNames(done_), moved);
    EXPECT_EQ(dataFolder_.ListedNames(0), Names{"keep.txt"});
    EXPECT_EQ(Report(), Events{});
}

TEST_F(EngineTest, EveryNameIsReactedToOnceStaysListedAndIsMovedWhole) {
    Baseline();
    const Names names = NamesWithoutARecordForm();
    for (const std::string& name : names) Arrive(name);
    // Each once, after one notice, in the order of the search.
    const Events reported = Report();
    Events expected = Changed(names);
    ASSERT_EQ(reported.size(), expected.size());
    EXPECT_TRUE(std::is_permutation(reported.begin(), reported.end(), expected.begin())) << testing::PrintToString(reported);
    EXPECT_EQ(dataFolder_.ListedNames(0).size(), names.size());
    // Listed under their substitutes, they are not new again; a later file is.
    Arrive("later.txt");
    EXPECT_EQ(Report(), Changed({"later.txt"}));

    entry_.afterAction = config::MoveTarget;
    for (const std::string& name : names) {
        Move(name);
        EXPECT_EQ(test::ReadText(done_ / test::Utf8Path(name)), "new") << name;
    }
    EXPECT_EQ(test::FolderNames(watched_), Names{"later.txt"});
}

// The listing follows the folder, reactions or not, and is not written again
// where it holds the folder already.
// Every outcome of a reaction gives exactly its line in the history, a
// failure never a success.
TEST_F(EngineTest, EachReactionOutcomeGivesItsHistoryLine) {
    Store(entry_.title, Sj(u8"受信"));
    const std::string file = platform::Utf8ForDisplay(test::Native(test::Utf8(watched_ / "a.txt")));
    const std::string moved = platform::Utf8ForDisplay(test::Native(test::Utf8(done_ / "a.txt")));
    const std::string stamped = platform::Utf8ForDisplay(test::Native(test::Utf8(done_ / "a_120422140509.txt")));
    const std::string missing = test::Utf8(root_.path() / "missing" / "a.txt");
    const std::string prefix = "受信|";
    struct Row {
        const char* outcome;
        std::function<void()> act;
        Events lines;  // a line ending in ": " stands for any reason after it
    };
    const Row rows[] = {
        {"program started", [&] { RunProgram(test::Native("a.txt"), entry_, effects_); },
         {prefix + "ran|" + file + "|conv"}},
        {"program not found",
         [&] { effects_.shellFailure = "No such file or directory", RunProgram(test::Native("a.txt"), entry_, effects_); },
         {prefix + "failed|" + file + "|プログラムを起動できません: conv: No such file or directory"}},
        {"waited, exit status 3",
         [&] { entry_.waitForExit = 1, effects_.programEnd.exitStatus = 3, RunProgram(test::Native("a.txt"), entry_, effects_); },
         {prefix + "ran|" + file + "|conv (終了コード 3)"}},
        {"moved", [&] { Move("a.txt"); }, {prefix + "moved|" + file + "|" + moved}},
        {"moved with a stamp", [&] { Arrive("a.txt"), Move("a.txt"); }, {prefix + "moved|" + file + "|" + stamped}},
        {"move to a missing folder",
         [&] { Store(entry_.moveFolder, SjPath(root_.path() / "missing")), Move("a.txt"); },
         {prefix + "failed|" + file + "|移動できません: " + missing + ": "}},
        {"open fails",
         [&] { effects_.shellFailure = "no handler", OpenTargetFile(test::Native("a.txt"), entry_, effects_); },
         {prefix + "failed|" + file + "|ファイルを開けません: no handler"}},
        {"vanished",
         [&] {
             entry_.triggerKind = config::CreateRenameDelete;
             Baseline();
             fs::remove(watched_ / "a.txt");
             Report();
         },
         {prefix + "vanished|" + file + "|", prefix + "notified|" + test::Utf8(watched_) + "|メッセージ",
          prefix + "ran||conv"}},
    };
    entry_.afterAction = config::MoveTarget;
    const config::WatchEntry setting = entry_;
    for (const Row& row : rows) {
        entry_ = setting;
        effects_.shellFailure.reset(), effects_.programEnd.exitStatus = 0;
        const test::ScopedHistory history;
        Arrive("a.txt");
        row.act();
        const Events lines = history.Lines();
        ASSERT_EQ(lines.size(), row.lines.size()) << row.outcome;
        for (std::size_t k = 0; k < lines.size(); ++k) {
            const std::string& expected = row.lines[k];
            EXPECT_EQ(expected.ends_with(": ") ? lines[k].substr(0, expected.size()) : lines[k], expected) << row.outcome;
            EXPECT_GT(lines[k].size(), expected.size() - (expected.ends_with(": ") ? 0 : 1)) << row.outcome;
        }
    }
}

TEST_F(EngineTest, VanishedFilesAreReportedOnlyWhenFewerFilesAreFound) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) test::WriteText(watched_ / name, name);
    Baseline();
    // Vanished files are not reported when woken by creation and update.
    fs::remove(watched_ / "d.txt");
    EXPECT_EQ(Report(), Events{});
    EXPECT_EQ(dataFolder_.ListedNames(0), (Names{"a.txt", "b.txt", "c.txt"}));
    const fs::path listing = dataFolder_.ListingFile(0);
    test::SetLastWriteTime(listing, 1'000'000'000);
    const auto written = fs::last_write_time(listing);
    EXPECT_EQ(Report(), Events{});
    EXPECT_EQ(fs::last_write_time(listing), written);

    entry_.triggerKind = config::CreateRenameDelete;
    // A file renamed: the new name is new, the old name is not vanished.
    fs::rename(watched_ / "a.txt", watched_ / "a2.txt");
    EXPECT_EQ(Report(), Changed({"a2.txt"}));
    // Two vanished and one new: the passes notify separately.
    fs::remove(watched_ / "a2.txt");
    fs::remove(watched_ / "c.txt");
    test::WriteText(watched_ / "e.txt", "e");
    EXPECT_EQ(Report(), Vanished(2, Changed({"e.txt"})));

    // A folder that cannot be searched: every listed file has vanished, and
    // the listing written afterwards is empty; a listing file that went
    // missing is written by a scan without reactions too.
    fs::rename(watched_, root_.path() / "elsewhere");
    EXPECT_EQ(Report(), Vanished(2));
    EXPECT_EQ(dataFolder_.ListedNames(0), Names{});
    fs::remove(listing);
    EXPECT_EQ(Report(), Events{});
    EXPECT_TRUE(fs::exists(listing));
}

// What arrives while the reactions run is taken in unreported only where a
// reaction may write into the folder (a program, or the file opened).
TEST_F(EngineTest, FilesArrivingDuringTheReactionsAreReportedUnlessAReactionMayHaveWrittenThem) {
    const std::string first = test::Utf8(watched_ / "first.txt");
    const std::tuple<const char8_t*, std::uint16_t, Events, Names> cases[] = {
        {u8"", 0, {Told()}, {"first.txt", "late.txt"}},
        {u8"", 1, {Told(), "shell-open:" + first, "sleep:1000"}, {"first.txt"}},
        {u8"conv", 0, {Told(), "shell-run:conv|(none)"}, {"first.txt"}}};
    entry_.afterAction = config::MoveTarget;
    for (const auto& [program, openTarget, reactions, movedInTheEnd] : cases) {
        SCOPED_TRACE(openTarget);
        fs::remove_all(done_);
        fs::create_directory(done_);
        fs::remove(watched_ / "late.txt");
        Store(entry_.program, Sj(program));
        entry_.openTarget = openTarget;
        Baseline();
        Arrive("first.txt");
        effects_.whileShown = [this] { Arrive("late.txt"); };
        EXPECT_EQ(Report(), reactions);
        effects_.whileShown = nullptr;
        Report();
        EXPECT_EQ(test::FolderNames(done_), movedInTheEnd);
    }
}

// A file that is still open for writing is reacted to once, whole, after
// its writer has closed it; the files beside it are not held back.
TEST_F(EngineTest, AFileStillBeingWrittenWaitsForItsWriterWithoutHoldingOthersBack) {
    entry_.afterAction = config::MoveTarget;
    const auto owedScan = [this](bool owesAnother) {
        return During([&] { EXPECT_EQ(ScanAfterQuietInterval(0, entry_, effects_), owesAnother); });
    };
    for (const std::uint16_t trigger : {config::CreateOrUpdate, config::CreateRenameDelete}) {
        entry_.triggerKind = trigger;
        Baseline();
        std::ofstream writer(watched_ / "slow.bin", std::ios::binary);
        writer << std::string(100'000, 'a') << std::flush;
        Arrive("beside.txt");
        EXPECT_EQ(ReportAt(effects_.calendarTime + 10, ReportOutcome::ScannedButFilesStillWritten),
                  Changed({"beside.txt"}));
        writer << std::string(300'000, 'b') << std::flush;
        EXPECT_EQ(owedScan(true), Events{});
        writer.close();
        EXPECT_EQ(owedScan(false), Changed({"slow.bin"}));
        EXPECT_EQ(fs::file_size(done_ / "slow.bin"), 400'000u);
        EXPECT_EQ(Report(), Events{});
        fs::remove_all(done_);
        fs::create_directory(done_);
    }
}

// A disk that is full, or a listing file that may not be written: the
// listing is kept in memory, each file is reacted to once, and the file is
// written once writing works again.
TEST_F(EngineTest, AListingThatCannotBeWrittenIsKeptInMemorySoNoFileIsReactedToTwice) {
    const fs::path listing = dataFolder_.ListingFile(0);
    const auto writable = [&](bool yes) {
        fs::permissions(listing, fs::perms::owner_write, yes ? fs::perm_options::add : fs::perm_options::remove);
    };
    test::WriteText(listing, "");
    writable(false);
    Arrive("a.txt");
    Baseline();  // at the start
    EXPECT_EQ(Report(), Events{});
    for (const char* name : {"b.txt", "c.txt"}) {
        Arrive(name);
        EXPECT_EQ(Report(), Changed({name}));
        EXPECT_EQ(Report(), Events{});
        writable(true);  // in the middle of the run it may fail again
        EXPECT_EQ(Report(), Events{});
        EXPECT_EQ(dataFolder_.ListedNames(0).size(), name[0] == 'b' ? 2u : 3u);
        writable(false);
    }
    writable(true);
}

TEST_F(EngineTest, NotifyUserSoundsBeforeTheMessageNamingTheWholeFolder) {
    entry_.soundKind = config::BeepSound;
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
    EXPECT_EQ(effects_.events(),
              (Events{"beep:800Hz,100ms", Told(), "wave:/sounds/ちん.wav", "message:" + longFolder + "を実行します。"}));
}

TEST_F(EngineTest, TheProgramGetsTheFileWithOpenTargetAndIsWaitedForOrFollowedByAPause) {
    const std::string file = test::Utf8(watched_ / u8"報告書.csv");
    // A path beyond the system's limit names no file of the system: the
    // reaction is skipped.
    const std::string huge(40000, 'n');
    // Wait for exit, open target, the file (none for a vanished one), what is done.
    const std::tuple<bool, bool, std::optional<std::string>, Events> cases[] = {
        {true, true, "報告書.csv", {"run:/opt/変換 -q|" + file}},
        {true, true, std::nullopt, {"run:/opt/変換 -q|(none)"}},
        {true, false, "報告書.csv", {"run:/opt/変換 -q|(none)"}},
        {false, false, "報告書.csv", {"shell-run:/opt/変換 -q|(none)"}},
        {true, true, huge, {}},
        // Not waited for with open target: the pause after it, see the scans.
    };
    Store(entry_.program, Sj(u8"/opt/変換 -q"));
    for (const auto& [waitForExit, openTarget, name, events] : cases) {
        test::EffectRecorder effects;
        entry_.waitForExit = waitForExit;
        entry_.openTarget = openTarget;
        RunProgram(name ? std::optional(test::Native(*name)) : std::nullopt, entry_, effects);
        EXPECT_EQ(effects.events(), events) << waitForExit << openTarget << name.value_or("").size();
    }
    OpenTargetFile(std::nullopt, entry_, effects_);
    OpenTargetFile(test::Native(huge), entry_, effects_);
    EXPECT_EQ(effects_.events(), Events{});
}

// A move under the file's own name: see the scans that move files.
TEST_F(EngineTest, AfterProcessMovesUnderItsNameOrAStampOfTheMoveWhenTheNameIsTakenOrLeavesTheFile) {
    entry_.afterAction = config::MoveTarget;
    // Counted in characters: the base loses whole characters where the
    // stamped name would pass the file system's limit for one name (255
    // bytes on Linux, 255 UTF-16 units on Windows).
    const bool limitInBytes = platform::kMaxNativeNameBytes == 255;
    const std::string longExtension = "." + std::string(130, 'x');
    EXPECT_EQ(platform::Utf8ForDisplay(TimeStampedName(test::Native(Kanji(120) + longExtension), *effects_.localTime)),
              Kanji(limitInBytes ? 37 : 111) + "_120422140509" + longExtension);
    std::vector<std::pair<std::string, std::string>> stamped = {
        {"report.csv", "report_120422140509.csv"},
        {"archive.tar.gz", "archive_120422140509.tar.gz"},
        {"README", "README_120422140509"},
        {".profile", "_120422140509.profile"},
        // An extension longer than 8 characters is kept whole, not cut into another type.
        {"notes.backup.txt", "notes_120422140509.backup.txt"},
        {"Café.tar.gz", "Café_120422140509.tar.gz"},
        // The base keeps at most 127 characters.
        {std::string(200, 'a') + ".txt", std::string(127, 'a') + "_120422140509.txt"},
    };
#ifndef _WIN32
    // (Wine keeps a Windows name as UTF-8 on the host's file system, where
    // this stamped name would pass 255 bytes.)
    stamped.emplace_back(Kanji(80) + ".txt", Kanji(79) + "_120422140509.txt");
#endif
    for (const auto& [name, stampedName] : stamped) {
        Arrive(name);
        test::WriteText(done_ / test::Utf8Path(name), "old");
        Move(name);
        EXPECT_EQ(test::ReadText(done_ / test::Utf8Path(name)), "old") << name;
        EXPECT_EQ(test::ReadText(done_ / test::Utf8Path(stampedName)), "new") << name;
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

    // The file stays unless asked to move it elsewhere, and able to.
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
    entry_.overwriteMoved = 0;
    Move("report.csv");
    EXPECT_EQ(test::FolderNames(watched_), Events{"report.csv"});
    EXPECT_EQ(test::ReadText(watched_ / "report.csv"), "new");
    EXPECT_TRUE(effects_.events().empty());
}

TEST_F(EngineTest, RunningSettingsGetDenseIndicesAndBaselinesAtEachStartBeforeTheirThreads) {
    const fs::path a = Folder("a"), b = Folder("b"), c = Folder("c"), d = Folder("d");
    WatchFileRecord stopped = Setting(b);
    stopped.running = 0;
    WatchFileRecord moving = Setting(a);
    moving.entry.afterAction = config::MoveTarget;
    // Left by a move across file systems whose process was killed.
    test::WriteText(done_ / test::kAbandoned, "half");
    WriteSettings({moving, stopped, Setting(c), Setting(d)});

    std::vector<bool> baselineBeforeThread;
    ThreadStarter counting = threads_.Starter();
    auto doc = Open([&](std::function<void()> body) {
        baselineBeforeThread.push_back(fs::exists(dataFolder_.ListingFile(threads_.started)));
        return counting(std::move(body));
    });
    EXPECT_EQ(doc->entryCount(), 3);
    EXPECT_EQ(config::FieldText(doc->watchTable()[1].folder), SjPath(c));
    EXPECT_EQ(baselineBeforeThread, (std::vector<bool>{true, true, true}));
    EXPECT_FALSE(fs::exists(done_ / test::kAbandoned));
    EXPECT_EQ(StartAndStop(*doc), std::pair(false, true));

    // The stop ends the waiting threads, and the start takes a new baseline:
    // what was put in while the watch was off is never reported.
    EXPECT_TRUE(doc->OnCmdMsg(res::ID_WATCH_STOP, framework::CN_COMMAND, nullptr));
    EXPECT_EQ(StartAndStop(*doc), std::pair(true, false));
    test::WriteText(d / "while-off.txt", "");
    EXPECT_TRUE(doc->OnCmdMsg(res::ID_WATCH_START, framework::CN_COMMAND, nullptr));
    // Only what comes after the start is reported, by the setting's own thread.
    test::ArriveByCopy(d / "after.txt", "");
    ASSERT_TRUE(effects_.WaitForEvents(3));
    EXPECT_EQ(effects_.events(), Changed({"after.txt"}, d));
}

// A scan whose message box is open when the watch stops still reacts once
// the box is answered. Neither the end of the program nor the document going
// waits for the box, and after them the answer starts neither the program
// nor the move.
TEST_F(EngineTest, AScanInAMessageBoxFinishesAfterAStopButStartsNothingOnceTheProgramEnds) {
    entry_.afterAction = config::MoveTarget;
    WriteSettings({Setting(watched_)});
    EXPECT_TRUE(Open()->StopForExit());  // waiting threads end at once
    for (const std::string then : {"stopped", "ended", "gone"}) {
        SCOPED_TRACE(then);
        HeldMessageBox box;
        framework::ScopedMessageBoxPresenter held(box);
        auto doc = Open();
        const fs::path arrived = watched_ / (then + ".txt");
        test::ArriveByCopy(arrived, "a");
        ASSERT_TRUE(box.WaitUntilShown());
        // Each returns while the box is open.
        if (then == "gone") {
            doc.reset();
        } else {
            doc->StopWatching();
            if (then == "ended") {
                EXPECT_FALSE(doc->StopForExit());
            }
        }
        box.Close();
        if (then == "stopped") {
            ASSERT_TRUE(effects_.WaitForEvents(2));  // the stopped scan still runs the program
        }
        doc.reset();
        ASSERT_TRUE(threads_.WaitUntilAllEnded());
        EXPECT_TRUE(then == "stopped" || fs::exists(arrived));
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

TEST_F(EngineTest, AThreadThatCannotBeCreatedStopsTheStartWithAMessage) {
    std::vector<WatchFileRecord> settings;
    for (int k = 0; k < 8; ++k) settings.push_back(Setting(root_.path() / "missing" / std::to_string(k)));
    WriteSettings(settings);
    threads_.refuseAt = 5;
    auto doc = Open();
    EXPECT_EQ(effects_.events(), Events{"message:5 番目のスレッド作成に失敗しました。"});
    EXPECT_EQ(threads_.started, 5);
    EXPECT_EQ(StartAndStop(*doc), std::pair(false, true));
}

// A folder deleted, renamed away or replaced, or missing at the start: the
// setting watches whatever folder is put at its path later (looking for it
// only while it is missing: never spinning), and reports what that folder
// holds that the last listing does not.
TEST_F(EngineTest, AFolderThatGoesAwayAndComesBackIsWatchedAgain) {
    const std::pair<const char*, std::function<void(const fs::path&)>> cases[] = {
        {"missing at the start", [](const fs::path& folder) { fs::create_directory(folder); }},
        {"deleted and made again", [](const fs::path& folder) { fs::remove_all(folder), fs::create_directory(folder); }},
#ifndef _WIN32
        // (Windows reports nothing of a folder renamed away by itself.)
        {"renamed away and replaced",
         [](const fs::path& folder) { fs::rename(folder, folder.string() + ".old"), fs::create_directory(folder); }},
        {"replaced by a link",
         [](const fs::path& folder) {
             fs::remove_all(folder);
             fs::create_directory(folder.string() + ".target");
             fs::create_directory_symlink(folder.string() + ".target", folder);
         }},
#endif
    };
    const auto every = g_lookForFolderEveryMs.exchange(20);
    std::vector<WatchFileRecord> settings;
    for (const auto& [how, replace] : cases) {
        settings.push_back(Setting(settings.empty() ? root_.path() / how : Folder(how)));
    }
    WriteSettings(settings);
    auto doc = Open();
    const std::int64_t clockAtStart = effects_.calendarTime;
    Events expected;
    for (const auto& [how, replace] : cases) {
        replace(root_.path() / how);
        test::ArriveByCopy(root_.path() / how / "back.txt", "");
        const Events changed = Changed({"back.txt"}, root_.path() / how);
        expected.insert(expected.end(), changed.begin(), changed.end());
        ASSERT_TRUE(effects_.WaitForEvents(expected.size())) << how;
    }
    doc.reset();
    g_lookForFolderEveryMs = every;
    EXPECT_EQ(effects_.events(), expected);
    EXPECT_LE((effects_.calendarTime - clockAtStart) / 10, static_cast<std::int64_t>(3 * std::size(cases)));
}

TEST_F(EngineTest, ManyStartsAndStopsOfAHundredSettingsOnSharedFolders) {
    std::vector<fs::path> folders;
    for (int k = 0; k < 20; ++k) folders.push_back(Folder(std::to_string(k)));
    std::vector<WatchFileRecord> settings;
    for (std::size_t k = 0; k < 100; ++k) settings.push_back(Setting(folders[k % 20]));
    WriteSettings(settings);
    auto doc = Open();
    for (std::size_t cycle = 0; cycle < 5; ++cycle) {
        test::ArriveByCopy(folders[cycle] / "file.txt", std::to_string(cycle));
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
// own: files arrive at the given times, each named by its time, reported
// unless its time is given negative (a change made on another machine); a
// wait with a timeout ends once that has passed, and no real time goes by.
// After the last report, a wait without a timeout, or one beyond `endMs`,
// stops. The files handed to the program are noted by the time they were.
class ScriptedWatch final : public platform::ChangeNotification, public platform::Services {
public:
    ScriptedWatch(fs::path folder, std::vector<int> reportsAtMs, int endMs)
        : folder_(std::move(folder)), reports_(std::move(reportsAtMs)), endMs_(endMs) {}

    Wake Wait(const platform::StopSignal&, std::optional<std::chrono::milliseconds> timeout) override {
        timeouts.push_back(timeout ? std::optional(static_cast<int>(timeout->count())) : std::nullopt);
        const int deadline = timeout ? nowMs_ + static_cast<int>(timeout->count()) : INT_MAX;
        while (next_ < reports_.size() && std::abs(reports_[next_]) <= deadline) {
            const int at = reports_[next_++];
            nowMs_ = std::abs(at);
            test::WriteText(folder_ / std::to_string(nowMs_), "");
            if (at >= 0) return Wake::Changed;
        }
        if (!timeout || deadline > endMs_) return Wake::Stopped;
        nowMs_ = deadline;
        return Wake::TimedOut;
    }
    std::int64_t CalendarTime() const override { return 1'000'000 + nowMs_ / 1000; }
    void Sleep(std::chrono::milliseconds) const override {}
    platform::Failure ShellRun(const text::Cp932String&, const std::optional<platform::NativePath>& parameter) const override {
        started[nowMs_].insert(test::Utf8Path(platform::Utf8ForDisplay(parameter.value())).filename().string());
        return std::nullopt;
    }

    std::vector<std::optional<int>> timeouts;  // of each wait
    mutable std::map<int, std::set<std::string>> started;

private:
    fs::path folder_;
    std::vector<int> reports_;
    int endMs_;
    std::size_t next_ = 0;
    int nowMs_ = 0;
};

TEST(MonitorThreadTest, DeferredReportsAreScannedOnceTheFolderHasBeenQuietAndUnreportedOnesOnATimer) {
    // The reports, the scans by their time, the timeout of each wait (a timer
    // only while a scan is owed), the scans without a report (for a file
    // system without reports from elsewhere) and the end.
    using Timeline = std::tuple<std::vector<int>, std::map<int, std::set<std::string>>, std::vector<std::optional<int>>,
                                std::optional<std::chrono::milliseconds>, int>;
    const std::optional<int> none;
    const Timeline timelines[] = {
        // Reports less than 3 s apart: a scan at the first, one 3 s after the last.
        {{0, 2000, 4000}, {{0, {"0"}}, {7000, {"2000", "4000"}}}, {none, none, 3000, 3000, none}, {}, INT_MAX},
        {{0, 3000}, {{0, {"0"}}, {3000, {"3000"}}}, {none, none, none}, {}, INT_MAX},
        // The owed scan, then a report 3 s after the last one scans at once.
        {{0, 2000, 5500}, {{0, {"0"}}, {5000, {"2000"}}, {5500, {"5500"}}}, {none, none, 3000, none, none}, {}, INT_MAX},
        // On NFS: files from another machine are found by the timer, which is
        // no report: one reported here 1 s after it is scanned at once.
        {{0, -2000, 6000, -12000},
         {{0, {"0"}}, {5000, {"2000"}}, {6000, {"6000"}}, {16000, {"12000"}}},
         {5000, 5000, 5000, 5000, 5000, 5000},
         kUnreportedScanInterval,
         20000},
    };
    test::TempFolder root;
    const test::ScopedDataFolder dataFolder(root.path() / "data");
    const platform::StopSignal stop;
    g_bWatching = 1;
    for (std::size_t k = 0; k < std::size(timelines); ++k) {
        const auto& [reportsAtMs, scans, timeouts, scanEvery, endMs] = timelines[k];
        SCOPED_TRACE(::testing::PrintToString(reportsAtMs));
        const fs::path folder = root.path() / std::to_string(k);
        fs::create_directory(folder);
        MonitorContext context;
        Store(context.entry.folder, SjPath(folder));
        Store(context.entry.program, Sj(u8"conv"));
        context.entry.openTarget = 1;
        config::WriteSnapshot(0, context.entry);
        ResetLastScanTimes();
        const auto watch = std::make_shared<ScriptedWatch>(folder, reportsAtMs, endMs);
        context.change = watch;
        context.scanEvery = scanEvery;
        context.stop = &stop;
        context.services = watch.get();

        MonitorThreadProc(0, context);
        EXPECT_EQ(watch->started, scans);
        EXPECT_EQ(watch->timeouts, timeouts);
        EXPECT_EQ(g_lastScanTime[0], 1'000'000u + static_cast<unsigned>(std::ranges::max(reportsAtMs) / 1000));
    }
    g_bWatching = 0;
}

}  // namespace
}  // namespace molvar::engine
