#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/change_notification.h"
#include "support/test_support.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::SjPath;
using Wake = ChangeNotification::Wake;

class ChangeNotificationTest : public ::testing::Test {
protected:
    std::unique_ptr<ChangeNotification> Watch(ChangeFilter filter) { return ChangeNotification::Register(SjPath(folder_), filter); }

    test::TempFolder root_;
    fs::path folder_ = root_.path() / u8"受信";
    StopSignal stop_;

    void SetUp() override { fs::create_directory(folder_); }
};

TEST_F(ChangeNotificationTest, EachFilterWakesOnItsOwnKindOfChange) {
    auto names = Watch(ChangeFilter::FileName);
    const auto updates = Watch(ChangeFilter::Attributes);
    ASSERT_TRUE(names && updates);

    // A new file copied in: a name change, and an update.
    test::ArriveByCopy(folder_ / u8"報告書.csv", "1");
    EXPECT_EQ(names->Wait(stop_), Wake::Changed);
    EXPECT_EQ(updates->Wait(stop_), Wake::Changed);

    // Changes made between two waits are not lost.
    fs::rename(folder_ / u8"報告書.csv", folder_ / "b.csv");
    EXPECT_EQ(names->Wait(stop_), Wake::Changed);
    fs::permissions(folder_ / "b.csv", fs::perms::owner_read);
    EXPECT_EQ(updates->Wait(stop_), Wake::Changed);

    // Releasing one of two notifications on a folder keeps the other.
    names.reset();
    fs::permissions(folder_ / "b.csv", fs::perms::owner_all);
    fs::remove(folder_ / "b.csv");
    test::ArriveByCopy(folder_ / "c.csv", "3");
    EXPECT_EQ(updates->Wait(stop_), Wake::Changed);
}

TEST_F(ChangeNotificationTest, AWaitEndsWithAChangeItsTimeoutOrTheStopAndEveryLaterOneWithTheStop) {
    using namespace std::chrono_literals;
    const auto names = Watch(ChangeFilter::FileName);
    ASSERT_TRUE(names);
    EXPECT_EQ(names->Wait(stop_, 20ms), Wake::TimedOut);
    test::WriteText(folder_ / "a.txt", "a");
    EXPECT_EQ(names->Wait(stop_, 60s), Wake::Changed);
    // A stop raised while a wait is under way: the watch control's tests.
    stop_.Raise();
    test::WriteText(folder_ / "b.txt", "b");
    EXPECT_EQ(names->Wait(stop_), Wake::Stopped);
    EXPECT_EQ(names->Wait(stop_, 60s), Wake::Stopped);
    EXPECT_TRUE(stop_.IsRaised());
    stop_.Wait();  // returns at once
}

// A folder deleted while watched: see the watch control's tests.
TEST_F(ChangeNotificationTest, OnlyAFolderThatExistsCanBeWatched) {
    test::WriteText(root_.path() / "file", "");
    for (const char* name : {"missing", "file"}) {
        EXPECT_EQ(ChangeNotification::Register(SjPath(root_.path() / name), ChangeFilter::FileName), nullptr) << name;
    }
}

#ifdef __linux__
// The per-user limit on inotify instances is small and shared with every
// other program: all folders share one.
TEST_F(ChangeNotificationTest, FoldersShareOneInotifyInstance) {
    std::vector<std::unique_ptr<ChangeNotification>> watches;
    for (const char* name : {"a", "b", "c"}) {
        fs::create_directory(root_.path() / name);
        watches.push_back(ChangeNotification::Register(SjPath(root_.path() / name), ChangeFilter::FileName));
    }
    int instances = 0;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        instances += fs::read_symlink(fd.path(), ignored) == "anon_inode:inotify";
    }
    EXPECT_EQ(instances, 1);
}
#endif

}  // namespace
}  // namespace molvar::platform
