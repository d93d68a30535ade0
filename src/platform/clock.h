// Calendar time, local time and pauses.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace molvar::platform {

struct LocalTime {
    int year = 0;    // e.g. 2012
    int month = 0;   // 1 to 12
    int day = 0;     // 1 to 31
    int hour = 0;    // 0 to 23
    int minute = 0;  // 0 to 59
    int second = 0;  // 0 to 60
    friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

// Seconds since 1970-01-01 UTC.
std::int64_t CalendarTimeNow();

// The local time of a calendar time, with the time-zone bias in force at that
// time. Empty when the time cannot be represented.
std::optional<LocalTime> ToLocalTime(std::int64_t calendarTime);

void SleepFor(std::chrono::milliseconds duration);

}  // namespace molvar::platform
