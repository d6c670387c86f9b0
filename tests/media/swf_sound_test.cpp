#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "av/resampler.h"
#include "media/mp3_frames.h"
#include "media/qt_movie.h"
#include "media/swf_sound.h"
#include "sound_fixtures.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"

using namespace tavrel_test;

namespace {

TEST(SwfSoundFormat, OtherRatesAndChannelCountsFallBack)
{
    CSwfSoundFormat f;
    for (const auto& [hz, code, back] : {std::tuple{5512, 0, 5512}, {44100, 3, 44100}, {48000, 1, 11025}}) {
        f.SetRate(hz);
        EXPECT_EQ(std::make_tuple(int(f.rateCode), f.GetRate()), std::make_tuple(code, back)) << hz;
    }
    f.SetChannels(6);
    EXPECT_EQ(f.GetChannels(), 1);
    f.compression = CSwfSoundFormat::kNellymoser;
    EXPECT_EQ(f.GetSwfFormat(), 6);
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
        float fps;
        size_t frameBytes;  // of one fixed frame of the fake encoder
        int perFrame, frameSamples;
        std::vector<int> frames;
        int secondSeek;
    } cases[] = {
        // 3675 samples per movie frame against 1152-sample MP3 frames.
        {44100, 12, 417, 3675, 1152, {3, 3, 3, 3, 3, 4, 3, 3}, 219},
        // 918 against 576.
        {11025, 12, 835, 918, 576, {1, 2, 1, 2}, 918 - 576},
        // 441 against 576: some movie frames carry none.
        {11025, 25, 835, 441, 576, {0, 1, 1, 1, 0, 1, 1}, 441},
    };
    for (const auto& c : cases) {
        CSwfSoundFormat format;
        format.SetRate(c.rate);
        format.frameRate = c.fps;
        CSwfSoundBuilder builder;
        std::unique_ptr<CTagSoundStreamHead> head(builder.MakeStreamHead(Tone(c.rate, 1, 3.0), format, nullptr));
        ASSERT_TRUE(head);
        EXPECT_EQ(builder.GetSamplesPerFrame(), c.perFrame);
        EXPECT_EQ(head->sampleCount, c.perFrame);
        EXPECT_TRUE(head->IsMp3());
        EXPECT_EQ(head->streamByte, 0x20 | format.rateCode << 2 | 2);  // MP3, rate, 16-bit, mono
        const auto& blocks = builder.GetBlocks();
        ASSERT_GE(blocks.size(), c.frames.size());
        for (size_t i = 0; i < c.frames.size(); ++i) {
            // Each block: SampleCount, SeekSamples, then whole frames.
            const auto& d = blocks[i]->data;
            EXPECT_EQ((d.size() - 4) / c.frameBytes, size_t(c.frames[i])) << c.rate << " block " << i;
            EXPECT_EQ(d[0] | d[1] << 8, c.frames[i] * c.frameSamples) << c.rate << " block " << i;
        }
        auto seek = [&](size_t i) { return int16_t(blocks[i]->data[2] | blocks[i]->data[3] << 8); };
        EXPECT_EQ(std::make_pair(seek(0), seek(1)), std::make_pair(int16_t(0), int16_t(c.secondSeek)));
    }
}

