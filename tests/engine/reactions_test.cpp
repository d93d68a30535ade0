#include <gtest/gtest.h>

#include <filesystem>

#include "engine/reactions.h"
#include "support/test_support.h"

namespace molvar::engine {
namespace {

namespace fs = std::filesystem;
using config::WatchEntry;
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
        effects_.localTime = platform::LocalTime{2012, 4, 22, 14, 5, 9};
    }

    test::TempFolder root_;
    fs::path watched_ = root_.path() / u8"受信";
    fs::path done_ = root_.path() / "done";
    fs::path record_ = root_.path() / "args";
    WatchEntry entry_;
    test::EffectRecorder effects_;
};

TEST_F(ReactionsTest, NotifyUserSoundsBeforeTheMessageNamingTheWholeFolder) {
    entry_.soundKind = config::BeepSound;
    entry_.showMessage = 1;
    NotifyUser(entry_, effects_);
    EXPECT_EQ(effects_.events(), (Events{"beep:800Hz,100ms", "message:" + test::Utf8(watched_) + "を実行します。"}));

    // A folder path too long for a 127-byte message is shown whole all the same.
    WatchEntry deep = entry_;
    const std::string longFolder = "/" + std::string(124, 'd');
    Store(deep.folder, text::Cp932String::FromBytes(longFolder));
    deep.soundKind = config::WaveFile;
    Store(deep.soundFile, Sj(u8"/sounds/ちん.wav"));
    NotifyUser(deep, effects_);
    EXPECT_EQ(effects_.events().at(2), "wave:/sounds/ちん.wav");
    EXPECT_EQ(effects_.events().at(3), "message:" + longFolder + "を実行します。");

    // Neither a message nor a known sound: nothing.
    deep.showMessage = 0;
    deep.soundKind = 7;
    NotifyUser(deep, effects_);
    EXPECT_EQ(effects_.events().size(), 4u);
}

TEST_F(ReactionsTest, RunProgramWaitsForTheProgramWithThePathAsOneArgument) {
    test::ScopedEnv recordTo("MOLVAR_ARGS_FILE", test::Utf8(record_));
    Store(entry_.program, SjPath(test::RecordArgsProgram()) + text::Cp932String::FromBytes(" --from-molvar"));
    entry_.waitForExit = 1;
    entry_.openTarget = 1;
    RunProgram(Sj(u8"a b.txt"), entry_, effects_);
    EXPECT_EQ(test::RecordedArgs(record_), (Events{"--from-molvar", test::Utf8(watched_ / "a b.txt")}));

    // A vanished file names no file: the program runs without one.
    fs::remove(record_);
    RunProgram(std::nullopt, entry_, effects_);
    EXPECT_EQ(test::RecordedArgs(record_), Events{"--from-molvar"});

    // Without openTarget the file is not handed over.
    fs::remove(record_);
    entry_.openTarget = 0;
    RunProgram(Sj(u8"a b.txt"), entry_, effects_);
    EXPECT_EQ(test::RecordedArgs(record_), Events{"--from-molvar"});
    EXPECT_TRUE(effects_.events().empty());  // no pause after a program that was waited for
}

TEST_F(ReactionsTest, RunProgramWithoutWaitingGoesToTheShellAndPausesOnlyWithTheFile) {
    Store(entry_.program, Sj(u8"/opt/変換"));
    RunProgram(Sj(u8"報告書.csv"), entry_, effects_);
    EXPECT_EQ(effects_.events(), Events{"shell-run:/opt/変換|(none)"});

    entry_.openTarget = 1;
    RunProgram(Sj(u8"報告書.csv"), entry_, effects_);
    RunProgram(std::nullopt, entry_, effects_);
    EXPECT_EQ(effects_.events(), (Events{"shell-run:/opt/変換|(none)",
                                     "shell-run:/opt/変換|" + test::Utf8(watched_ / u8"報告書.csv"), "sleep:1000",
                                     "shell-run:/opt/変換|(none)", "sleep:1000"}));
}

TEST_F(ReactionsTest, OpenTargetFileOpensTheFileThenPauses) {
    entry_.openTarget = 1;
    OpenTargetFile(std::nullopt, entry_, effects_);
    EXPECT_TRUE(effects_.events().empty());
    OpenTargetFile(Sj(u8"報告書.csv"), entry_, effects_);
    EXPECT_EQ(effects_.events(), (Events{"shell-open:" + test::Utf8(watched_ / u8"報告書.csv"), "sleep:1000"}));
}

