#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>

#include "platform/directory_search.h"
#include "support/test_support.h"
#include "text/convert.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::Sj;
using test::SjPath;
using text::operator""_cp;

bool Matches(std::u8string_view name, std::u8string_view pattern) { return MatchesWildcard(Sj(name), Sj(pattern)); }

TEST(WildcardTest, StarQuestionMarkAndFullStopFollowTheWindowsRules) {
    EXPECT_TRUE(Matches(u8"report.csv", u8"*.csv"));
    EXPECT_TRUE(Matches(u8".csv", u8"*.csv"));
    EXPECT_FALSE(Matches(u8"report.csv.bak", u8"*.csv"));
    EXPECT_TRUE(Matches(u8"abc-2011.txt", u8"abc*.*"));
    EXPECT_TRUE(Matches(u8"a.b.c", u8"*.c"));
    EXPECT_TRUE(Matches(u8"aXbXc", u8"a*b*c"));
    EXPECT_FALSE(Matches(u8"aXbXd", u8"a*b*c"));

    // "*.*" and "x.*" also take names without an extension.
    EXPECT_TRUE(Matches(u8"README", u8"*.*"));
    EXPECT_TRUE(Matches(u8"abc", u8"abc.*"));
    EXPECT_FALSE(Matches(u8"abcd", u8"abc.*"));

    // '?' is exactly one character, and a double-byte character is one.
    EXPECT_TRUE(Matches(u8"a1.txt", u8"a?.txt"));
    EXPECT_FALSE(Matches(u8"a.txt", u8"a?.txt"));
    EXPECT_FALSE(Matches(u8"a12.txt", u8"a?.txt"));
    EXPECT_TRUE(Matches(u8"報告.csv", u8"??.csv"));
    EXPECT_FALSE(Matches(u8"報告.csv", u8"???.csv"));

    // ASCII letters match without case, but a trail byte is no letter:
    // ア is 0x83 0x41 and ヂ is 0x83 0x61, 'A' and 'a' as trail bytes.
    EXPECT_TRUE(Matches(u8"Report.CSV", u8"report.csv"));
    EXPECT_FALSE(Matches(u8"ア.txt", u8"ヂ.txt"));
    EXPECT_TRUE(Matches(u8"表.txt", u8"表.TXT"));
    // ｱ (0xB1) is a single-byte kana, not a lead byte.
    EXPECT_TRUE(Matches(u8"ｱ1", u8"??"));

    EXPECT_FALSE(Matches(u8"anything", u8""));
}

class DirectorySearchTest : public ::testing::Test {
protected:
    struct Found {
        std::string name;  // UTF-8
        bool isDirectory;
        std::uint64_t size;
        std::int64_t lastWriteTime;
    };

    std::vector<Found> Search(const fs::path& folder, const text::Cp932String& pattern) {
        std::vector<Found> found;
        DirectorySearch search(SjPath(folder), pattern);
        while (auto item = search.Next()) {
            found.push_back({text::ToUtf8ForDisplay(item->name), item->isDirectory, item->size, item->lastWriteTime});
        }
        std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.name < b.name; });
        return found;
    }

    test::TempFolder root_;
};

TEST_F(DirectorySearchTest, DeliversFilesAndFlaggedFoldersWithSizeAndTime) {
    test::WriteText(root_.path() / u8"報告書.csv", "12345");
    test::SetLastWriteTime(root_.path() / u8"報告書.csv", 1299139507);
    fs::create_directory(root_.path() / "sub.csv");
    test::WriteText(root_.path() / u8"\u00e9.csv", "");  // no code page 932 name
#ifndef _WIN32
    ::mkfifo((root_.path() / "pipe.csv").c_str(), 0600);  // neither file nor folder
    test::WriteText(root_.path() / "\xff.csv", "");        // not even UTF-8
#endif

    const auto all = Search(root_.path(), "*"_cp);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].name, ".");
    EXPECT_TRUE(all[0].isDirectory);
    EXPECT_EQ(all[1].name, "..");
    EXPECT_TRUE(all[1].isDirectory);
    EXPECT_EQ(all[2].name, "sub.csv");
    EXPECT_TRUE(all[2].isDirectory);
    EXPECT_EQ(all[3].name, "報告書.csv");
    EXPECT_FALSE(all[3].isDirectory);
    EXPECT_EQ(all[3].size, 5u);
    EXPECT_EQ(all[3].lastWriteTime, 1299139507);

    const auto named = Search(root_.path(), Sj(u8"報告*.CSV"));
    ASSERT_EQ(named.size(), 1u);
    EXPECT_EQ(named[0].name, "報告書.csv");
}

TEST_F(DirectorySearchTest, AMissingFolderOrAPatternMatchingNothingGivesNoItem) {
    EXPECT_TRUE(Search(root_.path() / "missing", "*"_cp).empty());
    test::WriteText(root_.path() / "a.txt", "");
    EXPECT_TRUE(Search(root_.path(), "*.csv"_cp).empty());
}

}  // namespace
}  // namespace molvar::platform
