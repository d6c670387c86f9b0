#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "media/jpeg_image.h"
#include "show/strip_show.h"
#include "support/file_size_limit.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/actions.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/reader_primitives.h"
#include "swf/shapes.h"
#include "swf/sprite.h"
#include "swf/stream.h"
#include "swf/styles.h"
#include "swf/template_import.h"

using tavrel_test::TempDir;

namespace {

// Draws each slide as one solid rectangle of its display size, centred on
// its origin as a slide's shape is, in a colour by its number; idStride
// stands in for pictures that take many ids.
class TestStrip : public CStripSlideShow {
public:
    uint16_t idStride = 1;

protected:
    uint16_t WriteSlideShape(CSlide* slide, CSwfMovie* movie, int index, uint16_t* ids) override
    {
        static const uint32_t kColours[] = {0x0000FF, 0x00FF00, 0xFF0000};  // 0x00BBGGRR
        *ids = uint16_t(*ids + idStride);
        auto* shape = new CTagDefineShape;
        shape->SetCharacterId(*ids);
        const int w = slide->GetWidth() * 20, h = slide->GetHeight() * 20;
        shape->BuildRect(-w / 2, -h / 2, w, h, CFillStyle::MakeSolid(kColours[(index - 1) % 3]), nullptr);
        movie->AddTag(shape);
        return *ids;
    }
};

void AddSlides(CSlideShow& show, const std::vector<int>& widths, int height = 240)
{
    for (int w : widths) {
        auto slide = std::make_unique<CSlide>(CSlide::kBlank, &show);
        ASSERT_TRUE(slide->SetSize(w, height));
        ASSERT_TRUE(show.InsertSlideAt(std::move(slide), show.GetSlideCount()));
    }
}

struct ReadMovie {
    explicit ReadMovie(const std::string& path) { EXPECT_TRUE(reader.Parse(CPath(path.c_str()), true, 0, true)); }
    ~ReadMovie() { reader.ClearTags(true); }
    CSwfTagList& Tags() { return reader.GetTags(nullptr); }
    // The root placement of the strip: the one with clip actions.
    CTagPlaceObject2* Strip()
    {
        for (CSwfTag* t : Tags())
            if (auto* p = dynamic_cast<CTagPlaceObject2*>(t); p && p->hasClipActions) return p;
        return nullptr;
    }
    CSwfReader reader;
};

std::string Hex(CTagDoAction& list)
{
    CSwfStream stream(5);
    list.WriteActions(stream, false);
    std::string text;
    char hex[3];
    for (uint8_t b : stream.GetBuffer()) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        text += hex;
    }
    return text;
}

}  // namespace

TEST(StripShow, ResetSetsTheirOwnValues)
{
    CStripSlideShow strip;
    strip.SetSize(640, 480);
    strip.bg_color = 0x123456;
    strip.strip_top = strip.strip_left = 7;
    strip.scroll_step = 9;
    strip.use_compression = true;
    strip.Reset();
    EXPECT_EQ(std::vector<long>({long(strip.GetWidth()), long(strip.GetHeight()), long(strip.bg_color),
                                 strip.strip_top, strip.strip_left, strip.strip_bottom, strip.strip_right,
                                 strip.scroll_step, strip.flag}),
              std::vector<long>({320, 240, 0, 0, 0, 160, 320, 1, 0}));
    EXPECT_FLOAT_EQ(strip.GetFps(), 12.0f);
    EXPECT_TRUE(strip.use_compression) << "only the strip's own values are reset";

    CAltSlideShow alt;
    alt.value1 = alt.value4 = alt.value8 = 77;
    alt.value3 = 1.5f;
    alt.Reset();
    EXPECT_EQ(std::vector<int32_t>({alt.value1, alt.value2, alt.value4, alt.value5, alt.value6, alt.value7,
                                    alt.value8}),
              std::vector<int32_t>({500, 240, 0, 500, 200, 10, 5}));
    EXPECT_FLOAT_EQ(alt.value3, 12.0f);
}

