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
#include <tuple>

#include "platform/directory_search.h"
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
        if (!destination_.empty()) fs::remove_all(destination_);
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
// that runs (another copy, saving now), folders and other files stay.
TEST(TemporaryFilesTest, OnlyThoseOfProcessesThatEndedAreRemoved) {
    test::TempFolder folder;
#ifdef _WIN32
    wchar_t ours[32];
    std::swprintf(ours, 32, L"~mv%lx-0a1b.tmp", ::GetCurrentProcessId());
    const std::vector<fs::path> names = {L"~mvfffffffc-0a1b.tmp", L"~mv0123abcd.tmp", ours, L"~mvnotes.tmp"};
#else
    const std::vector<fs::path> names = {".molvar-2147483647-a1B2c3", ".molvar-Zx81kq",
                                         ".molvar-" + std::to_string(::getpid()) + "-a1B2c3", ".molvar-notes"};
#endif
    for (const fs::path& name : names) WriteText(folder.path() / name, "x");
    fs::create_directories(folder.path() / "sub" / names[1]);
    RemoveAbandonedTemporaryFiles(SjPath(folder.path()));
    RemoveAbandonedTemporaryFiles(SjPath(folder.path() / "sub"));
    std::vector<std::string> kept = {test::Utf8(names[2]), test::Utf8(names[3]), "sub"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(test::FolderNames(folder.path()), kept);
    EXPECT_EQ(test::FolderNames(folder.path() / "sub"), std::vector{test::Utf8(names[1])});
}

// The limit only bounds the read (the settings file's tests read a file beyond
// it): the buffer follows the file, also when the file holds more than its
// size told when it was opened.
TEST(ReadFileHeadTest, TheBufferFollowsTheFileNotTheLimit) {
    test::TempFolder root;
    WriteText(root.path() / "a.txt", "abc");
    EXPECT_EQ(ReadFileHead(SjPath(root.path() / "a.txt"), std::size_t{1} << 40).bytes, (std::vector<std::uint8_t>{'a', 'b', 'c'}));
#ifdef __linux__
    // Files of /proc tell a size of 0 and hold more.
    EXPECT_GT(ReadFileHead(SjPath("/proc/self/status"), 1 << 20).bytes.size(), 100u);
#endif
}

// The Windows wildcard rules of the directory search. What a search delivers
// (folders flagged, every name, devices and FIFOs left out): see the listing
// tests, which list folders through it.
TEST(WildcardTest, StarQuestionMarkAndFullStopFollowTheWindowsRules) {
    const std::tuple<const char8_t*, const char8_t*, bool> cases[] = {
        {u8"report.csv", u8"*.csv", true}, {u8".csv", u8"*.csv", true}, {u8"report.csv.bak", u8"*.csv", false},
        {u8"abc-2011.txt", u8"abc*.*", true}, {u8"a.b.c", u8"*.c", true}, {u8"anything", u8"", false},
        {u8"aXbXc", u8"a*b*c", true}, {u8"aXbXd", u8"a*b*c", false},
        // "*.*" and "x.*" also take names without an extension.
        {u8"README", u8"*.*", true}, {u8"abc", u8"abc.*", true}, {u8"abcd", u8"abc.*", false},
        // '?' is exactly one character as the user sees it: a multibyte one,
        // one with its combining mark (a decomposed デ), a byte that is not UTF-8.
        {u8"a1.txt", u8"a?.txt", true}, {u8"a.txt", u8"a?.txt", false}, {u8"a12.txt", u8"a?.txt", false},
        {u8"報告.csv", u8"??.csv", true}, {u8"報告.csv", u8"???.csv", false}, {u8"a.csv", u8"報.csv", false},
        {u8"写真😀.jpg", u8"???.jpg", true}, {u8"テ\u3099ータ.csv", u8"???.csv", true}, {u8"\xff\xfe.txt", u8"??.txt", true},
        // ASCII letters match without case, other letters as they are.
        {u8"Report.CSV", u8"report.csv", true}, {u8"表.txt", u8"表.TXT", true}, {u8"Café", u8"CAFÉ", false},
    };
    for (const auto& [name, pattern, matches] : cases) {
        EXPECT_EQ(MatchesWildcard(reinterpret_cast<const char*>(name), reinterpret_cast<const char*>(pattern)), matches)
            << reinterpret_cast<const char*>(name) << " against " << reinterpret_cast<const char*>(pattern);
    }
}

}  // namespace
}  // namespace molvar::platform
