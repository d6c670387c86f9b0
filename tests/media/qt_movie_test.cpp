#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <string>

#include "media/mp3_encoder.h"
#include "media/qt_movie.h"
#include "picture_fixtures.h"
#include "sound_fixtures.h"
#include "support/test_movies.h"

using namespace tavrel_test;

namespace {

constexpr OSType kAiff = FourCC("AIFF");

TEST(QTMovie, FormatTime)
{
    TempDir dir;
    const struct {
        int rate;
        int64_t frames;
        const char* text;
    } cases[] = {
        {1000, 75500, "00:01:15.50"}, {1000, 0, "00:00:00.00"},   {1000, 75 * 60 * 1000, "00:75:00.00"},
        {1000, 999, "00:00:01.00"},  // 995 ms and more carry into the seconds
        {1000, 59995, "00:01:00.00"}, {1000, 994, "00:00:00.99"}, {1000, 5, "00:00:00.01"},
        {1000, 12340, "00:00:12.34"},
        // What would pass 32 bits of milliseconds is a rate no sound has.
        {1, 4400000, nullptr},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file("t.wav");
        ASSERT_TRUE(WriteTone(path, kWav16, c.rate, 1, c.frames, 10));
        CQTMovie movie;
        ASSERT_EQ(movie.OpenFile(path), c.text != nullptr) << c.frames;
        if (!c.text) {
            EXPECT_EQ(movie.GetLastError(), "its header gives a sample rate of 1 Hz; a sound has 1000 to 768000");
            continue;
        }
        char text[32];
        movie.FormatTime(text);
        EXPECT_STREQ(text, c.text) << c.frames;
    }
    CQTMovie empty;
    char text[32];
    empty.FormatTime(text);
    EXPECT_STREQ(text, "00:00:00.00");
}

TEST(QTMovie, OpensSoundFormatsWithTheirDurations)
{
    TempDir dir;
    const struct {
        const char* name;
        int format, rate, channels, bits;
        uint32_t code;
        const char* ffmpeg = nullptr;  // made by ffmpeg with this encoding instead
        // Another stream of the same length made so and joined on, as `cat`
        // joins them: both whole, the second at the first's rate.
        const char* joined = nullptr;
    } cases[] = {
        {"a.wav", kWav16, 22050, 2, 16, FourCC("sowt")},
        {"a.aif", kAiff16, 44100, 1, 16, FourCC("twos")},
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2, 16, 0},
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8000, 1, 8, FourCC("raw ")},
        // 16.16 cannot hold 96000; the whole rate is kept beside it.
        {"hi.wav", kWav16, 96000, 1, 16, FourCC("sowt")},
        // As other programs write them: WAVE_FORMAT_EXTENSIBLE above 16 bits
        // and 48 kHz, AIFF-C for what AIFF cannot hold.
        {"u8.wav", 0, 22050, 2, 8, FourCC("raw "), "-c:a pcm_u8 -f wav"},
        {"24.wav", 0, 96000, 1, 24, FourCC("in24"), "-c:a pcm_s24le -f wav"},
        {"32.wav", 0, 48000, 2, 32, FourCC("in32"), "-c:a pcm_s32le -f wav"},
        {"float.wav", 0, 16000, 1, 32, FourCC("fl32"), "-c:a pcm_f32le -f wav"},
        {"b.aif", 0, 32000, 2, 16, FourCC("twos"), "-c:a pcm_s16be -f aiff"},
        {"24.aif", 0, 88200, 1, 24, FourCC("in24"), "-c:a pcm_s24be -f aiff"},
        {"sowt.aifc", 0, 12000, 1, 16, FourCC("sowt"), "-c:a pcm_s16le -f aiff"},
        {"float.aifc", 0, 24000, 2, 32, FourCC("fl32"), "-c:a pcm_f32be -f aiff"},
        {"b.flac", 0, 8000, 1, 16, 0, "-c:a flac"},
        {"24.flac", 0, 96000, 2, 24, 0, "-c:a flac -sample_fmt s32"},
        // Written through a pipe, so the header gives no length: counted from
        // the frames' headers, which give the rate in kHz or in tens of Hz,
        // and the block size in a byte of its own.
        {"piped.flac", 0, 12000, 2, 16, 0, "-c:a flac -f flac - >"},
        {"piped24.flac", 0, 7350, 1, 24, 0, "-c:a flac -sample_fmt s32 -f flac - >"},
        {"piped8.flac", 0, 22050, 8, 16, 0, "-c:a flac -frame_size 100 -f flac - >"},
        {"joined.flac", 0, 16000, 2, 16, 0, "-c:a flac", "-ar 8000 -ac 1 -c:a flac -f flac"},
        {"twice.flac", 0, 8000, 1, 16, 0, "-c:a flac", "-c:a flac -f flac"},
        {"piped_joined.flac", 0, 22050, 1, 16, 0, "-c:a flac -f flac - >", "-ar 44100 -ac 2 -c:a flac -f flac"},
        // 32 bits a sample, which libsndfile does not read, as the flac
        // program writes them (here from a pipe): alone, and joined on.
        {"32.flac", 0, 44100, 2, 32, FourCC("in32"), "-c:a pcm_s32le -f wav - | flac --silent -f - -o"},
        {"32_joined.flac", 0, 48000, 1, 32, FourCC("in32"), "-c:a pcm_s32le -f wav - | flac --silent -f - -o",
         "-ar 44100 -ac 2 -c:a pcm_s32le -f wav - | flac --silent -f - -o"},
        {"chained.ogg", 0, 44100, 2, 16, 0, "-c:a libvorbis", "-ar 22050 -c:a libvorbis -f ogg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        if (c.ffmpeg && !FfmpegUnavailable().empty()) continue;
        if (c.ffmpeg)
            ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine=f=440:sample_rate=" + std::to_string(c.rate) + ":d=1.5 -ac " +
                                      std::to_string(c.channels) + " " + c.ffmpeg,
                                  path));
        else
            ASSERT_TRUE(WriteTone(path, c.format, c.rate, c.channels, c.rate * 3 / 2, 440));
        if (c.joined) {
            const std::string part = dir.file("part");
            ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine=f=440:sample_rate=" + std::to_string(c.rate) + ":d=1.5 " + c.joined, part));
            ASSERT_TRUE(WriteFile(path, ReadFile(path) + ReadFile(part)));
        }
        const int frames = c.rate * 3 / 2 * (c.joined ? 2 : 1);
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(path)) << movie.GetLastError();
        EXPECT_EQ(movie.GetTimeScale(), c.rate);
        EXPECT_EQ(movie.GetDuration(), frames);
        // All of it, with nothing said.
        ASSERT_TRUE(movie.ExportSoundToFile(dir.file("whole.aif"), kAiff, 0, nullptr)) << movie.GetLastError();
        EXPECT_EQ(movie.GetExportedFrames(), frames);
        EXPECT_EQ(movie.GetSoundDamage(), "");
        if (c.ffmpeg && !c.joined && c.channels <= 2) {
            // FFmpeg's tone at its level (an eighth of full scale, each side
            // of two at -3 dB) and pitch.
            SF_INFO info;
            const std::vector<int16_t> pcm = ReadSamples(dir.file("whole.aif"), &info);
            const ToneStats tone = Measure(pcm, info.channels, 0, info.samplerate);
            EXPECT_NEAR(tone.rms, 0.125 / std::sqrt(2.0 * c.channels), 0.002);
            EXPECT_NEAR(tone.hz, 440, 2);
        }
        SoundDescription d;
        ASSERT_TRUE(movie.GetSoundDescription(&d));
        EXPECT_EQ(d.numChannels, c.channels);
        EXPECT_EQ(d.sampleSize, c.bits);
        EXPECT_EQ(movie.GetSoundRate(), uint32_t(c.rate));
        if (c.code) {
            EXPECT_EQ(d.dataFormat, c.code) << c.name;
        }
        EXPECT_TRUE(movie.HasSoundTrack());
        EXPECT_FALSE(movie.HasVideoTrack());
    }
    // An MP3 made by the encoder bundle.
    EncoderScope scope(TAVREL_LAME_BUNDLE);
    ASSERT_TRUE(WriteTone(dir.file("src.wav"), kWav16, 44100, 1, 44100 * 2, 440));
    CMp3Encoder encoder;
    CMp3Settings settings;
    settings.outputRate = 44100;
    uint8_t* mp3 = encoder.ConvertToMp3(dir.file("src.wav"), settings, nullptr);
    ASSERT_NE(mp3, nullptr);
    ASSERT_TRUE(WriteFile(dir.file("a.mp3"), std::string(reinterpret_cast<char*>(mp3), size_t(settings.resultLength))));
    std::free(mp3);
    CQTMovie movie;
    ASSERT_TRUE(movie.OpenFile(dir.file("a.mp3")));
    EXPECT_EQ(movie.GetTimeScale(), 44100);
    EXPECT_NEAR(movie.GetDuration(), 44100 * 2, 3 * 1152);

    // A picture asked for its sound holds none, and is not decoded to tell.
    ASSERT_TRUE(picture_test::WriteTiff(dir.file("p.tif"), 8, 6, std::vector<picture_test::Rgba>(48, {1, 2, 3, 255}), false));
    const uint64_t decodes = PictureDecodeCount();
    EXPECT_FALSE(movie.OpenFile(dir.file("p.tif"), platform::MediaWanted::kSound));
    EXPECT_EQ(movie.GetLastError(), "it holds no sound");
    EXPECT_EQ(PictureDecodeCount(), decodes);
    ASSERT_TRUE(movie.OpenFile(dir.file("a.mp3")));

    // Opening something else closes what was open.
    ASSERT_TRUE(WriteFile(dir.file("x.txt"), "not a sound"));
    EXPECT_FALSE(movie.OpenFile(dir.file("x.txt")));
    EXPECT_FALSE(movie.IsOpen());
    EXPECT_EQ(movie.GetDuration(), 0);
    EXPECT_FALSE(movie.OpenFile(dir.file("missing.wav")));
    SoundDescription d;
    EXPECT_FALSE(movie.GetSoundDescription(&d));
    char name[64];
    EXPECT_FALSE(movie.GetCodecName(name));
    EXPECT_STREQ(name, "N/A");
}

