#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/files.h"
#include "support/test_support.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::Sj;
using test::SjPath;
using test::TempFolder;
using test::WriteText;

// Lets writes beyond `bytes` fail with EFBIG, the way a full disk fails them.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    sighandler_t previousHandler_;
};

TEST(ReadFileHead, TellsAMissingFileFromAnUnreadableOne) {
    TempFolder folder;
    WriteText(folder.path() / "f", "0123456789");
    const FileHead head = ReadFileHead(SjPath(folder.path() / "f"), 4);
    EXPECT_EQ(head.status, ReadStatus::Read);
    EXPECT_EQ(std::string(head.bytes.begin(), head.bytes.end()), "0123");

    EXPECT_EQ(ReadFileHead(SjPath(folder.path() / "missing"), 4).status, ReadStatus::NotFound);
    EXPECT_EQ(ReadFileHead(SjPath(folder.path() / "no-folder" / "f"), 4).status, ReadStatus::NotFound);
    EXPECT_EQ(ReadFileHead(SjPath(folder.path()), 4).status, ReadStatus::Unreadable);
}

TEST(ReplaceFileAtomically, ReplacesTheWholeContent) {
    TempFolder folder;
    const fs::path file = folder.path() / "settings";
    WriteText(file, "an older and longer content");
    const std::string fresh = "new";
    EXPECT_EQ(ReplaceFileAtomically(SjPath(file), std::span(reinterpret_cast<const std::uint8_t*>(fresh.data()), 3)),
              WriteStatus::Written);
    EXPECT_EQ(ReadText(file), "new");
    EXPECT_EQ(test::FolderNames(folder.path()), std::vector<std::string>{"settings"});
}

TEST(ReplaceFileAtomically, LeavesTheOldFileUntouchedWhenItCannotWrite) {
    TempFolder folder;
    const fs::path file = folder.path() / "settings";
    WriteText(file, "old");
    const std::vector<std::uint8_t> bytes(5000, 'x');

    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(ReplaceFileAtomically(SjPath(file), bytes), WriteStatus::OpenFailed);
    EXPECT_EQ(ReadText(file), "old");
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);

    EXPECT_EQ(ReplaceFileAtomically(SjPath(folder.path() / "missing" / "settings"), bytes), WriteStatus::OpenFailed);

    {
        FileSizeLimit diskFull(1000);
        EXPECT_EQ(ReplaceFileAtomically(SjPath(file), bytes), WriteStatus::WriteFailed);
    }
    EXPECT_EQ(ReadText(file), "old");
    EXPECT_EQ(test::FolderNames(folder.path()), std::vector<std::string>{"settings"});
}

TEST(MoveFileTo, KeepsOrReplacesAnExistingDestination) {
    TempFolder folder;
    WriteText(folder.path() / "a", "A");
    WriteText(folder.path() / "b", "B");
    EXPECT_FALSE(MoveFileTo(SjPath(folder.path() / "a"), SjPath(folder.path() / "b"), MoveMode::KeepExisting));
    EXPECT_EQ(ReadText(folder.path() / "a"), "A");
    EXPECT_EQ(ReadText(folder.path() / "b"), "B");

    EXPECT_TRUE(MoveFileTo(SjPath(folder.path() / "a"), SjPath(folder.path() / "b"), MoveMode::ReplaceExisting));
    EXPECT_FALSE(fs::exists(folder.path() / "a"));
    EXPECT_EQ(ReadText(folder.path() / "b"), "A");

    // A folder of the same name is never replaced by a file.
    fs::create_directory(folder.path() / "sub");
    EXPECT_FALSE(MoveFileTo(SjPath(folder.path() / "b"), SjPath(folder.path() / "sub"), MoveMode::ReplaceExisting));
    EXPECT_TRUE(fs::exists(folder.path() / "b"));
}

// /dev/shm is a tmpfs on Linux; where it shares the file system of the
// temporary folder there is no crossing to test.
class MoveAcrossFileSystems : public ::testing::Test {
protected:
    void SetUp() override {
        struct stat tmp {}, shm {};
        if (::stat(source_.path().c_str(), &tmp) != 0 || ::stat("/dev/shm", &shm) != 0 || tmp.st_dev == shm.st_dev ||
            ::access("/dev/shm", W_OK) != 0) {
            GTEST_SKIP() << "no second file system at /dev/shm";
        }
        destination_ = fs::path("/dev/shm") / source_.path().filename();
        fs::create_directory(destination_);
    }
    void TearDown() override {
        if (!destination_.empty()) {
            fs::remove_all(destination_);
        }
    }
    TempFolder source_;
    fs::path destination_;
};

TEST_F(MoveAcrossFileSystems, CopiesWithItsTimeAndRemovesTheSource) {
    const fs::path from = source_.path() / "report.csv";
    WriteText(from, "1,2,3");
    const auto written = fs::file_time_type::clock::now() - std::chrono::hours(30);
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

TEST(Folders, ExistsAndMakeFolder) {
    TempFolder folder;
    const fs::path made = folder.path() / "obsdat";
    EXPECT_FALSE(PathExists(SjPath(made)));
    EXPECT_TRUE(MakeFolder(SjPath(made)));
    EXPECT_TRUE(PathExists(SjPath(made)));
    EXPECT_FALSE(MakeFolder(SjPath(made)));
    EXPECT_FALSE(MakeFolder(SjPath(folder.path() / "a" / "b")));  // one level only
    EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all);

    WriteText(folder.path() / "f", "x");
    EXPECT_TRUE(PathExists(SjPath(folder.path() / "f")));
    EXPECT_TRUE(DeleteFileAt(SjPath(folder.path() / "f")));
    EXPECT_FALSE(PathExists(SjPath(folder.path() / "f")));
    EXPECT_FALSE(DeleteFileAt(SjPath(made)));  // folders are not deleted as files
}

}  // namespace
}  // namespace molvar::platform
