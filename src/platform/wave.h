// Reading RIFF/WAVE files with PCM samples.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace molvar::platform {

struct WaveSound {
    unsigned channels = 0;
    unsigned sampleRate = 0;
    unsigned bitsPerSample = 0;  // 8, 16, 24 or 32
    unsigned blockAlign = 0;     // bytes per frame
    std::span<const std::uint8_t> samples;  // whole frames only, inside the parsed buffer
};

// Empty for anything that is not a playable PCM WAV file. Never reads past the
// buffer, whatever the chunk sizes claim.
std::optional<WaveSound> ParseWave(std::span<const std::uint8_t> file);

}  // namespace molvar::platform
