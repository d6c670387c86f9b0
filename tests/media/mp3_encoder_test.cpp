// The AIFF header reader, and the encoder's road through a fake bundle that
// logs its calls.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/mp3_encoder.h"
#include "media/mp3_frames.h"
#include "sound_fixtures.h"

using namespace tavrel_test;

namespace {

std::string Be(uint64_t v, int bytes)
{
    std::string out;
    for (int s = 8 * (bytes - 1); s >= 0; s -= 8) out += char(v >> s);
    return out;
}
std::string Chunk(const std::string& id, const std::string& body, uint32_t size)
{
    return id + Be(size, 4) + body + (body.size() % 2 ? std::string(1, '\0') : "");
}
std::string Chunk(const std::string& id, const std::string& body)
{
    return Chunk(id, body, uint32_t(body.size()));
}
// 16-bit samples; the rate as an 80-bit extended number.
std::string Comm(uint16_t channels, uint32_t frames, uint32_t rate, const std::string& type = "")
{
    int exponent = 16383 + 31;
    uint64_t mantissa = uint64_t(rate) << 32;
    while (!(mantissa >> 63)) mantissa <<= 1, --exponent;
    return Chunk("COMM",
                 Be(channels, 2) + Be(frames, 4) + Be(16, 2) + Be(uint16_t(exponent), 2) + Be(mantissa, 8) + type);
}
std::string Form(const std::string& type, const std::string& chunks)
{
    return "FORM" + Be(4 + chunks.size(), 4) + type + chunks;
}
std::string Ssnd(const std::string& samples, uint32_t offset = 0)
{
    return Chunk("SSND", Be(offset, 4) + Be(0, 4) + std::string(offset, 'x') + samples);
}

TEST(AiffHeader, ReadsWhatTheFileHolds)
{
    const std::string comm = Comm(2, 3, 44100), samples(12, '\x01');
    const uint32_t twos = FourCC("twos");
    struct Case {
        const char* name;
        std::string file;
        bool ok;
        uint32_t offset = 0, length = 0, format = 0;
    } cases[] = {
        {"plain", Form("AIFF", comm + Ssnd(samples)), true, 12 + 26 + 16, 12, twos},
        {"aifc", Form("AIFC", Comm(1, 6, 22050, std::string("sowt\0", 5)) + Ssnd(samples)), true, 12 + 32 + 16, 12,
         FourCC("sowt")},
        // An odd chunk before the sound is followed by its pad byte.
        {"odd chunk", Form("AIFF", Chunk("NAME", "abc") + comm + Ssnd(samples)), true, 12 + 12 + 26 + 16, 12, twos},
        {"offset field", Form("AIFF", comm + Ssnd(samples, 4)), true, 12 + 26 + 20, 12, twos},
        {"empty sound", Form("AIFF", comm + Chunk("SSND", Be(0, 8))), true, 12 + 26 + 16, 0, twos},
        // A size beyond the file is cut to what is there.
        {"long size", Form("AIFF", comm + Chunk("SSND", Be(0, 8) + samples, 0x7FFFFFF0)), true, 12 + 26 + 16, 12, twos},
        {"not FORM", "RIFF" + Form("AIFF", comm + Ssnd(samples)).substr(4), false},
        {"other form", Form("WAVE", comm + Ssnd(samples)), false},
        {"no SSND", Form("AIFF", comm), false},
        {"no COMM", Form("AIFF", Ssnd(samples)), false},
        {"short COMM", Form("AIFF", Chunk("COMM", "ab")), false},
        {"offset past chunk", Form("AIFF", comm + Chunk("SSND", Be(0xCDCDCDCD, 4) + Be(0, 4) + samples)), false},
        {"SSND under 8", Form("AIFF", comm + Chunk("SSND", Be(0, 4), 4)), false},
        {"wave past end", Form("AIFF", comm + Ssnd(samples) + Chunk("wave", "", 100)), false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        FILE* f = fmemopen(const_cast<char*>(c.file.data()), c.file.size(), "rb");
        uint32_t offset = 0, length = 0;
        AiffHeaderRecord header{};
        const bool ok = f && ReadAiffHeader(f, &offset, &length, &header);
        if (f) std::fclose(f);
        ASSERT_EQ(ok, c.ok) << c.name;
        if (!ok) continue;
        EXPECT_EQ(std::make_tuple(offset, length, header.format), std::make_tuple(c.offset, c.length, c.format))
            << c.name;
        if (c.format == twos) {
            EXPECT_EQ(std::make_tuple(header.channels, header.sampleSize, header.sampleFrames, header.sampleRate),
                      std::make_tuple(int16_t(2), int16_t(16), 3u, 44100u << 16));
        }
    }
}

TEST(Mp3Encoder, ChannelConversions)
{
    int16_t stereo[4], mono[3];
    MonoToStereo(std::vector<int16_t>{1, -2}.data(), 2, stereo);
    EXPECT_EQ(std::vector<int16_t>(stereo, stereo + 4), (std::vector<int16_t>{1, 1, -2, -2}));
    // Halved in a wider type, truncated toward zero; an unpaired last sample is dropped.
    StereoToMono(std::vector<int16_t>{32767, 32767, -32768, -32767, 3, 4, 9}.data(), 7, mono);
    EXPECT_EQ(std::vector<int16_t>(mono, mono + 3), (std::vector<int16_t>{32767, -32767, 3}));
}

// The fake bundle's log as lines.
std::vector<std::string> LogLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::string text = ReadFile(path), line;
    for (char c : text) c == '\n' ? (lines.push_back(line), line.clear()) : line.push_back(c);
    return lines;
}

class FakeEncoder : public ::testing::Test {
protected:
    EncoderScope scope{TAVREL_FAKE_LAME};
    std::string log = scope.File("calls.log");
    ScopedEnv logEnv{"FAKE_LAME_LOG", log.c_str()};

