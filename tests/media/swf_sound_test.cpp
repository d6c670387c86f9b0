#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/mp3_frames.h"
#include "media/qt_movie.h"
#include "media/swf_sound.h"
#include "sound_fixtures.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"

using namespace tavrel_test;

namespace {

TEST(SwfSoundFormat, RatesAndChannels)
{
    const struct {
        int hz, code, back;
    } rates[] = {{5512, 0, 5512}, {11025, 1, 11025}, {22050, 2, 22050}, {44100, 3, 44100}, {48000, 1, 11025}};
    CSwfSoundFormat f;
    for (const auto& r : rates) {
        f.SetRate(r.hz);
        EXPECT_EQ(f.rateCode, r.code) << r.hz;
        EXPECT_EQ(f.GetRate(), r.back) << r.hz;
    }
    for (int channels : {0, 1, 2, 6}) {
        f.SetChannels(channels);
        EXPECT_EQ(f.GetChannels(), channels == 2 ? 2 : 1) << channels;
    }
    f.compression = CSwfSoundFormat::kNellymoser;
    EXPECT_EQ(f.GetSwfFormat(), 6);
}

struct Block {
    int frames, sampleCount, seek;
};

// Frames, SampleCount and SeekSamples of each block; frameBytes is the size
// of one fixed frame of the fake encoder.
std::vector<Block> Layout(const CSwfSoundBuilder& b, size_t frameBytes)
{
    std::vector<Block> out;
    for (const CTagSoundStreamBlock* block : b.GetBlocks()) {
        const auto& d = block->data;
        out.push_back({int((d.size() - 4) / frameBytes), d[0] | d[1] << 8, int16_t(d[2] | d[3] << 8)});
    }
    return out;
}

class FakeSoundBuilder : public ::testing::Test {
protected:
    EncoderScope scope{TAVREL_FAKE_LAME};
    std::string log = scope.File("calls.log");
    ScopedEnv logEnv{"FAKE_LAME_LOG", log.c_str()};

    CPath Tone(int rate, int channels, double seconds)
    {
        const std::string path = scope.File("tone" + std::to_string(rate) + ".wav");
        EXPECT_TRUE(WriteTone(path, kWav16, rate, channels, int64_t(seconds * rate), 440));
        return path;
    }
};

TEST_F(FakeSoundBuilder, StreamBlocksFollowTheMovieFrames)
{
    const struct {
        int rate;
        size_t frameBytes;
        int perFrame;
        std::vector<int> frames;
        int secondSeek;
    } cases[] = {
        // 3675 samples per movie frame against 1152-sample MP3 frames.
        {44100, 417, 3675, {3, 3, 3, 3, 3, 4, 3, 3}, 219},
        // 918 against 576.
        {11025, 835, 918, {1, 2, 1, 2}, 918 - 576},
    };
    for (const auto& c : cases) {
        CSwfSoundFormat format;
        format.SetRate(c.rate);
        format.duration = 0;
        CSwfSoundBuilder builder;
        std::unique_ptr<CTagSoundStreamHead> head(builder.MakeStreamHead(Tone(c.rate, 1, 3.0), format, nullptr));
        ASSERT_TRUE(head);
        EXPECT_EQ(builder.GetSamplesPerFrame(), c.perFrame);
        EXPECT_EQ(head->sampleCount, c.perFrame);
        EXPECT_TRUE(head->IsMp3());
        EXPECT_EQ(head->streamByte, 0x20 | format.rateCode << 2 | 2);  // MP3, rate, 16-bit, mono
        const std::vector<Block> blocks = Layout(builder, c.frameBytes);
        ASSERT_GE(blocks.size(), c.frames.size());
        for (size_t i = 0; i < c.frames.size(); ++i) {
            EXPECT_EQ(blocks[i].frames, c.frames[i]) << c.rate << " block " << i;
            EXPECT_EQ(blocks[i].sampleCount, c.frames[i] * (c.rate == 44100 ? 1152 : 576)) << c.rate << " " << i;
        }
        EXPECT_EQ(blocks[0].seek, 0);
        EXPECT_EQ(blocks[1].seek, c.secondSeek);
    }
}

TEST_F(FakeSoundBuilder, EventSoundCarriesEveryFrame)
{
    CSwfSoundFormat format;
    format.SetRate(22050);
    format.SetChannels(2);
    format.duration = 1000;  // one second of two
    CSwfSoundBuilder builder;
    std::unique_ptr<CTagDefineSound> tag(builder.MakeSound(Tone(22050, 2, 2.0), format, nullptr));
    ASSERT_TRUE(tag);
    EXPECT_EQ(builder.GetLastTag(), tag.get());
    EXPECT_EQ(tag->formatByte, 0x2B);  // MP3, 22050 Hz, 16-bit, stereo
    EXPECT_EQ(tag->sampleCount, 22050u);
    ASSERT_GE(tag->data.size(), 2u);
    EXPECT_EQ(tag->data[0] | tag->data[1], 0);
    CMp3FrameList frames;
    frames.Split(tag->data.data() + 2, tag->data.size() - 2);
    // 22050 stereo samples in 576-sample frames, every byte a frame's.
    EXPECT_EQ(frames.GetCount(), (22050u + 575) / 576);
    EXPECT_EQ(frames.GetCount() * 417, tag->data.size() - 2);

    // A limit past the end counts only what the file holds.
    format.duration = 5000;
    tag.reset(builder.MakeSound(Tone(22050, 2, 2.0), format, nullptr));
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->sampleCount, 44100u);
}

