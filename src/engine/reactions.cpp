#include "engine/reactions.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/message_box.h"
#include "platform/files.h"
#include "platform/native_path.h"
#include "res/strings.h"

namespace molvar::engine {
namespace {

using config::FieldText;
using namespace std::chrono_literals;

constexpr unsigned kBeepFrequencyHz = 800;
constexpr auto kBeepDuration = 100ms;
constexpr auto kPauseAfterShellStart = 1000ms;

// The base of a stamped name keeps at most this many characters: the 127
// of its field, counted in characters so that none is ever cut.
constexpr std::size_t kMaxBaseCharacters = 127;

// The full path of a file of the watched folder, or nothing when no file is
// named or the path cannot be handed to the OS. Callers skip the reaction
// then: a path is never cut, a cut path would name another file.
std::optional<platform::NativePath> TargetPath(const std::optional<platform::NativePath>& fileName,
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

void RunProgram(const std::optional<platform::NativePath>& fileName, const config::WatchEntry& entry,
                const platform::Services& services) {
    const text::Cp932String program = FieldText(entry.program);
    if (program.empty()) {
        return;
    }
    const auto target = entry.openTarget != 0 ? TargetPath(fileName, entry) : std::nullopt;
    if (entry.openTarget != 0 && fileName && !target) {
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

void OpenTargetFile(const std::optional<platform::NativePath>& fileName, const config::WatchEntry& entry,
                    const platform::Services& services) {
    const auto target = TargetPath(fileName, entry);
    if (!target) {
        return;
    }
    services.ShellOpenDocument(*target);
    if (entry.openTarget != 0) {
        services.Sleep(kPauseAfterShellStart);
    }
}

void AfterProcess(const platform::NativePath& fileName, const config::WatchEntry& entry,
                  const platform::Services& services) {
    if (entry.afterAction != config::MoveTarget) {
        return;
    }
    const text::Cp932String moveFolder = FieldText(entry.moveFolder);
    const auto source = platform::JoinPath(FieldText(entry.folder), fileName);
    auto destination = platform::JoinPath(moveFolder, fileName);
    if (!source || !destination) {
        return;
    }
    // A destination that is the watched folder itself: replacing would delete
    // the file, and a stamped name would be reported as a new file and moved
    // again at every scan. The file stays as it is.
    if (platform::IsSameFile(*source, *destination)) {
        return;
    }
    if (entry.overwriteMoved != 0) {
        platform::MoveFileTo(*source, *destination, platform::MoveMode::ReplaceExisting);
        return;
    }
    if (platform::PathExists(*destination)) {
        const auto now = services.LocalTimeOf(services.CalendarTime());
        if (!now) {
            return;
        }
        destination = platform::JoinPath(moveFolder, TimeStampedName(fileName, *now));
        if (!destination) {
            return;
        }
    }
    // The stamped name is not checked again: if it is taken too, the move
    // fails and the file stays where it is.
    platform::MoveFileTo(*source, *destination, platform::MoveMode::KeepExisting);
}

platform::NativePath TimeStampedName(const platform::NativePath& fileName, const platform::LocalTime& time) {
    // Taken a character at a time, so that no character is ever cut in two.
    const std::string& name = fileName.bytes();
    const std::vector<std::size_t> starts = platform::CharacterStarts(fileName);
    const std::size_t characters = starts.size() - 1;
    const std::string fullStop = platform::NativeFromUtf8(".").bytes();
    std::size_t dot = 0;
    while (dot < characters && name.compare(starts[dot], starts[dot + 1] - starts[dot], fullStop) != 0) {
        ++dot;
    }
    const std::string extension = name.substr(starts[dot]);
    char stampText[64];
    std::snprintf(stampText, sizeof stampText, "_%02d%02d%02d%02d%02d%02d", time.year - 2000, time.month, time.day,
                  time.hour, time.minute, time.second);
    const std::string stamp = platform::NativeFromUtf8(stampText).bytes();
    // The base keeps at most 127 characters, and fewer where the stamped
    // name would not fit the file system's limit for one name.
    std::size_t base = std::min(dot, kMaxBaseCharacters);
    while (base > 0 && starts[base] + stamp.size() + extension.size() > platform::kMaxNativeNameBytes) {
        --base;
    }
    return platform::NativePath::FromOsBytes(name.substr(0, starts[base]) + stamp + extension);
}

}  // namespace molvar::engine
