#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/mp3_encoder.h"
#include "media/mp3_frames.h"
#include "sound_fixtures.h"

using namespace tavrel_test;

namespace {

std::string Be32(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
std::string Be16(uint16_t v)
{
    return {char(v >> 8), char(v)};
}
std::string Chunk(const std::string& id, const std::string& body, uint32_t size)
{
    return id + Be32(size) + body + (body.size() % 2 ? std::string(1, '\0') : "");
}
std::string Chunk(const std::string& id, const std::string& body)
{
    return Chunk(id, body, uint32_t(body.size()));
}
// 80-bit extended for the common rates.
std::string Extended(uint32_t rate)
{
    int exponent = 16383 + 31;
    uint64_t mantissa = uint64_t(rate) << 32;
    while (!(mantissa >> 63)) mantissa <<= 1, --exponent;
    std::string out = Be16(uint16_t(exponent));
    for (int s = 56; s >= 0; s -= 8) out += char(mantissa >> s);
    return out;
}
std::string Comm(uint16_t channels, uint32_t frames, uint16_t bits, uint32_t rate, const std::string& type = "")
{
    return Chunk("COMM", Be16(channels) + Be32(frames) + Be16(bits) + Extended(rate) + type);
}
std::string Form(const std::string& type, const std::string& chunks)
{
    return "FORM" + Be32(uint32_t(4 + chunks.size())) + type + chunks;
}
std::string Ssnd(const std::string& samples, uint32_t offset = 0)
{
    return Chunk("SSND", Be32(offset) + Be32(0) + std::string(offset, 'x') + samples);
}

struct AiffResult {
    bool ok;
    uint32_t offset, length;
    AiffHeaderRecord header;
};

AiffResult ReadHeader(const std::string& bytes)
{
    AiffResult r{};
    FILE* f = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    r.ok = f && ReadAiffHeader(f, &r.offset, &r.length, &r.header);
    if (f) std::fclose(f);
    return r;
}

TEST(AiffHeader, ReadsWhatTheFileHolds)
{
    const std::string comm = Comm(2, 3, 16, 44100);
    const std::string samples(12, '\x01');
    struct Case {
        const char* name;
        std::string file;
        bool ok;
        uint32_t offset, length, format;
    } cases[] = {
        {"plain", Form("AIFF", comm + Ssnd(samples)), true, 12 + 26 + 16, 12, platform::FourCharCode("twos")},
        {"aifc", Form("AIFC", Comm(1, 6, 16, 22050, "sowt" + std::string("\0", 1)) + Ssnd(samples)), true, 12 + 32 + 16,
         12, platform::FourCharCode("sowt")},
        // An odd chunk before the sound is followed by its pad byte.
        {"odd chunk", Form("AIFF", Chunk("NAME", "abc") + comm + Ssnd(samples)), true, 12 + 12 + 26 + 16, 12,
         platform::FourCharCode("twos")},
        {"offset field", Form("AIFF", comm + Ssnd(samples, 4)), true, 12 + 26 + 20, 12, platform::FourCharCode("twos")},
        {"empty sound", Form("AIFF", comm + Chunk("SSND", Be32(0) + Be32(0))), true, 12 + 26 + 16, 0,
         platform::FourCharCode("twos")},
        // A size beyond the file is cut to what is there.
        {"long size", Form("AIFF", comm + Chunk("SSND", Be32(0) + Be32(0) + samples, 0x7FFFFFF0)), true, 12 + 26 + 16,
         12, platform::FourCharCode("twos")},
        {"not FORM", "RIFF" + Form("AIFF", comm + Ssnd(samples)).substr(4), false, 0, 0, 0},
        {"other form", Form("WAVE", comm + Ssnd(samples)), false, 0, 0, 0},
        {"no SSND", Form("AIFF", comm), false, 0, 0, 0},
        {"no COMM", Form("AIFF", Ssnd(samples)), false, 0, 0, 0},
        {"short COMM", Form("AIFF", Chunk("COMM", "ab")), false, 0, 0, 0},
        {"offset past chunk", Form("AIFF", comm + Chunk("SSND", Be32(0xCDCDCDCD) + Be32(0) + samples)), false, 0, 0, 0},
        {"SSND under 8", Form("AIFF", comm + Chunk("SSND", Be32(0), 4)), false, 0, 0, 0},
        {"wave past end", Form("AIFF", comm + Ssnd(samples) + Chunk("wave", "", 100)), false, 0, 0, 0},
        {"empty", "", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const AiffResult r = ReadHeader(c.file);
        EXPECT_EQ(r.ok, c.ok) << c.name;
        if (!r.ok || !c.ok) continue;
        EXPECT_EQ(r.offset, c.offset) << c.name;
        EXPECT_EQ(r.length, c.length) << c.name;
        EXPECT_EQ(r.header.format, c.format) << c.name;
    }
    const AiffResult r = ReadHeader(Form("AIFF", comm + Ssnd(samples)));
    EXPECT_EQ(r.header.channels, 2);
    EXPECT_EQ(r.header.sampleSize, 16);
    EXPECT_EQ(r.header.sampleFrames, 3u);
    EXPECT_EQ(r.header.sampleRate, 44100u << 16);
}

TEST(Mp3Encoder, ChannelConversions)
{
    const int16_t mono[] = {1, -2, 32767};
    int16_t stereo[6];
    MonoToStereo(mono, 3, stereo);
    EXPECT_EQ(std::vector<int16_t>(stereo, stereo + 6), (std::vector<int16_t>{1, 1, -2, -2, 32767, 32767}));
    const int16_t pairs[] = {3, 4, -3, -4, 32767, 32767, -32768, -32767};
    int16_t halved[4];
    StereoToMono(pairs, 8, halved);
    EXPECT_EQ(std::vector<int16_t>(halved, halved + 4), (std::vector<int16_t>{3, -3, 32767, -32767}));
}

// The fake bundle's log as lines.
std::vector<std::string> LogLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::string text = ReadFile(path), line;
    for (char c : text) {
        if (c == '\n')
            lines.push_back(line), line.clear();
        else
            line += c;
    }
    return lines;
}

class FakeEncoder : public ::testing::Test {
protected:
    EncoderScope scope{TAVREL_FAKE_LAME};
    std::string log = scope.File("calls.log");
    ScopedEnv logEnv{"FAKE_LAME_LOG", log.c_str()};

    // A mono 16-bit sound of the given data bytes through the whole road.
    uint8_t* Convert(int64_t dataBytes, CMp3Settings& settings, CProgressDialog* progress, int rate = 11025,
                     int channels = 1)
    {
        const std::string wav = scope.File("in.wav");
        EXPECT_TRUE(WriteTone(wav, kWav16, rate, channels, dataBytes / 2 / channels, 440));
        return encoder.ConvertToMp3(wav, settings, progress);
    }
    CMp3Encoder encoder;
};

TEST_F(FakeEncoder, FeedsWholeChunksAndHoldsTheRest)
{
    CMp3Settings settings;
    settings.outputRate = 44100;
    uint8_t* mp3 = Convert(250000, settings, nullptr, 44100);
    ASSERT_NE(mp3, nullptr) << encoder.GetFailure();
    // 102400 bytes read; 101376 of them (88 chunks of 1152) encoded, 1024
    // held for the next round; the last 16 bytes go in a call of their own.
    const std::vector<std::string> want = {
        "init 44100 44100 3 128", "encode 50688", "encode 51264", "encode 23040", "encode 8",
        "deinit 125000",          "close 0"};
    EXPECT_EQ(LogLines(log), want);
    CMp3FrameList frames;
    frames.Split(mp3, size_t(settings.resultLength));
    EXPECT_EQ(frames.GetCount(), (125000u + 1151) / 1152);
    std::free(mp3);
    EXPECT_TRUE(scope.LeftOver().empty());
}

TEST_F(FakeEncoder, ConfigurationRecordFollowsTheChannels)
{
    struct Case {
        int inChannels, inRate, outChannels, outRate;
        const char* init;
    } cases[] = {
        {1, 22050, 1, 22050, "init 22050 22050 3 128"},
        {2, 22050, 1, 11025, "init 44100 11025 3 128"},  // stereo to mono: twice the rate
        {1, 44100, 2, 44100, "init 22050 44100 1 128"},  // mono to stereo: half the rate
        {2, 44100, 2, 22050, "init 44100 22050 1 128"},
        {1, 96000, 1, 44100, "init 96000 44100 3 128"},  // past what 16.16 holds
    };
    for (const Case& c : cases) {
        std::remove(log.c_str());
        CMp3Settings settings;
        settings.outputChannels = c.outChannels;
        settings.outputRate = c.outRate;
        uint8_t* mp3 = Convert(4608 * 2, settings, nullptr, c.inRate, c.inChannels);
        ASSERT_NE(mp3, nullptr) << c.init;
        std::free(mp3);
        const auto calls = LogLines(log);
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.front(), c.init);
        const lame_bundle::Config& cfg = encoder.GetConfig();
        EXPECT_EQ(cfg.dwConfig, 256u);
        EXPECT_EQ(cfg.dwStructSize, 331u);
        EXPECT_EQ(cfg.nPreset, 2);
        EXPECT_EQ(cfg.bNoRes, 1);
        EXPECT_EQ(cfg.bOriginal, 1);
        EXPECT_EQ(cfg.dwMpegVersion, 1u);
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
        // After six refusals 716800 bytes are held: they go in two calls,
        // each small enough for the output buffer.
        {"encode-6", -1, true, 11},
        {"", 1, false, -1},  // cancelled while reading the sound
        {"", 4, false, -1},  // cancelled while encoding
    };
    for (const Case& c : cases) {
        std::remove(log.c_str());
        ScopedEnv fail("FAKE_LAME_FAIL", c.fail);
        RecordingProgress progress;
        progress.cancelAfter = c.cancelAfter;
        CMp3Settings settings;
        settings.outputRate = 44100;
        uint8_t* mp3 = Convert(1000000, settings, &progress, 44100);
        EXPECT_EQ(mp3 != nullptr, c.ok) << c.fail << " " << c.cancelAfter;
        EXPECT_EQ(settings.resultBuffer, mp3);
        std::free(mp3);
        EXPECT_TRUE(scope.LeftOver().empty()) << c.fail << " " << c.cancelAfter;
        int encodes = 0;
        bool closed = false;
        for (const auto& line : LogLines(log)) {
            if (line.rfind("encode ", 0) == 0) {
                ++encodes;
                EXPECT_LE(lame_bundle::MaxOutputBytes(std::stoul(line.substr(7))), CMp3Encoder::kOutputBufferBytes);
            }
            closed |= line == "close 0";
        }
        if (c.encodeCalls >= 0) {
            EXPECT_EQ(encodes, c.encodeCalls) << c.fail;
        }
        // A stream once started is always closed.
        if (c.fail != std::string("init") && encodes > 0) {
            EXPECT_TRUE(closed) << c.fail << " " << c.cancelAfter;
        }
    }
}

TEST_F(FakeEncoder, ProgressTexts)
{
    RecordingProgress progress;
    CMp3Settings settings;
    settings.bitRate = 32;
    uint8_t* mp3 = Convert(250000, settings, &progress);
    ASSERT_NE(mp3, nullptr);
    std::free(mp3);
    ASSERT_GE(progress.details.size(), 4u);
    EXPECT_EQ(progress.details.front(), "Reading audio...");
    std::vector<std::string> writing;
    for (const auto& d : progress.details)
        if (d.rfind("Writing", 0) == 0) writing.push_back(d);
    EXPECT_EQ(writing, (std::vector<std::string>{"Writing audio...", "Writing audio...0%", "Writing audio...40%",
                                                 "Writing audio...81%"}));

    // Under 100 bytes of sound the percentage still reads 0.
    RecordingProgress tiny;
    mp3 = Convert(40, settings, &tiny);
    ASSERT_NE(mp3, nullptr);
    std::free(mp3);
    EXPECT_EQ(tiny.details.back(), "Writing audio...0%");
}

TEST(Mp3Encoder, TemporaryFilesNeverShareANameWithOthers)
{
    EncoderScope scope(TAVREL_FAKE_LAME);
    CPath a, b;
    ASSERT_TRUE(MakeWorkTempFile(a, "audrw", ".aif") && MakeWorkTempFile(b, "audrw", ".aif"));
    EXPECT_NE(a.GetText(), b.GetText());
    EXPECT_EQ(a.GetExtension(), "aif");
    a.Delete();
    b.Delete();
}

TEST(Mp3EncoderBundle, MissingOrIncompleteBundle)
{
    {
        EncoderScope scope("/nonexistent/lame_encU");
        CMp3Encoder encoder;
        EXPECT_FALSE(encoder.LoadBundle());
        EXPECT_EQ(encoder.GetLastError(), CMp3Encoder::kBundleNotLoaded);
    }
    {
        EncoderScope scope(TAVREL_FAKE_LAME_INCOMPLETE);
        CMp3Encoder encoder;
        EXPECT_FALSE(encoder.LoadBundle());
        EXPECT_EQ(encoder.GetLastError(), CMp3Encoder::kEntryMissing);
        const std::string wav = scope.File("in.wav");
        ASSERT_TRUE(WriteTone(wav, kWav16, 11025, 1, 1000, 440));
        CMp3Settings settings;
        EXPECT_EQ(encoder.ConvertToMp3(wav, settings, nullptr), nullptr);
        EXPECT_TRUE(scope.LeftOver().empty());
    }
}

}  // namespace