TEST(StripShow, LaysSlidesSideBySideAndPlacesTheStrip)
{
    struct Case {
        std::vector<int> widths;
        int16_t top, left;
        std::vector<int> centres;  // pixels
        bool matrix;
    };
    const Case cases[] = {
        {{100, 200, 300}, 0, 0, {50, 200, 450}, false},
        {{}, 0, 0, {}, false},
        {{80}, 10, -5, {40}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.widths.size());
        TempDir dir;
        CStripSlideShow show;  // blank slides: rectangles of the background
        AddSlides(show, c.widths);
        show.strip_top = c.top;
        show.strip_left = c.left;
        const std::string path = dir.file("strip.swf");
        ASSERT_TRUE(show.Export(CPath(path.c_str()), true)) << show.GetLastErrorText();

        ReadMovie movie(path);
        CTagPlaceObject2* strip = movie.Strip();
        ASSERT_NE(strip, nullptr);
        EXPECT_EQ(strip->depth, c.widths.size() + 1);
        ASSERT_EQ(strip->clipActions.size(), 1u);
        EXPECT_EQ(strip->clipActions[0]->eventFlags, 2u);
        ASSERT_EQ(bool(strip->matrix), c.matrix);
        if (c.matrix) {
            EXPECT_EQ(std::pair(strip->matrix->translateX, strip->matrix->translateY),
                      std::pair(c.left * 20, c.top * 20));
        }

        auto* sprite = dynamic_cast<CTagDefineSprite*>(FindCharacterById(strip->characterId, movie.Tags()));
        ASSERT_NE(sprite, nullptr);
        std::vector<int> centres;
        for (size_t i = 0; i < c.centres.size(); ++i) {
            const std::string name = "slide_" + std::to_string(i + 1);
            CTagPlaceObject2* clip = FindPlacementByName(name.c_str(), sprite->tags);
            ASSERT_NE(clip, nullptr) << name;
            ASSERT_TRUE(clip->matrix);
            EXPECT_EQ(clip->matrix->translateY, 240 * 10);
            centres.push_back(clip->matrix->translateX / 20);
        }
        EXPECT_EQ(centres, c.centres);
        EXPECT_EQ(sprite->frameCount, 1);
        EXPECT_EQ(show.GetStripWidth(), [&] { int s = 0; for (int w : c.widths) s += w; return s; }());
    }
}

// The script with its branch distances as written: the loop's exit If jumps
// 0x84 (132) bytes, the wrap If 0x1e (30), the loop's Jump back 0xff6b (-149).
TEST(StripShow, ScriptBytes)
{
    struct Case {
        std::vector<int> widths;
        int32_t step;
        const char* n;  // N, little-endian
        const char* w;  // W
        const char* s;  // scroll step
    };
    const Case cases[] = {
        {{100, 200, 300}, 1, "03000000", "58020000", "01000000"},
        {{}, -4, "00000000", "00000000", "fcffffff"},
    };
    for (const Case& c : cases) {
        TestStrip show;
        AddSlides(show, c.widths);
        show.scroll_step = c.step;
        CTagDoAction list;
        show.BuildLayoutScript(&list);
        const std::string expected = std::string() +
            "881b00" "0500" "6900" "736c69646500" "736c6964655f00" "5f7800" "5f776964746800" +
            "960700" "0800" "0701000000" "1d" +                        // i = 1
            "960700" "07" + c.n + "0800" "1c" "48" "9d02008400" +     // if (N < i) leave
            "960600" "0801" "0802" "0800" "1c" "47" "1c" "3c" +       // slide = eval("slide_" + i)
            "960200" "0801" "1c" "960400" "0803" "0801" "1c" "960200" "0803" "4e" "960500" "07" + c.s + "0b" "4f" +
            "960200" "0801" "1c" "960200" "0803" "4e" "960200" "0801" "1c" "960200" "0804" "4e" "47" +
            "960900" "060000000000000000" "48" "12" "9d02001e00" +     // if (slide._x + slide._width < 0)
            "960200" "0801" "1c" "960400" "0803" "0801" "1c" "960200" "0803" "4e" "960500" "07" + c.w + "47" "4f" +
            "960400" "0800" "0800" "1c" "50" "1d" "9902006bff" "00";   // i++, loop; end
        EXPECT_EQ(Hex(list), expected);
    }
}

TEST(StripShow, IdsAndDepthsPast65535Fail)
{
    struct Case {
        uint16_t ids, depths;
        uint16_t idStride;
        bool fits;
    };
    const Case cases[] = {
        {65530, 0, 1, true},  // the strip, then a shape and a sprite per slide: 65535 is the last
        {65531, 0, 1, false},
        {0, 65533, 1, true},
        {0, 65534, 1, false},
        {0, 0, 40000, false},      // pictures that take more ids than are left
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ids << " " << c.depths << " " << c.idStride);
        TempDir dir;
        TestStrip show;
        show.idStride = c.idStride;
        AddSlides(show, {10, 10});
        CSwfMovie movie;
        movie.SetHeader(6400, 4800, 12, 5);
        ASSERT_TRUE(movie.Open(CPath(dir.file("m.swf").c_str()), true));
        uint16_t ids = c.ids, depths = c.depths;
        EXPECT_EQ(show.BuildSlideClips(&movie, &ids, &depths) != 0, c.fits);
        EXPECT_EQ(show.GetLastErrorText().empty(), c.fits) << show.GetLastErrorText();
        movie.Close();
    }
}

