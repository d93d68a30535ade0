// Checks of the Windows backend where Windows differs from the POSIX one:
// wide names, read-only files, devices, the C run-time's argument rules,
// starts through the shell and change handles that outlive their folder.
// The framework's message box constants come before <windows.h>, which
// defines the same names as macros.
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "platform/change_notification.h"
#include "platform/directory_search.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/win32/handle.h"
#include "support/pipe_record_win32.h"
#include "text/convert.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::Sj;
using test::SjPath;
using test::Utf8;
using test::WriteText;
using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

void SetReadOnly(const fs::path& path, bool readOnly) {
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
}

std::vector<DirectoryItem> Search(const fs::path& folder, const char8_t* pattern) {
    DirectorySearch search(SjPath(folder), Sj(pattern));
    std::vector<DirectoryItem> items;
    while (auto item = search.Next()) {
        items.push_back(std::move(*item));
    }
    return items;
}

class Win32FilesTest : public ::testing::Test {
protected:
    test::TempFolder root_;
    // 表 is 0x95 0x5C in code page 932: its second byte is a backslash.
    fs::path inbox_ = root_.path() / u8"受信表";
    fs::path done_ = root_.path() / u8"済み";
};

TEST_F(Win32FilesTest, JapaneseNamesRoundTripThroughEveryFileFunction) {
    ASSERT_TRUE(MakeFolder(SjPath(inbox_)));
    ASSERT_TRUE(MakeFolder(SjPath(done_)));
    EXPECT_FALSE(MakeFolder(SjPath(done_)));
    const text::Cp932String report = SjPath(inbox_ / u8"報告書.csv");

    EXPECT_EQ(ReplaceFileAtomically(report, BytesOf("first")), WriteStatus::Written);
    EXPECT_EQ(ReplaceFileAtomically(report, BytesOf("second")), WriteStatus::Written);
    EXPECT_EQ(test::FolderNames(inbox_), std::vector<std::string>{"報告書.csv"});
    EXPECT_EQ(ReadText(inbox_ / u8"報告書.csv"), "second");
    const FileHead head = ReadFileHead(report, 100);
    EXPECT_EQ(head.status, ReadStatus::Read);
    EXPECT_EQ(head.bytes, BytesOf("second"));
    EXPECT_TRUE(PathExists(report));
    // Windows names ignore case.
    EXPECT_TRUE(IsSameFile(report, SjPath(inbox_ / u8"報告書.CSV")));

    const text::Cp932String moved = SjPath(done_ / u8"報告書.csv");
    EXPECT_TRUE(MoveFileTo(report, moved, MoveMode::KeepExisting));
    EXPECT_FALSE(PathExists(report));
    const auto items = Search(done_, u8"*.csv");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, Sj(u8"報告書.csv"));
    EXPECT_EQ(items[0].size, 6u);

    EXPECT_TRUE(DeleteFileAt(moved));
    EXPECT_FALSE(PathExists(moved));
    EXPECT_FALSE(DeleteFileAt(moved));
}

TEST_F(Win32FilesTest, AReadOnlyFileIsNeitherRewrittenNorReplaced) {
    fs::create_directory(inbox_);
    const fs::path kept = inbox_ / "dirinfo.dat";
    WriteText(kept, "old");
    SetReadOnly(kept, true);

    EXPECT_EQ(ReplaceFileAtomically(SjPath(kept), BytesOf("new")), WriteStatus::OpenFailed);
    EXPECT_EQ(ReadText(kept), "old");
    EXPECT_EQ(test::FolderNames(inbox_), std::vector<std::string>{"dirinfo.dat"});

    const fs::path incoming = root_.path() / "dirinfo.dat";
    WriteText(incoming, "incoming");
    EXPECT_FALSE(MoveFileTo(SjPath(incoming), SjPath(kept), MoveMode::ReplaceExisting));
    EXPECT_FALSE(MoveFileTo(SjPath(incoming), SjPath(kept), MoveMode::KeepExisting));
    EXPECT_EQ(ReadText(kept), "old");
    EXPECT_EQ(ReadText(incoming), "incoming");

    SetReadOnly(kept, false);
    EXPECT_TRUE(MoveFileTo(SjPath(incoming), SjPath(kept), MoveMode::ReplaceExisting));
    EXPECT_EQ(ReadText(kept), "incoming");
    EXPECT_FALSE(fs::exists(incoming));
}

