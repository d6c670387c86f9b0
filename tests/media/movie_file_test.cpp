// Movie files opened by their content through the movie layer: what each
// was made with comes back from the queries, its two halves from the frames,
// its tone from the sound export, and bad files fail with a reason.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "av/movie_media.h"
#include "media/image.h"
#include "media/qt_movie.h"
#include "picture_fixtures.h"
#include "platform/gestalt.h"
#include "sound_fixtures.h"
#include "support/test_movies.h"

namespace tavrel_test {
namespace {

constexpr OSType kAiff = FourCC("AIFF");

std::string Code(uint32_t code)
{
    return {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
}

// Every pixel of packed RGB or RGBA within tolerance of the colour.
::testing::AssertionResult AllPixels(const std::vector<uint8_t>& pixels, int bytesPerPixel, long rgb, int tolerance = 24)
{
    if (pixels.empty()) return ::testing::AssertionFailure() << "no pixels";
    for (size_t i = 0; i + 2 < pixels.size(); i += size_t(bytesPerPixel)) {
        const int want[3] = {int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF)};
        for (int c = 0; c < 3; ++c)
            if (std::abs(pixels[i + size_t(c)] - want[c]) > tolerance)
                return ::testing::AssertionFailure() << "pixel " << i / size_t(bytesPerPixel) << " channel " << c << " is "
                                                     << int(pixels[i + size_t(c)]) << ", not " << want[c];
    }
    return ::testing::AssertionSuccess();
}

std::vector<uint8_t> Render(CQTMovie& movie, TimeValue time, const Rect* dst, int bits)
{
    std::vector<uint8_t> out(movie.RenderFrame(time, nullptr, dst, nullptr, bits));
    if (!out.empty() && movie.RenderFrame(time, out.data(), dst, nullptr, bits) != out.size()) out.clear();
    return out;
}

class MovieFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!FfmpegUnavailable().empty()) GTEST_SKIP() << FfmpegUnavailable();
        ASSERT_FALSE(TestMovies().empty()) << "ffmpeg could not make the test movies";
    }
    static std::string Bytes(const std::string& name) { return ReadFile(TestMovieNamed(name).path); }

    TempDir dir_;
};

TEST_F(MovieFileTest, QueriesTellWhatEachFileWasMadeWith)
{
    for (const TestMovie& m : TestMovies()) {
        SCOPED_TRACE(m.name);
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(m.path)) << movie.GetLastError();
        const bool video = m.width > 0, sound = m.rate > 0;
        EXPECT_EQ(movie.HasVideoTrack(), video);
        EXPECT_EQ(movie.HasSoundTrack(), sound);
        const TimeValue scale = movie.GetTimeScale();
        EXPECT_EQ(scale, video ? 600 : m.rate);
        EXPECT_NEAR(double(movie.GetDuration()) / scale, m.seconds, 0.1);
        int width = -1, height = -1;
        movie.GetSize(&width, &height);
        EXPECT_EQ(std::make_pair(width, height), std::make_pair(m.width, m.height));
        EXPECT_NEAR(movie.GetFrameRate(), m.fps, 0.01);

        ImageDescription image;
        ASSERT_EQ(movie.GetVideoDescription(&image), video);
        if (m.mpeg) {
            // The muxed MPEG track: zeros but for the box's size and its name.
            EXPECT_EQ(image.idSize, 0);
            EXPECT_EQ(image.cType, 0u);
            EXPECT_EQ(image.depth, 0);
            EXPECT_EQ(std::string(image.name, 5), std::string("\4MPEG", 5));
        } else if (video) {
            EXPECT_EQ(image.idSize, 86);
            EXPECT_EQ(image.cType, m.videoCodec) << Code(image.cType);
            EXPECT_EQ(image.depth, 24);
            EXPECT_GT(image.name[0], 0);
        }
        if (video) {
            EXPECT_EQ(std::make_pair(int(image.width), int(image.height)), std::make_pair(m.width, m.height));
        }

        SoundDescription s;
        char codec[64];
        ASSERT_EQ(movie.GetSoundDescription(&s), sound);
        EXPECT_EQ(movie.GetCodecName(codec), sound);
        if (!sound) {
            EXPECT_STREQ(codec, "N/A");
            continue;
        }
        EXPECT_EQ(s.numChannels, m.channels);
        EXPECT_EQ(movie.GetSoundRate(), uint32_t(m.rate));
        EXPECT_EQ(s.sampleSize, 16);
        EXPECT_EQ(s.dataFormat, m.soundCodec) << Code(s.dataFormat);
        EXPECT_NE(std::string(codec).find(m.codecName), std::string::npos) << codec;
    }
}

