#include <gtest/gtest.h>

#include <filesystem>

#include "engine/reactions.h"
#include "support/test_support.h"

namespace molvar::engine {
namespace {

namespace fs = std::filesystem;
using test::Sj;
using test::SjPath;
using test::Store;
using Events = std::vector<std::string>;

class ReactionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(watched_);
        fs::create_directory(done_);
        Store(entry_.folder, SjPath(watched_));
        Store(entry_.moveFolder, SjPath(done_));
        entry_.afterAction = config::MoveTarget;
        effects_.localTime = platform::LocalTime{2012, 4, 22, 14, 5, 9};
    }
    void Arrive(const std::string& name) { test::WriteText(watched_ / test::Utf8Path(name), "new"); }
    void Move(const std::string& name) { AfterProcess(Sj(std::u8string(name.begin(), name.end())), entry_, effects_); }

    test::TempFolder root_;
    fs::path watched_ = root_.path() / u8"受信";
    fs::path done_ = root_.path() / "done";
    config::WatchEntry entry_;
    test::EffectRecorder effects_;
};

TEST_F(ReactionsTest, NotifyUserSoundsBeforeTheMessageNamingTheWholeFolder) {
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

TEST_F(ReactionsTest, TheProgramGetsTheFileWithOpenTargetAndIsWaitedForOrFollowedByAPause) {
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
        {false, true, true, {"shell-run:/opt/変換 -q|" + file, "sleep:1000"}},
        {false, true, false, {"shell-run:/opt/変換 -q|(none)", "sleep:1000"}},
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

TEST_F(ReactionsTest, OpenTargetFileOpensANamedFileThatTheSystemCanNameThenPauses) {
    entry_.openTarget = 1;
    Store(entry_.program, Sj(u8"/opt/conv"));
    OpenTargetFile(std::nullopt, entry_, effects_);
    OpenTargetFile(Sj(u8"報告書.csv"), entry_, effects_);
    // A path beyond the system's limit, or one that does not convert, names
    // no file of the system: the reaction is skipped.
    const text::Cp932String hugeName = text::Cp932String::FromBytes(std::string(5000, 'n'));
    RunProgram(hugeName, entry_, effects_);
    OpenTargetFile(hugeName, entry_, effects_);
    OpenTargetFile(text::Cp932String::FromBytes("bad\x82"), entry_, effects_);
    EXPECT_EQ(effects_.events(), (Events{"shell-open:" + test::Utf8(watched_ / u8"報告書.csv"), "sleep:1000"}));
}

TEST_F(ReactionsTest, AfterProcessMovesUnderItsNameOrAStampOfTheMoveWhenTheNameIsTaken) {
    Arrive("報告書.csv");
    Move("報告書.csv");
    EXPECT_TRUE(test::FolderNames(watched_).empty());
    EXPECT_EQ(test::ReadText(done_ / u8"報告書.csv"), "new");

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
        EXPECT_FALSE(fs::exists(watched_ / name)) << name;
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

TEST_F(ReactionsTest, AfterProcessLeavesTheFileUnlessAskedToMoveItElsewhereAndAble) {
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

}  // namespace
}  // namespace molvar::engine
