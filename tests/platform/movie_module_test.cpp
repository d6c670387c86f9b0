// The movie layer loaded from the bundle's module on the first movie: a
// missing or broken module is said, naming it; the built one plays movies,
// and takes over a sound file where libsndfile gives up.
#include <gtest/gtest.h>
#include <link.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/movie_media.h"
#include "platform/resumed_sound.h"
#include "platform/shared_object_check.h"
#include "support/bundle_fixture.h"
#include "support/scoped_env.h"
#include "support/test_movies.h"
#include "support/test_support.h"

namespace {

// The frames a source hands out up to its end or its first failing read.
int64_t ReadAll(platform::SampleSource& source)
{
    std::vector<int16_t> block(size_t(16384) * size_t(source.Info().channels));
    int64_t total = 0;
    for (int64_t got; (got = source.Read16(block.data(), 16384)) > 0;) total += got;
    return total;
}

TEST(MovieModule, LoadedFromTheBundleOnFirstOpen)
{
    if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    const tavrel_test::TestMovie& mp4 = tavrel_test::TestMovieNamed("mp4");
    ASSERT_FALSE(mp4.path.empty()) << "ffmpeg could not make the test movie";
    // Nothing of FFmpeg is loaded before a movie is opened.
    ASSERT_EQ(platform::MovieMediaOpenCount(), 0);

    // A FLAC file libFLAC gives up on midway: without the module the sound
    // ends where libsndfile stopped.
    tavrel_test::TempDir dir;
    const std::string flac = tavrel_test::DamagedSound(dir.file("mid.flac"), "mid.flac");
    ASSERT_FALSE(flac.empty()) << "ffmpeg could not make the sound";
    platform::SoundSource alone;
    ASSERT_TRUE(alone.Open(flac));
    const int64_t stopped = ReadAll(alone);
    ASSERT_LT(stopped, alone.Info().frames / 2);
    // Read again, through a decoder that no longer seeks.
    ASSERT_TRUE(alone.Seek(0));
    EXPECT_EQ(ReadAll(alone), stopped);
    // Written through a pipe, its header gives no length: its frames' own
    // headers give all 6 s, not what decodes before the damage, so a stop
    // there is one short of the length, and said.
    const std::string piped = tavrel_test::DamagedSound(dir.file("piped.flac"), "piped.flac");
    ASSERT_FALSE(piped.empty()) << "ffmpeg could not make the sound";
    platform::SoundSource open;
    ASSERT_TRUE(open.Open(piped));
    EXPECT_EQ(open.Info().frames, 44100 * 6);
    EXPECT_LT(ReadAll(open), 44100 * 4);
    // Where libFLAC's seek fails on damage (here in the first frame), the
    // frame is reached by reading: the very samples a whole read gives.
    const std::string head = tavrel_test::DamagedSound(dir.file("head.flac"), "head.flac");
    ASSERT_FALSE(head.empty()) << "ffmpeg could not make the sound";
    platform::SoundSource damaged;
    ASSERT_TRUE(damaged.Open(head));
    std::vector<int16_t> whole(16384), part(1000);
    ASSERT_GT(damaged.Read16(whole.data(), 16384), 7000);
    for (const int64_t at : {0, 1000}) {
        ASSERT_TRUE(damaged.Seek(at)) << at;
        ASSERT_EQ(damaged.Read16(part.data(), 1000), 1000) << at;
        EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + at)) << at;
    }

    // A failed load is not kept, so every row meets the loader afresh. A
    // module cut short, as a broken install leaves it, is refused before it
    // is mapped: the loader would fault on its missing pages.
    const std::string built = tavrel_test::ReadFile(TAVREL_BUNDLE_DIR
                                                    "/Contents/Resources/movie_media.bundle/Contents/MacOS/movie_media");
    ASSERT_GT(built.size(), 65536u);
    // Whole, but with its program headers said to start 16 bytes before its end.
    std::string farHeaders = built;
    const uint64_t far = built.size() - 16;
    farHeaders.replace(32, sizeof far, reinterpret_cast<const char*>(&far), sizeof far);
    const struct {
        const char* what;
        std::string codeFile;  // empty: no module in the bundle
        const char* reason;
        std::string detail = "";
    } kBroken[] = {
        {"no module", "", "the movie module movie_media.bundle is missing from the application bundle"},
        {"not code", "not a shared object", "the movie module movie_media.bundle cannot be loaded: "},
        {"cut at 4096", built.substr(0, 4096), "the movie module movie_media.bundle cannot be loaded: ",
         "movie_media: the file is cut short: it holds 4096 bytes of the " + std::to_string(built.size())},
        {"cut at 20000", built.substr(0, 20000), "the movie module movie_media.bundle cannot be loaded: ",
         "the file is cut short: it holds 20000 bytes of the "},
        {"cut at 65536", built.substr(0, 65536), "the movie module movie_media.bundle cannot be loaded: ",
         "the file is cut short: it holds 65536 bytes of the "},
        {"one byte short", built.substr(0, built.size() - 1), "the movie module movie_media.bundle cannot be loaded: ",
         "the file is cut short"},
        {"headers past the end", farHeaders, "the movie module movie_media.bundle cannot be loaded: ",
         "the file is cut short: it holds " + std::to_string(built.size()) + " bytes of the "},
    };
    for (const auto& c : kBroken) {
        tavrel_test::ScopedBundle bundle("");
        if (!c.codeFile.empty()) {
            const std::string macos = bundle.Resources() + "/movie_media.bundle/Contents/MacOS";
            std::filesystem::create_directories(macos);
            ASSERT_TRUE(tavrel_test::WriteFile(macos + "/movie_media", c.codeFile));
        }
        platform::MovieMedia movie;
        EXPECT_FALSE(movie.Open(mp4.path, 1 << 24)) << c.what;
        EXPECT_FALSE(movie.IsOpen()) << c.what;
        EXPECT_EQ(movie.LastError().rfind(c.reason, 0), 0u) << c.what << ": " << movie.LastError();
        EXPECT_NE(movie.LastError().find(c.detail), std::string::npos) << c.what << ": " << movie.LastError();
        EXPECT_EQ(movie.FrameAt(0), nullptr) << c.what;
        platform::ResumedSoundSource sound;
        ASSERT_TRUE(sound.Open(flac));
        EXPECT_EQ(ReadAll(sound), stopped) << c.what;
        EXPECT_EQ(sound.Damage(), "") << c.what;
    }

    tavrel_test::ScopedEnv bundle("TAVREL_BUNDLE", TAVREL_BUNDLE_DIR);
    platform::MovieMedia movie;
    ASSERT_TRUE(movie.Open(mp4.path, 1 << 24)) << movie.LastError();
    int width = 0, height = 0;
    movie.DisplaySize(&width, &height);
    EXPECT_EQ(width, mp4.width);
    EXPECT_EQ(height, mp4.height);
    const platform::MovieFrame* frame = movie.FrameAt(0);
    ASSERT_NE(frame, nullptr) << movie.LastError();
    EXPECT_EQ(frame->width, uint32_t(mp4.width));
    EXPECT_EQ(platform::MovieMediaOpenCount(), 1);
    // An error of the module's movie comes back through LastError, and a
    // file of no kind is told as such, for the caller to word.
    EXPECT_FALSE(movie.Open(TAVREL_SOURCE_DIR "/README.md", 1 << 24));
    EXPECT_TRUE(movie.KindUnknown());
    EXPECT_EQ(movie.LastError(), "not a picture, movie or sound file this program reads");
    EXPECT_FALSE(movie.Open(TAVREL_SOURCE_DIR "/tests", 1 << 24));
    EXPECT_FALSE(movie.KindUnknown()) << movie.LastError();

    // With the module the rest of the FLAC file comes from FFmpeg, each
    // sample at its time: all ten seconds.
    platform::ResumedSoundSource sound;
    ASSERT_TRUE(sound.Open(flac));
    EXPECT_EQ(ReadAll(sound), sound.Info().frames);
    EXPECT_NE(sound.Damage().find("it does not decode between 4.6 s and "), std::string::npos) << sound.Damage();
}

// The check before dlopen passes what loads: the bundle's modules and every
// library of this program (runtimes, sanitizers, codecs, fonts), each
// linked its own way.
TEST(SharedObjectCheck, PassesTheModulesAndTheLibrariesOfThisProgram)
{
    std::vector<std::string> files = {TAVREL_BUNDLE_DIR
                                      "/Contents/Resources/movie_media.bundle/Contents/MacOS/movie_media",
                                      TAVREL_TEST_BUNDLE, TAVREL_TEST_BUNDLE_PLAIN};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            if (info->dlpi_name[0] == '/') static_cast<std::vector<std::string>*>(out)->push_back(info->dlpi_name);
            return 0;
        },
        &files);
    ASSERT_GT(files.size(), 10u);
    for (const std::string& file : files) EXPECT_EQ(platform::SharedObjectProblem(file), "") << file;
}

}  // namespace