// Each time shows its half's colour, whatever the order of the times: back
// to an earlier key frame, on from the frame shown, to the end and past it.
TEST_F(MovieFileTest, FramesAtTimesShowTheirColours)
{
    const struct {
        TimeValue time;  // 600 a second
        bool second;
    } times[] = {{900, true}, {120, false}, {1140, true}, {0, false}, {660, true}, {300, false}, {99999, true}};
    const Rect dst{0, 0, 50, 100};
    for (const TestMovie& m : TestMovies()) {
        if (m.width == 0) continue;
        SCOPED_TRACE(m.name);
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(m.path));
        for (const auto& t : times) {
            SCOPED_TRACE(t.time);
            EXPECT_EQ(movie.RenderFrame(t.time, nullptr, &dst, nullptr, 24), 15000u);
            const std::vector<uint8_t> rgb = Render(movie, t.time, &dst, 24);
            ASSERT_EQ(rgb.size(), 15000u) << movie.GetLastError();
            EXPECT_TRUE(AllPixels(rgb, 3, t.second ? m.second : m.first));
        }
        // The other copies: the whole box with alpha, the alpha alone, a
        // corner, an image, and a world drawn at the movie's time.
        const std::vector<uint8_t> rgba = Render(movie, 120, nullptr, 32);
        ASSERT_EQ(rgba.size(), size_t(m.width * m.height * 4));
        EXPECT_TRUE(AllPixels(rgba, 4, m.first));
        for (size_t i = 3; i < rgba.size(); i += 4) ASSERT_EQ(rgba[i], 255);
        std::vector<uint8_t> alpha(movie.RenderFrameAt(900, nullptr, &dst, nullptr));
        ASSERT_EQ(movie.RenderFrameAt(900, alpha.data(), &dst, nullptr), 5000u);
        EXPECT_EQ(alpha, std::vector<uint8_t>(5000, 255));
        const Rect corner{0, 0, 8, 10};
        std::vector<uint8_t> part(movie.GetFrameRGBA(900, nullptr, &corner));
        ASSERT_EQ(movie.GetFrameRGBA(900, part.data(), &corner), 320u);
        EXPECT_TRUE(AllPixels(part, 4, m.second));
        CImage image;
        ASSERT_TRUE(movie.GetFrameAtTime(120, image, nullptr, 24));
        EXPECT_EQ(std::make_pair(image.width, image.height), std::make_pair(uint32_t(m.width), uint32_t(m.height)));
        EXPECT_TRUE(AllPixels(std::vector<uint8_t>(image.pixels, image.pixels + image.size), 3, m.first));
        movie.SetTime(900);
        std::unique_ptr<GWorld> world(GWorld::Create(Rect{0, 0, 48, 64}, 32));
        ASSERT_TRUE(movie.DrawToPort(world.get(), nullptr));
        std::vector<uint8_t> drawn;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) drawn.insert(drawn.end(), world->RowAt(y) + x * 4 + 1, world->RowAt(y) + x * 4 + 4);
        EXPECT_TRUE(AllPixels(drawn, 3, m.second));
    }
}

