#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "config/snapshot.h"
#include "engine/molvar_doc.h"
#include "engine/monitor_thread.h"
#include "framework/message_loop.h"
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

// Starts real threads, counts them as they start and end, and can refuse one.
class CountingThreads {
public:
    int refuseAt = -1;  // the call that fails, counted from 0

    ThreadStarter Starter() {
        return [this](std::function<void()> body) -> std::optional<std::thread> {
            std::lock_guard lock(mutex_);
            if (calls_++ == refuseAt) {
                return std::nullopt;
            }
            ++started_;
            return std::thread([this, body = std::move(body)] {
                body();
                std::lock_guard ended(mutex_);
                ++ended_;
                changed_.notify_all();
            });
        };
    }
    int started() {
        std::lock_guard lock(mutex_);
        return started_;
    }
    bool WaitUntilAllEnded() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return ended_ == started_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int calls_ = 0;
    int started_ = 0;
    int ended_ = 0;
};

// A message box that stays open until the test closes it.
class HeldMessageBox final : public framework::MessageBoxPresenter {
public:
    int Present(const text::Cp932String&, unsigned) override {
        std::unique_lock lock(mutex_);
        shown_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return closed_; });
        return IDOK;
    }
    bool WaitUntilShown() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return shown_; });
    }
    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool shown_ = false;
    bool closed_ = false;
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
    CountingThreads threads_;
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
        baselineBeforeThread.push_back(fs::exists(dataFolder_.ListingFile(threads_.started())));
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
    doc.reset();
    EXPECT_TRUE(threads_.WaitUntilAllEnded());
}

TEST_F(WatchControlTest, StopEndsWaitingThreadsAndStartTakesANewBaseline) {
    const fs::path in = Folder("in");
    WriteSettings({Setting(in)});
    auto doc = Open();
    EXPECT_FALSE(Enabled(*doc, res::ID_WATCH_START));
    EXPECT_TRUE(Enabled(*doc, res::ID_WATCH_STOP));

    EXPECT_TRUE(doc->OnCmdMsg(res::ID_WATCH_STOP, framework::CN_COMMAND, nullptr));
    EXPECT_TRUE(threads_.WaitUntilAllEnded());
    EXPECT_EQ(g_bWatching, 0);
    EXPECT_TRUE(Enabled(*doc, res::ID_WATCH_START));
    EXPECT_FALSE(Enabled(*doc, res::ID_WATCH_STOP));

    // Put in while the watch was off: never reported.
    test::WriteText(in / "while-off.txt", "");
    EXPECT_TRUE(doc->OnCmdMsg(res::ID_WATCH_START, framework::CN_COMMAND, nullptr));
    test::ArriveByCopy(in / "after.txt", "");
    ASSERT_TRUE(effects_.WaitForEvents(3));
    EXPECT_EQ(effects_.events(), Reported(in, "after.txt"));
    EXPECT_EQ(threads_.started(), 2);
}

TEST_F(WatchControlTest, AScanBlockedInAMessageBoxFinishesAfterTheStopWithoutRearming) {
    const fs::path in = Folder("in");
    WriteSettings({Setting(in)});
    HeldMessageBox box;
    framework::ScopedMessageBoxPresenter held(box);
    auto doc = Open();

    test::ArriveByCopy(in / "a.txt", "a");
    ASSERT_TRUE(box.WaitUntilShown());
    doc->StopWatching();  // returns while the box is open
    test::WriteText(in / "b.txt", "b");
    box.Close();
    EXPECT_TRUE(threads_.WaitUntilAllEnded());
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
        settings.push_back(Setting(root_.path() / ("missing" + std::to_string(k))));
    }
    WriteSettings(settings);
    threads_.refuseAt = 5;
    auto doc = Open();
    EXPECT_EQ(effects_.events(), Events{"message:5 番目のスレッド作成に失敗しました。"});
    EXPECT_EQ(threads_.started(), 5);
    EXPECT_TRUE(Enabled(*doc, res::ID_WATCH_STOP));
    doc.reset();
    EXPECT_TRUE(threads_.WaitUntilAllEnded());
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
    doc->StopWatching();
    EXPECT_TRUE(threads_.WaitUntilAllEnded());
    // One report for the file and one for the folder at the most: the
    // thread waited for the stop instead of scanning on and on.
    EXPECT_LE((effects_.calendarTime - clockAtStart) / 10, 2);
}