// MP3s as encoders write them, at every MPEG version, read whole and on
// time: each sample where FFmpeg's decoder puts it, nothing said.
TEST(QTMovie, Mp3sAreReadWholeAndOnTime)
{
    if (!FfmpegUnavailable().empty()) GTEST_SKIP() << FfmpegUnavailable();
    TempDir dir;
    const struct {
        int rate, channels;
        const char* encoding;
        bool vbri = false;  // a VBRI header frame put before the sound
    } cases[] = {
        {44100, 2, "-b:a 128k"},
        {32000, 1, "-b:a 64k -write_xing 0 -id3v2_version 0", true},
        {48000, 2, "-q:a 2"},
        {44100, 1, "-q:a 5 -write_xing 0"},
        {22050, 2, "-abr 1 -b:a 64k"},
        {16000, 1, "-b:a 24k -write_xing 0"},
        {8000, 1, "-b:a 8k"},
        {11025, 2, "-q:a 7 -write_xing 0"},
        {12000, 1, "-b:a 16k -id3v2_version 3 -write_id3v1 1 -metadata title=Clicks"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " " + c.encoding);
        // Clicks on a quiet tone: a sample out of place shows at once.
        const std::string mp3 = dir.file("c.mp3"), reference = dir.file("c.raw");
        ASSERT_TRUE(RunFfmpeg("-f lavfi -i \"aevalsrc='if(lt(mod(t,0.125),0.004),0.8*sin(2*PI*1000*t),0)"
                              "+0.02*sin(2*PI*300*t)':s=" + std::to_string(c.rate) + ":d=0.5\" -ac " +
                                  std::to_string(c.channels) + " -c:a libmp3lame " + c.encoding,
                              mp3));
        if (c.vbri) {
            // 64 kbit/s at 32000 Hz: every frame 288 bytes.
            std::string bytes = ReadFile(mp3), frame(288, '\0');
            frame.replace(0, 4, bytes.substr(0, 4));
            frame.replace(36, 6, std::string("VBRI\0\1", 6));
            frame[53] = char(bytes.size() / 288);
            ASSERT_TRUE(WriteFile(mp3, frame + bytes));
        }
        ASSERT_TRUE(RunFfmpeg("-i '" + mp3 + "' -f s16le", reference));
        const std::string expected = ReadFile(reference);
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(mp3));
        ASSERT_EQ(movie.GetTimeScale(), c.rate);
        const std::string aiff = dir.file("c.aif");
        ASSERT_TRUE(movie.ExportSoundToFile(aiff, kAiff, 0, nullptr)) << movie.GetLastError();
        EXPECT_EQ(movie.GetSoundDamage(), "");
        EXPECT_EQ(movie.GetExportedFrames(), movie.GetDuration());
        SF_INFO info;
        const std::vector<int16_t> pcm = ReadSamples(aiff, &info);
        ASSERT_FALSE(pcm.empty());
        ASSERT_EQ(info.channels, c.channels);
        const size_t count = expected.size() / 2;
        EXPECT_NEAR(double(pcm.size()), double(count), 576.0 * c.channels);
        int worst = 0;
        for (size_t i = 0; i < std::min(count, pcm.size()); ++i) {
            int16_t want;
            std::memcpy(&want, expected.data() + 2 * i, 2);
            worst = std::max(worst, std::abs(int(pcm[i]) - want));
        }
        EXPECT_LT(worst, 64) << "samples out of place";
    }
}