// The whole sound as 16-bit AIFF at its own rate and channels, or its first
// half second; progress to 100%, and a cancel leaves no file.
TEST_F(MovieFileTest, SoundTracksExportAsAiff)
{
    for (const TestMovie& m : TestMovies()) {
        if (m.rate == 0) continue;
        SCOPED_TRACE(m.name);
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(m.path));
        const std::string aiff = dir_.file(m.name + ".aif");
        for (const uint32_t limit : {0u, 500u}) {
            RecordingProgress progress;
            ASSERT_TRUE(movie.ExportSoundToFile(aiff, kAiff, limit, &progress)) << limit;
            ASSERT_FALSE(progress.details.empty());
            EXPECT_EQ(progress.details.back(), "Reading Audio...100%");
            SF_INFO info;
            const std::vector<int16_t> pcm = ReadSamples(aiff, &info);
            ASSERT_FALSE(pcm.empty());
            EXPECT_EQ(info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
            EXPECT_EQ(std::make_pair(info.samplerate, info.channels), std::make_pair(m.rate, m.channels));
            if (limit) {
                EXPECT_EQ(info.frames, m.rate / 2);
                continue;
            }
            // AAC adds a frame or two of padding.
            EXPECT_NEAR(double(info.frames), m.seconds * m.rate, 2100);
            const ToneStats st = Measure(pcm, info.channels, 0, m.rate);
            EXPECT_NEAR(st.hz, 440, 5);
            EXPECT_GT(st.rms, 0.05);  // ffmpeg's tone is at an eighth of full scale
        }
        RecordingProgress cancelling;
        cancelling.cancelAfter = 1;
        EXPECT_FALSE(movie.ExportSoundToFile(aiff + "2", kAiff, 0, &cancelling));
        EXPECT_FALSE(IsThere(aiff + "2"));
    }
}

TEST_F(MovieFileTest, SoundInPiecesFromMoviesAndM4a)
{
    for (const char* name : {"m4a", "mov"}) {
        SCOPED_TRACE(name);
        const TestMovie& m = TestMovieNamed(name);
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(m.path));
        ASSERT_TRUE(movie.OpenSoundExporter({}));
        const TimeValue duration = movie.GetDuration(), scale = movie.GetTimeScale();
        const size_t frameBytes = size_t(m.channels) * 2;
        uint32_t size = 0;
        TimeValue next = -7;
        std::unique_ptr<uint8_t[]> whole(movie.ExportSoundToHandle(0, 0, &size, &next));
        ASSERT_TRUE(whole);
        EXPECT_EQ(next, duration);
        EXPECT_EQ(size, size_t(int64_t(duration) * m.rate / scale) * frameBytes);
        // A piece reaching past the end gets the rest; one after it, nothing.
        std::unique_ptr<uint8_t[]> rest(movie.ExportSoundToHandle(duration - scale / 10, scale, &size, &next));
        ASSERT_TRUE(rest);
        EXPECT_NEAR(double(size), double(m.rate / 10 * frameBytes), double(frameBytes));
        EXPECT_EQ(next, duration);
        next = -7;
        EXPECT_EQ(movie.ExportSoundToHandle(duration + 1, 10, &size, &next), nullptr);
        EXPECT_EQ(next, -7);

        // Resampled to 11025 Hz mono, little-endian: the same pitch.
        ASSERT_TRUE(movie.OpenSoundExporter({11025.0, 16, 1, FourCC("sowt")}));
        std::unique_ptr<uint8_t[]> bytes(movie.ExportSoundToHandle(0, 0, &size, &next));
        ASSERT_TRUE(bytes);
        std::vector<int16_t> pcm(size / 2);
        std::memcpy(pcm.data(), bytes.get(), size);
        EXPECT_NEAR(double(pcm.size()), 11025 * m.seconds, 11025 * 0.05);
        EXPECT_NEAR(Measure(pcm, 1, 0, 11025).hz, 440, 5);
    }
}

