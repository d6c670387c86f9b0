// Movie files on their way through the program: slides whose pictures are
// an MP4 and a MOV, and a show sound from an M4A, compiled, checked by
// swf-dump, played, and the sound decoded to its length.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../media/sound_fixtures.h"
#include "../show/show_test_util.h"
#include "program_runner.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_movies.h"
#include "support/test_support.h"
#include "swf/reader_primitives.h"
#include "swf/sounds.h"

namespace {

using cli_test::ProgramResult;
using cli_test::RunProgram;
using tavrel_test::TempDir;
using tavrel_test::TestMovieNamed;

// The movie's last DefineSound: its sample count, and its MP3 frames in
// mp3 when given; false when it has none.
bool DefinedSound(const std::string& movie, uint32_t* samples, const std::string& mp3 = "")
{
    CSwfReader reader;
    if (!reader.Parse(CPath(movie.c_str()), true, 0, true)) return false;
    const CTagDefineSound* sound = nullptr;
    for (CSwfTag* tag : reader.GetTags(nullptr))
        if (auto* s = dynamic_cast<const CTagDefineSound*>(tag)) sound = s;
    // The data starts with the two-byte seek count.
    const bool ok =
        sound && sound->data.size() > 2 &&
        (mp3.empty() || tavrel_test::WriteFile(mp3, std::string(sound->data.begin() + 2, sound->data.end())));
    if (ok) *samples = sound->sampleCount;
    reader.ClearTags(true);
    return ok;
}

std::string Slide(const std::string& src)
{
    return "<slide type=\"image\" src=\"" + src +
           "\" duration=\"1000\" >\n<transition_in>\n<transition name=\"None\" duration=\"500\" />\n"
           "</transition_in>\n</slide>\n";
}

TEST(MovieRoad, MoviesAsSlidesAndShowSound)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    const tavrel_test::TestMovie &mp4 = TestMovieNamed("mp4"), &mov = TestMovieNamed("mov"), &m4a = TestMovieNamed("m4a");
    ASSERT_FALSE(mp4.path.empty() || mov.path.empty() || m4a.path.empty()) << "ffmpeg could not make the test movies";
    TempDir dir;
    const std::string project = show_test::WrapShow(
        "<slide_show width=\"64\" height=\"48\" bg_color=\"16777215\">\n<slides>\n" + Slide(mp4.path) +
        Slide(mov.path) + "</slides>\n<sound_data include=\"true\">\n<sound src=\"" + m4a.path +
        "\" sample_rate=\"22050\" />\n</sound_data>\n</slide_show>\n");
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("show.tvr"), project));
    const ProgramResult r = RunProgram({"show.tvr", "show.swf"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "") << "no warning, and nothing of FFmpeg's own";
    EXPECT_NE(r.out.find("2 slides, 0 skipped"), std::string::npos) << r.out;
    const std::string movie = dir.file("show.swf");
    tavrel_test::ExpectDumpAccepts(movie, {"DefineBitsJPEG2", "DefineSound"});

    // Each slide shows its movie's first frame.
    const std::vector<tavrel_test::TagEvent> events = tavrel_test::ReadTagEvents(movie);
    int frame = 1;
    std::vector<int> slideFrames;
    for (const tavrel_test::TagEvent& e : events) {
        if (e.code == swf_tag::kFrameLabel && e.label.rfind("slide_", 0) == 0) slideFrames.push_back(frame);
        frame += e.code == swf_tag::kShowFrame;
    }
    ASSERT_EQ(slideFrames.size(), 2u);
    tavrel_test::ExpectPlayedFrame(movie, slideFrames[0] + 1, {{{32, 24}, mp4.first}, {{4, 4}, mp4.first}}, 24);
    tavrel_test::ExpectPlayedFrame(movie, slideFrames[1] + 1, {{{32, 24}, mov.first}, {{60, 44}, mov.first}}, 24);

    // The sound decodes to the length of the M4A's tone, after the
    // encoder's lead-in.
    if (!tavrel_test::HaveMpg123()) GTEST_SKIP() << "mpg123 is not installed";
    const std::string mp3 = dir.file("sound.mp3");
    uint32_t samples = 0;
    ASSERT_TRUE(DefinedSound(movie, &samples, mp3));
    EXPECT_NEAR(double(samples), m4a.seconds * 22050, 22050 * 0.05);
    std::vector<int16_t> pcm;
    ASSERT_TRUE(tavrel_test::DecodeMp3(mp3, mp3 + ".raw", 22050, 1, &pcm));
    EXPECT_NEAR(double(pcm.size()) - (576 + 529), m4a.seconds * 22050, 2.0 * 576 + 2048 / 2);
    EXPECT_NEAR(tavrel_test::Measure(pcm, 1, 0, 22050).hz, 440, 9);
}

