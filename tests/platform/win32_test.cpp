// Checks of the Windows backend where Windows differs from the POSIX one:
// names, read-only and held files, devices and change
// handles that outlive their folder. The framework's message box constants
// come before <windows.h>, which defines the same names as macros.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <thread>

#include "platform/change_notification.h"
#include "platform/files.h"
#include "platform/win32/handle.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::Sj;
using test::SjPath;
using test::WriteText;

std::vector<std::uint8_t> BytesOf(const std::string& text) { return {text.begin(), text.end()}; }

class Win32FilesTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(inbox_); }

    test::TempFolder root_;
    // 表 is 0x95 0x5C in code page 932: its second byte is a backslash.
    fs::path inbox_ = root_.path() / u8"受信表";
};

// The engine's tests work in folders named with 表 (0x95 0x5C) as well.
TEST_F(Win32FilesTest, NamesIgnoreCaseAndFoldersAndFilesComeAndGo) {
    const text::Cp932String report = SjPath(inbox_ / u8"報告書.csv"), done = SjPath(inbox_ / u8"済み表");
    WriteText(inbox_ / u8"報告書.csv", "x");
    EXPECT_TRUE(IsSameFile(report, SjPath(inbox_ / u8"報告書.CSV")));
    EXPECT_TRUE(MakeFolder(done));
    EXPECT_FALSE(MakeFolder(done));  // there already
    EXPECT_TRUE(DeleteFileAt(report));
    EXPECT_FALSE(PathExists(report));
    EXPECT_FALSE(DeleteFileAt(report));
}

// A read-only file, and one held open without delete sharing (as a
// spreadsheet program holds the file it shows), is neither rewritten nor
// replaced, and no temporary file is left beside it. (A file that is free is
// replaced: see the settings file's and the after-processing's tests.)
TEST_F(Win32FilesTest, AReadOnlyOrHeldFileIsNeitherRewrittenNorReplaced) {
    const fs::path kept = inbox_ / "dirinfo.dat";
    const fs::path incoming = root_.path() / "dirinfo.dat";
    WriteText(kept, "old");
    WriteText(incoming, "incoming");
    const auto expectKept = [&](WriteStatus status) {
        EXPECT_EQ(ReplaceFileAtomically(SjPath(kept), BytesOf("new")), status);
        EXPECT_FALSE(MoveFileTo(SjPath(incoming), SjPath(kept), MoveMode::ReplaceExisting));
        EXPECT_FALSE(MoveFileTo(SjPath(incoming), SjPath(kept), MoveMode::KeepExisting));
        EXPECT_EQ(ReadText(kept), "old");
        EXPECT_EQ(ReadText(incoming), "incoming");
        EXPECT_EQ(test::FolderNames(inbox_), std::vector<std::string>{"dirinfo.dat"});
    };
    ASSERT_TRUE(::SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_READONLY));
    expectKept(WriteStatus::OpenFailed);
    ASSERT_TRUE(::SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_NORMAL));
    {
        win32::UniqueHandle other(::CreateFileW(kept.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(other.valid());
        expectKept(WriteStatus::WriteFailed);
    }
    // A reader that lets go while the save is under way does not fail it.
    auto reader = std::make_optional<win32::UniqueHandle>(::CreateFileW(
        kept.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    const auto inbox = ChangeNotification::Register(SjPath(inbox_), ChangeFilter::FileName);
    ASSERT_TRUE(inbox);
    WriteStatus saved = WriteStatus::OpenFailed;
    std::thread writer([&] { saved = ReplaceFileAtomically(SjPath(kept), BytesOf("new")); });
    EXPECT_EQ(inbox->Wait(StopSignal(), std::chrono::seconds(10)), ChangeNotification::Wake::Changed);  // its temporary file
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the reader reads on for a moment
    reader.reset();
    writer.join();
    EXPECT_EQ(saved, WriteStatus::Written);
    EXPECT_EQ(ReadText(kept), "new");
}

// A folder, or a file missing from a folder that exists: see the settings
// file's tests.
TEST_F(Win32FilesTest, OnlyFilesOnDiskAreRead) {
    WriteText(inbox_ / "a.txt", "a");
    EXPECT_EQ(ReadFileHead(Sj(u8"NUL"), 10).status, ReadStatus::Unreadable);
    EXPECT_EQ(ReadFileHead(SjPath(inbox_ / "NUL"), 10).status, ReadStatus::Unreadable);
    EXPECT_EQ(ReadFileHead(SjPath(root_.path() / "missing" / "b.txt"), 10).status, ReadStatus::NotFound);
    // A path whose folder part is a file.
    EXPECT_EQ(ReadFileHead(SjPath(inbox_ / "a.txt" / "b.txt"), 10).status, ReadStatus::NotFound);
    // Beyond the classic path limit.
    const text::Cp932String deep = SjPath(inbox_) + text::Cp932String::FromBytes("\\" + std::string(300, 'n'));
    EXPECT_EQ(ReadFileHead(deep, 10).status, ReadStatus::NotFound);
    EXPECT_EQ(ReplaceFileAtomically(deep, BytesOf("x")), WriteStatus::OpenFailed);
}

// A change handle follows its folder when the folder is moved, and keeps
// being signalled by changes there: the watch notices that the path it was
// given is gone and from then on waits only for the stop (or its time-out),
// instead of waking on and on for a folder it no longer stands for.
TEST(Win32ChangeNotificationTest, AFolderMovedAwayWakesOnceAndThenOnlyForTheStop) {
    test::TempFolder root;
    const fs::path watched = root.path() / u8"受信", moved = root.path() / u8"移動先";
    fs::create_directory(watched);
    const auto names = ChangeNotification::Register(SjPath(watched), ChangeFilter::FileName);
    ASSERT_TRUE(names);
    fs::rename(watched, moved);
    fs::create_directory(watched);  // another folder in its place is not the one watched
    StopSignal stop;
    WriteText(moved / "a.txt", "a");
    EXPECT_EQ(names->Wait(stop), ChangeNotification::Wake::Changed);
    EXPECT_TRUE(names->Broken());  // the setting looks for its path again
    WriteText(moved / "b.txt", "b");
    EXPECT_EQ(names->Wait(stop, std::chrono::milliseconds(300)), ChangeNotification::Wake::TimedOut);
    stop.Raise();
    EXPECT_EQ(names->Wait(stop), ChangeNotification::Wake::Stopped);
}

}  // namespace
}  // namespace molvar::platform