// Pieces walked with each *outNext join into exactly the whole sound's
// bytes, in the source's format and resampled, and the walk ends with null.
TEST_F(MovieFileTest, SoundPiecesJoinIntoTheWholeSound)
{
    const std::string path = dir_.file("pcm.mov");
    ASSERT_TRUE(tavrel_test::RunFfmpeg("-f lavfi -i color=c=red:s=32x24:r=25:d=2 -f lavfi -i "
                                       "sine=f=440:sample_rate=22050:d=2 -ac 2 -c:v mjpeg -c:a pcm_s16be -shortest",
                                       path));
    CQTMovie movie;
    ASSERT_TRUE(movie.OpenFile(path));
    ASSERT_EQ(movie.GetTimeScale(), 600);
    const TimeValue duration = movie.GetDuration();
    const SoundExportFormat formats[] = {{}, {11025.0, 16, 1, FourCC("sowt")}, {44100.0, 8, 2, 0}};
    for (const SoundExportFormat& format : formats) {
        SCOPED_TRACE(format.sampleRate);
        ASSERT_TRUE(movie.OpenSoundExporter(format));
        uint32_t size = 0;
        TimeValue next = 0;
        std::unique_ptr<uint8_t[]> whole(movie.ExportSoundToHandle(0, 0, &size, &next));
        ASSERT_TRUE(whole);
        const std::string expected(reinterpret_cast<const char*>(whole.get()), size);
        std::string walked;
        int pieces = 0;
        for (TimeValue at = 0; pieces < 10000; ++pieces) {
            std::unique_ptr<uint8_t[]> piece(movie.ExportSoundToHandle(at, 7, &size, &next));
            if (!piece) break;
            walked.append(reinterpret_cast<const char*>(piece.get()), size);
            ASSERT_GT(next, at);
            at = next;
        }
        EXPECT_EQ(next, duration);
        EXPECT_EQ(pieces, (duration + 6) / 7);
        EXPECT_EQ(walked.size(), expected.size());
        EXPECT_TRUE(walked == expected) << "the walk's bytes differ from the whole sound's";
        EXPECT_EQ(movie.ExportSoundToHandle(duration, 7, &size, &next), nullptr);
    }
}

// A sound of which nothing decodes exports nothing, with the reason; one
// that decodes in part exports what decodes and says what is wrong.
TEST_F(MovieFileTest, DamagedSoundsExportWhatDecodes)
{
    const struct {
        const char* kind;
        bool exported;
        int64_t frames;     // exported, at the source's rate (0: less than half; -1: not checked)
        const char* said;   // in GetLastError or GetSoundDamage
    } cases[] = {
        {"bad.m4a", false, 0, "nothing of its sound decodes"},
        {"cut.mp4", true, 0, "does not decode"},
        {"big.flac", true, 8000, "it ends after 1.0 s of the 8589934.6 s it claims"},
        // libFLAC gives up at the damage; FFmpeg's decode goes on from there.
        {"mid.flac", true, 441000, "it does not decode between 4.6 s and "},
        // Frames of one size: the missing ones' time is kept.
        {"noise.mp3", true, 88200, "it does not decode between 1.0 s and 1.1 s: 1254 bytes "},
        // 32 bits a sample, read by libFLAC itself: what is lost keeps its
        // time, and a piece found by a seek is that stretch of the whole.
        {"hole32.flac", true, 176400, "it does not decode between "},
        // Chained links: a page lost at a link's end, then the next link.
        {"links.opus", true, -1, "it does not decode at 3.0 s: packets there are lost"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const std::string path = tavrel_test::DamagedSound(dir_.file(c.kind), c.kind);
        ASSERT_FALSE(path.empty());
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(path));
        const std::string aiff = dir_.file("out.aif");
        EXPECT_EQ(movie.ExportSoundToFile(CPath(aiff.c_str()), FourCC("AIFF"), 0, nullptr), c.exported);
        EXPECT_NE((c.exported ? movie.GetSoundDamage() : movie.GetLastError()).find(c.said), std::string::npos)
            << movie.GetLastError() << " / " << movie.GetSoundDamage();
        if (c.frames > 0) {
            EXPECT_EQ(movie.GetExportedFrames(), c.frames);
        }
        if (c.exported && !c.frames) {
            EXPECT_LT(movie.GetExportedFrames(), int64_t(movie.GetDuration()) / 2);
        }
        ASSERT_TRUE(movie.OpenSoundExporter({}));
        uint32_t size = 0;
        std::unique_ptr<uint8_t[]> whole(movie.ExportSoundToHandle(0, 0, &size, nullptr));
        EXPECT_EQ(whole != nullptr, c.exported);
        if (!whole) continue;
        // A piece read on its own, late in the sound, is that stretch of the
        // whole (time counts in frames for a sound alone).
        SoundDescription d;
        ASSERT_TRUE(movie.GetSoundDescription(&d));
        const uint32_t frameBytes = 2 * uint32_t(d.numChannels);
        const TimeValue from = TimeValue(size / frameBytes * 3 / 4);
        uint32_t pieceSize = 0;
        std::unique_ptr<uint8_t[]> piece(movie.ExportSoundToHandle(from, 1000, &pieceSize, nullptr));
        ASSERT_TRUE(piece);
        EXPECT_EQ(pieceSize, 1000 * frameBytes);
        EXPECT_TRUE(std::memcmp(piece.get(), whole.get() + size_t(from) * frameBytes, pieceSize) == 0)
            << "the piece at " << from << " differs from the whole sound's";
    }
}

