// Movie files in a show: a slide's picture that is a movie shows its first
// frame at the movie's size, a sound taken from a movie or an M4A file has
// its length, and a show of pictures and plain sounds never reaches FFmpeg.
#include <gtest/gtest.h>

#include "av/movie_media.h"
#include "media/image.h"
#include "media/qt_movie.h"
#include "show/export_fixtures.h"
#include "show/movie_walker.h"
#include "show/show_test_util.h"
#include "show/slide.h"
#include "show/slide_bitmap.h"
#include "show/slide_show.h"
#include "support/test_movies.h"

using show_test::PrivateTemp;
using show_test::WalkedMovie;
using show_test::WalkMovie;
using tavrel_test::TempDir;
using tavrel_test::TestMovieNamed;
using tavrel_test::TestMovies;

namespace {

constexpr int kDefineSound = 14, kBitsJpeg2 = 21;

class MovieSlideTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!tavrel_test::FfmpegUnavailable().empty()) GTEST_SKIP() << tavrel_test::FfmpegUnavailable();
    }
    TempDir dir_;
};

TEST_F(MovieSlideTest, SizesLengthsAndFirstFrames)
{
    ASSERT_FALSE(TestMovies().empty()) << "ffmpeg could not make the test movies";
    for (const tavrel_test::TestMovie& m : TestMovies()) {
        SCOPED_TRACE(m.name);
        const CPath path(m.path);
        int w = 0, h = 0;
        EXPECT_EQ(ReadImageSize(path, &w, &h), m.width > 0);
        EXPECT_EQ(std::make_pair(w, h), std::make_pair(m.width, m.height));
        EXPECT_NEAR(double(CSoundItem::ReadSoundInfo(path)), m.seconds * 1000, 100);

        CSlideShow show;
        CSlide slide(CSlide::kImage, &show);
        EXPECT_EQ(slide.LoadImage(path, &show, true), m.width > 0);
        if (m.width == 0) continue;
        EXPECT_EQ(std::make_pair(slide.GetImageWidth(), slide.GetImageHeight()), std::make_pair(m.width, m.height));
        const CImage* picture = slide.GetWorkingPicture();
        ASSERT_NE(picture, nullptr);
        ASSERT_EQ(std::make_pair(picture->width, picture->height), std::make_pair(uint32_t(m.width), uint32_t(m.height)));
        const uint8_t* p = picture->pixels + (size_t(picture->width) * 20 + 30) * (picture->bitsPerPixel / 8);
        EXPECT_NEAR(p[0], m.first >> 16 & 0xFF, 24);
        EXPECT_NEAR(p[1], m.first >> 8 & 0xFF, 24);
        EXPECT_NEAR(p[2], m.first & 0xFF, 24);
    }
    // The export writes a movie's slide; a file of sound alone is no picture.
    CSlideShow show;
    for (const char* name : {"mp4", "m4a"}) {
        auto slide = std::make_unique<CSlide>(CSlide::kImage, &show);
        slide->SetSrc(CPath(TestMovieNamed(name).path));
        slide->SetWidth(64), slide->SetHeight(48);
        show.InsertSlideAt(std::move(slide), show.GetSlideCount());
    }
    show.PlanExport();
    EXPECT_EQ(show.GetExportSlideCount(), 1);
}

// Slides of an MP4 and a MOV with the show's sound from an M4A: each slide
// a bitmap, the sound as long as its file.
TEST_F(MovieSlideTest, ShowOfMoviesExports)
{
    PrivateTemp temp(dir_);
    CSlideShow show;
    show.SetWidth(64);
    show.SetHeight(48);
    for (const char* name : {"mp4", "mov"}) {
        auto slide = std::make_unique<CSlide>(CSlide::kImage, &show);
        ASSERT_TRUE(slide->LoadImage(CPath(TestMovieNamed(name).path), &show, true));
        show.InsertSlideAt(std::move(slide), show.GetSlideCount());
    }
    show.GetSounds().SetInclude(1);
    CSoundItem* sound = show.GetSounds().Get(0);
    sound->SetSrc(CPath(TestMovieNamed("m4a").path));
    sound->SetSampleRate(22050);
    const std::string path = dir_.file("movies.swf");
    ASSERT_TRUE(show.Export(CPath(path), true, nullptr)) << show.GetLastErrorText();
    EXPECT_TRUE(show.GetSkippedSlides().empty());
    const WalkedMovie movie = WalkMovie(path);
    ASSERT_TRUE(movie.ok);
    EXPECT_EQ(movie.Find(kBitsJpeg2).size(), 2u);
    const auto sounds = movie.Find(kDefineSound);
    ASSERT_EQ(sounds.size(), 1u);
    // id, format byte, then the sample count at 22050 Hz.
    const std::string& body = sounds[0]->body;
    ASSERT_GT(body.size(), 7u);
    const uint32_t samples = uint32_t(uint8_t(body[3])) | uint32_t(uint8_t(body[4])) << 8 |
                             uint32_t(uint8_t(body[5])) << 16 | uint32_t(uint8_t(body[6])) << 24;
    EXPECT_NEAR(double(samples), 1.5 * 22050, 22050 * 0.05);
}