TEST_F(FakeSoundBuilder, EventSoundCarriesEveryFrame)
{
    CSwfSoundFormat format;
    format.SetRate(22050);
    format.SetChannels(2);
    // One second of two; a limit past the end counts only what the file holds.
    for (const auto& [duration, samples] : {std::pair{1000u, 22050u}, {5000u, 44100u}}) {
        format.duration = duration;
        CSwfSoundBuilder builder;
        std::unique_ptr<CTagDefineSound> tag(builder.MakeSound(Tone(22050, 2, 2.0), format, nullptr));
        ASSERT_TRUE(tag);
        EXPECT_EQ(builder.GetLastTag(), tag.get());
        EXPECT_EQ(tag->formatByte, 0x2B);  // MP3, 22050 Hz, 16-bit, stereo
        EXPECT_EQ(tag->sampleCount, samples);
        ASSERT_GE(tag->data.size(), 2u);
        EXPECT_EQ(tag->data[0] | tag->data[1], 0);
        CMp3FrameList frames;
        frames.Split(tag->data.data() + 2, tag->data.size() - 2);
        // Stereo samples in 576-sample frames, every byte a frame's.
        EXPECT_EQ(frames.GetCount(), (samples + 575) / 576);
        EXPECT_EQ(frames.GetCount() * 417, tag->data.size() - 2);
    }
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
        slow.frameRate = rate;
        EXPECT_EQ(builder.MakeStreamHead(Tone(11025, 1, 0.5), slow, nullptr), nullptr) << rate;
    }
    // A rate no sound has, a missing file, a refusing encoder, a cancel: no
    // tag. Many channels at a high rate are mixed down first, not refused.
    CSwfSoundFormat plain;
    const std::string header = "the sound file cannot be opened: its header gives a sample rate of ";
    for (const auto& [hz, channels, said] :
         {std::tuple{40, 1, header + "40 Hz; a sound has 1000 to 768000"},
          {20000000, 1, header + "20000000 Hz; a sound has 1000 to 768000"}}) {
        EXPECT_EQ(builder.MakeSound(Tone(hz, channels, 2000.0 / hz), plain, nullptr), nullptr);
        EXPECT_EQ(builder.GetFailure(), said);
    }
    EXPECT_TRUE(std::unique_ptr<CTagDefineSound>(builder.MakeSound(Tone(96000, 32, 0.02), plain, nullptr)))
        << builder.GetFailure();
    CSwfSoundFormat none;
    none.bitRate = 0;
    EXPECT_EQ(builder.MakeSound(Tone(11025, 1, 0.1), none, nullptr), nullptr);
    EXPECT_EQ(builder.GetFailure(), "the MP3 encoder does not take a bit rate of 0 kbit/s");
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

// A decoder puts libmp3lame's encoder delay (576) and its filter bank's
// (529) before the sound: without a Xing/Info frame nothing tells it to drop
// them.
constexpr int kEncoderDelay = 576 + 529;

// Checks that the data is nothing but frames of the rate and bit rate,
// decodes it with mpg123 and checks its length.
void DecodeFrames(const std::vector<uint8_t>& mp3, const std::string& file, int rate, int kbps, int channels,
                  double seconds, std::vector<int16_t>* pcm)
{
    CMp3FrameList list;
    list.Split(mp3.data(), mp3.size());
    size_t covered = 0;
    for (size_t i = 0; i < list.GetCount(); ++i) {
        const CMp3Frame* f = list.GetAt(i);
        EXPECT_EQ(std::make_pair(f->GetSampleRate(), f->GetBitRate()), std::make_pair(rate, kbps * 1000)) << i;
        covered += 4 + size_t(f->length);
    }
    EXPECT_EQ(covered, mp3.size());
    ASSERT_TRUE(WriteFile(file, std::string(mp3.begin(), mp3.end())));
    ASSERT_TRUE(DecodeMp3(file, file + ".raw", rate, channels, pcm));
    const int frameSamples = rate >= 32000 ? 1152 : 576;
    // Every frame the encoder wrote: the whole sound after the delay, the
    // last frame's padding at most beyond it.
    const double decoded = double(pcm->size() / size_t(channels)) - kEncoderDelay;
    EXPECT_GE(decoded, std::floor(seconds * rate));
    EXPECT_NEAR(decoded, seconds * rate, 2.0 * frameSamples);
}

