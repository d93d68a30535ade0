#include <gtest/gtest.h>

#include <limits>

#include "platform/clock.h"
#include "support/test_support.h"

namespace molvar::platform {
namespace {

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