    // A 16-bit tone of the given data bytes through the whole road.
    uint8_t* Convert(int64_t dataBytes, CMp3Settings& settings, CProgressDialog* progress, int rate = 11025,
                     int channels = 1)
    {
        std::remove(log.c_str());
        const std::string wav = scope.File("in.wav");
        EXPECT_TRUE(WriteTone(wav, kWav16, rate, channels, dataBytes / 2 / channels, 440));
        return encoder.ConvertToMp3(wav, settings, progress);
    }
    CMp3Encoder encoder;
};

TEST_F(FakeEncoder, FeedsWholeChunksAndReportsProgress)
{
    struct Case {
        int64_t bytes;
        std::vector<std::string> log, writing;
    };
    const Case cases[] = {
        // 102400 bytes read; 101376 of them (88 chunks of 1152) encoded, 1024
        // held for the next round; the last 16 bytes go in a call of their own.
        {250000,
         {"init 44100 44100 3 128", "encode 50688", "encode 51264", "encode 23040", "encode 8", "deinit 125000",
          "close 0"},
         {"Writing audio...", "Writing audio...0%", "Writing audio...40%", "Writing audio...81%"}},
        // Under 100 bytes of sound the percentage still reads 0.
        {40,
         {"init 44100 44100 3 128", "encode 20", "deinit 20", "close 0"},
         {"Writing audio...", "Writing audio...0%"}},
    };
    for (const Case& c : cases) {
        RecordingProgress progress;
        CMp3Settings settings;
        settings.outputRate = 44100;
        uint8_t* mp3 = Convert(c.bytes, settings, &progress, 44100);
        ASSERT_NE(mp3, nullptr) << encoder.GetFailure();
        EXPECT_EQ(LogLines(log), c.log);
        CMp3FrameList frames;
        frames.Split(mp3, size_t(settings.resultLength));
        EXPECT_EQ(frames.GetCount(), size_t(c.bytes / 2 + 1151) / 1152);
        std::free(mp3);
        EXPECT_TRUE(scope.LeftOver().empty());
        ASSERT_FALSE(progress.details.empty());
        EXPECT_EQ(progress.details.front(), "Reading audio...");
        std::vector<std::string> writing;
        for (const auto& d : progress.details)
            if (d.rfind("Writing", 0) == 0) writing.push_back(d);
        EXPECT_EQ(writing, c.writing) << c.bytes;
    }
}

TEST_F(FakeEncoder, ConfigurationRecordFollowsTheChannels)
{
    struct Case {
        int inChannels, inRate, outChannels, outRate;
        const char* init;
        const char* first;  // the first encoder call
    } cases[] = {
        {1, 22050, 1, 22050, "init 22050 22050 3 128", "encode 4608"},
        // More channels than the output's are mixed down before the encoder,
        // which takes them at the sound's own rate.
        {2, 22050, 1, 11025, "init 22050 11025 3 128", "encode 2304"},
        {1, 44100, 2, 44100, "init 44100 44100 1 128", "encode 9216"},  // mono to stereo: each sample in both
        {2, 44100, 2, 22050, "init 44100 22050 1 128", "encode 4608"},
        {1, 96000, 1, 44100, "init 96000 44100 3 128", "encode 4608"},  // past what 16.16 holds
        {6, 48000, 2, 44100, "init 48000 44100 1 128", "encode 1152"},
    };
    for (const Case& c : cases) {
        CMp3Settings settings;
        settings.outputChannels = c.outChannels;
        settings.outputRate = c.outRate;
        uint8_t* mp3 = Convert(4608 * 2, settings, nullptr, c.inRate, c.inChannels);
        ASSERT_NE(mp3, nullptr) << c.init;
        std::free(mp3);
        const auto calls = LogLines(log);
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(calls.front(), c.init);
        EXPECT_EQ(calls[1], c.first) << c.init;
        // The LAME form of the record, every frame decodable on its own.
        const lame_bundle::Config& cfg = encoder.GetConfig();
        EXPECT_EQ(
            std::make_tuple(cfg.dwConfig, cfg.dwStructSize, cfg.nPreset, cfg.bNoRes, cfg.bOriginal, cfg.dwMpegVersion),
            std::make_tuple(256u, 331u, 2, 1, 1, 1u));
    }
}

TEST_F(FakeEncoder, FailuresAndCancelLeaveNothingBehind)
{
    struct Case {
        const char* fail;
        int cancelAfter;
        bool ok;
        int encodeCalls;  // -1: not checked
    } cases[] = {
        {"", -1, true, -1},
        {"init", -1, false, 0},
        // Refused input is held; a stream that keeps refusing fills the
        // buffer and fails once no read fits, instead of overrunning it.
        {"encode", -1, false, 8},
        {"encode-1", -1, true, -1},
        // After six refusals 716800 bytes are held: they go in two calls
        // of one round, each small enough for the output buffer.
        {"encode-6", -1, true, 12},
        {"", 1, false, -1},  // cancelled while reading the sound
        {"", 4, false, -1},  // cancelled while encoding
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fail) + " " + std::to_string(c.cancelAfter));
        ScopedEnv fail("FAKE_LAME_FAIL", c.fail);
        RecordingProgress progress;
        progress.cancelAfter = c.cancelAfter;
        CMp3Settings settings;
        settings.outputRate = 44100;
        uint8_t* mp3 = Convert(1000000, settings, &progress, 44100);
        EXPECT_EQ(mp3 != nullptr, c.ok);
        EXPECT_EQ(settings.resultBuffer, mp3);
        std::free(mp3);
        EXPECT_TRUE(scope.LeftOver().empty());
        int encodes = 0;
        bool closed = false;
        for (const auto& line : LogLines(log)) {
            if (line.rfind("encode ", 0) == 0) {
                ++encodes;
                EXPECT_LE(lame_bundle::MaxOutputBytes(std::stoul(line.substr(7)), 44100, 44100),
                          CMp3Encoder::kOutputBufferBytes);
            }
            closed |= line == "close 0";
        }
        EXPECT_TRUE(c.encodeCalls < 0 || encodes == c.encodeCalls) << encodes;
        // A stream once started is always closed.
        EXPECT_TRUE(closed || encodes == 0 || c.fail == std::string("init"));
    }
}

TEST(Mp3EncoderBundle, MissingOrIncompleteBundle)
{
    const std::tuple<std::string, int, std::string> cases[] = {
        {"/nonexistent/lame_encU", CMp3Encoder::kBundleNotLoaded, "it is missing from the application bundle"},
        {TAVREL_FAKE_LAME_INCOMPLETE, CMp3Encoder::kEntryMissing, "it lacks the entry point beVersion"}};
    for (const auto& [module, error, why] : cases) {
        EncoderScope scope(module);
        CMp3Encoder encoder;
        EXPECT_FALSE(encoder.LoadBundle());
        EXPECT_EQ(encoder.GetLastError(), error);
        EXPECT_EQ(encoder.GetLoadFailure(), why);
        const std::string wav = scope.File("in.wav");
        ASSERT_TRUE(WriteTone(wav, kWav16, 11025, 1, 1000, 440));
        CMp3Settings settings;
        EXPECT_EQ(encoder.ConvertToMp3(wav, settings, nullptr), nullptr);
        EXPECT_TRUE(scope.LeftOver().empty());
    }
}

}  // namespace
