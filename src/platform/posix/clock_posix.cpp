#include <time.h>

#include <thread>

#include "platform/clock.h"

namespace molvar::platform {

std::int64_t CalendarTimeNow() { return static_cast<std::int64_t>(::time(nullptr)); }

std::optional<LocalTime> ToLocalTime(std::int64_t calendarTime) {
    const auto seconds = static_cast<time_t>(calendarTime);
    struct tm fields {};
    if (::localtime_r(&seconds, &fields) == nullptr) {
        return std::nullopt;
    }
    return LocalTime{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
                     fields.tm_hour,        fields.tm_min,     fields.tm_sec};
}

void SleepFor(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace molvar::platform
