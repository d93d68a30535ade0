#include "engine/reactions.h"

#include <cstdio>
#include <string>

#include "framework/message_box.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "res/strings.h"

namespace molvar::engine {
namespace {

using config::FieldText;
using namespace std::chrono_literals;

constexpr unsigned kBeepFrequencyHz = 800;
constexpr auto kBeepDuration = 100ms;
constexpr auto kPauseAfterShellStart = 1000ms;

// The full path of a file of the watched folder, or nothing when no file is
// named. Callers check it with PathFitsPlatform and skip the reaction when it
// does not fit: a path is never cut, a cut path would name another file.
std::optional<text::Cp932String> TargetPath(const std::optional<text::Cp932String>& fileName,
                                            const config::WatchEntry& entry) {
    if (!fileName) {
        return std::nullopt;
    }
    return platform::JoinPath(FieldText(entry.folder), *fileName);
}

}  // namespace

void NotifyUser(const config::WatchEntry& entry, const platform::Services& services) {
    if (entry.soundKind == config::BeepSound) {
        services.Beep(kBeepFrequencyHz, kBeepDuration);
    } else if (entry.soundKind == config::WaveFile) {
        services.PlayWave(FieldText(entry.soundFile));
    }
    if (entry.showMessage != 0) {
        AfxMessageBox(FieldText(entry.folder) + res::NowRunningSuffix(), MB_OK);
    }
}

void RunProgram(const std::optional<text::Cp932String>& fileName, const config::WatchEntry& entry,
                const platform::Services& services) {
    const text::Cp932String program = FieldText(entry.program);
    if (program.empty()) {
        return;
    }
    const auto target = entry.openTarget != 0 ? TargetPath(fileName, entry) : std::nullopt;
    if (target && !platform::PathFitsPlatform(*target)) {
        return;
    }
    if (entry.waitForExit != 0) {
        services.RunAndWait(program, target);
        return;
    }
    services.ShellRun(program, target);
    if (entry.openTarget != 0) {
        services.Sleep(kPauseAfterShellStart);
    }
}

void OpenTargetFile(const std::optional<text::Cp932String>& fileName, const config::WatchEntry& entry,
                    const platform::Services& services) {
    const auto target = TargetPath(fileName, entry);
    if (!target || !platform::PathFitsPlatform(*target)) {
        return;
    }
    services.ShellOpenDocument(*target);
    if (entry.openTarget != 0) {
        services.Sleep(kPauseAfterShellStart);
    }
}

void AfterProcess(const text::Cp932String& fileName, const config::WatchEntry& entry,
                  const platform::Services& services) {
    if (entry.afterAction != config::MoveTarget) {
        return;
    }
    const text::Cp932String source = platform::JoinPath(FieldText(entry.folder), fileName);
    const text::Cp932String moveFolder = FieldText(entry.moveFolder);
    text::Cp932String destination = platform::JoinPath(moveFolder, fileName);
    if (!platform::PathFitsPlatform(source) || !platform::PathFitsPlatform(destination)) {
        return;
    }
    // A destination that is the watched folder itself: replacing would delete
    // the file, and a stamped name would be reported as a new file and moved
    // again at every scan. The file stays as it is.
    if (platform::IsSameFile(source, destination)) {
        return;
    }
    if (entry.overwriteMoved != 0) {
        platform::MoveFileTo(source, destination, platform::MoveMode::ReplaceExisting);
        return;
    }
    if (platform::PathExists(destination)) {
        const auto now = services.LocalTimeOf(services.CalendarTime());
        if (!now) {
            return;
        }
        destination = platform::JoinPath(moveFolder, TimeStampedName(fileName, *now));
        if (!platform::PathFitsPlatform(destination)) {
            return;
        }
    }
    // The stamped name is not checked again: if it is taken too, the move
    // fails and the file stays where it is.
    platform::MoveFileTo(source, destination, platform::MoveMode::KeepExisting);
}

text::Cp932String TimeStampedName(const text::Cp932String& fileName, const platform::LocalTime& time) {
    // A full stop is never the second byte of a double-byte character, so a
    // byte search finds the real first full stop.
    const std::string& name = fileName.bytes();
    const std::size_t dot = name.find('.');
    const std::string base = name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "_%02d%02d%02d%02d%02d%02d", time.year - 2000, time.month, time.day,
                  time.hour, time.minute, time.second);
    return text::Cp932String::FromBytes(base + stamp + extension);
}

}  // namespace molvar::engine
