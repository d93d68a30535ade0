#include "engine/reactions.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/message_box.h"
#include "platform/activity.h"
#include "platform/files.h"
#include "platform/native_path.h"
#include "res/strings.h"
#include "text/convert.h"

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

platform::NativePath WatchedFolderPath(const config::WatchEntry& entry) {
    return platform::NativeOf(FieldText(entry.folder)).value_or(platform::NativePath{});
}

void TellActivity(const config::WatchEntry& entry, std::string_view event,
                  platform::NativePath path, std::string detail) {
    // The real time: the history tells when things happened, whatever clock
    // the scan's rules are given.
    platform::ReportActivity({platform::CalendarTimeNow(), FieldText(entry.title), event, std::move(path), std::move(detail)});
}

void NotifyUser(const config::WatchEntry& entry, const platform::Services& services) {
    platform::ActivityBatch::Flush();
    if (entry.soundKind == config::BeepSound) {
        services.Beep(kBeepFrequencyHz, kBeepDuration);
        TellActivity(entry, "notified", WatchedFolderPath(entry), "ビープ音");
    } else if (entry.soundKind == config::WaveFile) {
        const text::Cp932String wave = FieldText(entry.soundFile);
        const auto path = platform::NativeOf(wave).value_or(platform::NativePath{});
        if (const auto failure = services.PlayWave(wave)) {
            TellActivity(entry, "failed", path, "WAVを再生できません: " + *failure);
        } else {
            TellActivity(entry, "notified", path, "WAV");
        }
    }
    if (entry.showMessage != 0) {
        AfxMessageBox(FieldText(entry.folder) + res::NowRunningSuffix(), MB_OK);
        TellActivity(entry, "notified", WatchedFolderPath(entry), "メッセージ");
    }
}

void RunProgram(const std::optional<platform::NativePath>& fileName, const config::WatchEntry& entry,
                const platform::Services& services) {
    const text::Cp932String program = FieldText(entry.program);
    if (program.empty()) {
        return;
    }
    platform::ActivityBatch::Flush();
    const auto target = entry.openTarget != 0 ? TargetPath(fileName, entry) : std::nullopt;
    const platform::NativePath told = target.value_or(platform::NativePath{});
    const std::string command = text::ToUtf8ForDisplay(program);
    if (entry.openTarget != 0 && fileName && !target) {
        TellActivity(entry, "failed", WatchedFolderPath(entry),
                     "プログラムを起動できません: " + command + ": ファイルのパスが長すぎます");
        return;
    }
    if (entry.waitForExit != 0) {
        const platform::ProgramEnd end = services.RunAndWait(program, target);
        if (end.failure) {
            TellActivity(entry, "failed", told, "プログラムを起動できません: " + command + ": " + *end.failure);
        } else if (end.endSignal) {
            TellActivity(entry, "ran", told, command + " (シグナル " + std::to_string(*end.endSignal) + " で終了)");
        } else {
            TellActivity(entry, "ran", told,
                         command + " (終了コード " + std::to_string(end.exitStatus.value_or(0)) + ")");
        }
        return;
    }
    if (const auto failure = services.ShellRun(program, target)) {
        TellActivity(entry, "failed", told, "プログラムを起動できません: " + command + ": " + *failure);
    } else {
        TellActivity(entry, "ran", told, command);
    }
    if (entry.openTarget != 0) {
        services.Sleep(kPauseAfterShellStart);
    }
}

void OpenTargetFile(const std::optional<platform::NativePath>& fileName, const config::WatchEntry& entry,
                    const platform::Services& services) {
    platform::ActivityBatch::Flush();
    const auto target = TargetPath(fileName, entry);
    if (!target) {
        if (fileName) {
            TellActivity(entry, "failed", WatchedFolderPath(entry), "ファイルを開けません: パスが長すぎます");
        }
        return;
    }
    if (const auto failure = services.ShellOpenDocument(*target)) {
        TellActivity(entry, "failed", *target, "ファイルを開けません: " + *failure);
    } else {
        TellActivity(entry, "opened", *target, {});
    }
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
    const auto fail = [&](const std::string& why) {
        TellActivity(entry, "failed", source.value_or(WatchedFolderPath(entry)), "移動できません: " + why);
    };
    if (!source || !destination) {
        fail("パスが長すぎます");
        return;
    }
    // A destination that is the watched folder itself: replacing would delete
    // the file, and a stamped name would be reported as a new file and moved
    // again at every scan. The file stays as it is.
    if (platform::IsSameFile(*source, *destination)) {
        fail("移動先が監視フォルダと同じです");
        return;
    }
    platform::MoveMode mode = platform::MoveMode::ReplaceExisting;
    if (entry.overwriteMoved == 0) {
        mode = platform::MoveMode::KeepExisting;
        if (platform::PathExists(*destination)) {
            const auto now = services.LocalTimeOf(services.CalendarTime());
            destination = now ? platform::JoinPath(moveFolder, TimeStampedName(fileName, *now)) : std::nullopt;
            if (!destination) {
                fail(now ? "パスが長すぎます" : "時刻を読めません");
                return;
            }
        }
    }
    // The stamped name is not checked again: if it is taken too, the move
    // fails and the file stays where it is.
    if (platform::MoveFileTo(*source, *destination, mode)) {
        TellActivity(entry, "moved", *source, Utf8ForDisplay(*destination));
    } else {
        fail(Utf8ForDisplay(*destination) + ": " + platform::LastErrorText());
    }
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