// A movie's surround sound comes as stereo, the tone in both channels.
TEST_F(MovieFileTest, SurroundSoundIsMixedToStereo)
{
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.5 -ac 6 -c:a aac -f mp4",
                          dir_.file("surround.mp4")));
    CQTMovie movie;
    ASSERT_TRUE(movie.OpenFile(dir_.file("surround.mp4")));
    SoundDescription s;
    ASSERT_TRUE(movie.GetSoundDescription(&s));
    EXPECT_EQ(s.numChannels, 2);
    ASSERT_TRUE(movie.ExportSoundToFile(dir_.file("surround.aif"), kAiff, 0, nullptr));
    SF_INFO info{};
    SNDFILE* f = sf_open(dir_.file("surround.aif").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<int16_t> pcm(size_t(info.frames * info.channels));
    sf_readf_short(f, pcm.data(), info.frames);
    sf_close(f);
    ASSERT_EQ(info.channels, 2);
    for (int c = 0; c < 2; ++c) EXPECT_NEAR(Measure(pcm, 2, c, 48000).hz, 440, 5) << c;
}

// A phone's upright video stored sideways, with a quarter turn in its
// track: the box and the frames come upright.
TEST_F(MovieFileTest, TurnedVideoComesUpright)
{
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i color=c=0xC83232:s=64x48:r=25:d=0.2,drawbox=x=32:y=0:w=32:h=48:c=0x3232C8:t=fill "
                          "-c:v mjpeg -q:v 2 -f mov",
                          dir_.file("turned.mov")));
    // The track header's matrix as a phone writes it: a quarter turn
    // clockwise (a = 0, b = 1, c = -1, d = 0, x = the height).
    std::string bytes = ReadFile(dir_.file("turned.mov"));
    const size_t tkhd = bytes.find("tkhd");
    ASSERT_NE(tkhd, std::string::npos);
    ASSERT_EQ(bytes[tkhd + 4], '\0') << "version 0";
    const uint32_t matrix[9] = {0, 0x10000, 0, 0xFFFF0000, 0, 0, 48u << 16, 0, 0x40000000};
    for (int i = 0; i < 9; ++i)
        for (int b = 0; b < 4; ++b) bytes[tkhd + 44 + size_t(i) * 4 + size_t(b)] = char(matrix[i] >> (24 - 8 * b));
    ASSERT_TRUE(WriteFile(dir_.file("turned.mov"), bytes));
    CQTMovie movie;
    ASSERT_TRUE(movie.OpenFile(dir_.file("turned.mov")));
    int width = 0, height = 0;
    movie.GetSize(&width, &height);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(48, 64));
    const std::vector<uint8_t> rgb = Render(movie, 0, nullptr, 24);
    ASSERT_EQ(rgb.size(), 48u * 64 * 3);
    // Turned clockwise: the left half (red) on top, the right (blue) below.
    const auto at = [&](int x, int y) { return std::vector<uint8_t>(&rgb[(size_t(y) * 48 + x) * 3], &rgb[(size_t(y) * 48 + x) * 3] + 3); };
    EXPECT_TRUE(AllPixels(at(24, 10), 3, 0xC83232));
    EXPECT_TRUE(AllPixels(at(24, 54), 3, 0x3232C8));
}

