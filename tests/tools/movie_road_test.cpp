// Movie files on their way through the program: slides whose pictures are
// an MP4 and a MOV, and a show sound from an M4A, compiled, checked by
// swf-dump, played, and the sound decoded to its length; valid sounds and
// valid movies of every kind users have, each against FFmpeg's own account
// of it.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../media/sound_fixtures.h"
#include "../show/show_test_util.h"
#include "media/mp3_frames.h"
#include "support/mpeg_frame_walk.h"
#include "program_runner.h"
#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_movies.h"
#include "support/test_support.h"
#include "media/jpeg_image.h"
#include "swf/bitmaps.h"
#include "swf/reader_primitives.h"
#include "swf/sounds.h"
#include "swf/sprite.h"

namespace {

using cli_test::ProgramResult;
using cli_test::RunProgram;
using tavrel_test::TempDir;
using tavrel_test::TestMovieNamed;

// The MP3 sounds of a compiled movie: the show's event sound, its stream,
// and the streams inside clips (slide sounds).
struct MovieSound {
    bool found = false;
    uint32_t samples = 0;   // DefineSound's count, or the sum of the stream blocks' counts
    uint16_t perFrame = 0;  // SoundStreamHead's count
    std::string mp3;        // the frames, back to back
};
struct MovieSounds {
    MovieSound event, stream, clip;
};

void TakeSoundTag(CSwfTag* tag, MovieSounds& sounds, bool inClip)
{
    MovieSound& stream = inClip ? sounds.clip : sounds.stream;
    if (auto* s = dynamic_cast<const CTagDefineSound*>(tag)) {
        sounds.event.found = true;
        sounds.event.samples = s->sampleCount;
        sounds.event.mp3.assign(s->data.begin() + std::min<size_t>(2, s->data.size()), s->data.end());
    } else if (auto* h = dynamic_cast<const CTagSoundStreamHead*>(tag)) {
        stream.found = true;
        stream.perFrame = h->sampleCount;
    } else if (auto* b = dynamic_cast<const CTagSoundStreamBlock*>(tag); b && b->data.size() >= 4) {
        stream.samples += uint32_t(b->data[0] | b->data[1] << 8);
        stream.mp3.append(b->data.begin() + 4, b->data.end());
    } else if (auto* sprite = dynamic_cast<CTagDefineSprite*>(tag)) {
        for (CSwfTag* inner : sprite->tags) TakeSoundTag(inner, sounds, true);
    }
}

MovieSounds ReadMovieSounds(const std::string& movie)
{
    MovieSounds sounds;
    CSwfReader reader;
    EXPECT_TRUE(reader.Parse(CPath(movie.c_str()), true, 0, true)) << movie;
    for (CSwfTag* tag : reader.GetTags(nullptr)) TakeSoundTag(tag, sounds, false);
    reader.ClearTags(true);
    return sounds;
}

// A test's name from its file's name.
template <class Param>
std::string FileParamName(const testing::TestParamInfo<Param>& info)
{
    std::string name = info.param.name;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
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
    const MovieSound sound = ReadMovieSounds(movie).event;
    ASSERT_TRUE(sound.found);
    EXPECT_NEAR(double(sound.samples), m4a.seconds * 22050, 22050 * 0.05);
    const std::string mp3 = dir.file("sound.mp3");
    ASSERT_TRUE(tavrel_test::WriteFile(mp3, sound.mp3));
    std::vector<int16_t> pcm;
    ASSERT_TRUE(tavrel_test::DecodeMp3(mp3, mp3 + ".raw", 22050, 1, &pcm));
    EXPECT_NEAR(double(pcm.size()) - (576 + 529), m4a.seconds * 22050, 2.0 * 576 + 2048 / 2);
    EXPECT_NEAR(tavrel_test::Measure(pcm, 1, 0, 22050).hz, 440, 9);
}

// A sound decoded by ffmpeg to one channel at rate: its length in seconds
// and the onsets of its clicks (tavrel_test::ClickTimes).
struct Clicks {
    double seconds = 0;
    std::vector<double> at;
};
Clicks FindClicks(const std::string& file, int rate, const char* format = "")
{
    Clicks clicks;
    const std::string raw = file + ".s16";
    if (!tavrel_test::RunFfmpeg(
            std::string(format) + " -i '" + file + "' -ac 1 -ar " + std::to_string(rate) + " -f s16le", raw))
        return clicks;
    const std::string bytes = tavrel_test::ReadFile(raw);
    std::vector<int16_t> pcm(bytes.size() / 2);
    if (!pcm.empty()) std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    clicks.seconds = double(pcm.size()) / rate;
    clicks.at = tavrel_test::ClickTimes(pcm, rate);
    return clicks;
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
        const MovieSound defined = ReadMovieSounds(dir.file("show.swf")).event;
        ASSERT_TRUE(defined.found);
        ASSERT_TRUE(tavrel_test::WriteFile(dir.file("sound.mp3"), defined.mp3));
        const uint32_t samples = defined.samples;
        // Within one MP3 frame, and a frame of AAC padding where the file keeps it.
        const double lead = double(c.lead) / c.rate;
        EXPECT_NEAR(samples, (kSeconds + lead) * kRate, 1152 + lead * kRate);
        const std::vector<double> clicks = FindClicks(dir.file("sound.mp3"), kRate, "-f mp3").at;
        ASSERT_EQ(clicks.size(), size_t((kSeconds - c.from) * 4));
        for (size_t k = 0; k < clicks.size(); ++k)
            EXPECT_NEAR(clicks[k], c.from + 0.25 * double(k) + lead + double(kDelay) / kRate, 0.001) << k;
    }
}

// A bit rate the encoder does not have at the sound's rate is said once,
// with the rate the MP3 is encoded at, and the movie's frames have that one;
// one it has is taken without a word. The show's sound and one slide sound
// per row.
TEST(MovieRoad, BitRatesAreSaidWithTheRateUsed)
{
    const struct {
        int rate, asked, used;
    } rows[] = {
        {44100, 7, 32},    {44100, 144, 128}, {44100, 1000, 320},  {22050, 200, 160},
        {22050, 8, 8},     {11025, 96, 64},   {11025, 100000, 64}, {5512, 100, 64},  // 5512 Hz is 11025 in the movie
        {44100, 160, 160},
        {12345, 64, 64},  // no such sample rate: 11025 used, where 64 kbit/s is had
    };
    TempDir dir;
    const std::string wave = dir.file("tone.wav");
    ASSERT_TRUE(tavrel_test::WriteTone(wave, tavrel_test::kWav16, 22050, 1, 6615, 440));
    const auto item = [&](int rate, int kbps) {
        return "<sound_data include=\"true\">\n<sound src=\"" + wave + "\" sample_rate=\"" + std::to_string(rate) +
               "\" bit_rate=\"" + std::to_string(kbps) + "\" />\n</sound_data>\n";
    };
    std::string slides;
    for (size_t i = 1; i < std::size(rows); ++i)
        slides += "<slide type=\"blank\" duration=\"500\">\n" + item(rows[i].rate, rows[i].asked) + "</slide>\n";
    ASSERT_TRUE(tavrel_test::WriteFile(
        dir.file("show.tvr"),
        show_test::WrapShow("<slide_show width=\"64\" height=\"48\">\n<slides>\n" + slides + "</slides>\n" +
                            item(rows[0].rate, rows[0].asked) + "</slide_show>\n")));
    const ProgramResult r = RunProgram({"show.tvr", "show.swf"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The show's sound is an event sound, each slide's a stream in its clip.
    std::vector<std::string> mp3s;
    CSwfReader reader;
    ASSERT_TRUE(reader.Parse(CPath(dir.file("show.swf").c_str()), true, 0, true));
    for (CSwfTag* tag : reader.GetTags(nullptr)) {
        if (auto* sound = dynamic_cast<const CTagDefineSound*>(tag))
            mp3s.insert(mp3s.begin(), {sound->data.begin() + 2, sound->data.end()});
        if (auto* sprite = dynamic_cast<CTagDefineSprite*>(tag)) {
            std::string stream;
            for (CSwfTag* inner : sprite->tags)
                if (auto* b = dynamic_cast<const CTagSoundStreamBlock*>(inner); b && b->data.size() > 4)
                    stream.append(b->data.begin() + 4, b->data.end());
            if (!stream.empty()) mp3s.push_back(stream);
        }
    }
    reader.ClearTags(true);
    ASSERT_EQ(mp3s.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& row = rows[i];
        SCOPED_TRACE(std::to_string(row.asked) + " kbit/s at " + std::to_string(row.rate) + " Hz");
        const int movieRate = row.rate == 22050 || row.rate == 44100 ? row.rate : 11025;
        const auto said = [&](const std::string& line) {
            size_t count = 0;
            for (size_t at = 0; (at = r.err.find(line, at)) != std::string::npos; at += line.size()) ++count;
            return count;
        };
        EXPECT_EQ(said("sound bit_rate=\"" + std::to_string(row.asked) + "\": the MP3 encoder has no such bit rate at " +
                       std::to_string(movieRate) + " Hz: " + std::to_string(row.used) + " used\n"),
                  // The default, which every project written holds, is
                  // said no more than when left out.
                  row.asked == row.used || row.asked == 96 ? 0u : 1u)
            << r.err;
        EXPECT_EQ(said("sound sample_rate=\"" + std::to_string(row.rate) +
                       "\": a movie's MP3 sound has no such sample rate: 11025 used\n"),
                  row.rate == movieRate ? 0u : 1u)
            << r.err;
        CMp3FrameList frames;
        frames.Split(reinterpret_cast<const uint8_t*>(mp3s[i].data()), mp3s[i].size());
        ASSERT_GT(frames.GetCount(), 0u);
        for (size_t f = 0; f < frames.GetCount(); ++f) ASSERT_EQ(frames.GetAt(f)->GetBitRate(), row.used * 1000) << f;
        // Every frame the encoder wrote: the 0.3 s after its delay, whole.
        EXPECT_GE(frames.GetCount() * (movieRate >= 32000 ? 1152u : 576u), 0.3 * movieRate + 1105);
    }
    EXPECT_EQ(RunProgram({"--strict", "show.tvr", "strict.swf"}, dir.path()).exitCode, 4);
    // The sample rate alone is a warning too.
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("rate.tvr"),
                                       show_test::WrapShow("<slide_show width=\"64\" height=\"48\">\n<slides>\n</slides>\n" +
                                                           item(12345, 64) + "</slide_show>\n")));
    EXPECT_EQ(RunProgram({"--strict", "rate.tvr", "strict.swf"}, dir.path()).exitCode, 4);
}

// A show of many movie slides opens each movie file twice at most in a run
// (a look at its head for every reader that tells a file's kind, and the
// movie's reader), however many slides come before it: the system's own
// account of the opens (strace).
TEST(MovieRoad, EachMovieFileOpensAtMostTwice)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    if (tavrel_test::RunCommand("strace -qq -o /dev/null true 2>&1").exitCode != 0) GTEST_SKIP() << "no strace";
    constexpr int kSlides = 70;
    TempDir dir;
    const std::string first = dir.file("m0.mp4");
    ASSERT_TRUE(tavrel_test::RunFfmpeg("-f lavfi -i testsrc2=s=64x48:d=0.2 -c:v libx264 -pix_fmt yuv420p", first));
    std::string slides;
    for (int i = 0; i < kSlides; ++i) {
        const std::string movie = dir.file("m" + std::to_string(i) + ".mp4");
        if (i > 0) std::filesystem::copy_file(first, movie);
        slides += Slide(movie);
    }
    ASSERT_TRUE(tavrel_test::WriteFile(
        dir.file("show.tvr"),
        show_test::WrapShow("<slide_show width=\"64\" height=\"48\">\n<slides>\n" + slides + "</slides>\n</slide_show>\n")));
    // The leak check cannot run under a tracer.
    const tavrel_test::ToolResult traced = tavrel_test::RunCommand(
        "cd '" + dir.path() + "' && ASAN_OPTIONS=detect_leaks=0 strace -f -qq -e trace=open,openat -o trace '" +
        TAVREL_PROGRAM "' show.tvr show.swf 2>&1");
    ASSERT_EQ(traced.exitCode, 0) << traced.output;
    EXPECT_NE(traced.output.find(std::to_string(kSlides) + " slides, 0 skipped"), std::string::npos) << traced.output;
    const std::string trace = tavrel_test::ReadFile(dir.file("trace"));
    for (int i = 0; i < kSlides; ++i) {
        const std::string opened = "/m" + std::to_string(i) + ".mp4\", O_";
        int opens = 0;
        for (size_t at = 0; (at = trace.find(opened, at)) != std::string::npos; at += opened.size()) ++opens;
        EXPECT_GE(opens, 1) << i;
        EXPECT_LE(opens, 2) << "movie " << i;
    }
}

