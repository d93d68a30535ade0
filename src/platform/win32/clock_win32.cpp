#include <windows.h>

#include "platform/clock.h"
#include "platform/win32/filetime.h"

namespace molvar::platform {

std::int64_t CalendarTimeNow() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return win32::SecondsSince1970(now);
}

std::optional<LocalTime> ToLocalTime(std::int64_t calendarTime) {
    const auto fileTime = win32::FileTimeOf(calendarTime);
    SYSTEMTIME utc;
    SYSTEMTIME local;
    // SystemTimeToTzSpecificLocalTime applies the daylight-saving rule of
    // that date; FileTimeToLocalFileTime would apply today's bias instead.
    if (!fileTime || !::FileTimeToSystemTime(&*fileTime, &utc) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return std::nullopt;
    }
    return LocalTime{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

void SleepFor(std::chrono::milliseconds duration) {
    if (duration.count() <= 0) {
        return;
    }
    // Sleep takes a DWORD, and INFINITE (all ones) would never return.
    constexpr std::int64_t kLongest = INFINITE - 1;
    auto left = duration.count();
    while (left > 0) {
        const auto step = left < kLongest ? left : kLongest;
        ::Sleep(static_cast<DWORD>(step));
        left -= step;
    }
}

}  // namespace molvar::platform