TEST(StripShow, FailedExportLeavesNoTarget)
{
    TempDir dir;
    TestStrip show;
    AddSlides(show, {100, 200, 300});
    const std::string path = dir.file("strip.swf");
    {
        // A disk that fills after the header.
        tavrel_test::ScopedFileSizeLimit limit(64);
        ASSERT_TRUE(limit.Active());
        EXPECT_FALSE(show.Export(CPath(path.c_str()), true));
    }
    EXPECT_FALSE(show.GetLastErrorText().empty());
    EXPECT_FALSE(std::filesystem::exists(path));

    show.idStride = 30000;
    EXPECT_FALSE(show.Export(CPath(path.c_str()), true));
    EXPECT_NE(show.GetLastErrorText().find("65535"), std::string::npos) << show.GetLastErrorText();
    EXPECT_FALSE(std::filesystem::exists(path));

    EXPECT_FALSE(show.Export(CPath(dir.file("no/such/folder/strip.swf").c_str()), true));
}

// A picture of one colour, 0xRRGGBB.
std::string WriteSolidJpeg(const TempDir& dir, const std::string& name, int w, int h, uint32_t rgb)
{
    std::vector<uint8_t> pixels;
    for (int i = 0; i < w * h; ++i)
        for (int shift : {16, 8, 0}) pixels.push_back(uint8_t(rgb >> shift));
    CJpegImage jpeg;
    if (!jpeg.Compress(w, h, 24, pixels.data())) return "";
    const std::string path = dir.file(name);
    tavrel_test::WriteFile(path, std::string(reinterpret_cast<char*>(jpeg.pixels), jpeg.compressedSize));
    return path;
}

// Three 200-pixel pictures (red, green, blue) scroll across a 200-pixel stage
// at 120 pixels a second; a fourth whose file went missing is left out, and
// the first wraps by 600 pixels once wholly left.
TEST(StripShow, ScrollsAndWrapsInAPlayer)
{
    TempDir dir;
    CStripSlideShow show;
    ASSERT_TRUE(show.SetSize(200, 100));
    show.scroll_step = 10;
    const std::string gone = WriteSolidJpeg(dir, "gone.jpg", 200, 100, 0xFFFFFF);
    for (auto [name, rgb] : {std::pair("r.jpg", 0xFF0000), {"gone", 0}, {"g.jpg", 0x00FF00}, {"b.jpg", 0x0000FF}}) {
        const std::string path = rgb ? WriteSolidJpeg(dir, name, 200, 100, uint32_t(rgb)) : gone;
        auto slide = std::make_unique<CSlide>(CSlide::kImage, &show);
        ASSERT_TRUE(slide->LoadImage(CPath(path.c_str()), &show, true));
        ASSERT_TRUE(show.InsertSlideAt(std::move(slide), show.GetSlideCount()));
    }
    std::filesystem::remove(gone);
    const std::string path = dir.file("strip.swf");
    ASSERT_TRUE(show.Export(CPath(path.c_str()), true)) << show.GetLastErrorText();
    EXPECT_EQ(show.GetStripSkippedSlides(), std::vector<int>{2});
    tavrel_test::ExpectDumpAccepts(path, {"DefineSprite", "PlaceObject2", "DefineBitsJPEG2", "DoAction"});
    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;

    struct Shot {
        int ms;
        long left, right;  // colours at x 10 and 190
    };
    // At 0.3 s the strip has moved some 40 pixels: the first slide on the left,
    // the second on the right; at 4.2 s some 500: the third on the left, the
    // first back on the right.
    for (const Shot& s : {Shot{300, 0xFF0000, 0x00FF00}, Shot{4200, 0x0000FF, 0xFF0000}}) {
        const tavrel_test::ToolResult shot = tavrel_test::RunSwfShot(
            path, path + ".png", "--ms " + std::to_string(s.ms) + " --pixel 10,50 --pixel 190,50");
        if (shot.exitCode == 3) GTEST_SKIP() << shot.output;
        ASSERT_EQ(shot.exitCode, 0) << shot.output;
        for (auto [x, rgb] : {std::pair(10, s.left), {190, s.right}}) {
            const long got = tavrel_test::ShotPixel(shot.output, x, 50);
            for (int shift : {16, 8, 0})
                EXPECT_NEAR((got >> shift) & 0xFF, (rgb >> shift) & 0xFF, 24) << s.ms << " ms, x " << x << "\n"
                                                                              << shot.output;
        }
    }
}