// Frames and the first samples of an exported AIFF, read back.
struct AiffBack {
    SF_INFO info{};
    std::vector<short> first;
};
AiffBack ReadBack(const std::string& path)
{
    AiffBack b;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &b.info);
    if (!f) return b;
    b.first.resize(64);
    sf_readf_short(f, b.first.data(), 64 / b.info.channels);
    sf_close(f);
    return b;
}

TEST(QTMovie, ExportSoundToFile)
{
    TempDir dir;
    const std::string src = dir.file("long.wav");
    // 100 s at 44100 Hz: the limit's frame count passes 32 bits on the way.
    ASSERT_TRUE(WriteTone(src, kWav16, 44100, 1, 44100 * 100, 440));
    const struct {
        uint32_t limitMs;
        int64_t frames;
    } cases[] = {{0, 44100 * 100}, {5000, 44100 * 5}, {99000, 44100 * 99}, {200000, 44100 * 100}};
    for (const auto& c : cases) {
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(src));
        const std::string out = dir.file("out.aif");
        ASSERT_TRUE(movie.ExportSoundToFile(out, kAiff, c.limitMs, nullptr)) << c.limitMs;
        const AiffBack b = ReadBack(out);
        EXPECT_EQ(b.info.frames, c.frames) << c.limitMs;
        EXPECT_EQ(b.info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
        EXPECT_EQ(b.info.samplerate, 44100);
    }
    // Samples come through unchanged, as 16-bit big-endian.
    const std::string stereo = dir.file("stereo.aif");
    ASSERT_TRUE(WriteTone(stereo, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 22050, 2, 22050, 440, 0.5, 660));
    CQTMovie movie;
    ASSERT_TRUE(movie.OpenFile(stereo));
    ASSERT_TRUE(movie.ExportSoundToFile(dir.file("s.aif"), kAiff, 0, nullptr));
    const AiffBack b = ReadBack(dir.file("s.aif"));
    EXPECT_EQ(b.info.channels, 2);
    EXPECT_EQ(b.info.samplerate, 22050);
    EXPECT_NEAR(b.first[2], 0.5 * 32767 * std::sin(2 * std::numbers::pi * 440 / 22050), 2);
    EXPECT_NEAR(b.first[3], 0.5 * 32767 * std::sin(2 * std::numbers::pi * 660 / 22050), 2);
    const std::string bytes = ReadFile(dir.file("s.aif"));
    EXPECT_EQ(bytes.substr(0, 4), "FORM");
    EXPECT_EQ(bytes.substr(8, 4), "AIFF");

    EXPECT_FALSE(movie.ExportSoundToFile(dir.file("w.wav"), FourCC("WAVE"), 0, nullptr));  // only AIFF
    CQTMovie closed;
    EXPECT_FALSE(closed.ExportSoundToFile(dir.file("n.aif"), kAiff, 0, nullptr));
}

