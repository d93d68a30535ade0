#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/session.h"
#include "support/test_support.h"
#include "text/convert.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::SjPath;
using Outcome = SingleInstanceLock::Outcome;

#ifdef _WIN32
TEST(SessionTest, ApplicationDataIsTheUsersRoamingFolder) {
    const auto folder = ApplicationDataFolder();
    ASSERT_TRUE(folder.has_value());
    const std::string utf8 = text::ToUtf8ForDisplay(*folder);
    // An absolute path of an existing folder, the one a started program
    // also finds in its environment.
    ASSERT_GE(utf8.size(), 3u);
    EXPECT_EQ(utf8.substr(1, 2), ":\\");
    EXPECT_TRUE(fs::is_directory(test::Utf8Path(utf8)));
    const char* appData = std::getenv("APPDATA");
    ASSERT_NE(appData, nullptr);
    EXPECT_TRUE(fs::equivalent(test::Utf8Path(utf8), fs::path(appData)));
}
#else
TEST(SessionTest, ApplicationDataFollowsXdgConfigHomeElseHome) {
    test::ScopedEnv home("HOME", "/home/someone");
    {
        test::ScopedEnv config("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(ApplicationDataFolder(), SjPath("/srv/config"));
    }
    test::ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");  // to be ignored
    EXPECT_EQ(ApplicationDataFolder(), SjPath("/home/someone/.config"));
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
    const auto folder = SjPath(root.path());
    Outcome outcome{};
    auto first = SingleInstanceLock::Acquire(SjPath("molvar"), folder, outcome);
    EXPECT_EQ(outcome, Outcome::Acquired);
    EXPECT_EQ(SingleInstanceLock::Acquire(SjPath("molvar"), folder, outcome), nullptr);
    EXPECT_EQ(outcome, Outcome::HeldByAnotherCopy);
    auto other = SingleInstanceLock::Acquire(SjPath("molvar-other"), folder, outcome);
    EXPECT_EQ(outcome, Outcome::Acquired);

    first.reset();  // the lock goes with its holder
    EXPECT_NE(SingleInstanceLock::Acquire(SjPath("molvar"), folder, outcome), nullptr);
#ifdef _WIN32
    // A named mutex needs no folder; a name that would leave the session's
    // namespace is refused.
    EXPECT_NE(SingleInstanceLock::Acquire(SjPath("x"), SjPath(root.path() / "missing"), outcome), nullptr);
    EXPECT_EQ(SingleInstanceLock::Acquire(SjPath("Global\\molvar"), folder, outcome), nullptr);
#else
    EXPECT_EQ(SingleInstanceLock::Acquire(SjPath("x"), SjPath(root.path() / "missing"), outcome), nullptr);
#endif
    EXPECT_EQ(outcome, Outcome::Unavailable);
}

}  // namespace
}  // namespace molvar::platform