// Valid sounds that FFmpeg decodes keep their length and their time: every
// click plays when the file has it, after the MP3 encoder's fixed delay of
// 1,105 samples, and nothing is said.
TEST(MovieRoad, ClickTracksKeepTheirTime)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    const struct {
        const char* name;
        int rate, channels;
        double from;  // silent before
        const char* codec;
        int lead;  // the codec's delay the file keeps, at rate
    } cases[] = {
        // Vorbis's timestamps move where its block size changes, at each click.
        {"mono.ogg", 44100, 1, 0, "-c:a libvorbis", 0},
        {"stereo.ogg", 48000, 2, 0, "-c:a libvorbis -q:a 8", 0},
        {"opus.opus", 48000, 2, 0, "-c:a libopus", 0},
        // Its edit list cuts the AAC padding off.
        {"aac.m4a", 22050, 1, 0, "-c:a aac", 0},
        // The length of a raw AAC stream is its frames', not one guessed from
        // the bit rate of its silent start; ADTS tells no encoder delay.
        {"silent.aac", 44100, 1, 1, "-c:a aac -f adts", 1024},
    };
    constexpr int kRate = 44100, kDelay = 1105;
    constexpr double kSeconds = 2;
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string sound = dir.file(c.name);
        ASSERT_TRUE(tavrel_test::RunFfmpeg(
            tavrel_test::ClickTrack(c.rate, kSeconds, c.from) + "-ac " + std::to_string(c.channels) + " " + c.codec,
            sound));
        ASSERT_TRUE(tavrel_test::WriteFile(
            dir.file("show.tvr"),
            show_test::WrapShow("<slide_show width=\"64\" height=\"48\">\n<slides>\n<slide type=\"blank\" "
                                "duration=\"1000\" />\n</slides>\n<sound_data include=\"true\">\n<sound src=\"" +
                                sound +
                                "\" sample_rate=\"44100\" stereo=\"false\" />\n</sound_data>\n</slide_show>\n")));
        const ProgramResult r = RunProgram({"--strict", "show.tvr", "show.swf"}, dir.path());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        uint32_t samples = 0;
        ASSERT_TRUE(DefinedSound(dir.file("show.swf"), &samples, dir.file("sound.mp3")));
        // Within one MP3 frame, and a frame of AAC padding where the file keeps it.
        const double lead = double(c.lead) / c.rate;
        EXPECT_NEAR(samples, (kSeconds + lead) * kRate, 1152 + lead * kRate);
        ASSERT_TRUE(tavrel_test::RunFfmpeg("-f mp3 -i '" + dir.file("sound.mp3") + "' -ac 1 -ar 44100 -f s16le",
                                           dir.file("sound.raw")));
        const std::string raw = tavrel_test::ReadFile(dir.file("sound.raw"));
        std::vector<int16_t> pcm(raw.size() / 2);
        std::memcpy(pcm.data(), raw.data(), pcm.size() * 2);
        const std::vector<double> clicks = tavrel_test::ClickTimes(pcm, kRate);
        ASSERT_EQ(clicks.size(), size_t((kSeconds - c.from) * 4));
        for (size_t k = 0; k < clicks.size(); ++k)
            EXPECT_NEAR(clicks[k], c.from + 0.25 * double(k) + lead + double(kDelay) / kRate, 0.001) << k;
    }
}