TEST_F(WatchControlTest, ManyStartsAndStopsOfAHundredSettingsOnSharedFolders) {
    std::vector<WatchFileRecord> settings;
    std::vector<fs::path> folders;
    for (int k = 0; k < 100; ++k) {
        if (k < 20) {
            folders.push_back(Folder("f" + std::to_string(k)));
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
    EXPECT_TRUE(threads_.WaitUntilAllEnded());
    EXPECT_EQ(threads_.started(), 600);
}

TEST_F(WatchControlTest, QuitStopsTheWatchAndEndsTheMessageLoop) {
    WriteSettings({Setting(Folder("in"))});
    framework::PrepareMessageLoop();
    auto doc = Open();
    AfxPostCommand(res::ID_TRAY_EXIT);
    EXPECT_EQ(framework::RunMessageLoop(*doc, res::ID_TRAY_EXIT), 0);
    EXPECT_EQ(g_bWatching, 0);
    EXPECT_TRUE(threads_.WaitUntilAllEnded());
}

// A change notification on a clock of the test's own: reports come at the
// given times, a wait with a timeout ends once that has passed, and no real
// time goes by. After the last report, a wait without a timeout stops.
class ScriptedNotification final : public platform::ChangeNotification {
public:
    ScriptedNotification(std::vector<int> reportsAtMs, std::function<void(int)> onReport)
        : reports_(std::move(reportsAtMs)), onReport_(std::move(onReport)) {}

    Wake Wait(const platform::StopSignal&, std::optional<std::chrono::milliseconds> timeout) override {
        timeouts.push_back(timeout ? std::optional(static_cast<int>(timeout->count())) : std::nullopt);
        if (next_ < reports_.size() && (!timeout || reports_[next_] <= nowMs + timeout->count())) {
            nowMs = reports_[next_++];
            onReport_(nowMs);
            return Wake::Changed;
        }
        if (timeout) {
            nowMs += static_cast<int>(timeout->count());
            return Wake::TimedOut;
        }
        return Wake::Stopped;
    }

    int nowMs = 0;
    std::vector<std::optional<int>> timeouts;  // of each wait

private:
    std::vector<int> reports_;
    std::size_t next_ = 0;
    std::function<void(int)> onReport_;
};

// Tells the notification's clock and notes the files handed to the program,
// by the time they were.
class ScriptedServices final : public platform::Services {
public:
    explicit ScriptedServices(const ScriptedNotification& clock) : clock_(clock) {}
    std::int64_t CalendarTime() const override { return 1'000'000 + clock_.nowMs / 1000; }
    void Sleep(std::chrono::milliseconds) const override {}
    void ShellRun(const text::Cp932String&, const std::optional<text::Cp932String>& parameter) const override {
        started[clock_.nowMs].insert(test::Utf8Path(text::ToUtf8ForDisplay(parameter.value())).filename().string());
    }

    mutable std::map<int, std::set<std::string>> started;

private:
    const ScriptedNotification& clock_;
};

TEST(MonitorThreadTest, DeferredReportsAreScannedOnceTheFolderHasBeenQuiet) {
    struct Timeline {
        std::vector<int> reportsAtMs;  // each brings a file named by its time
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
    g_bWatching = 1;
    for (const Timeline& timeline : timelines) {
        SCOPED_TRACE(::testing::PrintToString(timeline.reportsAtMs));
        const fs::path folder = root.path() / ::testing::PrintToString(timeline.reportsAtMs);
        fs::create_directory(folder);
        MonitorContext context;
        Store(context.entry.folder, SjPath(folder));
        Store(context.entry.program, Sj(u8"conv"));
        context.entry.openTarget = 1;
        config::WriteSnapshot(0, context.entry);
        ResetLastScanTimes();
        auto change = std::make_shared<ScriptedNotification>(
            timeline.reportsAtMs, [&](int at) { test::WriteText(folder / std::to_string(at), ""); });
        const ScriptedServices services(*change);
        const platform::StopSignal stop;
        context.change = change;
        context.stop = &stop;
        context.services = &services;

        MonitorThreadProc(0, context);
        EXPECT_EQ(services.started, timeline.scans);
        EXPECT_EQ(change->timeouts, timeline.timeouts);
        EXPECT_EQ(g_lastScanTime[0], 1'000'000u + static_cast<unsigned>(timeline.reportsAtMs.back() / 1000));
    }
    g_bWatching = 0;
}

}  // namespace
}  // namespace molvar::engine
