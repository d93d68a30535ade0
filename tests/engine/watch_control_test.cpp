#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "config/snapshot.h"
#include "engine/molvar_doc.h"
#include "engine/monitor_thread.h"
#include "res/resource.h"
#include "support/test_support.h"
#include "text/convert.h"

namespace molvar::engine {
namespace {

namespace fs = std::filesystem;
using config::WatchFileRecord;
using test::Sj;
using test::SjPath;
using test::Store;
using Events = std::vector<std::string>;

// Starts real threads, counts the starts and can refuse one.
struct Threads {
    int refuseAt = -1;  // the call that fails, counted from 0
    std::atomic<int> calls{0}, started{0};

    ThreadStarter Starter() {
        return [this](std::function<void()> body) -> std::optional<std::thread> {
            if (calls++ == refuseAt) {
                return std::nullopt;
            }
            ++started;
            return std::thread(std::move(body));
        };
    }
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

class WatchControlTest : public ::testing::Test {
protected:
    void SetUp() override { effects_.calendarStep = 10; }  // every report scans

    fs::path Folder(const fs::path& name) {
        fs::create_directories(root_.path() / name);
        return root_.path() / name;
    }

    // A running setting that shows a message and hands each file to "conv".
    static WatchFileRecord Setting(const fs::path& folder) {
        WatchFileRecord record;
        record.running = 1;
        Store(record.entry.folder, SjPath(folder));
        Store(record.entry.program, Sj(u8"conv"));
        record.entry.showMessage = 1;
        record.entry.openTarget = 1;
        return record;
    }

    void WriteSettings(const std::vector<WatchFileRecord>& records) {
        test::WriteBytes(dataFolder_.Obsdat() / "dirinfo.dat", test::BytesOfRecords(records));
    }

    std::unique_ptr<CMolvarDoc> Open() { return std::make_unique<CMolvarDoc>(effects_, threads_.Starter()); }

    static bool Enabled(CMolvarDoc& doc, unsigned id) {
        framework::CCmdUI ui(id);
        EXPECT_TRUE(doc.OnCmdMsg(id, framework::CN_UPDATE_COMMAND_UI, &ui));
        return ui.m_bEnabled;
    }

    static Events Reported(const fs::path& folder, const std::string& name) {
        return {"message:" + test::Utf8(folder) + "を実行します。", "shell-run:conv|" + test::Utf8(folder / name),
                "sleep:1000"};
    }

    test::TempFolder root_;
    test::ScopedDataFolder dataFolder_{root_.path() / "data"};
    test::EffectRecorder effects_;
    Threads threads_;
};

TEST_F(WatchControlTest, RunningSettingsGetDenseIndicesAndBaselinesBeforeTheirThreads) {
    const fs::path a = Folder("a"), b = Folder("b"), c = Folder("c"), d = Folder("d");
    WatchFileRecord stopped = Setting(b);
    stopped.running = 0;
    WriteSettings({Setting(a), stopped, Setting(c), Setting(d)});
    test::WriteText(a / "there-before.txt", "");

    std::vector<bool> baselineBeforeThread;
    ThreadStarter counting = threads_.Starter();
    auto doc = std::make_unique<CMolvarDoc>(effects_, [&](std::function<void()> body) {
        baselineBeforeThread.push_back(fs::exists(dataFolder_.ListingFile(threads_.started)));
        return counting(std::move(body));
    });
    EXPECT_EQ(doc->entryCount(), 3);
    EXPECT_EQ(config::FieldText(doc->watchTable()[1].folder), SjPath(c));
    EXPECT_EQ(baselineBeforeThread, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(g_bWatching, 1);

    // Only what comes after the start is reported, by the setting's own thread.
    test::ArriveByCopy(d / "new.txt", "n");
    ASSERT_TRUE(effects_.WaitForEvents(3));
    EXPECT_EQ(effects_.events(), Reported(d, "new.txt"));
}

TEST_F(WatchControlTest, StopEndsWaitingThreadsAndStartTakesANewBaseline) {
    const fs::path in = Folder("in");
    WriteSettings({Setting(in)});
    auto doc = Open();
    EXPECT_FALSE(Enabled(*doc, res::ID_WATCH_START));
    EXPECT_TRUE(Enabled(*doc, res::ID_WATCH_STOP));

    EXPECT_TRUE(doc->OnCmdMsg(res::ID_WATCH_STOP, framework::CN_COMMAND, nullptr));
    EXPECT_EQ(g_bWatching, 0);
    EXPECT_TRUE(Enabled(*doc, res::ID_WATCH_START));
    EXPECT_FALSE(Enabled(*doc, res::ID_WATCH_STOP));

    // Put in while the watch was off: never reported.
    test::WriteText(in / "while-off.txt", "");
    EXPECT_TRUE(doc->OnCmdMsg(res::ID_WATCH_START, framework::CN_COMMAND, nullptr));
    test::ArriveByCopy(in / "after.txt", "");
    ASSERT_TRUE(effects_.WaitForEvents(3));
    EXPECT_EQ(effects_.events(), Reported(in, "after.txt"));
    EXPECT_EQ(threads_.started, 2);
}

TEST_F(WatchControlTest, AScanInAMessageBoxOutlivesTheStopAndTheEndDoesNotWaitForIt) {
    const fs::path in = Folder("in");
    WriteSettings({Setting(in)});
    HeldMessageBox box;
    framework::ScopedMessageBoxPresenter held(box);
    auto doc = Open();
    EXPECT_TRUE(doc->StopForExit());  // waiting threads end at once

    doc->StartWatching();
    test::ArriveByCopy(in / "a.txt", "a");
    ASSERT_TRUE(box.WaitUntilShown());
    doc->StopWatching();  // returns while the box is open
    EXPECT_FALSE(doc->StopForExit());
    test::WriteText(in / "b.txt", "b");
    box.Close();
    doc.reset();  // the scan ends without re-arming
    const Events reported = Reported(in, "a.txt");
    EXPECT_EQ(effects_.events(), Events(reported.begin() + 1, reported.end()));
    // The scan wrote its listing after the reactions: b.txt came during the
    // message box and is taken in unreported.
    config::FolderSnapshot listing;
    EXPECT_EQ(config::LoadSnapshot(0, listing).count, 2);
}

TEST_F(WatchControlTest, AThreadThatCannotBeCreatedStopsTheStartWithAMessage) {
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

TEST_F(WatchControlTest, AFolderDeletedWhileWatchedIsReportedOnceAndNeverSpins) {
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

TEST_F(WatchControlTest, ManyStartsAndStopsOfAHundredSettingsOnSharedFolders) {
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
        {{0, 1500}, {{0, {"0"}}, {4500, {"1500"}}}, {none, none, 3000, none}},
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