TEST(QTMovie, ExportReportsProgressAndStopsOnCancel)
{
    TempDir dir;
    const std::string src = dir.file("src.wav");
    ASSERT_TRUE(WriteTone(src, kWav16, 44100, 1, 44100 * 4, 440));
    CQTMovie movie;
    ASSERT_TRUE(movie.OpenFile(src));
    RecordingProgress progress;
    ASSERT_TRUE(movie.ExportSoundToFile(dir.file("a.aif"), kAiff, 0, &progress));
    ASSERT_FALSE(progress.details.empty());
    EXPECT_EQ(progress.details.back(), "Reading Audio...100%");

    RecordingProgress cancelling;
    cancelling.cancelAfter = 2;
    EXPECT_FALSE(movie.ExportSoundToFile(dir.file("b.aif"), kAiff, 0, &cancelling));
    EXPECT_EQ(cancelling.details.size(), 2u);
    EXPECT_FALSE(IsThere(dir.file("b.aif")));  // nothing half-written
}

TEST(QTMovie, ExportSoundToHandleInPieces)
{
    TempDir dir;
    const std::string src = dir.file("src.wav");
    ASSERT_TRUE(WriteTone(src, kWav16, 44100, 2, 44100, 441, 0.5));
    CQTMovie movie;
    ASSERT_TRUE(movie.OpenFile(src));
    uint32_t size = 0;
    TimeValue next = -7;
    EXPECT_EQ(movie.ExportSoundToHandle(0, 0, &size, &next), nullptr);  // no exporter yet
    EXPECT_FALSE(movie.OpenSoundExporter({0, 0, 0, FourCC("ima4")}));
    ASSERT_TRUE(movie.OpenSoundExporter({}));  // the source's own format, as "twos"

    const struct {
        TimeValue start, length;
        bool ok;
        uint32_t size;
        TimeValue next;
    } pieces[] = {
        {0, 0, true, 44100 * 4, 44100},       // the whole sound
        {44000, 1000, true, 100 * 4, 44100},  // cut at the end
        {1000, 500, true, 500 * 4, 1500},
        {44100, 10, false, 0, -7},  // at the end: nothing, so a walk stops
        {44101, 10, false, 0, -7},  // after the end: nothing changes
    };
    for (const auto& p : pieces) {
        size = 0;
        next = -7;
        std::unique_ptr<uint8_t[]> bytes(movie.ExportSoundToHandle(p.start, p.length, &size, &next));
        EXPECT_EQ(bytes != nullptr, p.ok) << p.start;
        EXPECT_EQ(size, p.size) << p.start;
        EXPECT_EQ(next, p.next) << p.start;
        if (!bytes || p.start != 1000) continue;
        // Big-endian samples of the source, frame 1000 first.
        const int16_t left = int16_t(bytes[0] << 8 | bytes[1]);
        EXPECT_NEAR(left, 0.5 * 32767 * std::sin(2 * std::numbers::pi * 441 * 1000 / 44100), 2);
    }

    // Resampled to 11025 Hz mono, little-endian: a quarter of the frames, the same pitch.
    ASSERT_TRUE(movie.OpenSoundExporter({11025.0, 16, 1, FourCC("sowt")}));
    std::unique_ptr<uint8_t[]> bytes(movie.ExportSoundToHandle(0, 0, &size, &next));
    ASSERT_TRUE(bytes);
    EXPECT_NEAR(size, 11025 * 2, 4);
    std::vector<int16_t> pcm(size / 2);
    std::memcpy(pcm.data(), bytes.get(), size);
    const ToneStats st = Measure(pcm, 1, 0, 11025);
    EXPECT_NEAR(st.hz, 441, 5);
    EXPECT_NEAR(st.rms, 0.5 / std::sqrt(2.0), 0.02);

    // FLAC streams joined end to end, the second at another rate and channel
    // count: pieces walked with each one's end as the next start join into
    // the whole, at the sound's own format and at another.
    if (!FfmpegUnavailable().empty()) return;
    const std::string joined = dir.file("joined.flac"), part = dir.file("part.flac");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine=f=441:sample_rate=44100:d=1 -ac 2 -c:a flac", joined));
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine=f=441:sample_rate=22050:d=1 -ac 1 -c:a flac", part));
    ASSERT_TRUE(WriteFile(joined, ReadFile(joined) + ReadFile(part)));
    ASSERT_TRUE(movie.OpenFile(joined));
    ASSERT_EQ(movie.GetDuration(), 88200);
    for (const SoundExportFormat& format : {SoundExportFormat{}, SoundExportFormat{11025.0, 16, 1, FourCC("sowt")}}) {
        SCOPED_TRACE(format.sampleRate);
        ASSERT_TRUE(movie.OpenSoundExporter(format));
        bytes.reset(movie.ExportSoundToHandle(0, 0, &size, &next));
        ASSERT_TRUE(bytes);
        const std::string whole(reinterpret_cast<const char*>(bytes.get()), size);
        std::string walked;
        for (TimeValue at = 0; at < 88200; at = next) {
            bytes.reset(movie.ExportSoundToHandle(at, 10000, &size, &next));
            ASSERT_TRUE(bytes) << at;
            walked.append(reinterpret_cast<const char*>(bytes.get()), size);
        }
        EXPECT_EQ(walked.size(), whole.size());
        EXPECT_TRUE(walked == whole);
    }
}

