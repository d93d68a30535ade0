// FILETIME (100 ns ticks since 1601-01-01 UTC) and seconds since 1970.
#pragma once

#include <windows.h>

#include <cstdint>
#include <limits>
#include <optional>

namespace molvar::platform::win32 {

inline constexpr std::uint64_t kTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;

inline std::uint64_t TicksOf(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline std::int64_t SecondsSince1970(const FILETIME& time) {
    return static_cast<std::int64_t>(TicksOf(time) / kTicksPerSecond) - kSecondsFrom1601To1970;
}

// Empty before 1601 or beyond what a FILETIME holds.
inline std::optional<FILETIME> FileTimeOf(std::int64_t secondsSince1970) {
    constexpr std::int64_t kMaxSeconds =
        std::numeric_limits<std::int64_t>::max() / static_cast<std::int64_t>(kTicksPerSecond) - kSecondsFrom1601To1970;
    if (secondsSince1970 < -kSecondsFrom1601To1970 || secondsSince1970 > kMaxSeconds) {
        return std::nullopt;
    }
    const auto ticks = static_cast<std::uint64_t>(secondsSince1970 + kSecondsFrom1601To1970) * kTicksPerSecond;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

}  // namespace molvar::platform::win32
