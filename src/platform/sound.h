// Notification sounds. No sound device, or a missing or malformed file, means
// silence, told to the caller; these never hang.
#pragma once

#include <chrono>

#include "platform/failure.h"
#include "text/cp932.h"

namespace molvar::platform {

void PlayBeep(unsigned frequencyHz, std::chrono::milliseconds duration);

// Plays a WAV file to its end before returning.
Failure PlayWaveFile(const text::Cp932String& path);

}  // namespace molvar::platform