// As DecodeFrames, then per channel pitch and level against the tone (no
// pitches: speech, level only).
void ExpectDecodes(const std::vector<uint8_t>& mp3, const std::string& file, int rate, int kbps, int channels,
                   double seconds, const std::vector<double>& pitches)
{
    std::vector<int16_t> pcm;
    DecodeFrames(mp3, file, rate, kbps, channels, seconds, &pcm);
    if (pcm.empty()) return;
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

// The "Highest" preset on a mono source: both channels get every sample,
// so a tone near the top of the band keeps its pitch.
TEST(RealEncoder, MonoSourceInStereoKeepsItsPitch)
{
    if (!HaveMpg123()) GTEST_SKIP() << "mpg123 is not installed";
    EncoderScope scope(TAVREL_LAME_BUNDLE);
    const std::string wav = scope.File("high.wav");
    ASSERT_TRUE(WriteTone(wav, kWav16, 44100, 1, 44100, 15000));
    CSwfSoundFormat format;
    format.SetRate(44100);
    format.SetChannels(2);
    format.bitRate = 320;
    CSwfSoundBuilder builder;
    std::unique_ptr<CTagDefineSound> sound(builder.MakeSound(wav, format, nullptr));
    ASSERT_TRUE(sound);
    const std::vector<uint8_t> mp3(sound->data.begin() + 2, sound->data.end());
    ExpectDecodes(mp3, scope.File("high.mp3"), 44100, 320, 2, 1.0, {15000, 15000});
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
        const std::vector<uint8_t> event(sound->data.begin() + 2, sound->data.end());
        ExpectDecodes(event, scope.File(name + "-event.mp3"), c.rate, c.kbps, c.channels, seconds, pitches);

        CTagSoundStreamHead* head = builder.MakeStreamHead(wav, format, nullptr);
        ASSERT_TRUE(head);
        std::vector<uint8_t> stream;
        for (const CTagSoundStreamBlock* b : builder.GetBlocks())
            stream.insert(stream.end(), b->data.begin() + 4, b->data.end());
        EXPECT_EQ(stream.size(), event.size());
        ExpectDecodes(stream, scope.File(name + "-stream.mp3"), c.rate, c.kbps, c.channels, seconds, pitches);

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

// Level in dB (a full-scale sine is 0) of the sine at hz in samples at rate,
// by a Blackman-Harris window over all of them, whose leakage stays under
// -92 dB away from the sine.
double ToneDb(const std::vector<float>& samples, double rate, double hz)
{
    const size_t n = samples.size();
    double re = 0, im = 0, sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double x = 2 * std::numbers::pi * double(i) / double(n - 1);
        const double w = 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
        const double phase = 2 * std::numbers::pi * hz * double(i) / rate;
        re += w * samples[i] * std::cos(phase);
        im += w * samples[i] * std::sin(phase);
        sum += w;
    }
    return 20 * std::log10(2 * std::hypot(re, im) / sum + 1e-12);
}

// The resampler the encoder runs, between the two rates: a sine in the
// passband keeps its level; above the output's band (6 kHz into 11025 Hz,
// and just past its Nyquist frequency) it leaves nothing to fold back, and
// the upsampled passband no image; n frames give floor(n × out / in),
// however the input is cut into pushes.
void ExpectResamples(int in, int out)
{
    const double lowNyquist = std::min(in, out) / 2.0;
    const auto run = [&](double hz, std::vector<float>* y) {
        const int64_t frames = in + 7;  // a second and a little, faded in and out over 50 ms
        std::vector<float> x(static_cast<size_t>(frames));
        for (int64_t i = 0; i < frames; ++i) {
            const double t = double(i) / in, edge = std::min({1.0, t / 0.05, (double(frames) / in - t) / 0.05});
            x[size_t(i)] = float(std::sin(std::numbers::pi / 2 * edge) * std::sin(2 * std::numbers::pi * hz * t));
        }
        platform::Resampler r;
        ASSERT_TRUE(r.Start(in, out, 1));
        y->clear();
        for (int64_t at = 0, piece = 1; at < frames; at += piece, piece = piece * 3 + 1)
            r.Push(x.data() + at, size_t(std::min(piece, frames - at)), y);
        r.Finish(y);
        EXPECT_EQ(int64_t(y->size()), frames * out / in);
    };
    std::vector<float> y;
    const double pass = 0.8 * lowNyquist;
    run(pass, &y);
    EXPECT_NEAR(ToneDb(y, out, pass), 0, 0.05) << pass << " Hz passes";
    if (out > in) {
        EXPECT_LT(ToneDb(y, out, in - pass), -90) << "the image of " << pass << " Hz";
    }
    for (const double above : {1.02, 1.09}) {
        const double hz = std::min(above * out / 2, 0.97 * in / 2);
        if (hz <= out / 2.0) continue;
        run(hz, &y);
        EXPECT_LT(ToneDb(y, out, out - hz), -90) << hz << " Hz folds back";
    }
}

// Every class of source rate to every rate of the sound settings, mono and
// stereo (channels changed on every other row), at bit rates from 8 to 320
// kbit/s: half a second of silence with one burst of 500 Hz centred at
// 0.2 s. The frames are of the movie's rate, the tag counts the sound's
// length there, and the burst plays at its time after the encoder's delay.
TEST(RealEncoder, EverySourceRateToEveryMovieRate)
{
    if (!HaveMpg123()) GTEST_SKIP() << "mpg123 is not installed";
    EncoderScope scope(TAVREL_LAME_BUNDLE);
    const int sourceRates[] = {4000, 5512, 8000, 11025, 22050, 44100, 48000, 96000};
    const struct {
        int rate;
        int kbps[4];
    } movies[] = {{11025, {8, 32, 64, 40}}, {22050, {16, 64, 8, 160}}, {44100, {32, 128, 320, 64}}};
    constexpr double kSeconds = 0.5, kAt = 0.2, kHalfWidth = 0.01;
    // Where the burst's energy lies, in seconds from the start of the sound.
    const auto centre = [&](const std::vector<int16_t>& pcm, int channels, int channel, int rate) {
        double sum = 0, moment = 0;
        for (size_t i = size_t(channel); i < pcm.size(); i += size_t(channels))
            sum += double(pcm[i]) * pcm[i], moment += double(pcm[i]) * pcm[i] * double(i / size_t(channels));
        return sum > 0 ? (moment / sum - kEncoderDelay) / rate : -1.0;
    };
    int row = 0;
    for (const int source : sourceRates)
        for (const auto& movie : movies)
            for (const int channels : {1, 2}) {
                const int sourceChannels = row / 2 % 2 ? 3 - channels : channels;
                const int kbps = movie.kbps[size_t(row++ % 4)];
                char name[48];
                std::snprintf(name, sizeof name, "%dx%d-%dx%d-%d", source, sourceChannels, movie.rate, channels, kbps);
                SCOPED_TRACE(name);
                const std::string wav = scope.File(std::string(name) + ".wav");
                const int64_t frames = int64_t(kSeconds * source);
                ASSERT_TRUE(WriteSignal(wav, kWav16, source, sourceChannels, frames,
                                        [&](int64_t i, int) {
                                            const double t = double(i) / source - kAt;
                                            if (std::abs(t) >= kHalfWidth) return 0.0;
                                            const double window = 0.5 + 0.5 * std::cos(std::numbers::pi * t / kHalfWidth);
                                            return 0.5 * window * std::sin(2 * std::numbers::pi * 500 * t);
                                        }));
                CSwfSoundFormat format;
                format.SetRate(movie.rate);
                format.SetChannels(channels);
                format.bitRate = uint32_t(kbps);
                CSwfSoundBuilder builder;
                std::unique_ptr<CTagDefineSound> sound(builder.MakeSound(wav, format, nullptr));
                ASSERT_TRUE(sound) << builder.GetFailure();
                EXPECT_EQ(sound->sampleCount, frames * movie.rate / source);
                const std::vector<uint8_t> event(sound->data.begin() + 2, sound->data.end());
                std::vector<int16_t> pcm;
                DecodeFrames(event, scope.File(std::string(name) + ".mp3"), movie.rate, kbps, channels, kSeconds, &pcm);
                // The stream's blocks carry the same frames, the last one too.
                std::unique_ptr<CTagSoundStreamHead> head(builder.MakeStreamHead(wav, format, nullptr));
                ASSERT_TRUE(head) << builder.GetFailure();
                std::vector<uint8_t> stream;
                for (const CTagSoundStreamBlock* b : builder.GetBlocks())
                    stream.insert(stream.end(), b->data.begin() + 4, b->data.end());
                EXPECT_TRUE(stream == event) << stream.size() << " bytes streamed of " << event.size();
                for (int c = 0; c < channels; ++c) EXPECT_NEAR(centre(pcm, channels, c, movie.rate), kAt, 0.001) << c;
                if (channels == 1 && source != movie.rate) ExpectResamples(source, movie.rate);
            }
}

}  // namespace
