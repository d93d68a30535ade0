// The user's session: the clock, the data folder, the single running copy.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/session.h"
#include "support/test_support.h"
#include "text/convert.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::SjPath;
using Outcome = SingleInstanceLock::Outcome;

#ifdef _WIN32
// An absolute path of the folder that a started program also finds in its
// environment.
TEST(SessionTest, ApplicationDataIsTheUsersRoamingFolder) {
    const auto folder = ApplicationDataFolder();
    const char* appData = std::getenv("APPDATA");
    ASSERT_TRUE(folder && appData);
    const fs::path path = test::Utf8Path(text::ToUtf8ForDisplay(*folder));
    EXPECT_TRUE(path.is_absolute() && fs::equivalent(path, fs::path(appData))) << test::Utf8(path);
}
#else
TEST(SessionTest, ApplicationDataFollowsXdgConfigHomeElseHome) {
    const test::ScopedEnv home("HOME", "/home/someone");
    const test::ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");  // to be ignored
    EXPECT_EQ(ApplicationDataFolder(), SjPath("/home/someone/.config"));
    const test::ScopedEnv config("XDG_CONFIG_HOME", "/srv/config");
    EXPECT_EQ(ApplicationDataFolder(), SjPath("/srv/config"));
}
#endif

TEST(SessionTest, FolderTreesAreMadeWithTheirParentsForTheUserOnly) {
    test::TempFolder root;
    const fs::path deep = root.path() / u8"TORVEL" / u8"受信" / "obsdat";
    EXPECT_TRUE(MakeFolderTree(SjPath(deep)));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(MakeFolderTree(SjPath(deep)));  // there already
#ifndef _WIN32
    EXPECT_EQ(fs::status(root.path() / "TORVEL").permissions() & fs::perms::all, fs::perms::owner_all);
#endif
    test::WriteText(root.path() / "file", "");
    EXPECT_FALSE(MakeFolderTree(SjPath(root.path() / "file" / "sub")));
    EXPECT_FALSE(MakeFolderTree(SjPath(root.path() / "file")));
}

TEST(SessionTest, OneLockPerExecutableName) {
    test::TempFolder root;
    std::vector<std::unique_ptr<SingleInstanceLock>> held;
    // A lock comes back exactly when it was acquired, and is held until the test removes it.
    const auto attempt = [&held](const char* name, const fs::path& folder) {
        Outcome outcome{};
        held.push_back(SingleInstanceLock::Acquire(SjPath(name), SjPath(folder), outcome));
        EXPECT_EQ(held.back() != nullptr, outcome == Outcome::Acquired) << name;
        return outcome;
    };
    EXPECT_EQ(attempt("molvar", root.path()), Outcome::Acquired);
    EXPECT_EQ(attempt("molvar", root.path()), Outcome::HeldByAnotherCopy);
    EXPECT_EQ(attempt("molvar-other", root.path()), Outcome::Acquired);
    held.front().reset();  // the lock goes with its holder
    EXPECT_EQ(attempt("molvar", root.path()), Outcome::Acquired);
#ifdef _WIN32
    // A named mutex needs no folder; a name that would leave the session's
    // namespace is refused.
    EXPECT_EQ(attempt("x", root.path() / "missing"), Outcome::Acquired);
    EXPECT_EQ(attempt("Global\\molvar", root.path()), Outcome::Unavailable);
#else
    // Where the folder cannot hold the lock file (missing, or a file in its
    // place), the lock is had elsewhere, and still only once per name.
    test::WriteText(root.path() / "file", "");
    EXPECT_EQ(attempt("x", root.path() / "missing"), Outcome::Acquired);
    EXPECT_EQ(attempt("x", root.path() / "file"), Outcome::HeldByAnotherCopy);
    held.clear();
    EXPECT_EQ(attempt("x", root.path() / "file"), Outcome::Acquired);
#endif
}

TEST(Clock, CalendarTimeCountsFrom1970) {
    const auto expected =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_NEAR(static_cast<double>(CalendarTimeNow()), static_cast<double>(expected), 5.0);
}

TEST(Clock, LocalTimeTakesTheBiasInForceAtThatTimeAndEndsWithTheCalendar) {
    // Times beyond the calendar have none, in any zone.
    EXPECT_EQ(ToLocalTime(std::numeric_limits<std::int64_t>::max()), std::nullopt);
    EXPECT_EQ(ToLocalTime(std::numeric_limits<std::int64_t>::min()), std::nullopt);
    const test::ScopedCentralEuropeanTime zone;
    if (!zone.active()) {
        GTEST_SKIP() << "needs Central European time (TZ=" << test::kCentralEuropeanTimeZone << " under Wine)";
    }
    // 2012-01-15 12:00:00 UTC in winter, 2012-07-15 12:00:00 UTC in summer:
    // whatever the date of the test run, each gets its own season's bias.
    EXPECT_EQ(ToLocalTime(1326628800), (LocalTime{2012, 1, 15, 13, 0, 0}));
    EXPECT_EQ(ToLocalTime(1342353600), (LocalTime{2012, 7, 15, 14, 0, 0}));
    // Half an hour after the change to summer time, 2012-03-25 01:30 UTC.
    EXPECT_EQ(ToLocalTime(1332639000), (LocalTime{2012, 3, 25, 3, 30, 0}));
}

}  // namespace
}  // namespace molvar::platform