// A video's frame rate is its frame count over its media's own duration,
// not over the span FFmpeg gives the stream (cut to the edit list, which
// B-frames shift): 30 frames of varying length here.
TEST_F(MovieFileTest, FrameRateIsTheCountOverTheMediaDuration)
{
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc=s=64x48:r=25:d=1.2 -vf \"setpts='if(lt(N,15),N*0.2,3+(N-15)*0.36)/TB'\" "
                          "-fps_mode vfr -c:v mpeg4 -bf 2 -g 30 -video_track_timescale 1000 -frames:v 30 -f mp4",
                          dir_.file("b.mp4")));
    const std::string bytes = ReadFile(dir_.file("b.mp4"));
    const size_t mdhd = bytes.find("mdhd");
    ASSERT_NE(mdhd, std::string::npos);
    ASSERT_EQ(bytes[mdhd + 4], '\0') << "version 0";
    const auto get32 = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
               uint32_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]);
    };
    ASSERT_EQ(get32(mdhd + 16), 1000u);
    const double duration = get32(mdhd + 20);
    CQTMovie movie;
    ASSERT_TRUE(movie.OpenFile(dir_.file("b.mp4"))) << movie.GetLastError();
    EXPECT_NEAR(movie.GetFrameRate(), 30 * 1000 / duration, 1e-9);
}

// Every call with a time makes it the movie's current time, after the
// toolbox movie that plays it is made as before.
TEST_F(MovieFileTest, CallsWithATimeMakeItCurrent)
{
    CQTMovie movie;
    ASSERT_TRUE(movie.OpenFile(TestMovieNamed("mp4").path));
    const Rect one{0, 0, 1, 1};
    uint8_t pixel[4];
    CImage image;
    const std::function<bool(TimeValue)> calls[] = {
        [&](TimeValue t) { return movie.RenderFrame(t, pixel, &one, nullptr, 24) != 0; },
        [&](TimeValue t) { return movie.RenderFrameAt(t, pixel, &one, nullptr) != 0; },
        [&](TimeValue t) { return movie.GetFrameRGBA(t, pixel, &one) != 0; },
        [&](TimeValue t) { return movie.GetFrameAtTime(t, image, &one, 24); },
    };
    for (const bool played : {false, true}) {
        if (played) {
            ASSERT_NE(movie.GetMovie(), nullptr);
        }
        for (size_t i = 0; i < std::size(calls); ++i) {
            SCOPED_TRACE(std::to_string(i) + (played ? " played" : ""));
            for (const TimeValue t : {900, 300}) {
                ASSERT_TRUE(calls[i](t)) << movie.GetLastError();
                EXPECT_EQ(movie.GetTime(), t);
            }
        }
    }
}

