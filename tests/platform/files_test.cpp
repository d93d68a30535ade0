// The framework's message box constants come before <windows.h>, which
// defines the same names as macros.
#include "support/test_support.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>

#include "platform/win32/handle.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cwchar>
#include <filesystem>

#include "platform/files.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::SjPath;
using test::WriteText;

// /dev/shm is a tmpfs on Linux; where it shares the file system of the
// temporary folder there is no crossing to test. Wine shows it as Z:\dev\shm,
// while the temporary folder lies in the Wine prefix.
class MoveAcrossFileSystems : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        const fs::path shm = R"(Z:\dev\shm)";
        std::error_code error;
        if (!fs::is_directory(shm, error)) {
            GTEST_SKIP() << "no second file system at " << shm;
        }
#else
        const fs::path shm = "/dev/shm";
        struct stat tmp {}, other {};
        if (::stat(source_.path().c_str(), &tmp) != 0 || ::stat(shm.c_str(), &other) != 0 ||
            tmp.st_dev == other.st_dev || ::access(shm.c_str(), W_OK) != 0) {
            GTEST_SKIP() << "no second file system at " << shm;
        }
#endif
        destination_ = shm / source_.path().filename();
        fs::create_directory(destination_);
    }
    void TearDown() override {
        if (!destination_.empty()) {
            fs::remove_all(destination_);
        }
    }
    test::TempFolder source_;
    fs::path destination_;
};

TEST_F(MoveAcrossFileSystems, CopiesWithItsTimeAndRemovesTheSource) {
    const fs::path from = source_.path() / "report.csv";
    WriteText(from, "1,2,3");
    // Whole seconds, which every file system keeps exactly.
    const auto written = std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now()) - std::chrono::hours(30);
    fs::last_write_time(from, written);

    EXPECT_TRUE(MoveFileTo(SjPath(from), SjPath(destination_ / "report.csv"), MoveMode::KeepExisting));
    EXPECT_FALSE(fs::exists(from));
    EXPECT_EQ(ReadText(destination_ / "report.csv"), "1,2,3");
    EXPECT_EQ(fs::last_write_time(destination_ / "report.csv"), written);

    // An existing destination stops the move, and no copy is left behind.
    WriteText(from, "again");
    EXPECT_FALSE(MoveFileTo(SjPath(from), SjPath(destination_ / "report.csv"), MoveMode::KeepExisting));
    EXPECT_EQ(ReadText(from), "again");
    EXPECT_EQ(ReadText(destination_ / "report.csv"), "1,2,3");
    EXPECT_EQ(test::FolderNames(destination_), std::vector<std::string>{"report.csv"});

    EXPECT_TRUE(MoveFileTo(SjPath(from), SjPath(destination_ / "report.csv"), MoveMode::ReplaceExisting));
    EXPECT_EQ(ReadText(destination_ / "report.csv"), "again");
}

TEST_F(MoveAcrossFileSystems, ASourceThatCannotBeRemovedLeavesTheDestinationAsItWas) {
#ifdef _WIN32
    const fs::path from = source_.path() / "status";
    WriteText(from, "held");
    // Held by another program that lets others read it, not delete it.
    const win32::UniqueHandle holder(::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.valid());
#else
    const fs::path from = "/proc/self/status";  // readable, but never removed
#endif
    WriteText(destination_ / "status", "old");
    EXPECT_FALSE(MoveFileTo(SjPath(from), SjPath(destination_ / "status"), MoveMode::ReplaceExisting));
    EXPECT_FALSE(MoveFileTo(SjPath(from), SjPath(destination_ / "free"), MoveMode::KeepExisting));
    EXPECT_TRUE(fs::exists(from));
    EXPECT_EQ(ReadText(destination_ / "status"), "old");
    EXPECT_EQ(test::FolderNames(destination_), std::vector<std::string>{"status"});
}

// The leftovers of a write whose process was killed go; those of a process
// that runs (another copy, saving now) and every other file stay.
TEST(TemporaryFilesTest, OnlyThoseOfProcessesThatEndedAreRemoved) {
    test::TempFolder folder;
#ifdef _WIN32
    wchar_t ours[32];
    std::swprintf(ours, 32, L"~mv%lx-0a1b.tmp", ::GetCurrentProcessId());
    const std::vector<fs::path> abandoned = {L"~mvfffffffc-0a1b.tmp", L"~mv0123abcd.tmp"};
    const std::vector<fs::path> kept = {ours, L"~mvnotes.tmp", L"dirinfo.dat"};
#else
    const std::vector<fs::path> abandoned = {".molvar-2147483647-a1B2c3", ".molvar-Zx81kq"};
    const std::vector<fs::path> kept = {".molvar-" + std::to_string(::getpid()) + "-a1B2c3", ".molvar-notes",
                                        "dirinfo.dat"};
#endif
    for (const auto& names : {abandoned, kept}) {
        for (const fs::path& name : names) {
            WriteText(folder.path() / name, "x");
        }
    }
    fs::create_directory(folder.path() / "sub");
    fs::rename(folder.path() / abandoned[0], folder.path() / "sub" / abandoned[0]);
    fs::rename(folder.path() / "sub", folder.path() / abandoned[0]);  // a folder of that name stays

    RemoveAbandonedTemporaryFiles(SjPath(folder.path()));
    std::vector<std::string> expected{test::Utf8(abandoned[0])};
    for (const fs::path& name : kept) {
        expected.push_back(test::Utf8(name));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::FolderNames(folder.path()), expected);
}

// The limit only bounds the read: the buffer follows the file, also when the
// file holds more than its size told when it was opened.
TEST(ReadFileHeadTest, TheBufferFollowsTheFileNotTheLimit) {
    test::TempFolder root;
    WriteText(root.path() / "a.txt", "abc");
    const FileHead head = ReadFileHead(SjPath(root.path() / "a.txt"), std::size_t{1} << 40);
    EXPECT_EQ(head.status, ReadStatus::Read);
    EXPECT_EQ(std::string(head.bytes.begin(), head.bytes.end()), "abc");
    EXPECT_EQ(ReadFileHead(SjPath(root.path() / "a.txt"), 2).bytes.size(), 2u);
#ifdef __linux__
    // Files of /proc tell a size of 0 and hold more.
    const FileHead status = ReadFileHead(SjPath("/proc/self/status"), 1 << 20);
    EXPECT_EQ(status.status, ReadStatus::Read);
    EXPECT_GT(status.bytes.size(), 100u);
    EXPECT_EQ(std::string(status.bytes.begin(), status.bytes.begin() + 5), "Name:");
#endif
}

}  // namespace
}  // namespace molvar::platform
