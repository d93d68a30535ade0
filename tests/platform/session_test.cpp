#include <gtest/gtest.h>

#include <cstdlib>

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
    EXPECT_EQ(attempt("x", root.path() / "missing"), Outcome::Unavailable);
#endif
}

}  // namespace
}  // namespace molvar::platform