// A movie file cut short, one with no frame to decode, a video claiming
// 100,000 × 100,000 pixels, one beyond the pixel limit, a sound-only file
// asked for frames, an empty file: each fails with a reason, or opens and
// shows what it can.
TEST_F(MovieFileTest, BadFilesFailWithAReason)
{
    const std::string mp4 = Bytes("mp4"), mov = Bytes("mov"), mpg = Bytes("mpg");
    // MJPEG frames zeroed: the file stands, no frame decodes.
    std::string blank = mov;
    const size_t mdat = blank.find("mdat");
    const size_t moov = blank.find("moov");
    ASSERT_TRUE(mdat != std::string::npos && moov != std::string::npos && mdat < moov);
    std::fill(blank.begin() + long(mdat) + 4, blank.begin() + long(moov) - 4, '\0');
    // Raw video carries its size nowhere but in the container: the AVI main
    // header and the stream format say 100,000 × 100,000.
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i color=c=red:s=8x8:r=25:d=0.08 -c:v rawvideo -pix_fmt bgr24 -f avi",
                          dir_.file("raw.avi")));
    std::string huge = ReadFile(dir_.file("raw.avi"));
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) huge[at + size_t(i)] = char(v >> (8 * i));
    };
    const size_t avih = huge.find("avih"), strf = huge.find("strf");
    ASSERT_TRUE(avih != std::string::npos && strf != std::string::npos);
    put32(avih + 8 + 32, 100000), put32(avih + 8 + 36, 100000);
    put32(strf + 8 + 4, 100000), put32(strf + 8 + 8, 100000);

    const struct {
        std::string name, bytes;
        bool opens;
        const char* reason;  // in GetLastError, after the open or the frame
    } cases[] = {
        {"empty.mp4", "", false, "empty"},
        {"text.mov", "this is no movie\n", false, "not a picture, movie or sound file this program reads"},
        {"cut.mp4", mp4.substr(0, mp4.size() / 2), false, "the file is cut short or its index is missing"},
        {"huge.avi", huge, false, "claims 100000 x 100000 pixels"},
        {"blank.mov", blank, true, "no frame"},
        {"cut.mpg", mpg.substr(0, mpg.size() / 3), true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFile(dir_.file(c.name), c.bytes));
        CQTMovie movie;
        EXPECT_EQ(movie.OpenFile(dir_.file(c.name)), c.opens) << movie.GetLastError();
        if (c.opens) {
            const Rect dst{0, 0, 48, 64};
            EXPECT_EQ(Render(movie, 0, &dst, 24).size(), *c.reason ? 0u : 64u * 48 * 3);
            EXPECT_EQ(Render(movie, 1140, &dst, 24).size(), *c.reason ? 0u : 64u * 48 * 3);
        }
        EXPECT_NE(movie.GetLastError().find(c.reason), std::string::npos) << movie.GetLastError();
    }

    // The pixel limit holds for movies: the video gives no frames, the sound
    // still plays.
    SetMaxImagePixels(64 * 48 - 1);
    CQTMovie limited;
    const bool opened = limited.OpenFile(TestMovieNamed("mp4").path);
    SetMaxImagePixels(UINT64_MAX);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(limited.HasSoundTrack());
    EXPECT_EQ(Render(limited, 0, nullptr, 24).size(), 0u);
    const Rect dst{0, 0, 10, 10};
    EXPECT_EQ(Render(limited, 0, &dst, 24).size(), 0u);
    EXPECT_NE(limited.GetLastError().find("claims 64 x 48"), std::string::npos) << limited.GetLastError();

    // A sound-only file has no frame to give.
    CQTMovie sound;
    ASSERT_TRUE(sound.OpenFile(TestMovieNamed("m4a").path));
    EXPECT_EQ(Render(sound, 0, &dst, 24).size(), 0u);
    ImageDescription image;
    EXPECT_FALSE(sound.GetVideoDescription(&image));
}

// Pictures and plain sounds take their own readers: FFmpeg sees none of
// them, so a picture show costs what it did.
TEST_F(MovieFileTest, PicturesAndPlainSoundsNeverReachFfmpeg)
{
    ASSERT_TRUE(WriteTone(dir_.file("a.wav"), kWav16, 22050, 1, 22050, 440));
    ASSERT_TRUE(WriteTone(dir_.file("a.aif"), kAiff16, 22050, 2, 22050, 440));
    const int before = platform::MovieMediaOpenCount();
    for (const char* name : {"a.wav", "a.aif"}) {
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(dir_.file(name)));
        EXPECT_TRUE(movie.ExportSoundToFile(dir_.file("out.aif"), kAiff, 0, nullptr));
    }
    const uint8_t opaque[4] = {255, 255, 255, 255};
    const std::vector<picture_test::Rgba> quarters = picture_test::Quarters(32, 24, opaque);
    ASSERT_TRUE(picture_test::WriteBmp(dir_.file("a.bmp"), 32, 24, quarters));
    ASSERT_TRUE(picture_test::WriteJpeg(dir_.file("a.jpg"), 32, 24, quarters, 90));
    ASSERT_TRUE(picture_test::WritePng(dir_.file("a.png"), 32, 24, quarters, true));
    CQTMovie movie;
    for (const char* name : {"a.bmp", "a.jpg", "a.png"}) {
        ASSERT_TRUE(movie.OpenFile(dir_.file(name)));
        EXPECT_EQ(Render(movie, 0, nullptr, 24).size(), 32u * 24 * 3);
    }
    EXPECT_EQ(platform::MovieMediaOpenCount(), before);
    // A movie does.
    ASSERT_TRUE(movie.OpenFile(TestMovieNamed("m4a").path));
    EXPECT_EQ(platform::MovieMediaOpenCount(), before + 1);
}

