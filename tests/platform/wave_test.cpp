#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstring>
#include <string>
#include <vector>

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
Bytes Tag(const char* tag) { return Bytes(tag, tag + 4); }

struct Format {
    std::uint16_t tag = 1, channels = 2;
    std::uint32_t rate = 22050;
    std::uint16_t blockAlign = 4, bits = 16;
};

Bytes Chunk(const char* tag, const Bytes& body, std::uint32_t declared) { return Tag(tag) + Le(declared, 4) + body; }

Bytes FmtChunk(const Format& f) {
    return Chunk("fmt ", Le(f.tag, 2) + Le(f.channels, 2) + Le(f.rate, 4) + Le(f.rate * f.blockAlign, 4) +
                             Le(f.blockAlign, 2) + Le(f.bits, 2), 16);
}

Bytes Riff(const std::vector<Bytes>& chunks) {
    Bytes b = Tag("RIFF") + Le(0, 4) + Tag("WAVE");
    for (const auto& c : chunks) b = b + c;
    return b;
}

const Bytes kSamples(40, 0x11);  // ten stereo 16-bit frames

TEST(ParseWave, ReadsAPcmFileAndSkipsOtherChunks) {
    // An odd-sized chunk is padded to an even length before the next one.
    const Bytes file = Riff({FmtChunk({}), Chunk("LIST", Bytes(3, 0), 3) + Bytes{0}, Chunk("data", kSamples, 40)});
    const auto sound = ParseWave(file);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->channels, 2u);
    EXPECT_EQ(sound->sampleRate, 22050u);
    EXPECT_EQ(sound->bitsPerSample, 16u);
    EXPECT_EQ(sound->samples.size(), 40u);
    EXPECT_EQ(sound->samples.data(), file.data() + file.size() - 40);
}

TEST(ParseWave, PlaysWhatIsThereOfACutOffDataChunk) {
    // Declared far longer than the file, and a half frame at the end.
    const Bytes file = Riff({FmtChunk({}), Chunk("data", Bytes(42, 0x11), 0xFFFFFFFFu)});
    const auto sound = ParseWave(file);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->samples.size(), 40u);
}

TEST(ParseWave, RefusesMalformedFiles) {
    const Format zeroChannels{.channels = 0};
    const Format compressed{.tag = 2};  // ADPCM
    const Format wrongAlign{.blockAlign = 3};
    const Format oddBits{.bits = 12};
    const std::vector<Bytes> bad = {
        {},
        Bytes{'R', 'I', 'F', 'F'},
        Riff({}),
        Riff({Chunk("data", kSamples, 40)}),                      // data before its format
        Riff({FmtChunk(zeroChannels), Chunk("data", kSamples, 40)}),
        Riff({FmtChunk(compressed), Chunk("data", kSamples, 40)}),
        Riff({FmtChunk(wrongAlign), Chunk("data", kSamples, 40)}),
        Riff({FmtChunk(oddBits), Chunk("data", kSamples, 40)}),
        Riff({Chunk("fmt ", Bytes(8, 0), 8), Chunk("data", kSamples, 40)}),   // format too short
        Riff({Chunk("fmt ", Bytes(16, 0), 1000)}),                           // format past the end
        Riff({Chunk("junk", Bytes(4, 0), 0xFFFFFFF0u), Chunk("data", kSamples, 40)}),
        Riff({FmtChunk({}), Chunk("data", {}, 0)}),                          // no sound at all
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        EXPECT_FALSE(ParseWave(bad[i])) << "case " << i;
    }
}

TEST(ParseWave, NeverReadsPastTheBufferOfAnyTruncation) {
    const Bytes file = Riff({FmtChunk({}), Chunk("LIST", Bytes(5, 0), 5) + Bytes{0}, Chunk("data", kSamples, 40)});
    for (std::size_t length = 0; length <= file.size(); ++length) {
        // Each prefix in its own allocation, so that AddressSanitizer sees an overread.
        const Bytes prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        if (const auto sound = ParseWave(prefix)) {
            EXPECT_LE(sound->samples.data() + sound->samples.size(), prefix.data() + prefix.size());
        }
    }
}

// Nothing to play: silence on Linux, the system's default sound on Windows;
// either way the call returns.
TEST(Sound, MissingOrMalformedFilesEndTheCall) {
    test::TempFolder folder;
    test::WriteText(folder.path() / "bad.wav", "RIFF????WAVEjunk");
    PlayWaveFile(test::SjPath(folder.path() / "bad.wav"));
    PlayWaveFile(test::SjPath(folder.path() / "missing.wav"));
    PlayWaveFile(test::SjPath(folder.path()));
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((folder.path() / "fifo.wav").c_str(), 0600), 0);  // would block a plain open
    PlayWaveFile(test::SjPath(folder.path() / "fifo.wav"));
#endif
    PlayWaveFile(text::Cp932String());
}

}  // namespace
}  // namespace molvar::platform
