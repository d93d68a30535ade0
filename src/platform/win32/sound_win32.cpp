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

void PlayWaveFile(const text::Cp932String& path) {
    // Without SND_NODEFAULT a missing file would play the system's default sound.
    if (const auto osPath = win32::OsPath(path)) {
        ::PlaySoundW(osPath->c_str(), nullptr, SND_FILENAME | SND_SYNC | SND_NODEFAULT);
    }
}

}  // namespace molvar::platform