// FFmpeg's libraries are loaded only by a run that meets a movie file, and
// libcurl by none of these: the dynamic loader's own trace names every
// library it maps.
TEST(MovieRoad, FfmpegLoadsOnlyForMovies)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    const tavrel_test::TestMovie& mp4 = TestMovieNamed("mp4");
    ASSERT_FALSE(mp4.path.empty()) << "ffmpeg could not make the test movie";
    TempDir dir;
    const std::string jpeg = show_test::WriteJpeg(dir, "a.jpg", 64, 48);
    const std::string wave = dir.file("tone.wav"), mp3 = dir.file("tone.mp3");
    ASSERT_TRUE(tavrel_test::WriteTone(wave, tavrel_test::kWav16, 22050, 1, 22050, 440));
    ASSERT_TRUE(tavrel_test::RunFfmpeg("-i '" + wave + "' -c:a libmp3lame", mp3));
    const auto show = [&](const std::string& picture) {
        return show_test::WrapShow("<slide_show width=\"64\" height=\"48\">\n<slides>\n" + Slide(picture) +
                                   Slide(jpeg) + "<slide type=\"image\" src=\"" + jpeg +
                                   "\" duration=\"1000\">\n<sound_data include=\"true\">\n<sound src=\"" + mp3 +
                                   "\" />\n</sound_data>\n</slide>\n</slides>\n<sound_data include=\"true\">\n"
                                   "<sound src=\"" + wave + "\" />\n</sound_data>\n</slide_show>\n");
    };
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("pictures.tvr"), show(jpeg)));
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("movie.tvr"), show(mp4.path)));
    const struct {
        std::vector<std::string> args;
        bool loads;
    } kRuns[] = {
        {{"--version"}, false},
        {{"pictures.tvr", "pictures.swf"}, false},
        {{"movie.tvr", "movie.swf"}, true},
    };
    for (const auto& run : kRuns) {
        const ProgramResult r = RunProgram(run.args, dir.path(), {"LD_DEBUG=files"});
        ASSERT_EQ(r.exitCode, 0) << run.args[0] << ": " << r.err.substr(r.err.size() > 2000 ? r.err.size() - 2000 : 0);
        EXPECT_NE(r.err.find("file="), std::string::npos) << "the loader traced nothing";
        EXPECT_EQ(r.err.find("file=libavformat") != std::string::npos, run.loads) << run.args[0];
        EXPECT_EQ(r.err.find("file=libavcodec") != std::string::npos, run.loads) << run.args[0];
        // libcurl waits for a request; the TLS libraries it pulls in (as
        // FFmpeg's do) for that or a movie.
        EXPECT_EQ(r.err.find("file=libcurl"), std::string::npos) << run.args[0];
        if (!run.loads) {
            for (const char* tls : {"file=libssl", "file=libgnutls"})
                EXPECT_EQ(r.err.find(tls), std::string::npos) << run.args[0] << ": " << tls;
        }
    }
}

}  // namespace

