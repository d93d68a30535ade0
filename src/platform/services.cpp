#include "platform/services.h"

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/sound.h"

namespace molvar::platform {

std::int64_t Services::CalendarTime() const { return CalendarTimeNow(); }

std::optional<LocalTime> Services::LocalTimeOf(std::int64_t calendarTime) const {
    return ToLocalTime(calendarTime);
}

void Services::Sleep(std::chrono::milliseconds duration) const { SleepFor(duration); }

void Services::Beep(unsigned frequencyHz, std::chrono::milliseconds duration) const {
    PlayBeep(frequencyHz, duration);
}

Failure Services::PlayWave(const text::Cp932String& path) const { return PlayWaveFile(path); }

ProgramEnd Services::RunAndWait(const text::Cp932String& program, const std::optional<NativePath>& argument) const {
    return platform::RunAndWait(program, argument);
}

Failure Services::ShellRun(const text::Cp932String& program, const std::optional<NativePath>& parameter) const {
    return platform::ShellRun(program, parameter);
}

Failure Services::ShellOpenDocument(const NativePath& path) const {
    return platform::ShellOpenDocument(path);
}

const Services& SystemServices() {
    static const Services services;
    return services;
}

text::Cp932String JoinPath(const text::Cp932String& folder, const text::Cp932String& name) {
    text::Cp932String path = folder;
    path.AppendAsciiChar(kPathSeparator);
    return path += name;
}

}  // namespace molvar::platform
