// The activity history: its line format, its file shared by processes, its
// rotation and its latest lines.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "platform/activity.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace molvar::platform {
namespace {

namespace fs = std::filesystem;

TEST(HistoryLineTest, FieldsKeepTheirTextButTabsAndLineEndsBecomeSpaces) {
    const HistoryLine line{"2026-12-07T14:03:05+09:00", "受信\tA", "moved", "/w/a\nb.txt", "C:\\済み\r\n"};
    const std::string text = FormatHistoryLine(line);
    EXPECT_EQ(text, "2026-12-07T14:03:05+09:00\t受信 A\tmoved\t/w/a b.txt\tC:\\済み  \n");
    EXPECT_EQ(ParseHistoryLine(std::string_view(text).substr(0, text.size() - 1)),
              (HistoryLine{line.time, "受信 A", "moved", "/w/a b.txt", "C:\\済み  "}));
    EXPECT_EQ(ParseHistoryLine("t\ts\tfound\t\t"), (HistoryLine{"t", "s", "found", "", ""}));
    for (const char* torn : {"", "t\ts\tfound\tp", "t\ts\tfound\tp\td\textra"}) {
        EXPECT_FALSE(ParseHistoryLine(torn)) << torn;
    }
}

TEST(HistoryLineTest, TimeIsLocalWithItsOffsetInForceThen) {
    const test::ScopedCentralEuropeanTime zone;
    if (!zone.active()) GTEST_SKIP() << "no central European time zone here";
    EXPECT_EQ(IsoLocalTime(1768478400), "2026-01-15T13:00:00+01:00");  // 12:00 UTC, winter
    EXPECT_EQ(IsoLocalTime(1784116805), "2026-07-15T14:00:05+02:00");  // 12:00:05 UTC, summer
}

class ActivityLogTest : public ::testing::Test {
protected:
    ActivityLog Log(std::uint64_t rotateBytes = ActivityLog::kRotateBytes) {
        return ActivityLog(test::Native(test::Utf8(folder_)), rotateBytes);
    }
    static void Record(ActivityLog& log, int k) {
        log.Record({CalendarTimeNow(), text::Cp932String::FromBytes("A"), "found", NativeFromUtf8("/w/a.txt"),
                    std::to_string(k)});
    }
    static std::vector<std::string> Details(const std::vector<HistoryLine>& lines) {
        std::vector<std::string> details;
        for (const auto& line : lines) details.push_back(line.detail);
        return details;
    }
    // Every line of both files, checked whole: "k......" from the writer.
    std::vector<std::pair<std::string, int>> WholeLines() const {
        std::vector<std::pair<std::string, int>> lines;
        for (const char* name : {"history.1.txt", "history.txt"}) {
            std::ifstream in(folder_ / name, std::ios::binary);
            for (std::string line; std::getline(in, line);) {
                const auto fields = ParseHistoryLine(line);
                EXPECT_TRUE(fields && fields->detail.size() > 40 &&
                            fields->detail.substr(fields->detail.size() - 40) == std::string(40, '.'))
                    << "torn: " << line;
                if (fields) lines.emplace_back(fields->setting, std::stoi(fields->detail));
            }
        }
        return lines;
    }

    test::TempFolder root_;
    fs::path folder_ = root_.path() / "TORVEL" / "Molvar3";
};

TEST_F(ActivityLogTest, TheFolderIsMadeAndTheLatestLinesComeNewestFirstAcrossTheRotatedFile) {
    ActivityLog log = Log(300);
    for (int k = 0; k < 8; ++k) Record(log, k);
    EXPECT_TRUE(fs::exists(folder_ / "history.1.txt"));
    EXPECT_LT(fs::file_size(folder_ / "history.txt"), 300u);
    const auto latest = Details(log.Latest(3));
    EXPECT_EQ(latest, (std::vector<std::string>{"7", "6", "5"}));
    // A line still being written by another process is not shown.
    test::WriteText(folder_ / "history.txt", test::ReadText(folder_ / "history.txt") + "2026\tA\tfou");
    EXPECT_EQ(Details(log.Latest(1)), std::vector<std::string>{"7"});
}

TEST_F(ActivityLogTest, ListenersHearEachLineUntilTheirTokenGoes) {
    ActivityLog log = Log();
    std::vector<std::string> heard;
    auto token = log.Listen([&](const HistoryLine& line) { heard.push_back(line.event + " " + line.detail); });
    Record(log, 1);
    token.reset();
    Record(log, 2);
    EXPECT_EQ(heard, std::vector<std::string>{"found 1"});
}

// Two processes append to one history at once: no line is torn, none is
// lost, and a rotation while both write keeps both files' lines whole.
TEST_F(ActivityLogTest, TwoProcessesNeverTearALine) {
    const fs::path writer = test::RecordArgsProgram().parent_path() /
                            ("history_writer" + test::RecordArgsProgram().extension().string());
    for (const std::uint64_t rotate : {std::uint64_t{1} << 40, ActivityLog::kRotateBytes}) {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        std::vector<std::thread> writers;
        for (const char* tag : {"P", "Q"}) {
            const std::string field = "\"" + test::Utf8(writer) + "\" \"" + test::Utf8(folder_) + "\" " + tag +
                                      " 10000 " + std::to_string(rotate);
            writers.emplace_back([field] { EXPECT_EQ(RunAndWait(*text::FromUtf8(field), std::nullopt).exitStatus, 0); });
        }
        for (auto& thread : writers) thread.join();
        std::map<std::string, int> next;
        for (const auto& [tag, k] : WholeLines()) {
            if (rotate > ActivityLog::kRotateBytes) {
                EXPECT_EQ(k, next[tag]) << tag;
            }
            next[tag] = k + 1;
        }
        EXPECT_EQ(next["P"], 10000);
        EXPECT_EQ(next["Q"], 10000);
    }
}

}  // namespace
}  // namespace molvar::platform
