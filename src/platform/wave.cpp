#include "platform/wave.h"

#include <cstddef>

namespace molvar::platform {
namespace {

std::uint32_t Read32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t Read16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

bool HasTag(std::span<const std::uint8_t> b, std::size_t at, const char (&tag)[5]) {
    for (std::size_t i = 0; i < 4; ++i) {
        if (b[at + i] != static_cast<std::uint8_t>(tag[i])) {
            return false;
        }
    }
    return true;
}

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr unsigned kMaxChannels = 8;

}  // namespace

std::optional<WaveSound> ParseWave(std::span<const std::uint8_t> file) {
    if (file.size() < 12 || !HasTag(file, 0, "RIFF") || !HasTag(file, 8, "WAVE")) {
        return std::nullopt;
    }
    std::optional<WaveSound> format;
    std::size_t pos = 12;
    // Chunks: 4-byte tag, 4-byte size, the data padded to an even length.
    while (file.size() - pos >= 8) {
        const std::uint32_t declared = Read32(file, pos + 4);
        const std::size_t body = pos + 8;
        const std::size_t available = file.size() - body;
        if (HasTag(file, pos, "fmt ")) {
            if (declared < 16 || declared > available) {
                return std::nullopt;
            }
            const std::uint16_t tag = Read16(file, body);
            WaveSound sound;
            sound.channels = Read16(file, body + 2);
            sound.sampleRate = Read32(file, body + 4);
            sound.blockAlign = Read16(file, body + 12);
            sound.bitsPerSample = Read16(file, body + 14);
            const bool pcm = tag == kFormatPcm || tag == kFormatExtensible;
            const bool sizeKnown = sound.bitsPerSample == 8 || sound.bitsPerSample == 16 ||
                                   sound.bitsPerSample == 24 || sound.bitsPerSample == 32;
            if (!pcm || !sizeKnown || sound.channels == 0 || sound.channels > kMaxChannels ||
                sound.sampleRate == 0 || sound.sampleRate > 384000 ||
                sound.blockAlign != sound.channels * sound.bitsPerSample / 8) {
                return std::nullopt;
            }
            format = sound;
        } else if (HasTag(file, pos, "data")) {
            if (!format) {
                return std::nullopt;  // data before its format
            }
            // A data size beyond the end of the file (a cut-off download, or a
            // streaming writer's 0xFFFFFFFF) plays what is there.
            const std::size_t length = declared < available ? declared : available;
            const std::size_t whole = length - length % format->blockAlign;
            if (whole == 0) {
                return std::nullopt;
            }
            format->samples = file.subspan(body, whole);
            return format;
        }
        if (declared > available) {
            return std::nullopt;
        }
        pos = body + declared + (declared & 1u);
        if (pos > file.size()) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace molvar::platform
