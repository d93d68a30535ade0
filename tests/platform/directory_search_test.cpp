#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <tuple>

#include "platform/directory_search.h"
#include "support/test_support.h"
#include "text/convert.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;
using test::Sj;
using text::operator""_cp;

TEST(WildcardTest, StarQuestionMarkAndFullStopFollowTheWindowsRules) {
    const std::tuple<const char8_t*, const char8_t*, bool> cases[] = {
        {u8"report.csv", u8"*.csv", true}, {u8".csv", u8"*.csv", true}, {u8"report.csv.bak", u8"*.csv", false},
        {u8"abc-2011.txt", u8"abc*.*", true}, {u8"a.b.c", u8"*.c", true}, {u8"anything", u8"", false},
        {u8"aXbXc", u8"a*b*c", true}, {u8"aXbXd", u8"a*b*c", false},
        // "*.*" and "x.*" also take names without an extension.
        {u8"README", u8"*.*", true}, {u8"abc", u8"abc.*", true}, {u8"abcd", u8"abc.*", false},
        // '?' is exactly one character, and a double-byte character is one.
        {u8"a1.txt", u8"a?.txt", true}, {u8"a.txt", u8"a?.txt", false}, {u8"a12.txt", u8"a?.txt", false},
        {u8"報告.csv", u8"??.csv", true}, {u8"報告.csv", u8"???.csv", false},
        // ASCII letters match without case, but a trail byte is no letter:
        // ア is 0x83 0x41 and ヂ is 0x83 0x61, 'A' and 'a' as trail bytes.
        {u8"Report.CSV", u8"report.csv", true}, {u8"ア.txt", u8"ヂ.txt", false}, {u8"表.txt", u8"表.TXT", true},
        // ｱ (0xB1) is a single-byte kana, not a lead byte.
        {u8"ｱ1", u8"??", true},
    };
    for (const auto& [name, pattern, matches] : cases) {
        EXPECT_EQ(MatchesWildcard(Sj(name), Sj(pattern)), matches)
            << reinterpret_cast<const char*>(name) << " against " << reinterpret_cast<const char*>(pattern);
    }
}

// What a search finds, sorted: "name/" for a folder, "name size time" for a file.
std::vector<std::string> Search(const fs::path& folder, const text::Cp932String& pattern) {
    std::vector<std::string> found;
    DirectorySearch search(test::SjPath(folder), pattern);
    while (auto item = search.Next()) {
        std::string line = text::ToUtf8ForDisplay(item->name) + (item->isDirectory ? "/" : " ");
        if (!item->isDirectory) {
            line.append(std::to_string(item->size)).append(" ").append(std::to_string(item->lastWriteTime));
        }
        found.push_back(std::move(line));
    }
    std::sort(found.begin(), found.end());
    return found;
}

TEST(DirectorySearchTest, DeliversMatchingFilesAndFlaggedFoldersWithSizeAndTime) {
    const test::TempFolder root;
    test::WriteText(root.path() / u8"報告書.csv", "12345");
    test::SetLastWriteTime(root.path() / u8"報告書.csv", 1299139507);
    fs::create_directory(root.path() / "sub.csv");
    test::WriteText(root.path() / u8"\u00e9.csv", "");  // no code page 932 name
#ifndef _WIN32
    ::mkfifo((root.path() / "pipe.csv").c_str(), 0600);  // neither file nor folder
    test::WriteText(root.path() / "\xff.csv", "");       // not even UTF-8
#endif
    EXPECT_EQ(Search(root.path(), "*"_cp),
              (std::vector<std::string>{"../", "./", "sub.csv/", "報告書.csv 5 1299139507"}));
    EXPECT_EQ(Search(root.path(), Sj(u8"報告*.CSV")), std::vector<std::string>{"報告書.csv 5 1299139507"});
    EXPECT_TRUE(Search(root.path() / "missing", "*"_cp).empty());
}

}  // namespace
}  // namespace molvar::platform