TEST_F(ReactionsTest, APathBeyondThePlatformLimitSkipsTheReaction) {
    entry_.openTarget = 1;
    Store(entry_.program, Sj(u8"/opt/conv"));
    const text::Cp932String hugeName = text::Cp932String::FromBytes(std::string(5000, 'n'));
    RunProgram(hugeName, entry_, effects_);
    OpenTargetFile(hugeName, entry_, effects_);
    // A name that does not convert names no file of the OS either.
    OpenTargetFile(text::Cp932String::FromBytes("bad\x82"), entry_, effects_);
    EXPECT_TRUE(effects_.events().empty());
}

class AfterProcessTest : public ReactionsTest {
protected:
    void SetUp() override {
        ReactionsTest::SetUp();
        entry_.afterAction = config::MoveTarget;
    }
};

TEST_F(AfterProcessTest, MovesTheFileWhenTheNameIsFree) {
    test::WriteText(watched_ / u8"報告書.csv", "new");
    AfterProcess(Sj(u8"報告書.csv"), entry_, effects_);
    EXPECT_TRUE(test::FolderNames(watched_).empty());
    EXPECT_EQ(test::ReadText(done_ / u8"報告書.csv"), "new");
}

TEST_F(AfterProcessTest, GivesATimeStampedNameWhenTheNameIsTaken) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"report.csv", "report_120422140509.csv"},
        {"archive.tar.gz", "archive_120422140509.tar.gz"},
        {"README", "README_120422140509"},
        {".profile", "_120422140509.profile"},
        // An extension longer than 8 characters is kept whole, not cut into another type.
        {"notes.backup.txt", "notes_120422140509.backup.txt"},
        {"x.spreadsheet", "x_120422140509.spreadsheet"},
    };
    for (const auto& [name, stamped] : cases) {
        test::WriteText(watched_ / name, "new");
        test::WriteText(done_ / name, "old");
        AfterProcess(SjPath(fs::path(name)), entry_, effects_);
        EXPECT_FALSE(fs::exists(watched_ / name)) << name;
        EXPECT_EQ(test::ReadText(done_ / name), "old") << name;
        EXPECT_EQ(test::ReadText(done_ / stamped), "new") << name;
    }
}

TEST_F(AfterProcessTest, LeavesTheFileWhenTheStampedNameIsTakenToo) {
    test::WriteText(watched_ / "report.csv", "new");
    test::WriteText(done_ / "report.csv", "old");
    test::WriteText(done_ / "report_120422140509.csv", "earlier in the same second");
    AfterProcess(Sj(u8"report.csv"), entry_, effects_);
    EXPECT_EQ(test::ReadText(watched_ / "report.csv"), "new");
    EXPECT_EQ(test::ReadText(done_ / "report_120422140509.csv"), "earlier in the same second");
}

TEST_F(AfterProcessTest, ReplacesTheExistingFileWithOverwrite) {
    entry_.overwriteMoved = 1;
    test::WriteText(watched_ / "report.csv", "new");
    test::WriteText(done_ / "report.csv", "old");
    AfterProcess(Sj(u8"report.csv"), entry_, effects_);
    EXPECT_FALSE(fs::exists(watched_ / "report.csv"));
    EXPECT_EQ(test::FolderNames(done_), Events{"report.csv"});
    EXPECT_EQ(test::ReadText(done_ / "report.csv"), "new");
}

TEST_F(AfterProcessTest, NeverMovesAFileOntoItself) {
    // The destination is the watched folder itself: overwriting must not
    // delete the file, and a stamped copy would be reported at every scan.
    test::WriteText(watched_ / "report.csv", "keep");
    Store(entry_.moveFolder, SjPath(watched_));
    AfterProcess(Sj(u8"report.csv"), entry_, effects_);
    entry_.overwriteMoved = 1;
    AfterProcess(Sj(u8"report.csv"), entry_, effects_);
    EXPECT_EQ(test::FolderNames(watched_), Events{"report.csv"});
    EXPECT_EQ(test::ReadText(watched_ / "report.csv"), "keep");
}

TEST_F(AfterProcessTest, DoesNothingUnlessAskedToMoveOrWhenItCannot) {
    test::WriteText(watched_ / "report.csv", "new");
    entry_.afterAction = config::DeleteTarget;  // stored, but never acted on
    AfterProcess(Sj(u8"report.csv"), entry_, effects_);
    entry_.afterAction = config::MoveTarget;
    Store(entry_.moveFolder, SjPath(root_.path() / "missing"));
    AfterProcess(Sj(u8"report.csv"), entry_, effects_);
    EXPECT_EQ(test::ReadText(watched_ / "report.csv"), "new");
    EXPECT_TRUE(effects_.events().empty());
}

}  // namespace
}  // namespace molvar::engine
