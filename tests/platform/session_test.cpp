#include <gtest/gtest.h>

#include <filesystem>

#include "platform/session.h"
#include "support/test_support.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::SjPath;
using Outcome = SingleInstanceLock::Outcome;

TEST(SessionTest, ApplicationDataFollowsXdgConfigHomeElseHome) {
    test::ScopedEnv home("HOME", "/home/someone");
    {
        test::ScopedEnv config("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(ApplicationDataFolder(), SjPath("/srv/config"));
    }
    test::ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");  // to be ignored
    EXPECT_EQ(ApplicationDataFolder(), SjPath("/home/someone/.config"));
}

TEST(SessionTest, FolderTreesAreMadeWithTheirParentsForTheUserOnly) {
    test::TempFolder root;
    const fs::path deep = root.path() / "TORVEL" / "Molvar3" / "obsdat";
    EXPECT_TRUE(MakeFolderTree(SjPath(deep)));
    EXPECT_TRUE(MakeFolderTree(SjPath(deep)));  // there already
    EXPECT_EQ(fs::status(root.path() / "TORVEL").permissions() & fs::perms::all, fs::perms::owner_all);
    test::WriteText(root.path() / "file", "");
    EXPECT_FALSE(MakeFolderTree(SjPath(root.path() / "file" / "sub")));
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
    EXPECT_EQ(SingleInstanceLock::Acquire(SjPath("x"), SjPath(root.path() / "missing"), outcome), nullptr);
    EXPECT_EQ(outcome, Outcome::Unavailable);
}

}  // namespace
}  // namespace molvar::platform