TEST_F(FakeSoundBuilder, RatesMp3CannotCarryAndFailures)
{
    // 5512 Hz is no MP3 rate: encoded and tagged at 11025.
    CSwfSoundFormat format;
    format.SetRate(5512);
    CSwfSoundBuilder builder;
    std::unique_ptr<CTagDefineSound> tag(builder.MakeSound(Tone(11025, 1, 0.5), format, nullptr));
    ASSERT_TRUE(tag);
    EXPECT_EQ((tag->formatByte >> 2) & 3, 1);
    EXPECT_EQ(ReadFile(log).substr(0, 18), "init 11025 11025 3");

    // Under one sample per movie frame nothing could be streamed.
    for (float rate : {0.0f, -5.0f, 12000.0f}) {
        CSwfSoundFormat slow;
        slow.SetRate(11025);
        slow.frameRate = rate;
        EXPECT_EQ(builder.MakeStreamHead(Tone(11025, 1, 0.5), slow, nullptr), nullptr) << rate;
    }
    // A missing file, a refusing encoder, a cancel: no tag.
    CSwfSoundFormat plain;
    EXPECT_EQ(builder.MakeSound(CPath(scope.File("missing.wav")), plain, nullptr), nullptr);
    {
        ScopedEnv fail("FAKE_LAME_FAIL", "init");
        EXPECT_EQ(builder.MakeStreamHead(Tone(11025, 1, 0.5), plain, nullptr), nullptr);
    }
    RecordingProgress progress;
    progress.Cancel();
    EXPECT_EQ(builder.MakeSound(Tone(11025, 1, 0.5), plain, &progress), nullptr);
    EXPECT_TRUE(scope.LeftOver().empty());
}

TEST_F(FakeSoundBuilder, NoDeleteLeavesTheBlocksToTheirTaker)
{
    CSwfSoundFormat format;
    std::vector<CTagSoundStreamBlock*> taken;
    {
        CSwfSoundBuilder builder;
        std::unique_ptr<CTagSoundStreamHead> head(builder.MakeStreamHead(Tone(11025, 1, 0.5), format, nullptr));
        ASSERT_TRUE(head);
        taken = builder.GetBlocks();
        builder.SetNoDelete(true).Clear();
        EXPECT_EQ(builder.GetBlocks().size(), taken.size());
    }
    ASSERT_FALSE(taken.empty());
    // Still alive after the builder went: ASan would report a use after free.
    size_t bytes = 0;
    for (CTagSoundStreamBlock* b : taken) bytes += b->data.size(), delete b;
    EXPECT_GT(bytes, taken.size() * 4);
}

