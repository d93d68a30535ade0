#include <alsa/asoundlib.h>

#include <cmath>
#include <cstdarg>
#include <memory>
#include <mutex>
#include <numbers>
#include <vector>

#include "platform/files.h"
#include "platform/sound.h"
#include "platform/wave.h"

namespace molvar::platform {
namespace {

// A WAV file larger than this is not a notification sound; it is not played.
constexpr std::size_t kMaxWaveBytes = 64u << 20;
constexpr unsigned kBeepRate = 48000;

// ALSA prints its errors to stderr by default; a missing sound card is normal
// here and must stay silent.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

PcmHandle OpenPlayback(snd_pcm_format_t format, unsigned channels, unsigned rate) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { snd_lib_error_set_handler(QuietAlsaErrors); });

    snd_pcm_t* raw = nullptr;
    // Opened non-blocking so that a busy device cannot hold the thread at the
    // open; writes then block as playback needs.
    if (snd_pcm_open(&raw, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        return nullptr;
    }
    PcmHandle pcm(raw);
    if (snd_pcm_nonblock(pcm.get(), 0) < 0 ||
        snd_pcm_set_params(pcm.get(), format, SND_PCM_ACCESS_RW_INTERLEAVED, channels, rate, 1, 200000) < 0) {
        return nullptr;
    }
    return pcm;
}

void PlayFrames(snd_pcm_t* pcm, const std::uint8_t* data, std::size_t frames, std::size_t frameBytes) {
    while (frames > 0) {
        snd_pcm_sframes_t written = snd_pcm_writei(pcm, data, frames);
        if (written < 0) {
            if (snd_pcm_recover(pcm, static_cast<int>(written), 1) < 0) {
                return;
            }
            continue;
        }
        if (written == 0) {
            return;
        }
        data += static_cast<std::size_t>(written) * frameBytes;
        frames -= static_cast<std::size_t>(written);
    }
    snd_pcm_drain(pcm);
}

snd_pcm_format_t FormatOf(unsigned bitsPerSample) {
    switch (bitsPerSample) {
        case 8: return SND_PCM_FORMAT_U8;
        case 16: return SND_PCM_FORMAT_S16_LE;
        case 24: return SND_PCM_FORMAT_S24_3LE;
        default: return SND_PCM_FORMAT_S32_LE;
    }
}

}  // namespace

void PlayBeep(unsigned frequencyHz, std::chrono::milliseconds duration) {
    if (frequencyHz == 0 || duration.count() <= 0) {
        return;
    }
    const auto frames = static_cast<std::size_t>(kBeepRate * duration.count() / 1000);
    std::vector<std::int16_t> tone(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double phase = 2.0 * std::numbers::pi * frequencyHz * static_cast<double>(i) / kBeepRate;
        tone[i] = static_cast<std::int16_t>(8000.0 * std::sin(phase));
    }
    if (auto pcm = OpenPlayback(SND_PCM_FORMAT_S16_LE, 1, kBeepRate)) {
        PlayFrames(pcm.get(), reinterpret_cast<const std::uint8_t*>(tone.data()), frames, sizeof(std::int16_t));
    }
}

Failure PlayWaveFile(const text::Cp932String& path) {
    const FileHead file = ReadFileHead(path, kMaxWaveBytes + 1);
    if (file.status != ReadStatus::Read) {
        return file.status == ReadStatus::NotFound ? "no such file" : "cannot be read";
    }
    if (file.bytes.size() > kMaxWaveBytes) {
        return "too large";
    }
    const auto sound = ParseWave(file.bytes);
    if (!sound) {
        return "not a playable WAV file";
    }
    auto pcm = OpenPlayback(FormatOf(sound->bitsPerSample), sound->channels, sound->sampleRate);
    if (!pcm) {
        return "no sound device takes it";
    }
    PlayFrames(pcm.get(), sound->samples.data(), sound->samples.size() / sound->blockAlign, sound->blockAlign);
    return std::nullopt;
}

}  // namespace molvar::platform
