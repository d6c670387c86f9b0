#include <gtest/gtest.h>

#include <string>

#include "media/wave_file.h"
#include "support/test_support.h"

namespace {

std::string Le32(uint32_t v)
{
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string Le16(uint16_t v)
{
    return {char(v), char(v >> 8)};
}
std::string Fmt(uint16_t channels, uint32_t rate, uint16_t bits)
{
    return "fmt " + Le32(16) + Le16(1) + Le16(channels) + Le32(rate) + Le32(rate * channels * bits / 8) +
           Le16(uint16_t(channels * bits / 8)) + Le16(bits);
}
std::string Riff(const std::string& chunks)
{
    return "RIFF" + Le32(uint32_t(4 + chunks.size())) + "WAVE" + chunks;
}

TEST(WaveFile, Load)
{
    const std::string samples = "abcdefgh";
    const struct {
        const char* name;
        std::string file;
        bool ok;
        uint16_t channels, bits;
        uint32_t rate, length;
    } cases[] = {
        {"stereo", Riff(Fmt(2, 22050, 16) + "data" + Le32(8) + samples), true, 2, 16, 22050, 8},
        {"LIST first", Riff("LIST" + Le32(4) + "INFO" + Fmt(1, 8000, 8) + "data" + Le32(8) + samples), true, 1, 8, 8000,
         8},
        // A length beyond the file is cut to the bytes there; 0 claims nothing.
        {"long data", Riff(Fmt(1, 44100, 16) + "data" + Le32(1000) + samples), true, 1, 16, 44100, 8},
        {"data size 0", Riff(Fmt(1, 44100, 16) + "data" + Le32(0) + samples), true, 1, 16, 44100, 8},
        // Fields no sound has, as the sound readers judge them.
        {"rate 0", Riff(Fmt(1, 0, 16) + "data" + Le32(8) + samples), false, 0, 0, 0, 0},
        {"255 channels", Riff(Fmt(255, 8000, 8) + "data" + Le32(8) + samples), false, 0, 0, 0, 0},
        {"0 bits", Riff(Fmt(1, 8000, 0) + "data" + Le32(8) + samples), false, 0, 0, 0, 0},
        // Chunks are walked: a comment that says "data" is no data chunk.
        {"data in a comment",
         Riff(Fmt(1, 8000, 8) + "LIST" + Le32(34) + "INFOICMT" + Le32(22) + "recorded by datalogger" + "data" +
              Le32(8) + samples),
         true, 1, 8, 8000, 8},
        {"odd chunk padded", Riff(Fmt(1, 8000, 8) + "junk" + Le32(3) + "abc" + '\0' + "data" + Le32(8) + samples), true,
         1, 8, 8000, 8},
        {"odd chunk unpadded", Riff(Fmt(1, 8000, 8) + "junk" + Le32(3) + "abc" + "data" + Le32(8) + samples), true, 1,
         8, 8000, 8},
        {"chunk past the end", Riff(Fmt(1, 8000, 8) + "junk" + Le32(4000) + "data" + Le32(8) + samples), false, 0, 0, 0,
         0},
        {"RIFX", "RIFX" + Riff(Fmt(1, 8000, 8) + "data" + Le32(0)).substr(4), false, 0, 0, 0, 0},
        {"no fmt", Riff("data" + Le32(8) + samples), false, 0, 0, 0, 0},
        {"no data", Riff(Fmt(1, 8000, 8)), false, 0, 0, 0, 0},
        {"cut fmt", Riff(Fmt(1, 8000, 8)).substr(0, 30), false, 0, 0, 0, 0},
        {"data tag at end", Riff(Fmt(1, 8000, 8) + "data"), false, 0, 0, 0, 0},
        {"tiny", "RIF", false, 0, 0, 0, 0},
        {"empty", "", false, 0, 0, 0, 0},
    };
    tavrel_test::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.file("w.wav");
        ASSERT_TRUE(tavrel_test::WriteFile(path, c.file));
        CWaveFile wave;
        EXPECT_EQ(wave.Load(path), c.ok) << c.name;
        EXPECT_EQ(wave.fileSize, c.file.size()) << c.name;
        if (!c.ok) continue;
        EXPECT_EQ(wave.channels, c.channels) << c.name;
        EXPECT_EQ(wave.bitsPerSample, c.bits) << c.name;
        EXPECT_EQ(wave.sampleRate, c.rate) << c.name;
        EXPECT_EQ(wave.dataLength, c.length) << c.name;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(wave.data), wave.dataLength), samples.substr(0, c.length));
    }
    CWaveFile wave;
    EXPECT_FALSE(wave.Load(dir.file("missing.wav")));
}

}  // namespace