// ---- The real encoder

// Samples a decoder puts before the sound: libmp3lame's encoder delay (576)
// and the decoder's filter bank (529). Without a Xing/Info frame nothing
// tells a decoder to drop them.
constexpr int kCodecDelay = 576 + 529;

// Samples of one channel the decoded MP3 holds beyond its codec delay.
double DecodedLength(size_t samples, int channels)
{
    return double(samples / size_t(channels)) - kCodecDelay;
}

struct Extracted {
    std::vector<uint8_t> mp3;
    int frames = 0;
    bool allMatch = true;
};

Extracted CheckFrames(const uint8_t* data, size_t size, int rate, int kbps)
{
    Extracted e;
    e.mp3.assign(data, data + size);
    CMp3FrameList list;
    list.Split(data, size);
    size_t covered = 0;
    for (size_t i = 0; i < list.GetCount(); ++i) {
        const CMp3Frame* f = list.GetAt(i);
        e.allMatch &= f->GetSampleRate() == rate && f->GetBitRate() == kbps * 1000;
        covered += 4 + size_t(f->length);
    }
    e.frames = int(list.GetCount());
    e.allMatch &= covered == size;  // nothing but frames
    return e;
}

// Decodes the MP3 with mpg123 and checks length, and per channel pitch and
// level against the tone (silence-free speech: level only).
void ExpectDecodes(const Extracted& e, const std::string& file, int rate, int channels, double seconds,
                   const std::vector<double>& pitches)
{
    EXPECT_TRUE(e.allMatch);
    ASSERT_TRUE(WriteFile(file, std::string(e.mp3.begin(), e.mp3.end())));
    std::vector<int16_t> pcm;
    ASSERT_TRUE(DecodeMp3(file, file + ".raw", rate, channels, &pcm));
    const int frameSamples = rate >= 32000 ? 1152 : 576;
    EXPECT_NEAR(DecodedLength(pcm.size(), channels), seconds * rate, 2.0 * frameSamples);
    for (int c = 0; c < channels; ++c) {
        const ToneStats st = Measure(pcm, channels, c, rate);
        if (pitches.empty()) {
            EXPECT_GT(st.rms, 0.01);
            continue;
        }
        EXPECT_NEAR(st.hz, pitches[size_t(c)], pitches[size_t(c)] * 0.02) << "channel " << c;
        EXPECT_NEAR(st.rms, 0.5 / std::sqrt(2.0), 0.06) << "channel " << c;
    }
}