TEST_F(Win32FilesTest, AFileHeldOpenWithoutDeleteSharingIsKept) {
    // As a spreadsheet program holds the file it shows: it may be written
    // in place, but not replaced.
    fs::create_directory(inbox_);
    const fs::path held = inbox_ / "dirinfo.dat";
    WriteText(held, "old");
    {
        win32::UniqueHandle other(::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(other.valid());
        EXPECT_EQ(ReplaceFileAtomically(SjPath(held), BytesOf("new")), WriteStatus::WriteFailed);
        EXPECT_EQ(ReadText(held), "old");
        EXPECT_EQ(test::FolderNames(inbox_), std::vector<std::string>{"dirinfo.dat"});
    }
    EXPECT_EQ(ReplaceFileAtomically(SjPath(held), BytesOf("new")), WriteStatus::Written);
    EXPECT_EQ(ReadText(held), "new");
}

TEST_F(Win32FilesTest, OnlyFilesOnDiskAreRead) {
    fs::create_directory(inbox_);
    WriteText(inbox_ / "a.txt", "a");
    EXPECT_EQ(ReadFileHead(SjPath(inbox_), 10).status, ReadStatus::Unreadable);
    EXPECT_EQ(ReadFileHead(Sj(u8"NUL"), 10).status, ReadStatus::Unreadable);
    EXPECT_EQ(ReadFileHead(SjPath(inbox_ / "NUL"), 10).status, ReadStatus::Unreadable);
    EXPECT_EQ(ReadFileHead(SjPath(inbox_ / "b.txt"), 10).status, ReadStatus::NotFound);
    EXPECT_EQ(ReadFileHead(SjPath(root_.path() / "missing" / "b.txt"), 10).status, ReadStatus::NotFound);
    // A path whose folder part is a file.
    EXPECT_EQ(ReadFileHead(SjPath(inbox_ / "a.txt" / "b.txt"), 10).status, ReadStatus::NotFound);
    // Beyond the classic path limit.
    const text::Cp932String deep = SjPath(inbox_) + text::Cp932String::FromBytes("\\" + std::string(300, 'n'));
    EXPECT_EQ(ReadFileHead(deep, 10).status, ReadStatus::NotFound);
    EXPECT_EQ(ReplaceFileAtomically(deep, BytesOf("x")), WriteStatus::OpenFailed);
}

TEST_F(Win32FilesTest, DirectorySearchReportsSizesBeyondFourGigabytes) {
    fs::create_directory(inbox_);
    const fs::path big = inbox_ / "big.bin";
    {
        // Sparse where the file system allows it, so no space is taken.
        win32::UniqueHandle file(::CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(file.valid());
        DWORD ignored = 0;
        ::DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
        LARGE_INTEGER size;
        size.QuadPart = 5LL << 30;
        if (!::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get())) {
            GTEST_SKIP() << "the file system takes no 5 GiB file";
        }
    }
    const auto items = Search(inbox_, u8"big.bin");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].size, 5ULL << 30);
}

class Win32ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(folder_);
        fs::copy_file(test::RecordArgsProgram(), program_);
    }

    test::TempFolder root_;
    fs::path folder_ = root_.path() / u8"受信 箱";
    fs::path program_ = folder_ / u8"記録.exe";
    fs::path record_ = root_.path() / "args";
};

TEST_F(Win32ProcessTest, RunAndWaitHandsOverThePathAsOneArgument) {
    test::ScopedEnv recordTo("MOLVAR_ARGS_FILE", Utf8(record_));
    const text::Cp932String program = Sj(u8"\"") + SjPath(program_) + Sj(u8"\" -v");
    const fs::path report = folder_ / u8"報告 書.csv";
    RunAndWait(program, SjPath(report));
    // Backslashes before the closing quote and quotes inside are escaped, so
    // the program reads back exactly what was given.
    RunAndWait(program, SjPath(folder_) + Sj(u8"\\"));
    RunAndWait(program, Sj(u8R"(say "hi"\)"));
    EXPECT_EQ(test::RecordedArgs(record_), (std::vector<std::string>{"-v", Utf8(report), "-v", Utf8(folder_) + "\\",
                                                                      "-v", R"(say "hi"\)"}));
}

TEST_F(Win32ProcessTest, TheShellStartsProgramsAndOpensFilesWithoutWaiting) {
    test::PipeRecord run;
    test::ScopedEnv recordTo("MOLVAR_ARGS_FILE", run.Name());
    const fs::path report = folder_ / u8"報告 書.csv";
    ShellRun(SjPath(program_), SjPath(report));
    EXPECT_EQ(run.Read(), std::vector<std::string>{Utf8(report)});

    // Opening a program runs it, with no argument.
    test::PipeRecord open;
    test::ScopedEnv openTo("MOLVAR_ARGS_FILE", open.Name());
    ShellOpenDocument(SjPath(program_));
    EXPECT_EQ(open.Read(), std::vector<std::string>{});
}

// A change handle follows its folder when the folder is moved, and keeps
// being signalled by changes there: the watch notices that the path it was
// given is gone and from then on waits only for the stop, instead of
// waking on and on for a folder it no longer stands for.
TEST(Win32ChangeNotificationTest, AFolderMovedAwayWakesOnceAndThenOnlyForTheStop) {
    test::TempFolder root;
    const fs::path watched = root.path() / u8"受信";
    const fs::path moved = root.path() / u8"移動先";
    fs::create_directory(watched);
    StopSignal stop;
    const auto names = ChangeNotification::Register(SjPath(watched), ChangeFilter::FileName);
    ASSERT_TRUE(names);
    fs::rename(watched, moved);

    WriteText(moved / "a.txt", "a");
    EXPECT_EQ(names->Wait(stop), ChangeNotification::Wake::Changed);

    WriteText(moved / "b.txt", "b");
    auto waiting = std::async(std::launch::async, [&] { return names->Wait(stop); });
    // Only a bounded wait can tell that the wait goes on.
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    stop.Raise();
    EXPECT_EQ(waiting.get(), ChangeNotification::Wake::Stopped);
}

}  // namespace
}  // namespace molvar::platform
