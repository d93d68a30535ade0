// What both picture tools do alike: play a user's steps on a modal dialog,
// and make the settings file of the sample watch settings.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "config/watch_record.h"
#include "platform/activity.h"
#include "framework/scripted_user/dialog_user.h"
#include "framework/window_backend.h"
#include "text/convert.h"

namespace molvar::pictures {

using Step = std::function<void(framework::DialogUser&)>;

// Plays `steps` on the modal dialog that `open` runs, one per idle turn of
// its modal loop; the loop cancels the dialog once they are done. False when
// the dialog closed before its last step.
inline bool ShowThrough(const std::function<void()>& open, std::vector<Step> steps) {
    const std::unique_ptr<framework::DialogUser> user = framework::MakeDialogUser();
    std::size_t next = 0;
    framework::SetModalIdleHook([&] {
        if (next == steps.size()) {
            return false;
        }
        steps[next++](*user);
        return true;
    });
    const std::unique_ptr<void, void (*)(void*)> unhook(&next, [](void*) { framework::SetModalIdleHook(nullptr); });
    open();
    return next == steps.size();
}

struct SampleSetting {
    std::int16_t running;
    std::u8string_view title;
    std::u8string_view folder;
    std::u8string_view program;
};

// The bytes of "dirinfo.dat" holding `samples`.
inline std::vector<std::uint8_t> SettingsFileBytes(std::span<const SampleSetting> samples) {
    std::vector<std::uint8_t> bytes;
    for (const SampleSetting& sample : samples) {
        config::WatchFileRecord record;
        record.running = sample.running;
        text::StoreField(record.entry.title, text::LiteralToCp932(sample.title), 56);
        text::StoreField(record.entry.folder, text::LiteralToCp932(sample.folder), 126);
        text::StoreField(record.entry.program, text::LiteralToCp932(sample.program), 126);
        std::array<std::uint8_t, config::WatchFileRecord::kSize> recordBytes{};
        record.ToBytes(recordBytes);
        bytes.insert(bytes.end(), recordBytes.begin(), recordBytes.end());
    }
    return bytes;
}

// A history of a few minutes of watching, in a folder of the tool's own
// (made anew), as the program's history from now on. `home` starts every
// path; `separator` joins its parts; `program` is the one the watch ran.
inline void UseSampleHistory(const std::filesystem::path& folder, std::string_view home, char separator,
                             std::string_view program) {
    std::filesystem::remove_all(folder);
    const std::u8string folderName = folder.u8string();
    auto log = std::make_unique<platform::ActivityLog>(
        platform::NativeFromUtf8(std::string_view(reinterpret_cast<const char*>(folderName.data()), folderName.size())));
    const auto path = [&](std::u8string_view tail) {
        std::string joined(home);
        for (const char8_t unit : tail) {
            joined += unit == u8'/' ? separator : static_cast<char>(unit);
        }
        return joined;
    };
    const auto text = [](std::u8string_view utf8) { return std::string(utf8.begin(), utf8.end()); };
    const std::string report = path(u8"/ダウンロード/報告書.txt");
    struct Sample {
        std::u8string_view setting;
        std::string_view event;
        std::string path;
        std::string detail;
    };
    const Sample samples[] = {
        {u8"ダウンロード", "watch-start", path(u8"/ダウンロード"), ""},
        {u8"スキャナの取り込み", "watch-start", path(u8"/scans"), ""},
        {u8"ダウンロード", "found", report, text(u8"新規")},
        {u8"ダウンロード", "notified", report, text(u8"メッセージ")},
        {u8"ダウンロード", "ran", report, std::string(program) + " \"" + report + "\""},
        {u8"ダウンロード", "moved", report, path(u8"/済み/報告書.txt")},
        {u8"スキャナの取り込み", "found", path(u8"/scans/scan-0012.pdf"), text(u8"新規")},
        {u8"スキャナの取り込み", "failed", path(u8"/scans/scan-0012.pdf"),
         text(u8"移動できませんでした: 移動先に同じ名前のファイルがあります")},
        {u8"スキャナの取り込み", "absorbed", path(u8"/scans/scan-0013.pdf"), text(u8"反応なしで一覧に取り込み")},
    };
    std::int64_t time = 1796655785;  // an afternoon in December
    for (const Sample& sample : samples) {
        log->Record({time, text::LiteralToCp932(sample.setting), sample.event, platform::NativeFromUtf8(sample.path),
                     sample.detail});
        time += 7;
    }
    platform::UseActivityLog(std::move(log));
}

}  // namespace molvar::pictures
