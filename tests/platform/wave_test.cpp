#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <tuple>

#include "platform/sound.h"
#include "platform/wave.h"
#include "support/test_support.h"

namespace molvar::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Little-endian integers and four-letter tags; push_back rather than insert,
// on which GCC 12 warns wrongly (stringop-overflow) for these small vectors.
Bytes operator+(Bytes a, const Bytes& b) {
    for (std::uint8_t byte : b) a.push_back(byte);
    return a;
}
Bytes Le(std::uint32_t value, int width) {
    Bytes b;
    for (int i = 0; i < width; ++i) b.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return b;
}
Bytes Chunk(const char* tag, const Bytes& body, std::uint32_t declared) {
    return Bytes(tag, tag + 4) + Le(declared, 4) + body;
}

// A format chunk of 22050 frames a second; the defaults make 16-bit PCM stereo.
Bytes FmtChunk(std::uint16_t tag = 1, std::uint16_t channels = 2, std::uint16_t blockAlign = 4,
               std::uint16_t bits = 16) {
    return Chunk("fmt ", Le(tag, 2) + Le(channels, 2) + Le(22050, 4) + Le(22050u * blockAlign, 4) + Le(blockAlign, 2) +
                             Le(bits, 2), 16);
}
const Bytes kRiff = Chunk("RIFF", Bytes{'W', 'A', 'V', 'E'}, 0);  // its chunks follow

const Bytes kSamples(40, 0x11);  // ten stereo 16-bit frames

// Every prefix of a file whose data chunk gives its size exactly, or far
// beyond the end as a streaming writer leaves it: the whole frames that are
// there play, up to the declared size, and nothing past the buffer is read.
// The odd-sized chunk before the data is padded to an even length.
TEST(ParseWave, PlaysTheWholeFramesOfAnyPrefixUpToTheDeclaredSize) {
    const Bytes head = kRiff + FmtChunk() + Chunk("LIST", Bytes(5, 0), 5) + Bytes{0};
    const std::size_t dataAt = head.size() + 8;
    for (const std::uint32_t declared : {40u, 0xFFFFFFFFu}) {
        const Bytes file = head + Chunk("data", kSamples, declared) + Chunk("junk", Bytes(4, 0x22), 4);
        for (std::size_t length = 0; length <= file.size(); ++length) {
            // Each prefix in its own allocation, so that AddressSanitizer sees an overread.
            const Bytes prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
            SCOPED_TRACE(testing::Message() << "declared " << declared << ", length " << length);
            const auto sound = ParseWave(prefix);
            const std::size_t whole = length < dataAt ? 0 : std::min<std::size_t>(length - dataAt, declared) / 4 * 4;
            ASSERT_EQ(sound.has_value(), whole > 0);
            if (sound) {
                EXPECT_EQ(std::tuple(sound->channels, sound->sampleRate, sound->bitsPerSample, sound->blockAlign),
                          std::tuple(2u, 22050u, 16u, 4u));
                EXPECT_EQ(sound->samples.data(), prefix.data() + dataAt);
                EXPECT_EQ(sound->samples.size(), whole);
            }
        }
    }
}

TEST(ParseWave, RefusesMalformedFiles) {
    const Bytes data = Chunk("data", kSamples, 40);
    const std::vector<Bytes> bad = {
        kRiff + data,                                            // data before its format
        kRiff + FmtChunk(1, 0) + data,                           // no channels
        kRiff + FmtChunk(2) + data,                              // compressed (ADPCM)
        kRiff + FmtChunk(1, 2, 3) + data,                        // a block that is no frame
        kRiff + FmtChunk(1, 2, 4, 12) + data,                    // samples of no whole bytes
        kRiff + Chunk("fmt ", Bytes(8, 0), 8) + data,            // format too short
        kRiff + Chunk("junk", Bytes(4, 0), 0xFFFFFFF0u) + data,  // a chunk far past the end
        Chunk("RIFX", Bytes{'W', 'A', 'V', 'E'}, 0) + FmtChunk() + data,
    };
    for (std::size_t i = 0; i < bad.size(); ++i) EXPECT_FALSE(ParseWave(bad[i])) << "case " << i;
}

// Nothing to play: silence on Linux, the system's default sound on Windows;
// either way the call returns.
TEST(Sound, MissingOrMalformedFilesEndTheCall) {
    test::TempFolder folder;
    test::WriteText(folder.path() / "bad.wav", "RIFF????WAVEjunk");
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((folder.path() / "fifo.wav").c_str(), 0600), 0);  // would block a plain open
#endif
    for (const char* name : {"bad.wav", "none.wav", "", "fifo.wav"}) PlayWaveFile(test::SjPath(folder.path() / name));
    PlayWaveFile(text::Cp932String());
}

}  // namespace
}  // namespace molvar::platform
