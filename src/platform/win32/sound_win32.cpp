#include <windows.h>
#include <mmsystem.h>

#include "platform/sound.h"
#include "platform/win32/wide_path.h"

namespace molvar::platform {

void PlayBeep(unsigned frequencyHz, std::chrono::milliseconds duration) {
    // Beep itself refuses frequencies outside 37 to 32767 Hz.
    if (frequencyHz == 0 || duration.count() <= 0) {
        return;
    }
    const auto milliseconds = duration.count() < INFINITE ? static_cast<DWORD>(duration.count()) : INFINITE - 1;
    ::Beep(frequencyHz, milliseconds);
}

Failure PlayWaveFile(const text::Cp932String& path) {
    // Synchronous, the name taken as an alias or a file as PlaySound finds
    // it; a file that cannot be played gives the system's default sound, so
    // the user still hears that something arrived.
    const auto osPath = win32::OsPath(path);
    if (!osPath) {
        return "not a path Windows takes";
    }
    if (!::PlaySoundW(osPath->c_str(), nullptr, SND_SYNC)) {
        return "PlaySound failed";
    }
    return std::nullopt;
}

}  // namespace molvar::platform
