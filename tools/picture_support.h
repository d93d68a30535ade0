// What both picture tools do alike: play a user's steps on a modal dialog,
// and make the settings file of the sample watch settings.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "config/watch_record.h"
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

}  // namespace molvar::pictures
