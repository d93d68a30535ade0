// The operations whose effects reach the user or depend on the time of day:
// the clock, pauses, sounds and started programs. The engine works through
// this interface so that tests can record these effects and set the clock;
// the defaults call the platform's real operations.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/clock.h"
#include "platform/failure.h"
#include "platform/native_path.h"
#include "text/cp932.h"

namespace molvar::platform {

class Services {
public:
    virtual ~Services() = default;

    virtual std::int64_t CalendarTime() const;
    virtual std::optional<LocalTime> LocalTimeOf(std::int64_t calendarTime) const;
    virtual void Sleep(std::chrono::milliseconds duration) const;
    virtual void Beep(unsigned frequencyHz, std::chrono::milliseconds duration) const;
    virtual Failure PlayWave(const text::Cp932String& path) const;
    virtual ProgramEnd RunAndWait(const text::Cp932String& program, const std::optional<NativePath>& argument) const;
    virtual Failure ShellRun(const text::Cp932String& program, const std::optional<NativePath>& parameter) const;
    virtual Failure ShellOpenDocument(const NativePath& path) const;
};

// The real operations.
const Services& SystemServices();

}  // namespace molvar::platform