// The description records are QuickTime's, field by field at their byte
// offsets: what GetSoundDescription and GetVideoDescription fill is read
// back from the bytes.
TEST(QTMovie, DescriptionRecordsLieAtTheirOffsets)
{
    TempDir dir;
    const std::string wav = dir.file("s.wav"), png = dir.file("p.png");
    ASSERT_TRUE(WriteTone(wav, kWav16, 96000, 2, 9600, 440, 0.5));
    const uint8_t alpha[4] = {255, 128, 255, 0};
    ASSERT_TRUE(picture_test::WritePng(png, 40, 30, picture_test::Quarters(40, 30, alpha), true));
    auto i16 = [](const void* record, size_t at) {
        int16_t v;
        std::memcpy(&v, static_cast<const uint8_t*>(record) + at, 2);
        return int(v);
    };
    auto u32 = [](const void* record, size_t at) {
        uint32_t v;
        std::memcpy(&v, static_cast<const uint8_t*>(record) + at, 4);
        return v;
    };
    CQTMovie movie;
    ASSERT_TRUE(movie.OpenFile(wav));
    SoundDescription sound;
    ASSERT_TRUE(movie.GetSoundDescription(&sound));
    EXPECT_EQ(sizeof sound, 36u);
    EXPECT_EQ(u32(&sound, 0), 36u);
    EXPECT_EQ(i16(&sound, 24), 2);   // channels
    EXPECT_EQ(i16(&sound, 26), 16);  // sample size
    // 96000 Hz does not fit 16.16: the whole rate has an accessor of its own.
    EXPECT_EQ(u32(&sound, 32), uint32_t(96000u << 16));
    EXPECT_EQ(movie.GetSoundRate(), 96000u);

    ASSERT_TRUE(movie.OpenFile(png));
    ImageDescription image;
    ASSERT_TRUE(movie.GetVideoDescription(&image));
    EXPECT_EQ(sizeof image, 86u);
    EXPECT_EQ(u32(&image, 0), 86u);
    EXPECT_EQ(u32(&image, 4), FourCC("png "));
    EXPECT_EQ(i16(&image, 32), 40);  // width
    EXPECT_EQ(i16(&image, 34), 30);  // height
    const char* name = reinterpret_cast<const char*>(&image) + 50;
    EXPECT_EQ(std::string(name + 1, size_t(name[0])), "PNG");
    EXPECT_EQ(i16(&image, 82), 32);  // depth: the picture has alpha
    EXPECT_EQ(i16(&image, 84), -1);  // clut id
}

TEST(QTMovie, QuickTimeChecks)
{
    EXPECT_TRUE(IsQuickTimePresent());
    EXPECT_GT(GetQuickTimeVersion(), 0x03FF);
}

}  // namespace