TEST(RealEncoder, TonesEncodeDecodeAndPlay)
{
    if (!HaveMpg123()) GTEST_SKIP() << "mpg123 is not installed";
    EncoderScope scope(TAVREL_LAME_BUNDLE);
    const double seconds = 2.0;
    const struct {
        int rate, channels, kbps, sourceChannels;
    } cases[] = {{11025, 1, 32, 1},  {11025, 2, 64, 2},  {22050, 1, 64, 1}, {22050, 2, 96, 2},
                 {44100, 1, 128, 1}, {44100, 2, 160, 2}, {22050, 1, 64, 2}, {44100, 2, 128, 1}};
    for (const auto& c : cases) {
        const std::string name =
            std::to_string(c.rate) + "-" + std::to_string(c.sourceChannels) + "to" + std::to_string(c.channels);
        SCOPED_TRACE(name);
        // Where the channels change, both carry one tone.
        const double right = c.sourceChannels == c.channels ? 660 : 440;
        const std::vector<double> pitches =
            c.channels == 1 ? std::vector<double>{440} : std::vector<double>{440, right};
        // The source is at another rate than the movie's: the encoder resamples.
        const std::string wav = scope.File(name + ".wav");
        ASSERT_TRUE(WriteTone(wav, kWav16, 32000, c.sourceChannels, int64_t(seconds * 32000), 440, 0.5, right));
        CSwfSoundFormat format;
        format.SetRate(c.rate);
        format.SetChannels(c.channels);
        format.bitRate = uint32_t(c.kbps);
        CSwfSoundBuilder builder;
        std::unique_ptr<CTagDefineSound> sound(builder.MakeSound(wav, format, nullptr));
        ASSERT_TRUE(sound);
        EXPECT_EQ(sound->sampleCount, uint32_t(seconds * c.rate));
        const Extracted event = CheckFrames(sound->data.data() + 2, sound->data.size() - 2, c.rate, c.kbps);
        ExpectDecodes(event, scope.File(name + "-event.mp3"), c.rate, c.channels, seconds, pitches);

        CTagSoundStreamHead* head = builder.MakeStreamHead(wav, format, nullptr);
        ASSERT_TRUE(head);
        std::vector<uint8_t> stream;
        for (const CTagSoundStreamBlock* b : builder.GetBlocks())
            stream.insert(stream.end(), b->data.begin() + 4, b->data.end());
        const Extracted streamed = CheckFrames(stream.data(), stream.size(), c.rate, c.kbps);
        EXPECT_EQ(streamed.frames, event.frames);
        ExpectDecodes(streamed, scope.File(name + "-stream.mp3"), c.rate, c.channels, seconds, pitches);

        // Both in one movie: the event sound starts in frame 1, the stream
        // runs one block per frame.
        const std::string swf = scope.File(name + ".swf");
        CSwfMovie movie;
        movie.SetHeader(100 * 20, 100 * 20, 12.0f, 6);
        ASSERT_TRUE(movie.Open(swf, true));
        movie.AddTag(new CTagSetBackgroundColor(0x20, 0x80, 0x40));
        sound->SetCharacterId(1);
        movie.AddTag(sound.release());
        auto* start = new CTagStartSound;
        start->SetSoundId(1);
        movie.AddTag(start);
        movie.AddTag(head);
        builder.SetNoDelete(true);
        for (CTagSoundStreamBlock* b : builder.GetBlocks()) {
            movie.AddTag(b);
            movie.AddTag(new CTagShowFrame);
        }
        movie.AddTag(new CTagEnd);
        ASSERT_GT(movie.Close(), 0u);
        ExpectDumpAccepts(swf, {"DefineSound", "StartSound", "SoundStreamHead", "SoundStreamBlock"});
        ExpectShotPixels(swf, 12, {{50, 50, 0x208040, 2}});
    }
}

TEST(RealEncoder, SpeechSamplesEncode)
{
    const std::string folder = "/usr/share/sounds/alsa/";
    if (!IsThere(folder + "Front_Center.wav")) GTEST_SKIP() << "alsa-utils sounds are not installed";
    if (!HaveMpg123()) GTEST_SKIP() << "mpg123 is not installed";
    EncoderScope scope(TAVREL_LAME_BUNDLE);
    for (const char* name : {"Front_Center.wav", "Noise.wav", "Rear_Left.wav"}) {
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(folder + name)) << name;
        const double seconds = double(movie.GetDuration()) / movie.GetTimeScale();
        for (int rate : {11025, 44100}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(rate));
            CSwfSoundFormat format;
            format.SetRate(rate);
            format.bitRate = rate == 11025 ? 48 : 128;
            CSwfSoundBuilder builder;
            std::unique_ptr<CTagDefineSound> sound(builder.MakeSound(folder + name, format, nullptr));
            ASSERT_TRUE(sound);
            const Extracted e = CheckFrames(sound->data.data() + 2, sound->data.size() - 2, rate, int(format.bitRate));
            ExpectDecodes(e, scope.File("speech.mp3"), rate, 1, seconds, {});
        }
    }
}

}  // namespace