// A movie kept open is taken up by the next open of its file as it stands,
// FFmpeg not asked again; frames come from a key frame as ever. A file
// changed since and a released store each give a fresh open. Past a
// quarter of the files the process may open, a movie is kept closed: taken
// up without opening its file, which opens again for a frame.
TEST_F(MovieFileTest, KeptMoviesAreTakenUpAsTheyWereLeft)
{
    CQTMovie::ReleaseKept();
    const Rect dst{0, 0, 48, 64};
    for (const TestMovie& m : TestMovies()) {
        if (m.width == 0) continue;
        SCOPED_TRACE(m.name);
        const std::string copy = dir_.file("kept." + m.name);
        ASSERT_TRUE(WriteFile(copy, ReadFile(m.path)));
        const int before = platform::MovieMediaOpenCount();
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(copy));
        ASSERT_TRUE(movie.DrawsFirstFrame()) << movie.GetLastError();
        ASSERT_TRUE(movie.KeepOpen());
        EXPECT_FALSE(movie.IsOpen());
        for (const TimeValue time : {0, 24, 900, 0}) {
            ASSERT_TRUE(movie.OpenFile(copy));
            int width = 0, height = 0;
            movie.GetSize(&width, &height);
            EXPECT_EQ(std::make_pair(width, height), std::make_pair(m.width, m.height));
            EXPECT_TRUE(AllPixels(Render(movie, time, &dst, 24), 3, time > 600 ? m.second : m.first)) << time;
            ASSERT_TRUE(movie.KeepOpen());
        }
        EXPECT_EQ(platform::MovieMediaOpenCount(), before + 1);
        // One more byte after the movie's end: another file.
        ASSERT_TRUE(WriteFile(copy, ReadFile(m.path) + '\0'));
        ASSERT_TRUE(movie.OpenFile(copy));
        EXPECT_EQ(platform::MovieMediaOpenCount(), before + 2);
        EXPECT_TRUE(AllPixels(Render(movie, 0, &dst, 24), 3, m.first));
        ASSERT_TRUE(movie.KeepOpen());
        CQTMovie::ReleaseKept();
        ASSERT_TRUE(movie.OpenFile(copy));
        EXPECT_EQ(platform::MovieMediaOpenCount(), before + 3);
    }
    const TestMovie& mp4 = TestMovieNamed("mp4");
    const std::string bytes = ReadFile(mp4.path);
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    const rlimit lowered{256, files.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    for (int i = 0; i <= 64; ++i) {
        const std::string copy = dir_.file("many" + std::to_string(i) + ".mp4");
        ASSERT_TRUE(WriteFile(copy, bytes));
        CQTMovie movie;
        ASSERT_TRUE(movie.OpenFile(copy));
        EXPECT_EQ(movie.KeepOpen(), i < 64) << i;
    }
    ::setrlimit(RLIMIT_NOFILE, &files);
    const int before = platform::MovieMediaOpenCount();
    CQTMovie closed;
    ASSERT_TRUE(closed.OpenFile(dir_.file("many64.mp4")));
    int width = 0, height = 0;
    closed.GetSize(&width, &height);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(mp4.width, mp4.height));
    EXPECT_EQ(platform::MovieMediaOpenCount(), before);
    EXPECT_TRUE(AllPixels(Render(closed, 0, &dst, 24), 3, mp4.first));
    EXPECT_EQ(platform::MovieMediaOpenCount(), before + 1);
    CQTMovie::ReleaseKept();
}

}  // namespace
}  // namespace tavrel_test