// A show of movie slides read from its project and exported: FFmpeg opens
// each movie file once, for the read, which keeps it open for the export's
// plan and the export; a file changed since the read is opened afresh.
TEST_F(MovieSlideTest, EachMovieOpenedForTheReadAndTheExport)
{
    PrivateTemp temp(dir_);
    const std::string& mp4 = TestMovieNamed("mp4").path;
    ASSERT_FALSE(mp4.empty()) << "ffmpeg could not make the test movie";
    constexpr int kFiles = 3;
    std::string slides;
    for (int i = 0; i < kFiles; ++i) {
        const std::string copy = dir_.file("m" + std::to_string(i) + ".mp4");
        ASSERT_TRUE(tavrel_test::WriteFile(copy, tavrel_test::ReadFile(mp4)));
        slides += "<slide type=\"image\" src=\"" + copy + "\" duration=\"500\" />\n";
    }
    const std::string project =
        show_test::WrapShow("<slide_show width=\"64\" height=\"48\">\n<slides>\n" + slides + "</slides>\n</slide_show>\n");
    for (const bool touched : {false, true}) {
        SCOPED_TRACE(touched ? "a file changed after the read" : "as read");
        const int before = platform::MovieMediaOpenCount();
        CSlideShow show;
        ASSERT_TRUE(show_test::ReadProjectText(dir_, project, show));
        EXPECT_EQ(platform::MovieMediaOpenCount() - before, kFiles);
        // One more byte after the movie's end changes its stamp, not its frames.
        if (touched) {
            ASSERT_TRUE(tavrel_test::WriteFile(dir_.file("m0.mp4"), tavrel_test::ReadFile(mp4) + '\0'));
        }
        ASSERT_TRUE(show.Export(CPath(dir_.file("movies.swf")), true, nullptr)) << show.GetLastErrorText();
        EXPECT_EQ(show.GetExportSlideCount(), kFiles);
        EXPECT_EQ(WalkMovie(dir_.file("movies.swf")).Find(kBitsJpeg2).size(), size_t(kFiles));
        EXPECT_EQ(platform::MovieMediaOpenCount() - before, kFiles + (touched ? 1 : 0));
    }
}

// The road of a picture show: pictures and a WAVE sound go through their
// own readers, so FFmpeg is never called.
TEST_F(MovieSlideTest, PictureShowNeverReachesFfmpeg)
{
    PrivateTemp temp(dir_);
    const int before = platform::MovieMediaOpenCount();
    CSlideShow show;
    for (const std::string& picture : {show_test::WriteColourJpeg(dir_, "a.jpg", 80, 60, 0xC83232),
                                       show_test::WriteColourPng(dir_, "b.png", 80, 60, 0x3232C8)}) {
        auto slide = std::make_unique<CSlide>(CSlide::kImage, &show);
        ASSERT_TRUE(slide->LoadImage(CPath(picture), &show, true));
        show.InsertSlideAt(std::move(slide), show.GetSlideCount());
    }
    show.GetSounds().SetInclude(1);
    show.GetSounds().Get(0)->SetSrc(CPath(show_test::WriteWave(dir_, 22050)));
    EXPECT_EQ(CSoundItem::ReadSoundInfo(show.GetSounds().Get(0)->GetSrc()), 1000u);
    ASSERT_TRUE(show.Export(CPath(dir_.file("pictures.swf")), true, nullptr)) << show.GetLastErrorText();
    EXPECT_EQ(WalkMovie(dir_.file("pictures.swf")).Find(kDefineSound).size(), 1u);
    EXPECT_EQ(platform::MovieMediaOpenCount(), before);
}

}  // namespace