namespace {

TEST(MovieRoad, DamagedSoundsAreSaid)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    struct Case {
        const char* kind;
        const char* said;      // in the warning
        uint32_t samples;      // at most this many in the show's DefineSound; 0: no sound kept
        bool kept = false;     // samples exactly, give or take a frame: what did not decode keeps its time
    } const cases[] = {
        {"bad.m4a", "cannot be read (its sound cannot be decoded): the movie goes without it", 0},
        {"cut.mp4", "is damaged (", 44100},  // 0.5 s or so of the claimed 10 s
        {"big.flac", "is damaged (it ends after 1.0 s of the 8589934.6 s it claims)", 44100},
        {"bad.ogg", "cannot be read (not a movie or sound file this program reads", 0},
        // libsndfile's road: MPEG audio whose decoder prints its own words.
        {"bad.mp3", "is damaged (it does not decode between ", 441000, true},
        {"cut.mp3", "is damaged (it ends after 0.0 s of the 10.0 s it claims)", 47, true},
        {"layer1.mp3", "is damaged (it does not decode at 0.0 s: ", 768, true},
        // Cut short: said by the length the header claims, and what decoded kept.
        {"cut.wav", "is damaged (it ends after 5.0 s of the 10.0 s it claims)", 220500, true},
        {"cut.aif", "is damaged (it ends after 5.0 s of the 10.0 s it claims)", 220500, true},
        {"cut.flac", "is damaged (it ends after 0.9 s of the 2.0 s it claims)", 10368 * 4, true},
        // Where libFLAC gives up for good, FFmpeg's decode of the rest takes over.
        {"mid.flac", "is damaged (it does not decode between 4.6 s and ", 441000, true},
        // An MP3's frames do not name their place: what follows its hole
        // would play early, so the sound ends there.
        {"hole.mp3", "is damaged (it does not decode between ", 44100 * 5},
        // A stretch that does not decode becomes silence of its length.
        {"holed.mp4", "is damaged (it does not decode between 3.6 s and 5.5 s: ", 441000, true},
        {"holed.aac", "is damaged (it does not decode between 4.0 s and 6.0 s: ", 442368, true},
        // Packets lost unread: their time is in the next one's timestamp.
        {"random.ogg", "is damaged (it does not decode between ", 441000, true},
        {"random.ts", "is damaged (it does not decode between ", 442368, true},
        // ADTS headers lost: what the bytes skipped held, nothing tells.
        {"random.aac", "(what follows plays early)", 442368},
    };
    // Every line on standard error is the program's own.
    const auto ours = [](const std::string& err) {
        std::string lines = "\n" + err;
        for (size_t at = 0; (at = lines.find('\n', at)) != std::string::npos && at + 1 < lines.size(); ++at)
            if (lines.compare(at + 1, 10, "show.tvr: ") != 0 && lines.compare(at + 1, 8, "tavrel: ") != 0) return false;
        return true;
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const std::string sound = tavrel_test::DamagedSound(dir.file(c.kind), c.kind);
        ASSERT_FALSE(sound.empty()) << "ffmpeg could not make the sound";
        for (const bool slideSound : {false, true}) {
            const std::string item = "<sound_data include=\"true\">\n<sound src=\"" + sound +
                                     "\" sample_rate=\"44100\" />\n</sound_data>\n";
            const std::string project = show_test::WrapShow(
                "<slide_show width=\"64\" height=\"48\">\n<slides>\n<slide type=\"blank\" duration=\"1000\">\n" +
                (slideSound ? item : "") + "</slide>\n</slides>\n" + (slideSound ? "" : item) + "</slide_show>\n");
            ASSERT_TRUE(tavrel_test::WriteFile(dir.file("show.tvr"), project));
            const ProgramResult r = RunProgram({"show.tvr", "show.swf"}, dir.path());
            ASSERT_EQ(r.exitCode, 0) << r.err;
            EXPECT_NE(r.err.find(std::string(slideSound ? "slide 1: sound \"" : "sound \"")), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("LeakSanitizer"), std::string::npos) << r.err;
            EXPECT_TRUE(ours(r.err)) << r.err;
            const ProgramResult strict = RunProgram({"--strict", "show.tvr", "strict.swf"}, dir.path());
            EXPECT_EQ(strict.exitCode, 4);
            EXPECT_TRUE(ours(strict.err)) << strict.err;
            if (slideSound) continue;
            // The event sound counts what was encoded, not what the file claims.
            uint32_t samples = 0;
            EXPECT_EQ(DefinedSound(dir.file("show.swf"), &samples), c.samples > 0);
            if (c.kept) {
                EXPECT_NEAR(samples, c.samples, 1152);
                continue;
            }
            EXPECT_LE(samples, c.samples);
            EXPECT_GE(samples, c.samples / 20);
        }
    }
}

}  // namespace