// FFmpeg's libraries are loaded only by a run that meets a movie file, and
// libcurl by none of these: the dynamic loader's own trace names every
// library it maps. fontconfig starts only for a show with text.
TEST(MovieRoad, FfmpegLoadsOnlyForMovies)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    const tavrel_test::TestMovie& mp4 = TestMovieNamed("mp4");
    ASSERT_FALSE(mp4.path.empty()) << "ffmpeg could not make the test movie";
    TempDir dir;
    const std::string jpeg = show_test::WriteJpeg(dir, "a.jpg", 64, 48);
    const std::string wave = dir.file("tone.wav"), mp3 = dir.file("tone.mp3");
    ASSERT_TRUE(tavrel_test::WriteTone(wave, tavrel_test::kWav16, 22050, 1, 22050, 440));
    // VBR without a Xing header: read whole all the same, by libmpg123 alone.
    ASSERT_TRUE(tavrel_test::RunFfmpeg("-i '" + wave + "' -c:a libmp3lame -q:a 5 -write_xing 0", mp3));
    const auto show = [&](const std::string& picture) {
        return show_test::WrapShow("<slide_show width=\"64\" height=\"48\">\n<slides>\n" + Slide(picture) +
                                   Slide(jpeg) + "<slide type=\"image\" src=\"" + jpeg +
                                   "\" duration=\"1000\">\n<sound_data include=\"true\">\n<sound src=\"" + mp3 +
                                   "\" />\n</sound_data>\n</slide>\n</slides>\n<sound_data include=\"true\">\n"
                                   "<sound src=\"" + wave + "\" />\n</sound_data>\n</slide_show>\n");
    };
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("pictures.tvr"), show(jpeg)));
    // The movie show also has text, which is what starts the font catalogue.
    std::string movie = show(mp4.path);
    movie.insert(movie.find("</slide_show>"), "<caption_data>\n<caption txt=\"Hi\" />\n</caption_data>\n");
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("movie.tvr"), movie));
    const struct {
        std::vector<std::string> args;
        bool loads;
    } kRuns[] = {
        {{"--version"}, false},
        {{"pictures.tvr", "pictures.swf"}, false},
        {{"movie.tvr", "movie.swf"}, true},
    };
    for (const auto& run : kRuns) {
        // fontconfig says where it reads its configuration as it starts.
        const ProgramResult r = RunProgram(run.args, dir.path(), {"LD_DEBUG=files", "FC_DEBUG=1024"});
        EXPECT_EQ(r.out.find("Loading config file") != std::string::npos, run.loads) << run.args[0] << ": fonts";
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

// What a run did with a file, as `strace -y -e trace=openat,read,pread64`
// traced it: its opens, the calls that read it and the bytes they read.
struct SoundReads {
    int opens = 0, reads = 0;
    int64_t bytes = 0;
};
SoundReads CountSoundReads(const std::string& trace, const std::string& path)
{
    SoundReads counted;
    for (size_t at = 0, end; at < trace.size(); at = end + 1) {
        end = trace.find('\n', at);
        if (end == std::string::npos) end = trace.size();
        const std::string line = trace.substr(at, end - at);
        const size_t result = line.rfind(") = ");
        if (result == std::string::npos || line.compare(result + 4, 1, "-") == 0) continue;
        if (line.find("openat(") != std::string::npos && line.find("\"" + path + "\"") != std::string::npos) {
            ++counted.opens;
        } else if ((line.find(" read(") != std::string::npos || line.find(" pread64(") != std::string::npos) &&
                   line.find("<" + path + ">,") != std::string::npos) {
            ++counted.reads;
            counted.bytes += std::stoll(line.substr(result + 4));
        }
    }
    return counted;
}

TEST(MovieRoad, DamagedSoundsAreSaid)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    struct Case {
        const char* kind;
        const char* said;      // in the warning; "": valid, nothing said
        uint32_t samples;      // at most this many in the show's DefineSound; 0: no sound kept
        bool kept = false;     // samples exactly, give or take a frame: what did not decode keeps its time
        double click = 0;      // where the file's last click is, checked in the movie when not 0
        int reads = 0;         // at most this many reads of the file in a run, where not 0 (strace counts)
        // At most so many times its bytes read in a run, and so many opens
        // of it, where not 0 (strace counts): the check before the export
        // and the export each read it whole once, FLAC streams joined by
        // the thousand through one descriptor.
        double bytes = 0;
        int opens = 0;
    } const cases[] = {
        {"bad.m4a", "cannot be read (its sound cannot be decoded): the movie goes without it", 0},
        {"cut.mp4", "is damaged (", 44100},  // 0.5 s or so of the claimed 10 s
        {"cut.m4a", "cannot be read (the file is cut short or its index is missing): the movie goes without it", 0},
        {"big.flac", "is damaged (it ends after 1.0 s of the 8589934.6 s it claims)", 44100},
        {"bad.ogg", "cannot be read (the file is cut short): the movie goes without it", 0},
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
        // Frames of one size: those missing keep their time as silence.
        {"hole.mp3", "is damaged (it does not decode between 4.0 s and 6.0 s: 16092 bytes hold no MPEG audio frame)",
         441000, true},
        {"zeros.mp3", "is damaged (it does not decode between 4.0 s and 6.5 s: ", 441000, true},
        {"byte.mp3", "is damaged (it does not decode at 1.0 s: 418 bytes hold no MPEG audio frame)", 88200, true},
        {"noise.mp3", "is damaged (it does not decode between 1.0 s and 1.1 s: 1254 bytes hold no MPEG audio frame)",
         88200, true},
        {"gap.mp3", "is damaged (it does not decode between 0.4 s and 0.7 s: 1045 bytes hold no MPEG audio frame)",
         52920, true},
        // A frame whose header was damaged into another bit rate or layer
        // costs only its own time: said, and all after it plays on time
        // (with the encoder's delay, which no tag names).
        {"bitrate.mp3", "is damaged (it does not decode at 1.0 s: 41", 89856, true, 1.75 + 1105.0 / 44100},
        {"layer.mp3", "is damaged (it does not decode at 1.0 s: 41", 89856, true, 1.75 + 1105.0 / 44100},
        {"rate.mp3", "is damaged (it does not decode at 1.0 s: 41", 89856, true, 1.75 + 1105.0 / 44100},
        {"tagged.mp3", "is damaged (it does not decode at 1.0 s: 41", 88200, true, 1.75},
        // A recording cut mid-frame, then another: the cut frame keeps its
        // time, and the second plays whole after it (read by its own tag),
        // its last click 1.75 s after the first part's frames and the cut one.
        {"cutjoin.mp3", "is damaged (it does not decode at 1.2 s: a frame is cut short after 334 bytes, where other",
         144000, true, (47 * 1152 + 1105) / 44100.0 + 1.75},
        {"cutjoin_tags.mp3", "is damaged (it does not decode at 1.2 s: a frame is cut short after ", 141768, true,
         (47 * 1152 - 576) / 44100.0 + 1.75},
        {"cutjoin_vbr.mp3", "is damaged (it does not decode at 1.1 s: a frame is cut short after ", 138312, true,
         (44 * 1152 - 576) / 44100.0 + 1.75},
        // Bytes put in between frames: the frames after them, off the old
        // grid, are kept, late by the frame those bytes make.
        {"inserted.mp3", "is damaged (it does not decode at 1.0 s: 500 bytes hold no MPEG audio frame)", 89352, true,
         1.75 + 1152 / 44100.0},
        // Junk after every 20th frame, too short for a frame: no sound and
        // no time, however often it comes.
        {"junk5.mp3", "", 442368, true, 9.75 + 1105.0 / 44100},
        {"junk33.mp3", "", 442368, true, 9.75 + 1105.0 / 44100},
        {"junk100.mp3", "", 442368, true, 9.75 + 1105.0 / 44100},
        {"junk300.mp3", "", 442368, true, 9.75 + 1105.0 / 44100},
        // Each damaged frame said at its place; all between plays whole.
        {"flipped.mp3",
         "(it does not decode at 2.6 s, between 5.2 s and 5.3 s and between 7.8 s and 7.9 s: 418 bytes hold no MPEG "
         "audio frame)",
         442368, true, 9.75 + 1105.0 / 44100},
        // A frame lost with no trace but the Info tag's count: said, and what
        // follows it plays early.
        {"dropped.mp3", " of the 10.000 s it claims)", 439848, true, 9.75 - 1152 / 44100.0},
        {"cutjoin.mp2", "is damaged (it does not decode at 1.2 s: a frame is cut short after ", 142848, true, 2.9887},
        // A recording cut where a frame ends, then another: said, the first
        // as long as it plays alone (68,015 samples, its tag's delay cut), the
        // second on time after it, as it plays alone (an MP2 or a recording
        // without a tag with its coder's delay).
        {"cutlame.mp3",
         "is damaged (it does not decode at 1.5 s (what follows plays early): a recording ends after 1.5 s of the 3.0 "
         "s it claims)",
         244415, true, 68015 / 44100.0 + 3.75},
        {"cutlame_vbr.mp3", "(it does not decode at 1.5 s (what follows plays early): a recording ends after 1.5 s of ",
         244415, true, 68015 / 44100.0 + 3.75},
        {"cutlame_mp2.mp3", "(it does not decode at 1.5 s (what follows plays early): a recording ends after 1.5 s of ",
         245423, true, (68015 + 484) / 44100.0 + 3.75},
        {"cutlame_untagged.mp3",
         "(it does not decode at 1.5 s (what follows plays early): a recording ends after 1.5 s of ", 246575, true,
         (68015 + 1105) / 44100.0 + 3.75},
        // Nearly every frame of the least bit rate, and stray bytes before
        // some: all of it, and nothing said.
        {"tone_v6.mp3", "", 44100, true},
        // Three minutes read at most twice over and a little, stray bytes or
        // not.
        {"long_cbr.mp3", "", 7938000, true, 0, 0, 2.2},
        {"long_vbr.mp3", "", 7938000, true, 0, 0, 2.2},
        {"long_stray10.mp3", "", 7938000, true, 0, 0, 2.2},
        {"long_stray5.mp3", "", 7938000, true, 0, 0, 2.2},
        {"cutjoin.aac", "is damaged (it does not decode between 1.2 s and 1.3 s: a frame header is damaged)", 145408,
         true, 3.0272},
        // MP3 inside WAVE takes the same reader: whole, on time, in our words.
        {"noise.wav", "is damaged (it does not decode between 1.0 s and 1.1 s: ", 89856, true, 1.75 + 1105.0 / 44100},
        // Valid, read whole, and nothing said: VBR with no length in its header.
        {"quiet.mp3", "", 67968, true},
        {"loud.mp3", "", 67968, true},
        // The LAME tag's delay stands without a frame count; zeros after the
        // frames are no sound; one frame is a sound.
        {"info0.mp3", "", 88200, true, 1.75},
        {"padded.mp3", "", 52920, true, 0, 240},
        {"one.mp3", "", 1152, true},
        {"one.mp2", "", 1152, true},
        // A damaged last frame right where the one before ends: said.
        {"onelast.mp3", "is damaged (it does not decode between 0.0 s and 0.1 s: damaged MPEG audio data)", 2304, true},
        // A stretch that does not decode becomes silence of its length.
        {"holed.mp4", "is damaged (it does not decode between 3.6 s and 5.5 s: damaged AAC data)", 441000, true},
        // What libFLAC put silence in for is where; a seek back over damage
        // keeps what decodes before and after it.
        {"late.flac", "is damaged (it does not decode between 0.2 s and 0.3 s: frames there are lost)", 26460, true},
        {"head.flac", "is damaged (it does not decode between 0.0 s and 0.1 s: frames there are lost)", 26460, true},
        // Silence among lost frames at the start: judged, as the export
        // judges it, on the whole sound, said once, and kept on time.
        {"start.flac", "is damaged (it does not decode between 0.0 s and ", 88200, true, 1.5},
        // Its first frame lost: libFLAC gives the next as the first, and
        // stops; FFmpeg's decode, placed by the frames' time, takes it all.
        {"first.flac", "is damaged (it does not decode between 0.0 s and 0.1 s: frames there are lost)", 88200,
         true, 1.5},
        // libFLAC finds its way again by itself, as if nothing were lost:
        // from the piece it complained in, FFmpeg's decode takes over.
        {"resync.flac", "is damaged (it does not decode between 1.4 s and 1.5 s: frames there are lost)", 132300,
         true, 2.5},
        // Written through a pipe, its length is counted from its frames: past
        // the damage FFmpeg's decode takes over, as where the header gives it.
        {"piped.flac", "is damaged (it does not decode ", 264600, true, 5.75},
        {"ref.flac", "is damaged (it does not decode between ", 264600, true, 5.75},
        {"refpipe.flac", "is damaged (it does not decode between ", 264600, true, 5.75},
        // 32 bits a sample (libFLAC's own road): a damaged frame, frames
        // lost, each keeps its time; cut short, what there is.
        {"mid32.flac", "is damaged (it does not decode between ", 176400, true, 3.75},
        {"hole32.flac", "is damaged (it does not decode between ", 176400, true, 3.75},
        {"cut32.flac", "s: frames there are lost; it ends after ", 92610},
        // A header whose length is wrong: that frame is lost, its time kept
        // (the clicks come after the 1,024 samples the AAC encoder puts first).
        {"zero.aac", "is damaged (it does not decode at 3.0 s: a frame header is damaged)", 266240, true, 5.7732},
        {"seven.aac", "is damaged (it does not decode at 3.0 s: a frame header is damaged)", 266240, true, 5.7732},
        {"eight.aac", "is damaged (it does not decode at 3.0 s: a frame header is damaged)", 266240, true, 5.7732},
        {"long.aac", "is damaged (it does not decode at 3.0 s: a frame header is damaged)", 266240, true, 5.7732},
        {"first.aac", "is damaged (it does not decode at 0.0 s: a frame header is damaged)", 266240, true, 5.7732},
        // Bytes that hold no frame after every 20th frame: every frame kept,
        // each place said.
        {"junk.aac",
         "is damaged (it does not decode at 0.5 s, at 0.9 s, at 1.4 s, at 1.9 s, at 2.3 s, at 2.8 s, at 3.3 s, at 3.7 s, "
         "at 4.2 s, at 4.6 s, at 5.1 s and at 5.6 s (what follows plays early): 37 bytes hold no AAC frame)",
         266240, true, 5.7732},
        // Streams joined end to end that differ in rate and channels: all
        // of each, placed by its own rate, and nothing said.
        {"joined.aac", "", 624640, true, 13.9002},
        {"bare.aac", "cannot be read (its AAC frames hold their headers alone, no sound): the movie goes without it", 0},
        {"claim.aac", "cannot be read (the file is cut short: it holds 100 bytes of the 8191 its first frame takes)", 0},
        // A header's length that claims nothing: all is read, nothing said.
        {"open.flac", "", 44100, true},
        // Joined streams, the middle one cut short: the rest of its length
        // is silence, and the last plays on time.
        {"cutmid.flac", "is damaged (it does not decode between 2.7 s and 4.0 s: frames there are lost)", 264600, true, 5.75},
        // Tags a tagger put after the last frame are no frames lost.
        {"tagged.flac", "", 44100, true},
        {"open.wav", "", 44100, true},
        {"many.mka", "", 22050, true},
        // Header fields no sound has: said, which, and the sound left out.
        {"rate0.aif", "cannot be read (its header gives a sample rate of 0 Hz; a sound has 1000 to 768000)", 0},
        {"rate.wav", "cannot be read (its header gives a sample rate of 2147483647 Hz;", 0},
        {"channels.wav", "cannot be read (its header gives 255 channels; a sound has 1 to 64)", 0},
        {"bits0.aif", "cannot be read (its header gives a sample size of 0 bits; a sound has 1 to 64)", 0},
        {"holed.aac", "is damaged (it does not decode between 4.0 s and 6.0 s: damaged AAC data)", 442368, true},
        // Packets lost unread: their time is in the next one's timestamp.
        {"random.ogg", "s: packets there are lost)", 441000, true},
        {"random.ts", "s: packets there are lost)", 442368, true},
        // Chained Ogg links: a page lost within one, said, and its length
        // short of what the link claims; one cut short mid-page, said at its
        // end, and the next link found all the same.
        {"links.opus", "is damaged (it does not decode at 3.0 s: packets there are lost; it ends after 5.0 s of the 6.0 s it claims)",
         264600},
        {"cutlink.opus", "is damaged (it does not decode at 3.0 s (what follows plays early): packets there are lost)",
         264600},
        // The last link holds its first page alone: the chain ends before it.
        {"deadlink.ogg",
         "is damaged (it does not decode at 1.0 s (what follows plays early): a link of the chain cannot be read: the "
         "file is cut short; decoding stops after 1.0 s)",
         44100, true},
        // ADTS headers lost: what the bytes skipped held, nothing tells.
        {"random.aac", "(what follows plays early)", 442368},
        // The second part begins with a frame whose main data lies in the
        // frames cut away: its time is kept all the same.
        {"cutlame_reservoir.mp3", "(what follows plays early): a recording ends after 1.5 s of the 3.0 s it claims",
         68015 + (155 - 40) * 1152, true, (68015 + 1105 - 40 * 1152) / 44100.0 + 3.75},
        // A frame's bytes of zeros before every frame: a frame's silence for each.
        {"zeros417.mp3", ": 417 bytes hold no MPEG audio frame)", 88200 + 78 * 1152, true, 1.75 + 68 * 1152 / 44100.0},
        // Of varying bit rate without an Info frame, its first frames of one
        // rate: a zero byte before one frame or every one costs nothing.
        {"novbr_lame_at40.mp3", "", 133632, true, 2.75 + 1105.0 / 44100},
        {"novbr_lame_every.mp3", "", 133632, true, 2.75 + 1105.0 / 44100},
        {"novbr_ffmpeg_at40.mp3", "", 133632, true, 2.75 + 1105.0 / 44100},
        {"novbr_ffmpeg_every.mp3", "", 133632, true, 2.75 + 1105.0 / 44100},
        {"novbr_twolame_at40.mp2", "", 132480, true, 2.75 + 485.0 / 44100},
        {"novbr_twolame_every.mp2", "", 132480, true, 2.75 + 485.0 / 44100},
        // Tags between frames, whole or a bare word or a head whose size runs
        // into the next frame, are no damage: every sample, on time.
        {"apejoin.mp3", "", 352800, true, 7.75},
        {"lyricsjoin.mp3", "", 352800, true, 7.75},
        {"apeword.mp3", "", 176400, true, 3.75},
        {"id3mid.mp3", "", 176400, true, 3.75},
        {"id3over.mp3", "", 176400, true, 3.75},
        {"tagword.mp3", "", 176400, true, 3.75},
        // A recording joined on with its own header again after its Info
        // frame: all of it, on time, at the first's rate.
        {"infostray_22k.mp3", "", 352800, true, 7.75},
        {"infostray_64k.mp3", "", 352800, true, 7.75},
        {"infostray_mp2.mp3", "", 353808, true, 7.75 + 484.0 / 44100},
        // A free-format frame cut short: its size is still the others', and
        // the cut frame keeps its time.
        {"freecut1.mp3",
         "is damaged (it does not decode at 0.0 s: a frame is cut short after 129 bytes, where other frames begin)",
         179712, true, 3.75 + 1105.0 / 22050},
        {"freecut4.mp3",
         "is damaged (it does not decode at 0.0 s: a frame is cut short after 126 bytes, where other frames begin)",
         179712, true, 3.75 + 1105.0 / 22050},
        {"freecut8.mp3",
         "is damaged (it does not decode at 0.0 s: a frame is cut short after 122 bytes, where other frames begin)",
         179712, true, 3.75 + 1105.0 / 22050},
        // Layer II with a frame's first 7 bytes again before it, bare or in
        // WAVE: stray bytes, whole however often they come.
        {"mp2seven.mp2", "", 177408, true, 3.75 + 484.0 / 44100},
        {"mp2seven_every.mp2", "", 177408, true, 3.75 + 484.0 / 44100},
        {"mp2seven.wav", "", 177408, true, 3.75 + 484.0 / 44100},
        {"mp2seven_every.wav", "", 177408, true, 3.75 + 484.0 / 44100},
        // A frame whose checksum fails is damage: said at its time, its
        // sound silent, all after it on time.
        {"crc150.mp3", "is damaged (it does not decode at 3.9 s: damaged MPEG audio data)", 220500, true, 4.75},
        // A link cut short that holds nothing whole, then a short whole one
        // FFmpeg cannot open the file past: the cut said, the link after it
        // kept, its click on time (what the cut one held, nothing tells).
        {"cutvorbis_02.ogg",
         "is damaged (it does not decode at 0.0 s (what follows plays early): a link of the chain cannot be read: the "
         "file is cut short)",
         8820, true, 0.1},
        {"cutvorbis_03.ogg",
         "is damaged (it does not decode at 0.0 s (what follows plays early): a link of the chain cannot be read: the "
         "file is cut short)",
         13230, true, 0.1},
        // Read whole twice a run at most, in large blocks.
        {"joined2000.flac", "", 4410000, true, 0, 2200, 2.2, 12},
        {"segments.flac", "", 1323000, true, 29.75, 500, 2.2, 12},
        // 300 links, each opened for its own sound, each read once a run.
        {"segments.opus", "", 1323000, false, 0, 800, 2.2},
        // Links more than FFmpeg's reads keep: each probed from the bytes
        // the walk over the links holds, and read again only by its decode.
        {"long_links.opus", "", 4410000, false, 0, 200, 2.05},
        {"plain.flac", "", 2646000, true, 0, 400, 2.2, 12},
        {"plain.ogg", "", 2646000, true, 0, 100, 2.2, 12},
        {"plain.opus", "", 2646000, true, 0, 100, 2.2, 12},
    };
    // Every line on standard error is the program's own: "tavrel: ", or
    // "show.tvr: " or "show.tvr:LINE: ".
    const auto ours = [](const std::string& err) {
        std::string lines = "\n" + err;
        for (size_t at = 0; (at = lines.find('\n', at)) != std::string::npos && at + 1 < lines.size(); ++at) {
            if (lines.compare(at + 1, 8, "tavrel: ") == 0) continue;
            if (lines.compare(at + 1, 9, "show.tvr:") != 0) return false;
            const size_t digits = lines.find_first_not_of("0123456789", at + 10);
            if (digits == std::string::npos || lines.compare(digits, digits > at + 10 ? 2 : 1, digits > at + 10 ? ": " : " ") != 0) return false;
        }
        return true;
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        // The twolame rows need its writer, which the rest do not.
        if (std::strstr(c.kind, "twolame") && tavrel_test::RunCommand("command -v twolame >/dev/null").exitCode != 0)
            continue;
        const std::string sound = tavrel_test::DamagedSound(dir.file(c.kind), c.kind);
        ASSERT_FALSE(sound.empty()) << "ffmpeg could not make the sound";
        const std::string soundPath = sound;
        for (const bool slideSound : {false, true}) {
            const std::string item = "<sound_data include=\"true\">\n<sound src=\"" + sound +
                                     "\" sample_rate=\"44100\" />\n</sound_data>\n";
            const std::string project = show_test::WrapShow(
                "<slide_show width=\"64\" height=\"48\">\n<slides>\n<slide type=\"blank\" duration=\"1000\">\n" +
                (slideSound ? item : "") + "</slide>\n</slides>\n" + (slideSound ? "" : item) + "</slide_show>\n");
            ASSERT_TRUE(tavrel_test::WriteFile(dir.file("show.tvr"), project));
            const ProgramResult r = RunProgram({"show.tvr", "show.swf"}, dir.path());
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const bool valid = *c.said == '\0';
            if (valid) {
                EXPECT_EQ(r.err, "");
            }
            // One line for a sound, at its element's line: the check before
            // the export and the export judge it alike.
            const std::string named = slideSound ? "show.tvr:7: slide 1: sound \"" : "show.tvr:9: sound \"";
            size_t lines = 0;
            for (size_t at = 0; (at = r.err.find(named, at)) != std::string::npos; at += named.size()) ++lines;
            EXPECT_EQ(lines, valid ? 0u : 1u) << r.err;
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("LeakSanitizer"), std::string::npos) << r.err;
            EXPECT_TRUE(ours(r.err)) << r.err;
            const ProgramResult strict = RunProgram({"--strict", "show.tvr", "strict.swf"}, dir.path());
            EXPECT_EQ(strict.exitCode, valid ? 0 : 4);
            EXPECT_TRUE(ours(strict.err)) << strict.err;
            if (slideSound) continue;
            // The event sound counts what was encoded, not what the file claims.
            const MovieSound sound = ReadMovieSounds(dir.file("show.swf")).event;
            const uint32_t samples = sound.samples;
            EXPECT_EQ(sound.found, c.samples > 0);
            if (c.click > 0) {
                // After the MP3 encoder's fixed delay of 1,105 samples.
                ASSERT_TRUE(tavrel_test::WriteFile(dir.file("sound.mp3"), sound.mp3));
                const std::vector<double> clicks = FindClicks(dir.file("sound.mp3"), 44100, "-f mp3").at;
                // A row without clicks fails alone: the rows after it still run.
                EXPECT_FALSE(clicks.empty());
                if (!clicks.empty()) {
                    EXPECT_NEAR(clicks.back(), c.click + 1105.0 / 44100, 0.001);
                }
            }
            if ((c.reads > 0 || c.bytes > 0) && tavrel_test::RunCommand("strace -qq -o /dev/null true 2>&1").exitCode == 0) {
                // Read in large blocks, a few times over: each call that reads it,
                // its bytes and each open of it, counted (the leak check cannot
                // run under a tracer).
                const tavrel_test::ToolResult traced = tavrel_test::RunCommand(
                    "cd '" + dir.path() + "' && ASAN_OPTIONS=detect_leaks=0 strace -f -qq -y -e trace=openat,read,pread64 "
                    "-o trace '" TAVREL_PROGRAM "' show.tvr traced.swf 2>&1");
                ASSERT_EQ(traced.exitCode, 0) << traced.output;
                const SoundReads counted = CountSoundReads(tavrel_test::ReadFile(dir.file("trace")), soundPath);
                EXPECT_GT(counted.reads, 0) << "strace saw no read of the sound";
                if (c.reads > 0) {
                    EXPECT_LE(counted.reads, c.reads);
                }
                const double size = double(std::filesystem::file_size(soundPath));
                if (c.bytes > 0) {
                    EXPECT_LE(double(counted.bytes), c.bytes * size) << counted.bytes << " bytes of " << size;
                }
                if (c.opens > 0) {
                    EXPECT_LE(counted.opens, c.opens);
                }
            }
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

namespace {

// A click every second over a quiet tone, made at test time in each kind
// of file users have.
struct ValidSound {
    const char* name;  // the file's name, its kind
    int rate, channels;
    double seconds;
    const char* encode;  // ffmpeg's output options
    bool piped = false;  // written to a pipe, so no header is filled in afterwards
    // Recordings joined on end to end, as `cat` joins them: ffmpeg's output
    // options for each, over the same clicks.
    std::vector<const char*> then = {};
    bool exact = false;  // an event sound at the file's rate counts every sample, no more
    const char* lame = nullptr;  // the lame program's options, from a WAVE ffmpeg writes
    // What is done to the file's bytes, as users find them: bytes before
    // the first frame or between frames, which carry no sound.
    std::string (*edit)(const std::string& bytes) = nullptr;
    // Another program's command making the file of the WAVE ffmpeg writes
    // ("$IN") into "$OUT".
    const char* program = nullptr;
    // Written in pieces of so many seconds, each encoded alone into a file of
    // its own (its own header, an Ogg link's own serial), joined end to end
    // as `cat` joins them; pieces that sound alike (a second apart) are one
    // file, joined again.
    double piece = 0;
    // Cut by FFmpeg's segment muxer into files of so many seconds, each going
    // on from the one before (an Ogg link's granules, a FLAC stream's frame
    // numbers): those from `from` on, `count` of them (all where 0), joined
    // as `cat` joins them, each heard as it plays alone.
    double segment = 0;
    int from = 0, count = 0;
    // Its edit list plays so many seconds of silence before the clicks.
    double late = 0;
};

// So many pseudo-random bytes.
std::string Junk(size_t count)
{
    static std::mt19937 noise(16000);
    std::string junk(count, '\0');
    for (char& c : junk) c = char(noise());
    return junk;
}

// The MP3 (bare or in a WAVE file) with what junk gives put in after each
// frame, which takes its bytes [start, end).
std::string PutBetweenFrames(const std::string& mp3, const std::function<std::string(size_t, size_t)>& junk)
{
    const auto* p = reinterpret_cast<const uint8_t*>(mp3.data());
    CMp3Frame frame;
    size_t first = 0, at = 0, offset = 0;
    if (!frame.Locate(p, mp3.size(), &first)) return mp3;
    std::string out = mp3.substr(0, first);
    for (at = first; frame.Locate(p + at, mp3.size() - at, &offset) && offset == 0; at += 4 + size_t(frame.length))
        out += mp3.substr(at, 4 + size_t(frame.length)) + junk(at, at + 4 + size_t(frame.length));
    out += mp3.substr(at);
    // A WAVE file's sizes, its data chunk's right before the frames, grow.
    for (const size_t field : {size_t(4), first - 4}) {
        if (mp3.compare(0, 4, "RIFF") != 0) break;
        uint32_t size = 0;
        std::memcpy(&size, &out[field], 4);  // little-endian, as the host is
        size += uint32_t(out.size() - mp3.size());
        std::memcpy(&out[field], &size, 4);
    }
    return out;
}

// Zeros or a word before the first frame; random bytes no tag counts after
// an ID3v2 tag; 1 to 8 random bytes after frames 10, 20, ... 80, or 10 after
// every kEvery-th frame; kBytes after the Info frame, whose tag still
// holds; a zero byte after the frame each 16,000th byte falls in, as a
// stream capture's markers fall.
template <size_t kZeros>
std::string Lead(const std::string& mp3)
{
    return kZeros ? std::string(kZeros, '\0') + mp3 : "garbage" + mp3;
}
std::string AfterId3(const std::string& mp3)
{
    const auto byte = [&](size_t at) { return size_t(uint8_t(mp3[at])); };
    const size_t tag = 10 + (byte(6) << 21 | byte(7) << 14 | byte(8) << 7 | byte(9));
    return mp3.substr(0, tag) + Junk(100) + mp3.substr(tag);
}
template <size_t kEvery>
std::string Stray(const std::string& mp3)
{
    size_t frame = 0;
    return PutBetweenFrames(mp3, [&](size_t, size_t) {
        return ++frame % kEvery != 0 ? "" : kEvery == 10 ? Junk(frame <= 80 ? frame / 10 : 0) : Junk(10);
    });
}
template <size_t kBytes>
std::string AfterInfo(const std::string& mp3)
{
    bool first = true;
    return PutBetweenFrames(mp3, [&](size_t, size_t) { return std::exchange(first, false) ? Junk(kBytes) : ""; });
}
std::string Captured(const std::string& mp3)
{
    return PutBetweenFrames(mp3,
                            [](size_t start, size_t end) { return std::string(end / 16000 - start / 16000, '\0'); });
}
// Stray bytes before frames kFrom to kFrom + kCount - 1 (0: to the end, the
// bytes after the last frame too), frame 0 being the Info frame where there
// is one and negative kFrom counting from the last (-2 the second-last):
// kBytes of them, a zero byte or 01 02 03 ..., or 1 to 12 random bytes
// where kBytes is 0.
template <int kFrom, int kCount, int kBytes>
std::string StrayBefore(const std::string& mp3)
{
    int frames = 0;
    PutBetweenFrames(mp3, [&](size_t, size_t) {
        ++frames;
        return std::string();
    });
    const int from = kFrom < 0 ? frames + kFrom : kFrom;
    int frame = 0;
    return PutBetweenFrames(mp3, [&](size_t, size_t) {
        const int before = ++frame;  // the frame these bytes go before
        if (before < from || (kCount > 0 && before >= from + kCount)) return std::string();
        if (kBytes == 0) return Junk(1 + size_t(uint8_t(Junk(1)[0])) % 12);
        std::string bytes(kBytes, '\0');
        for (int k = 0; kBytes > 1 && k < kBytes; ++k) bytes[size_t(k)] = char(k + 1);
        return bytes;
    });
}

// kBytes before frame kFrom (frame 0 the Info frame where there is one, a
// negative kFrom counting from the end: -1 the last) and every kEvery-th
// after it (kEvery 0: that one alone), found by the stray-byte sweep's
// frame walk (free format too): zeros, or 0xFF, or the first frame of
// sound's header over and over (kHeader), with its rate changed
// (kOtherRate), or from 104 to 416 zeros by turns (kBytes 0).
enum StrayFill { kZeroBytes, kOnes, kHeader, kOtherRate };
template <int kFrom, int kEvery, int kBytes, StrayFill kFill = kZeroBytes>
std::string Before(const std::string& mp3)
{
    const tavrel_test::MpegStream s = tavrel_test::WalkMpegFrames(mp3);
    if (s.frames.size() < 4) return mp3;
    const std::string own = mp3.substr(s.frames[s.info ? 1 : 0].at, 4);
    const std::string header = kFill == kOtherRate ? tavrel_test::OtherRateHeader(own) : own;
    const size_t from = size_t(kFrom < 0 ? int(s.frames.size()) + kFrom : kFrom);
    return tavrel_test::PutBeforeFrames(mp3, s, [&](size_t k) {
        if (k < from || (kEvery == 0 ? k != from : (k - from) % kEvery != 0)) return std::string();
        if (kBytes == 0) return std::string(104 + k * 97 % 313, '\0');
        std::string bytes(static_cast<size_t>(kBytes), kFill == kOnes ? '\xFF' : '\0');
        for (size_t i = 0; kFill >= kHeader && i < bytes.size(); ++i) bytes[i] = header[i % 4];
        return bytes;
    });
}

// An MPEG-4 file's edit list rewritten in place: its two entries as 300 ms
// of silence, then 5,000 ms of the media from its sample 1,024 on.
std::string EditedFirst300(const std::string& mp4)
{
    const size_t elst = mp4.find("elst");
    if (elst == std::string::npos || mp4.compare(elst + 4, 8, std::string("\0\0\0\0\0\0\0\2", 8)) != 0) return "";
    const auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    const std::string entries = be32(300) + be32(0xFFFFFFFF) + be32(0x10000) + be32(5000) + be32(1024) + be32(0x10000);
    return std::string(mp4).replace(elst + 12, entries.size(), entries);
}

// ffmpeg's AAC of a WAVE file, the sound starting 0.3 s late: an edit list
// of silence first (0.3 s less the encoder's 1,024 samples of delay), then
// the media from its first sample.
constexpr char kAacLate[] = "ffmpeg -nostdin -loglevel error -itsoffset 0.3 -i \"$IN\" -c:a aac -f mp4 \"$OUT\"";

// The flac program's FLAC of a WAVE file.
constexpr char kFlac[] = "flac --silent -o \"$OUT\" \"$IN\"";

// A FLAC stream's length and the checksum of its samples left open in its
// STREAMINFO (a total of 0), as a writer into a pipe leaves them.
std::string LengthLeftOpen(const std::string& flac)
{
    constexpr size_t kInfo = 8;  // after "fLaC" and the block's header
    std::string out = flac;
    out[kInfo + 13] = char(out[kInfo + 13] & 0xF0);
    std::fill(out.begin() + kInfo + 14, out.begin() + kInfo + 34, '\0');
    return out;
}

const ValidSound kValidSounds[] = {
    {"s16.wav", 44100, 1, 2.5, "-c:a pcm_s16le"},
    {"u8.wav", 11025, 1, 2.5, "-c:a pcm_u8"},
    {"s16_8k.wav", 8000, 1, 2.5, "-c:a pcm_s16le"},
    // Compressed, the last block past the fact chunk's count of samples.
    {"gsm.wav", 8000, 1, 2.5, "-c:a libgsm_ms"},
    {"ima.wav", 22050, 2, 2.5, "-c:a adpcm_ima_wav"},
    // sox's IMA ADPCM: its last block holds 185 samples past its fact chunk's count.
    {"ima_sox.wav", 44100, 1, 5, "-c:a pcm_s16le", false, {}, true, nullptr, nullptr,
     "sox \"$IN\" -t wav -e ima-adpcm \"$OUT\""},
    {"s24.wav", 48000, 2, 2.5, "-c:a pcm_s24le"},  // written as WAVE_FORMAT_EXTENSIBLE
    {"s32.wav", 44100, 2, 2.5, "-c:a pcm_s32le"},
    {"f32.wav", 32000, 1, 2.5, "-c:a pcm_f32le"},
    {"f64.wav", 22050, 2, 2.5, "-c:a pcm_f64le"},
    {"s16_96k.wav", 96000, 2, 2.5, "-c:a pcm_s16le"},  // extensible above 48 kHz
    {"s16.aiff", 44100, 2, 2.5, "-c:a pcm_s16be"},
    {"s24.aiff", 22050, 1, 2.5, "-c:a pcm_s24be"},
    {"sowt.aifc", 44100, 1, 2.5, "-c:a pcm_s16le -f aiff"},
    {"fl32.aifc", 48000, 2, 2.5, "-c:a pcm_f32be -f aiff"},
    {"s16.flac", 44100, 2, 2.5, "-c:a flac"},
    {"s16_96k.flac", 96000, 1, 2.5, "-c:a flac"},
    {"piped.flac", 44100, 1, 2.5, "-c:a flac -f flac", true},  // its length left unknown
    // Its length counted from frame headers that give their rate in Hz.
    {"piped_s24_11k.flac", 11025, 2, 2.5, "-c:a flac -sample_fmt s32 -f flac", true},
    {"vorbis.ogg", 44100, 2, 2.5, "-c:a libvorbis"},
    {"vorbis_10s.ogg", 44100, 1, 10, "-c:a libvorbis"},
    {"opus.opus", 48000, 2, 2.5, "-c:a libopus -b:a 96k"},
    {"aac.m4a", 44100, 2, 2.5, "-c:a aac -b:a 128k"},
    // Edit lists as players follow them: silence first, then the media from
    // where and for as long as the list says, and no longer.
    {"late.m4a", 44100, 1, 5, "-c:a pcm_s16le -f wav", false, {}, false, nullptr, nullptr, kAacLate, 0, 0, 0, 0, 0.3},
    {"edited.m4a", 44100, 1, 5, "-c:a pcm_s16le -f wav", false, {}, true, nullptr, EditedFirst300, kAacLate, 0, 0, 0, 0, 0.3},
    {"adts.aac", 44100, 1, 2.5, "-c:a aac -f adts"},
    {"alac.m4a", 44100, 2, 2.5, "-c:a alac"},
    {"cbr_44k.mp3", 44100, 2, 2.5, "-c:a libmp3lame -b:a 128k"},
    {"cbr_44k_noxing.mp3", 44100, 2, 2.5, "-c:a libmp3lame -b:a 128k -write_xing 0"},
    {"vbr_48k.mp3", 48000, 2, 2.5, "-c:a libmp3lame -q:a 2"},
    {"vbr_44k_noxing.mp3", 44100, 1, 2.5, "-c:a libmp3lame -q:a 5 -write_xing 0"},
    {"abr_32k.mp3", 32000, 2, 2.5, "-c:a libmp3lame -abr 1 -b:a 96k"},
    {"abr_22k_noxing.mp3", 22050, 1, 2.5, "-c:a libmp3lame -abr 1 -b:a 48k -write_xing 0"},
    {"cbr_24k.mp3", 24000, 1, 2.5, "-c:a libmp3lame -b:a 48k"},
    {"vbr_16k.mp3", 16000, 1, 2.5, "-c:a libmp3lame -q:a 6"},
    {"cbr_22k.mp3", 22050, 2, 2.5, "-c:a libmp3lame -b:a 64k"},
    {"cbr_12k.mp3", 12000, 1, 2.5, "-c:a libmp3lame -b:a 24k"},  // MPEG-2.5
    {"vbr_11k_noxing.mp3", 11025, 1, 2.5, "-c:a libmp3lame -q:a 5 -write_xing 0"},
    {"cbr_8k.mp3", 8000, 1, 2.5, "-c:a libmp3lame -b:a 8k"},
    {"mpeg2_mono.mp3", 22050, 1, 2.5, "-c:a libmp3lame -b:a 32k"},
    {"mpeg2_joint.mp3", 24000, 2, 2.5, "-c:a libmp3lame -b:a 64k -joint_stereo 1"},
    {"layer2.mp2", 44100, 2, 2.5, "-c:a mp2 -b:a 192k"},
    {"layer2_mono_48k.mp2", 48000, 1, 2.5, "-c:a mp2 -b:a 96k"},
    {"mp3.wav", 44100, 2, 2.5, "-c:a libmp3lame -b:a 128k -f wav"},
    {"mp2.wav", 32000, 1, 2.5, "-c:a mp2 -b:a 64k -f wav"},
    // More channels than the movie's, mixed down without moving a click
    // (every channel carries the clicks).
    {"s16_5.1.wav", 48000, 6, 2.5, "-af 'pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0' -c:a pcm_s16le"},
    {"s16_5.1.flac", 44100, 6, 2.5, "-af 'pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0' -c:a flac"},
    {"aac_5.1.m4a", 48000, 6, 2.5, "-af 'pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0' -c:a aac -b:a 256k"},
    {"s16_4ch.wav", 22050, 4, 2.5, "-af 'pan=4.0|c0=c0|c1=c0|c2=c0|c3=c0' -c:a pcm_s16le"},
    {"s24_3ch.wav", 44100, 3, 2.5, "-c:a pcm_s24le"},
    {"s16_7.1.wav", 44100, 8, 2.5, "-af 'pan=7.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0|c6=c0|c7=c0' -c:a pcm_s16le"},
    // FFmpeg's AIFF of more than two channels: its CHAN chunk before COMM.
    {"s16_5.1.aif", 44100, 6, 2.5, "-af 'pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0' -c:a pcm_s16be -f aiff"},
    {"s16_quad.aif", 22050, 4, 2.5, "-af 'pan=quad|c0=c0|c1=c0|c2=c0|c3=c0' -c:a pcm_s16be -f aiff"},
    {"s24_3.0.aif", 48000, 3, 2.5, "-af 'pan=3.0|c0=c0|c1=c0|c2=c0' -c:a pcm_s24be -f aiff"},
    {"sowt_5.1.aifc", 44100, 6, 2.5, "-af 'pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0' -c:a pcm_s16le -f aiff"},
    {"fl32_5.1.aifc", 48000, 6, 2.5, "-af 'pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0' -c:a pcm_f32be -f aiff"},
    // Each joined part keeps its time, converted to the first's rate and
    // channels.
    {"joined_rates.mp3", 44100, 2, 1.5, "-c:a libmp3lame -b:a 128k -write_xing 0 -id3v2_version 0",
     false, {"-ar 24000 -c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version 0 -f mp3",
             "-c:a libmp3lame -b:a 128k -write_xing 0 -id3v2_version 0 -f mp3"}},
    {"joined_channels.mp3", 44100, 1, 1.5, "-c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version 0",
     false, {"-ac 2 -c:a libmp3lame -b:a 128k -write_xing 0 -id3v2_version 0 -f mp3"}},
    {"joined_down.mp3", 22050, 2, 1.5, "-c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version 0",
     false, {"-ar 48000 -ac 1 -c:a libmp3lame -b:a 96k -write_xing 0 -id3v2_version 0 -f mp3"}},
    // Each part's own Info frame and LAME tag, between its ID3v2 tag and its
    // sound: the frame is no sound, and each part's delay and padding go.
    {"joined_tags.mp3", 44100, 2, 1.5, "-c:a libmp3lame -b:a 128k", false,
     {"-c:a libmp3lame -b:a 128k -f mp3", "-c:a libmp3lame -q:a 2 -f mp3"}, true},
    {"joined_tags_rates.mp3", 44100, 2, 1.5, "-c:a libmp3lame -b:a 128k -id3v2_version 0", false,
     {"-ar 22050 -ac 1 -c:a libmp3lame -b:a 64k -id3v2_version 0 -f mp3",
      "-ar 48000 -c:a libmp3lame -q:a 4 -id3v2_version 0 -f mp3"}, true},
    // Free format: no bit rate in the header, each frame's size found from
    // the next header (FFmpeg does not decode it; LAME and mpg123 do).
    {"free_format.mp3", 44100, 2, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "--freeformat -b 400"},
    // A part without a tag keeps its frames whole, as it plays alone.
    {"joined_untagged_first.mp3", 22050, 1, 1.5, "-c:a libmp3lame -b:a 32k -write_xing 0", false,
     {"-c:a libmp3lame -b:a 32k -f mp3", "-c:a libmp3lame -q:a 6 -f mp3"}},
    // A change of format ends a tagged part where its tag's count does: its
    // padding goes there, and the LAME tag after a Layer II part counts.
    {"lame_mp2_48k.mp3", 44100, 1, 1.5, "-c:a pcm_s16le -f wav", false, {"-ar 48000 -c:a mp2 -f mp2"}, false, "-b 128"},
    {"tagged_8k_mp2.mp3", 8000, 1, 1.5, "-c:a libmp3lame -b:a 16k", false, {"-ar 44100 -c:a mp2 -f mp2"}},
    {"vbr_22k_mp2.mp3", 22050, 1, 1.5, "-c:a pcm_s16le -f wav", false, {"-c:a mp2 -f mp2"}, false, "-V4"},
    {"abr_11k_16k.mp3", 11025, 1, 1.3, "-c:a pcm_s16le -f wav", false,
     {"-ar 16000 -c:a libmp3lame -b:a 32k -write_xing 0 -id3v2_version 0 -f mp3"}, false, "--abr 32"},
    {"mp2_lame.mp3", 44100, 1, 1.5, "-c:a mp2 -f mp2", false, {"lame -b 128"}},
    // A whole tagged recording, then one of its format without a tag: its
    // checksum tells where the first ends, its padding goes.
    {"lame_untagged.mp3", 44100, 1, 1.5, "-c:a pcm_s16le -f wav", false, {"lame -b 128 -m m -t"}, false, "-b 128 -m m"},
    {"lame_mp2.mp3", 44100, 1, 1.5, "-c:a pcm_s16le -f wav", false, {"-c:a mp2 -f mp2"}, false, "-b 128"},
    // Bytes before the first frame, and stray bytes between frames: no
    // sound, no time, nothing said.
    {"lead_zero.mp3", 44100, 1, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128", Lead<1>},
    {"lead_word.mp3", 44100, 1, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128", Lead<0>},
    {"lead_4k.mp3", 44100, 1, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128", Lead<4096>},
    {"lead_64k.mp3", 44100, 1, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128", Lead<65536>},
    {"id3_junk.mp3", 44100, 2, 2.5, "-c:a libmp3lame -b:a 128k", false, {}, false, nullptr, AfterId3},
    {"stray.mp3", 44100, 1, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128", Stray<10>},
    {"stray.wav", 44100, 1, 2.5, "-c:a libmp3lame -b:a 128k -f wav", false, {}, false, nullptr, Stray<10>},
    {"stray_2.mp3", 44100, 1, 2.5, "-c:a libmp3lame -b:a 128k -write_xing 0", false, {}, false, nullptr, Stray<2>},
    {"stray_20.mp3", 44100, 2, 2.5, "-c:a libmp3lame -b:a 128k -write_xing 0", false, {}, false, nullptr, Stray<20>},
    {"stray_info_1.mp3", 44100, 1, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128", AfterInfo<1>},
    {"stray_info_7.mp3", 44100, 2, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128", AfterInfo<7>},
    {"captured.mp3", 44100, 2, 2.5, "-c:a libmp3lame -b:a 128k -write_xing 0", false, {}, false, nullptr, Captured},
    // However often they come, and wherever: around a frame, before every
    // frame (as every player plays them), after the Info frame and the
    // first audio frame, near the end of a stream of varying bit rate; at
    // every MPEG version.
    {"stray_around.mp3", 44100, 1, 4, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128 -m m", StrayBefore<100, 2, 1>},
    {"stray_around_vbr.mp3", 44100, 2, 4, "-c:a pcm_s16le -f wav", false, {}, false, "-V2", StrayBefore<100, 2, 1>},
    {"stray_random_v4.mp3", 44100, 1, 4, "-c:a pcm_s16le -f wav", false, {}, false, "-V4", StrayBefore<60, 2, 0>},
    {"stray_every.mp3", 44100, 1, 4, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128 -m m", StrayBefore<2, 0, 5>},
    {"stray_every_22k.mp3", 22050, 1, 4, "-c:a pcm_s16le -f wav", false, {}, false, "-V4 -m m", StrayBefore<2, 0, 5>},
    {"stray_every_random.mp3", 24000, 2, 4, "-c:a pcm_s16le -f wav", false, {}, false, "-V2", StrayBefore<1, 0, 0>},
    {"stray_after_each.mp3", 44100, 1, 4, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128 -m m",
     StrayBefore<1, 0, 1>},
    {"stray_after_three.mp3", 44100, 2, 4, "-c:a libmp3lame -b:a 128k", false, {}, false, nullptr,
     StrayBefore<3, 0, 3>},
    {"stray_end_22k.mp3", 22050, 2, 8, "-c:a pcm_s16le -f wav", false, {}, false, "-V4 -m m", StrayBefore<-3, 1, 5>},
    {"stray_end_24k.mp3", 24000, 1, 8, "-c:a pcm_s16le -f wav", false, {}, false, "-V4 -m m", StrayBefore<-2, 2, 5>},
    {"stray_tag_11k.mp3", 11025, 1, 4, "-c:a pcm_s16le -f wav", false, {}, false, "-b 32", StrayBefore<1, 2, 1>},
    {"stray_tag_44k.mp3", 44100, 1, 4, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128 -m m", StrayBefore<1, 2, 1>},
    // Fewer bytes than the shortest frame (417 at 128 kbit/s, 104 at
    // 32 kbit/s and 22,050 Hz, 144 at 16 kbit/s and 8 kHz) before every
    // frame, every second one, the first of sound, the last; the frame's
    // own header or a cut one of another rate (FF FB 94), which players
    // pass over; in free format too.
    {"zeros_104_to_416.mp3", 44100, 2, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128", Before<1, 1, 0>},
    {"zeros_40_every_second_22k.mp3", 22050, 1, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 32 -m m -t",
     Before<2, 2, 40>},
    {"zeros_100_every_8k.mp3", 8000, 1, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 16 -m m", Before<1, 1, 100>},
    {"zeros_40_first_22k.mp3", 22050, 1, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 32 -m m -t",
     Before<1, 0, 40>},
    {"zeros_100_first_8k.mp3", 8000, 1, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 16 -m m", Before<1, 0, 100>},
    {"ff_last_8k.mp3", 8000, 1, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 16 -m m", Before<-1, 0, 1, kOnes>},
    {"header_every.mp3", 44100, 2, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128", Before<1, 1, 4, kHeader>},
    {"header_every_second.mp3", 44100, 2, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128",
     Before<2, 2, 4, kHeader>},
    {"header_second.mp3", 44100, 2, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128", Before<2, 0, 4, kHeader>},
    {"header_every_second_v6.mp3", 44100, 1, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-V6",
     Before<2, 2, 37, kHeader>},
    {"header_last.mp3", 44100, 2, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128", Before<-1, 0, 4, kHeader>},
    {"cut_header_48k_every.mp3", 44100, 2, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "-b 128",
     Before<1, 1, 3, kOtherRate>},
    {"free_format_lead.mp3", 44100, 2, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "--freeformat -b 640", Lead<1>},
    {"free_format_second.mp3", 44100, 2, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "--freeformat -b 640",
     Before<2, 0, 1>},
    {"free_format_13_every.mp3", 44100, 2, 2.5, "-c:a pcm_s16le -f wav", false, {}, false, "--freeformat -b 640",
     Before<1, 1, 13>},
    // Shine's MP3 as FFmpeg writes it, its Info frame naming no delay.
    {"shine.mp3", 44100, 2, 8, "-c:a libshine -b:a 128k"},
    // FLAC streams joined end to end, each with its own header: at another
    // rate and channel count, and the same file twice.
    {"joined_rates.flac", 44100, 2, 1.5, "-c:a flac", false, {"-ar 22050 -ac 1 -c:a flac -f flac"}},
    {"joined_same.flac", 44100, 1, 1.5, "-c:a flac", false, {"-c:a flac -f flac"}},
    // Chained Ogg: a link of another codec, and one of another rate.
    {"chained_opus.ogg", 44100, 2, 1.5, "-c:a libvorbis", false, {"-ar 48000 -c:a libopus -f ogg"}},
    {"chained_11k.ogg", 44100, 2, 1.5, "-c:a libvorbis", false, {"-ar 11025 -ac 1 -c:a libvorbis -f ogg"}},
    // Four raw AAC streams of other rates and channels: no drift from part to part.
    {"joined_four.aac", 44100, 2, 1.5, "-c:a aac -f adts", false,
     {"-ar 22050 -ac 1 -c:a aac -f adts", "-ar 48000 -c:a aac -f adts", "-ar 8000 -ac 1 -c:a aac -f adts"}},
    // 32 bits a sample, as flac 1.4 writes it (libsndfile reads 24 at most):
    // whole, on time, at its level.
    {"s32.flac", 44100, 1, 2.5, "-c:a pcm_s32le -f wav", false, {}, true, nullptr, nullptr, kFlac},
    {"s32_stereo_96k.flac", 96000, 2, 2.5, "-c:a pcm_s32le -f wav", false, {}, true, nullptr, nullptr,
     "flac --silent -8 -o \"$OUT\" \"$IN\""},
    // Its length and checksum left open in its header, as a writer into a
    // pipe leaves them: the length is counted from its frames.
    {"s32_piped.flac", 48000, 2, 2.5, "-c:a pcm_s32le -f wav", false, {}, true, nullptr, LengthLeftOpen, kFlac},
    // 2,000 streams of 50 ms joined: every one plays, 100 s in all.
    {"joined_2000.flac", 44100, 1, 100, "-c:a flac", false, {}, true, nullptr, nullptr, nullptr, 0.05},
    // Ogg links of 50 ms, each written alone with a serial and pre-skip of
    // its own (opusenc's 312 samples, FFmpeg's own encoder's 120), played as
    // opusdec and oggdec play them: nothing said.
    {"chained_20.opus", 48000, 2, 1, "-c:a pcm_s16le -f wav", false, {}, false, nullptr, nullptr,
     "opusenc --quiet \"$IN\" \"$OUT\"", 0.05},
    {"chained_40_native.opus", 48000, 1, 2, "-c:a opus -strict -2 -f ogg", false, {}, false, nullptr, nullptr, nullptr,
     0.05},
    {"chained_40.ogg", 44100, 2, 2, "-c:a libvorbis -f ogg", false, {}, false, nullptr, nullptr, nullptr, 0.05},
    // FFmpeg's segment muxer: Opus links whose granules go on from the link
    // before, as long as opusdec plays them (not from 0), alone (the third)
    // and joined; Vorbis links the same, as oggdec plays them; FLAC files
    // whose frame numbers go on from the file before, joined (the last file
    // holding headers alone) and alone.
    {"segment_link.opus", 48000, 2, 3.6, "-c:a libopus -b:a 64k", false, {}, false, nullptr, nullptr, nullptr, 0, 1.2,
     2, 1},
    {"segment_links.opus", 48000, 2, 3.6, "-c:a libopus -b:a 64k", false, {}, false, nullptr, nullptr, nullptr, 0, 1.2},
    {"segment_links.ogg", 44100, 1, 3.6, "-c:a libvorbis", false, {}, false, nullptr, nullptr, nullptr, 0, 1.2},
    {"segment_joined.flac", 48000, 1, 3.6, "-c:a flac", false, {}, false, nullptr, nullptr, nullptr, 0, 0.3},
    {"segment_part.flac", 48000, 1, 3.6, "-c:a flac", false, {}, false, nullptr, nullptr, nullptr, 0, 0.3, 3, 1},
};

void PrintTo(const ValidSound& sound, std::ostream* os)
{
    *os << sound.name;
}

// The loudness of each channel of a sound as FFmpeg decodes it to channels.
std::vector<double> ChannelLoudness(const std::string& file, int channels, const char* format = "")
{
    const std::string raw = file + ".ch.s16";
    std::vector<double> rms(size_t(channels), 0.0);
    if (!tavrel_test::RunFfmpeg(std::string(format) + " -i '" + file + "' -ac " + std::to_string(channels) +
                                    " -f s16le",
                                raw))
        return {};
    const std::string bytes = tavrel_test::ReadFile(raw);
    const size_t frames = bytes.size() / 2 / size_t(channels);
    for (size_t f = 0; f < frames; ++f)
        for (size_t c = 0; c < size_t(channels); ++c) {
            int16_t v;
            std::memcpy(&v, bytes.data() + 2 * (f * size_t(channels) + c), 2);
            rms[c] += double(v) * v;
        }
    for (double& r : rms) r = std::sqrt(r / double(std::max<size_t>(frames, 1)));
    return rms;
}

// An AIFF file of FFmpeg's with its CHAN chunk's body put in place of
// FFmpeg's: a Core Audio layout tag, bitmap and channel labels.
std::string WithAiffLayout(const std::string& aiff, uint32_t tag, uint32_t bitmap = 0,
                           const std::vector<uint32_t>& labels = {})
{
    const auto be32 = [](uint32_t v) {
        return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    };
    std::string body = be32(tag) + be32(bitmap) + be32(uint32_t(labels.size()));
    for (const uint32_t label : labels) body += be32(label) + std::string(16, '\0');
    const size_t chan = aiff.find("CHAN");
    if (chan == std::string::npos) return "";
    uint32_t size = 0;
    for (size_t k = 0; k < 4; ++k) size = size << 8 | uint8_t(aiff[chan + 4 + k]);
    std::string out = aiff.substr(0, chan) + "CHAN" + be32(uint32_t(body.size())) + body + aiff.substr(chan + 8 + size);
    return out.replace(4, 4, be32(uint32_t(out.size() - 8)));
}

// A sound of more channels than the movie's is mixed by one rule whichever
// decoder reads it, and the rule is FFmpeg's own downmix: a tone in the
// centre sounds alike in both sides, at the level FFmpeg mixes it to; one
// in the low-frequency channel alone is left out. An AIFF file's channels
// are where its CHAN chunk puts them, before COMM (as FFmpeg writes it) or
// after, by tag, bitmap or labels: the tone is heard as a WAVE file with it
// in that place is.
TEST(MovieRoad, SurroundMixesAsFfmpegDoes)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    constexpr uint32_t kCLRLsRsLfe = 124 << 16 | 6, kBitmap = 1 << 16, kLabels = 0;
    const struct {
        const char* name;
        const char* pan;  // where the tone is
        const char* encode;
        bool heard;
        // Where the layout the file is given puts the tone, as a WAVE file's
        // channel mask puts it; the file's own (as FFmpeg reads it) where null.
        const char* truth = nullptr;
        std::function<std::string(const std::string&)> edit = nullptr;
    } cases[] = {
        {"centre_5.1.aif", "5.1|FC=c0", "-c:a pcm_s16be -f aiff", true},
        {"side_5.1.aifc", "5.1(side)|SL=c0", "-c:a pcm_s16le -f aiff", true},
        {"centre_5.1_fl32.aifc", "5.1|FC=c0", "-c:a pcm_f32be -f aiff", true},
        {"back_quad.aif", "quad|BL=c0", "-c:a pcm_s16be -f aiff", true},
        {"right_3.0.aif", "3.0|FR=c0", "-c:a pcm_s24be -f aiff", true},
        {"centre_first.aif", "5.1|FL=c0", "-c:a pcm_s16be -f aiff", true, "5.1|FC=c0",
         [](const std::string& a) { return WithAiffLayout(a, kCLRLsRsLfe); }},
        {"lfe_last.aif", "5.1|BR=c0", "-c:a pcm_s16be -f aiff", false, "5.1|LFE=c0",
         [](const std::string& a) { return WithAiffLayout(a, kCLRLsRsLfe); }},
        {"bitmap_quad.aif", "quad|BL=c0", "-c:a pcm_s16be -f aiff", true, "quad|BL=c0",
         [](const std::string& a) { return WithAiffLayout(a, kBitmap, 0x33); }},
        {"labels.aif", "5.1|FL=c0", "-c:a pcm_s16be -f aiff", true, "5.1|FC=c0",
         [](const std::string& a) { return WithAiffLayout(a, kLabels, 0, {3, 1, 2, 5, 6, 4}); }},
        // CHAN after COMM, as libsndfile writes it.
        {"after_comm.aif", "5.1|FL=c0", "-c:a pcm_s16be -f aiff", true, "5.1|FC=c0", [](const std::string& a) {
             const std::string moved = WithAiffLayout(a, kCLRLsRsLfe);
             const size_t chan = moved.find("CHAN"), comm = moved.find("COMM");
             return moved.substr(0, chan) + moved.substr(comm, 26) + moved.substr(chan, 20) + moved.substr(comm + 26);
         }},
        {"centre.wav", "5.1|FC=c0", "-c:a pcm_s16le", true},
        {"centre.flac", "5.1|FC=c0", "-c:a flac", true},
        {"centre.m4a", "5.1|FC=c0", "-c:a aac -b:a 256k", true},
        {"centre_back.wav", "5.1|FC=c0|BL=c0", "-c:a pcm_s16le", true},
        {"left_surround.wav", "5.1(side)|SL=c0", "-c:a pcm_s16le", true},
        {"back_centre.wav", "4.0|BC=c0", "-c:a pcm_s16le", true},
        {"left_7.1.wav", "7.1|FL=c0|SR=c0", "-c:a pcm_s24le", true},
        {"lfe.wav", "5.1|LFE=c0", "-c:a pcm_s16le", false},
        {"lfe.m4a", "5.1|LFE=c0", "-c:a aac -b:a 256k", false},
        {"lfe_2.1.wav", "2.1|LFE=c0", "-c:a pcm_s16le", false},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string sound = dir.file(c.name);
        const auto tone = [](const char* pan) {
            return std::string("-f lavfi -i sine=f=440:sample_rate=44100:d=1 -af 'pan=") + pan + "' ";
        };
        ASSERT_TRUE(tavrel_test::RunFfmpeg(tone(c.pan) + c.encode, sound));
        if (c.edit) {
            ASSERT_TRUE(tavrel_test::WriteFile(sound, c.edit(tavrel_test::ReadFile(sound))));
        }
        const std::string truth = c.truth ? dir.file("truth.wav") : sound;
        if (c.truth) {
            ASSERT_TRUE(tavrel_test::RunFfmpeg(tone(c.truth) + "-c:a pcm_s16le", truth));
        }
        for (const int channels : {2, 1}) {
            SCOPED_TRACE(channels);
            ASSERT_TRUE(tavrel_test::WriteFile(
                dir.file("show.tvr"),
                show_test::WrapShow("<slide_show width=\"64\" height=\"48\">\n<slides>\n<slide type=\"blank\" "
                                    "duration=\"1000\" />\n</slides>\n<sound_data include=\"true\">\n<sound src=\"" +
                                    sound + "\" sample_rate=\"44100\" bit_rate=\"256\" stereo=\"" +
                                    (channels == 2 ? "true" : "false") + "\" />\n</sound_data>\n</slide_show>\n")));
            const ProgramResult r = RunProgram({"--strict", "show.tvr", "show.swf"}, dir.path());
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const MovieSound defined = ReadMovieSounds(dir.file("show.swf")).event;
            ASSERT_TRUE(defined.found);
            EXPECT_NEAR(defined.samples, 44100, 1152);
            ASSERT_TRUE(tavrel_test::WriteFile(dir.file("sound.mp3"), defined.mp3));
            const std::vector<double> got = ChannelLoudness(dir.file("sound.mp3"), channels, "-f mp3");
            const std::vector<double> want = ChannelLoudness(truth, channels);
            ASSERT_EQ(got.size(), size_t(channels));
            ASSERT_EQ(want.size(), size_t(channels));
            for (int k = 0; k < channels; ++k) {
                const double expected = want[size_t(k)];
                if (c.heard)
                    EXPECT_NEAR(got[size_t(k)], expected, expected * 0.05 + 20) << "channel " << k;
                else
                    EXPECT_LT(got[size_t(k)], 20) << "channel " << k;
            }
        }
    }
}

class ValidSoundTest : public testing::TestWithParam<ValidSound> {};

// Each sound as the show's event sound and a slide sound in one movie, and
// as the show's stream and a slide sound at other rates in another: every
// MP3 in the movie holds the whole sound, and each click plays when it
// does in the file, after the encoder's and decoder's fixed delay.
TEST_P(ValidSoundTest, PlaysWholeAndOnTime)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    const ValidSound& sound = GetParam();
    TempDir dir;
    const std::string file = dir.file(sound.name);
    // The clicks from `from` seconds on, for so many.
    const auto track = [&](double from, double seconds) {
        char t[32];
        std::snprintf(t, sizeof t, from > 0 ? "(t+%.6f)" : "t", from);
        return std::string("-f lavfi -i \"aevalsrc='0.05*sin(2*PI*300*") + t + ")+if(lt(mod(" + t +
               "\\,1)\\,0.02)\\,0.8*sin(2*PI*1000*" + t + ")\\,0)':s=" + std::to_string(sound.rate) +
               ":d=" + std::to_string(seconds) + "\" -ac " + std::to_string(sound.channels) + " " + sound.encode;
    };
    const std::string clicks = track(0, sound.piece > 0 ? sound.piece : sound.seconds);
    ASSERT_TRUE(tavrel_test::RunFfmpeg(clicks + (sound.piped ? " - >" : ""), file)) << clicks;
    // Where a decoder puts the clicks: a codec's delay that the file does
    // not state stays in, for the program as for anyone. Joined parts play
    // one after another, each as it plays alone (FFmpeg's decode of the
    // whole loses its timestamps at a join). LAME's tag states its delay;
    // where its frames are too small for one (8 kHz at 16 kbit/s) it stays
    // in, so the lame program's files are measured as FFmpeg decodes them
    // (all but free format, which FFmpeg does not decode and whose tag
    // states its delay).
    // The flac program's files are read as FLAC, which FFmpeg decodes to
    // 24 bits at most: their clicks are the WAVE's.
    Clicks source = FindClicks(file, 48000);
    // The lame program's MP3 of the WAVE file at path, in its place.
    const auto lame = [](const std::string& path, const std::string& options) {
        const auto made = tavrel_test::RunCommand("lame --quiet " + options + " - '" + path + ".mp3' < '" + path +
                                                  "' && mv '" + path + ".mp3' '" + path + "'");
        EXPECT_EQ(made.exitCode, 0) << "the lame program (Debian's lame package): " << made.output;
        return made.exitCode == 0;
    };
    // The other program's file of it, in its place.
    const auto program = [&](const std::string& path) {
        const auto made = tavrel_test::RunCommand("(IN='" + path + "' OUT='" + path + ".made' && " + sound.program +
                                                  " && mv \"$OUT\" \"$IN\")");
        EXPECT_EQ(made.exitCode, 0) << sound.program << ": " << made.output;
        return made.exitCode == 0;
    };
    ASSERT_TRUE(!sound.lame || lame(file, sound.lame));
    if (sound.lame && !std::strstr(sound.lame, "--freeformat")) source = FindClicks(file, 48000);
    ASSERT_TRUE(!sound.program || program(file));
    std::string joined = tavrel_test::ReadFile(file);
    if (sound.piece > 0) {
        // Each piece encoded alone from its stretch of the clicks, and as
        // long as that stretch, as the reference decoders (flac, opusdec,
        // oggdec) play it. Pieces a whole second apart sound alike: a FLAC
        // one is made once, an Ogg link afresh for a serial of its own.
        std::map<long, std::pair<std::string, std::vector<double>>> made;
        joined.clear();
        source = Clicks{};
        const long count = std::lround(sound.seconds / sound.piece);
        for (long i = 0; i < count; ++i) {
            const double from = double(i % std::lround(1 / sound.piece)) * sound.piece;
            const long key = std::lround(from * 1e6);
            if (made.count(key) == 0 || std::strstr(sound.name, ".flac") == nullptr) {
                const std::string part = dir.file(std::string("piece_") + sound.name);
                ASSERT_TRUE(tavrel_test::RunFfmpeg(track(from, sound.piece), part));
                const std::vector<double> at = made.count(key) ? made[key].second : FindClicks(part, 48000).at;
                ASSERT_TRUE(!sound.program || program(part));
                made[key] = {tavrel_test::ReadFile(part), at};
            }
            joined += made[key].first;
            for (double at : made[key].second) source.at.push_back(double(i) * sound.piece + at);
        }
        source.seconds = sound.seconds;
    }
    if (sound.segment > 0) {
        const std::string kind = std::strrchr(sound.name, '.');
        ASSERT_TRUE(tavrel_test::RunFfmpeg(clicks + " -f segment -segment_time " + std::to_string(sound.segment),
                                           dir.file("segment_%d" + kind)));
        joined.clear();
        source = Clicks{};
        for (int i = sound.from; sound.count == 0 || i < sound.from + sound.count; ++i) {
            const std::string part = dir.file("segment_" + std::to_string(i) + kind);
            if (!std::filesystem::exists(part)) break;
            // The last file may hold headers alone (FLAC's, its STREAMINFO
            // counting the whole stream): joined all the same.
            const Clicks heard = FindClicks(part, 48000);
            for (double at : heard.at) source.at.push_back(source.seconds + at);
            source.seconds += heard.seconds;
            joined += tavrel_test::ReadFile(part);
        }
        ASSERT_GT(source.seconds, 0) << "no segment";
    }
    for (const char* options : sound.then) {
        const std::string part = dir.file("part");
        const bool byLame = std::strncmp(options, "lame ", 5) == 0;
        const std::string input =
            clicks.substr(0, clicks.find(" -ac ")) + " " + (byLame ? "-c:a pcm_s16le -f wav" : options);
        ASSERT_TRUE(tavrel_test::RunFfmpeg(input, part)) << input;
        ASSERT_TRUE(!byLame || lame(part, options + 5));
        joined += tavrel_test::ReadFile(part);
        const Clicks more = FindClicks(part, 48000);
        for (double at : more.at) source.at.push_back(source.seconds + at);
        source.seconds += more.seconds;
    }
    ASSERT_TRUE(tavrel_test::WriteFile(file, sound.edit ? sound.edit(joined) : joined));
    // A click a second; segments hold those of their stretch.
    if (sound.segment > 0) {
        ASSERT_TRUE(!source.at.empty() && source.at.size() >= size_t(source.seconds) &&
                    source.at.size() <= size_t(source.seconds) + 1)
            << source.at.size() << " clicks in " << source.seconds << " s: the click finder fails on the source";
    } else {
        ASSERT_EQ(source.at.size(), size_t(std::ceil(sound.seconds)) * (1 + sound.then.size()))
            << "the click finder fails on the source";
    }

    struct Use {
        const char* name;
        int rate, kbits;
        bool stereo;
        MovieSound MovieSounds::*sound;
    };
    const struct {
        float fps;
        Use show, slide;
        bool sync;
    } runs[] = {
        {12, {"event", 44100, 128, false, &MovieSounds::event}, {"slide", 22050, 64, true, &MovieSounds::clip}, false},
        {25, {"stream", 11025, 32, false, &MovieSounds::stream}, {"slide", 44100, 160, true, &MovieSounds::clip}, true},
    };
    const auto item = [&](const Use& use, bool sync) {
        return "<sound_data include=\"true\">\n<sound src=\"" + file + "\" sample_rate=\"" + std::to_string(use.rate) +
               "\" bit_rate=\"" + std::to_string(use.kbits) + "\" stereo=\"" + (use.stereo ? "true" : "false") +
               "\" sync=\"" + (sync ? "true" : "false") + "\" />\n</sound_data>\n";
    };
    for (const auto& run : runs) {
        // The slide outlasts the sound, so the show's stream is written whole.
        const std::string project = show_test::WrapShow(
            "<slide_show width=\"64\" height=\"48\" fps=\"" + std::to_string(int(run.fps)) +
            "\">\n<slides>\n<slide type=\"blank\" duration=\"" + std::to_string(int(source.seconds * 1000) + 1000) +
            "\">\n" + item(run.slide, false) + "</slide>\n</slides>\n" + item(run.show, run.sync) + "</slide_show>\n");
        ASSERT_TRUE(tavrel_test::WriteFile(dir.file("show.tvr"), project));
        ProgramResult r = RunProgram({"--strict", "show.tvr", "show.swf"}, dir.path());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        // What the warning spoke of is measured all the same.
        if (r.exitCode == 4) r = RunProgram({"show.tvr", "show.swf"}, dir.path());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const MovieSounds sounds = ReadMovieSounds(dir.file("show.swf"));
        for (const Use& use : {run.show, run.slide}) {
            SCOPED_TRACE(std::string(use.name) + " at " + std::to_string(use.rate) + " Hz");
            const MovieSound& got = sounds.*use.sound;
            ASSERT_TRUE(got.found);
            const double frame = use.rate >= 32000 ? 1152 : 576;
            if (use.sound != &MovieSounds::event) {
                EXPECT_EQ(got.perFrame, int(float(use.rate) / run.fps));
            }
            // An event sound counts what it plays; a stream's blocks carry
            // its MP3 frames, the encoder's delay and padding with them.
            const double length = (source.seconds + sound.late) * use.rate;
            const double delay = 576 + 529;  // libmp3lame's encoder delay and the decoder's
            // LAME pads its last frame past the sound's end by up to its
            // 288-sample overlap, so a sound that ends just before a frame
            // boundary takes one frame more.
            const double padding = 288;
            const bool event = use.sound == &MovieSounds::event;
            const double counted = length + (event ? 0 : delay + padding / 2);
            EXPECT_NEAR(got.samples, counted, frame + (event ? 0 : padding / 2));
            if (sound.exact && use.sound == &MovieSounds::event && use.rate == sound.rate) {
                EXPECT_EQ(got.samples, std::llround(length));
            }
            const std::string mp3 = dir.file(std::string(use.name) + ".mp3");
            ASSERT_TRUE(tavrel_test::WriteFile(mp3, got.mp3));
            const Clicks played = FindClicks(mp3, use.rate, "-f mp3");
            EXPECT_NEAR(played.seconds * use.rate, length + delay + padding / 2, frame + padding / 2);
            // Each click's lateness in ms, after the fixed delay.
            std::string late;
            double worst = 0;
            for (size_t i = 0; i < played.at.size() && i < source.at.size(); ++i) {
                const double ms = (played.at[i] - delay / use.rate - sound.late - source.at[i]) * 1000;
                worst = std::max(worst, std::fabs(ms));
                late += std::to_string(ms).substr(0, 5) + " ";
            }
            EXPECT_TRUE(played.at.size() == source.at.size() && worst <= 1)
                << played.at.size() << " of " << source.at.size() << " clicks, late (ms): " << late;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ValidSoundTest, testing::ValuesIn(kValidSounds), FileParamName<ValidSound>);

}  // namespace

namespace {

// Movies of the kinds users have, made at test time from FFmpeg's test
// pattern, each the one slide of a 640 × 480 show.
struct ValidMovie {
    const char* name;  // the file's name, its kind
    const char* make;  // ffmpeg's options: the pattern's size, then the encoding
    int width, height;  // the slide
    const char* slide = "";  // more attributes of the slide element
    // FFmpeg's filters from the frame to the slide's picture, before the
    // scale to the slide's size.
    const char* frame = "";
    bool turned = false;  // a quarter turn in the track's matrix, as phones write
    double levels = 1.5;  // how far each channel's mean may be from FFmpeg's
};
const ValidMovie kValidMovies[] = {
    {"h264.mp4", "s=640x480 -c:v libx264 -pix_fmt yuv420p", 640, 480},
    {"h264_10bit.mp4", "s=640x480 -c:v libx264 -pix_fmt yuv420p10le", 640, 480},
    {"h264_444.mp4", "s=640x480 -c:v libx264 -pix_fmt yuv444p", 640, 480},
    {"h264_full.mp4", "s=640x480 -c:v libx264 -pix_fmt yuvj420p", 640, 480},
    // Larger than the slide, with BT.709 colour.
    {"hd709.mp4", "s=1280x720 -c:v libx264 -pix_fmt yuv420p -colorspace bt709 -color_primaries bt709 -color_trc bt709",
     640, 360},
    {"hevc.mp4", "s=640x480 -c:v libx265 -x265-params log-level=error -pix_fmt yuv420p -tag:v hvc1", 640, 480},
    {"vp9.webm", "s=640x480 -c:v libvpx-vp9 -b:v 1M", 640, 480},
    {"vp9_full.webm", "s=640x480 -c:v libvpx-vp9 -b:v 1M -color_range pc", 640, 480},
    {"vp8.webm", "s=640x480 -c:v libvpx -b:v 1M", 640, 480},
    {"av1.mkv", "s=640x480 -c:v libaom-av1 -crf 30 -cpu-used 8", 640, 480},
    {"mpeg4.avi", "s=640x480 -c:v mpeg4 -q:v 3", 640, 480},
    {"mpeg2.ts", "s=720x576 -c:v mpeg2video -q:v 3 -f mpegts", 600, 480},
    {"mjpeg.mov", "s=640x480 -c:v mjpeg -q:v 2", 640, 480},
    {"prores.mov", "s=640x480 -c:v prores_ks", 640, 480},
    {"qtrle.mov", "s=640x480 -c:v qtrle -pix_fmt argb", 640, 480},
    // Fitted by its own aspect, not its 256 × 144 working picture's.
    {"odd.mp4", "s=642x362 -c:v libx264 -pix_fmt yuv420p", 640, 361},
    {"small.mp4", "s=320x240 -c:v libx264 -pix_fmt yuv420p", 640, 480},
    {"sar.mp4", "s=480x480 -vf setsar=4/3 -c:v libx264 -pix_fmt yuv420p", 640, 480},
    {"turned.mp4", "s=640x480 -c:v libx264 -pix_fmt yuv420p", 360, 480, "", "", true},
    // A crop at odd offsets, a turn with a mirror, a size of the slide's own.
    {"crop.mp4", "s=640x480 -c:v libx264 -pix_fmt yuv420p", 549, 480,
     " crop=\"true\" crop_left=\"101\" crop_top=\"51\" crop_right=\"500\" crop_bottom=\"400\"",
     "format=rgb24,crop=399:349:101:51,"},
    {"turnflip.mp4", "s=1280x720 -c:v libx264 -pix_fmt yuv420p", 270, 480,
     " rotate=\"90\" flip_horizontal=\"true\"", "hflip,transpose=clock,"},
    {"fixed.mp4", "s=320x240 -c:v libx264 -pix_fmt yuv420p", 333, 111,
     " scale_to_fit=\"false\" width=\"333\" height=\"111\""},
    // Reductions of hundreds of times, past what libswscale makes at once:
    // the whole frame's colour, within what a JPEG of a pixel or four keeps.
    {"tiny.mp4", "s=640x480 -c:v libx264 -pix_fmt yuv420p", 2, 2, " scale_to_fit=\"false\" width=\"2\" height=\"2\"",
     "", false, 3},
    {"mpeg2_hd.mpg", "s=1920x1080 -c:v mpeg2video -q:v 3", 1, 1, " scale_to_fit=\"false\" width=\"1\" height=\"1\"",
     "", false, 3},
};

// Turns the first track of a QuickTime or MPEG-4 file a quarter clockwise,
// as a phone held upright writes it (a = 0, b = 1, c = -1, d = 0, x = the
// height); false when it has no version 0 track header.
bool TurnQuarter(std::string& movie, int height)
{
    const size_t tkhd = movie.find("tkhd");
    if (tkhd == std::string::npos || tkhd + 80 > movie.size() || movie[tkhd + 4] != '\0') return false;
    const uint32_t matrix[9] = {0, 0x10000, 0, 0xFFFF0000, 0, 0, uint32_t(height) << 16, 0, 0x40000000};
    for (int i = 0; i < 9; ++i)
        for (int b = 0; b < 4; ++b) movie[tkhd + 44 + size_t(i) * 4 + size_t(b)] = char(matrix[i] >> (24 - 8 * b));
    return true;
}

void PrintTo(const ValidMovie& movie, std::ostream* os)
{
    *os << movie.name;
}

// Makes the row's movie.
class ValidMovieTest : public testing::TestWithParam<ValidMovie> {
protected:
    void SetUp() override
    {
        if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
        const std::string make = std::string("-f lavfi -i testsrc2=d=1:") + GetParam().make;
        if (!tavrel_test::RunFfmpeg(make, file_)) GTEST_SKIP() << "this ffmpeg cannot make it: " << make;
        if (!GetParam().turned) return;
        std::string bytes = tavrel_test::ReadFile(file_);
        ASSERT_TRUE(TurnQuarter(bytes, 480));
        ASSERT_TRUE(tavrel_test::WriteFile(file_, bytes));
    }

    TempDir dir_;
    const std::string file_ = dir_.file(GetParam().name);
};

// The slide's bitmap is the movie's first frame as FFmpeg shows it, scaled
// to the slide's size (Lanczos, colour at full resolution): its luma within
// 36 dB and each channel's mean within the row's levels, through the JPEG at
// quality 80. A frame shifted by a pixel, stretched, turned the wrong way
// or read with the wrong colour matrix or range falls far below.
TEST_P(ValidMovieTest, FirstFrameAsFfmpegShowsIt)
{
    const ValidMovie& m = GetParam();
    const TempDir& dir = dir_;
    const std::string& file = file_;
    const std::string project = show_test::WrapShow(
        "<slide_show width=\"640\" height=\"480\">\n<slides>\n<slide type=\"image\" src=\"" + file +
        "\" duration=\"500\"" + m.slide + " />\n</slides>\n</slide_show>\n");
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("show.tvr"), project));
    const ProgramResult r = RunProgram({"--strict", "show.tvr", "show.swf"}, dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    std::string jpeg;
    CSwfReader reader;
    ASSERT_TRUE(reader.Parse(CPath(dir.file("show.swf").c_str()), true, 0, true));
    for (CSwfTag* tag : reader.GetTags(nullptr))
        if (auto* bits = dynamic_cast<const CTagDefineBitsJPEG2*>(tag); bits && jpeg.empty())
            jpeg.assign(bits->data.begin(), bits->data.end());
    reader.ClearTags(true);
    // The players' erroneous header before the stream, where it is written.
    if (jpeg.compare(0, 4, "\xFF\xD9\xFF\xD8") == 0) jpeg.erase(0, 4);
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("bitmap.jpg"), jpeg));
    CJpegImage bitmap;
    ASSERT_TRUE(bitmap.Load(CPath(dir.file("bitmap.jpg"))));
    ASSERT_EQ(std::make_pair(bitmap.width, bitmap.height), std::make_pair(uint32_t(m.width), uint32_t(m.height)));
    ASSERT_EQ(bitmap.bitsPerPixel, 24);

    const std::string scale = "scale=" + std::to_string(m.width) + ":" + std::to_string(m.height) +
                              ":flags=lanczos+accurate_rnd+full_chroma_int+full_chroma_inp,format=rgb24";
    ASSERT_TRUE(tavrel_test::RunFfmpeg("-i '" + file + "' -frames:v 1 -vf " + m.frame + scale + " -f rawvideo",
                                       dir.file("frame.rgb")));
    const std::string frame = tavrel_test::ReadFile(dir.file("frame.rgb"));
    const size_t pixels = size_t(m.width) * size_t(m.height);
    ASSERT_EQ(frame.size(), pixels * 3);
    double lumaError = 0, sums[2][3] = {};
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* ours = bitmap.pixels + i * 3;
        const auto* theirs = reinterpret_cast<const uint8_t*>(frame.data()) + i * 3;
        const double luma = 0.299 * (ours[0] - theirs[0]) + 0.587 * (ours[1] - theirs[1]) + 0.114 * (ours[2] - theirs[2]);
        lumaError += luma * luma;
        for (int c = 0; c < 3; ++c) sums[0][c] += ours[c], sums[1][c] += theirs[c];
    }
    const double psnr = 10 * std::log10(255.0 * 255.0 * double(pixels) / std::max(lumaError, 1e-9));
    EXPECT_GE(psnr, 36.0) << "luma PSNR against FFmpeg's frame";
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(sums[0][c] / double(pixels), sums[1][c] / double(pixels), m.levels) << "mean of channel " << c;
}

INSTANTIATE_TEST_SUITE_P(Kinds, ValidMovieTest, testing::ValuesIn(kValidMovies), FileParamName<ValidMovie>);

}  // namespace
