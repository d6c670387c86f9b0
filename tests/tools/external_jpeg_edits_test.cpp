// A JPEG the player loads when the movie plays (jpeg_external) with the
// slide's picture edits: the clip it loads into is turned and mirrored as the
// other image types show the edits, a mask over it shows only the crop, and
// filters, which cannot reach the loaded picture, are named in a warning.
//
// The checker's player is served nothing but the movie, so it cannot load
// the file: each movie is read by swf-dump as written, and is then played
// with the picture put into the clip the file would load into, as a player
// shows a loaded picture (at its own size from the clip's origin).
#include <cstdio>
#include <memory>
#include <vector>

#include "../media/picture_fixtures.h"
#include "media/swf_bitmap.h"
#include "picture_edit_cases.h"
#include "swf/display_tags.h"
#include "swf/shapes.h"
#include "swf/sprite.h"
#include "swf/stream.h"
#include "swf/styles.h"

namespace {

using cli_test::ProgramResult;
using namespace picture_edit_test;

constexpr int kPictureW = 200, kPictureH = 100;

uint32_t ReadU32(const std::string& b, size_t at)
{
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

// Copies an uncompressed movie to `out` as a player shows it once the
// picture has loaded: the empty clip the slide loads into now shows the
// picture (ids 60000 and 60001 for its bitmap and shape), and the load
// action gives way to two Pops. False when the movie has no such clip.
bool WithPictureLoaded(const std::string& swfPath, const std::string& picture, const std::string& out)
{
    std::string movie = tavrel_test::ReadFile(swfPath);
    if (movie.size() < 21 || movie.compare(0, 3, "FWS") != 0) return false;
    size_t at = 8 + (5 + 4 * (uint8_t(movie[8]) >> 3) + 7) / 8 + 4;
    // The target clip: one empty frame (ShowFrame, End).
    static const char kEmptyClip[] = {1, 0, 0x40, 0, 0, 0};
    size_t clip = 0;
    uint16_t clipId = 0;
    while (at + 2 <= movie.size()) {
        const unsigned head = uint8_t(movie[at]) | uint8_t(movie[at + 1]) << 8;
        size_t length = head & 0x3F, header = 2;
        if (length == 0x3F) {
            if (at + 6 > movie.size()) return false;
            length = ReadU32(movie, at + 2);
            header = 6;
        }
        if (head >> 6 == 0) break;
        if (head >> 6 == 39 && length == 8 && movie.compare(at + header + 2, 6, kEmptyClip, 6) == 0) {
            clip = at;
            clipId = uint16_t(uint8_t(movie[at + header]) | uint8_t(movie[at + header + 1]) << 8);
        }
        at += header + length;
    }
    if (!clip) return false;

    CSwfBitmap bitmaps;
    std::unique_ptr<CSwfDefineTag> bits(bitmaps.MakeJpegFromFile(CPath(picture), kPictureW, kPictureH));
    if (!bits) return false;
    bits->SetCharacterId(60000);
    CTagDefineShape shape;
    shape.SetCharacterId(60001);
    CSwfMatrix fill;
    fill.hasScale = true;
    fill.scaleX = fill.scaleY = 20 << 16;
    shape.BuildRect(0, 0, kPictureW * 20, kPictureH * 20, CFillStyle::MakeBitmap(60000, fill, true), nullptr);
    CTagDefineSprite loaded;
    loaded.SetCharacterId(clipId);
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(60001);
    place->depth = 1;
    loaded.AddTag(place);
    loaded.AddTag(new CTagShowFrame);
    CSwfStream tags(6);
    bits->Write(tags);
    shape.Write(tags);
    loaded.Write(tags);
    const std::vector<uint8_t>& bytes = tags.GetBuffer();
    movie.replace(clip, 10, std::string(bytes.begin(), bytes.end()));

    // GetURL2 (load into a target), Stop, End: Pop, Pop, Stop, Stop, Stop, End.
    static const char kLoad[] = {char(0x9A), 1, 0, 0x40, 7, 0}, kLoaded[] = {0x17, 0x17, 7, 7, 7, 0};
    const size_t load = movie.find(std::string(kLoad, 6));
    if (load == std::string::npos) return false;
    movie.replace(load, 6, std::string(kLoaded, 6));
    const uint32_t size = uint32_t(movie.size());
    for (int i = 0; i < 4; ++i) movie[4 + i] = char(size >> (8 * i));
    return tavrel_test::WriteFile(out, movie);
}

class ExternalJpegTest : public PictureEditTest {
protected:
    void SetUp() override
    {
        static const uint8_t kOpaque[4] = {255, 255, 255, 255};
        picture_ = dir_.file("quarters.jpg");
        ASSERT_TRUE(picture_test::WriteJpeg(picture_, kPictureW, kPictureH,
                                            picture_test::Quarters(kPictureW, kPictureH, kOpaque), 95));
    }

    ProgramResult Compile(const std::string& attributes, const std::string& filters,
                          std::vector<std::string> options = {"--quiet"})
    {
        return PictureEditTest::Compile(picture_, "jpeg_external", kStageW, kStageH, attributes, filters, options);
    }

    std::string picture_;
};

class ExternalJpegEditsTest : public ExternalJpegTest, public testing::WithParamInterface<EditCase> {};

TEST_P(ExternalJpegEditsTest, LoadedPictureShowsTheEdits)
{
    const EditCase& c = GetParam();
    const ProgramResult r = Compile(c.attributes, c.filters);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    const std::string decoded = Decoded();
    if (!decoded.empty()) {
        // The movie still loads the file when it plays.
        EXPECT_NE(decoded.find("{\"op\":\"Push\",\"values\":[\"" + picture_ + "\"]},{\"op\":\"Push\",\"values\":"
                               "[\"jpegtarget_1\"]},\"GetURL2\""),
                  std::string::npos)
            << decoded.substr(0, 3000);
        // Unedited, the clip only scales the picture into the box (by 1.6),
        // as it always has; only a crop is masked, the clip then above the
        // mask.
        const std::string plain =
            "\"depth\":1,\"characterId\":2,\"matrix\":{\"scaleX\":{\"epsilons\":104858},\"scaleY\":{\"epsilons\":"
            "104858},\"rotateSkew0\":{\"epsilons\":0},\"rotateSkew1\":{\"epsilons\":0},\"translateX\":0,"
            "\"translateY\":0},\"name\":\"jpegtarget_1\"";
        if (c.attributes.empty()) {
            EXPECT_NE(decoded.find(plain), std::string::npos) << decoded.substr(0, 3000);
        }
        const bool cropped = c.attributes.find("crop") != std::string::npos;
        EXPECT_EQ(decoded.find("\"depth\":1,\"characterId\":3,\"clipDepth\":2}") != std::string::npos, cropped)
            << decoded.substr(0, 3000);
        EXPECT_EQ(decoded.find("\"depth\":2,\"characterId\":2,\"matrix\"") != std::string::npos, cropped);
    }

    const std::string loaded = dir_.file("loaded.swf");
    ASSERT_TRUE(WithPictureLoaded(dir_.file("show.swf"), picture_, loaded));
    tavrel_test::ExpectShotPixels(loaded, 1, QuarterPixels(c));
}

// The filtered case is the warning's test below.
std::vector<EditCase> UnfilteredCases()
{
    std::vector<EditCase> cases;
    for (const EditCase& c : kCases)
        if (*c.filters == 0) cases.push_back(c);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Edits, ExternalJpegEditsTest, testing::ValuesIn(UnfilteredCases()),
                         [](const testing::TestParamInfo<EditCase>& info) { return info.param.name; });

// The player shows the file as it stands: filters change nothing in the
// movie, and the program says so once, naming the slide and the file.
TEST_F(ExternalJpegTest, FiltersAreNamedInAWarning)
{
    const std::string filters = std::string(kGreyFilter) + "<filter name=\"Sepia\" />\n";
    ASSERT_EQ(Compile(kTurn, "").exitCode, 0);
    const std::string unfiltered = tavrel_test::ReadFile(dir_.file("show.swf"));
    ASSERT_TRUE(std::remove(dir_.file("show.swf").c_str()) == 0);

    const std::string warning = "show.tvr:5: slide 1: picture \"" + picture_ +
                                "\" is loaded by the player as it stands (jpeg_external): its filters are not applied\n";
    ProgramResult r = Compile(kTurn, filters, {});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, warning);
    EXPECT_EQ(tavrel_test::ReadFile(dir_.file("show.swf")), unfiltered);
    ASSERT_TRUE(std::remove(dir_.file("show.swf").c_str()) == 0);

    r = Compile(kTurn, filters, {"--strict"});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(r.err, warning + "tavrel: 1 warning under --strict; nothing exported\n");
    EXPECT_FALSE(tavrel_test::IsThere(dir_.file("show.swf")));
}

}  // namespace
