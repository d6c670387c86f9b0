// Movies with embedded fonts and texts, checked by the independent parsers
// and played in a Flash player.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "dejavu.h"
#include "fonts/text_layout.h"
#include "support/swf_tools.h"
#include "swf/checked_movie.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kYellow = 0x00FFFF;  // red in the lowest byte

using checked_movie::Place;

// One frame: the static text at depth 1 where it says, the field's edit
// text at depth 2 placed at (x, y).
void AddTextAndField(CSwfMovie& movie, CSwfFontManager& fonts, uint16_t& ids, CStaticTextBuilder& text,
                     CStaticTextBuilder& field, int x, int y)
{
    auto still = text.Build(fonts, movie, ids);
    const uint16_t stillId = still->GetCharacterId();
    movie.AddTag(still.release());
    movie.AddTag(Place(stillId, 1, 0, 0));
    auto edit = field.BuildEditText(fonts, movie, ids);
    edit->SetCharacterId(++ids);
    movie.AddTag(edit.release());
    movie.AddTag(Place(ids, 2, x, y));
    movie.AddTag(new CTagShowFrame);
}

// Frame 1: "T_\x8E" (é) at 100 points from (20, 10) and a yellow field of
// digits at (200, 170). Frame 2: a caption wrapped and centred in 320 × 240.
std::string WriteMovie(const tavrel_test::TempDir& dir, uint8_t version)
{
    const std::string path = dir.file("text" + std::to_string(version) + ".swf");
    CSwfMovie movie;
    movie.SetHeader(320 * 20, 240 * 20, 12, version);
    EXPECT_TRUE(movie.Open(CPath(path.c_str()), true));
    movie.AddTag(new CTagSetBackgroundColor(0, 0, 0));

    CStaticTextBuilder big;
    big.SetFont(dejavu::Font(100));
    big.SetColor(kWhite);
    big.SetX(20);
    big.SetY(10);
    big.text = "T_\x8E";
    CStaticTextBuilder digits;
    digits.SetFont(dejavu::Font(30));
    digits.SetColor(kYellow);
    digits.text = "42";
    CTextLayout caption;
    caption.SetFont(dejavu::Font(24));
    caption.SetColor(kWhite);
    caption.SetBounds(Rect{0, 0, 240, 320});
    caption.SetHorizontalAlignment(text_align::kCenter);
    caption.SetVerticalAlignment(text_align::kMiddle);
    caption.SetText("Captions wrap into the middle of it");

    CSwfFontManager fonts;
    fonts.FindFont(big.font, big.text.c_str(), 0);
    CSwfTextFont digitFont = digits.font;
    fonts.FindFont(digitFont, "0123456789", 0);
    fonts.FindFont(caption.font, caption.text.c_str(), 0);
    uint16_t ids = 0;
    fonts.BuildFontTags(movie, ids);

    AddTextAndField(movie, fonts, ids, big, digits, 200, 170);

    movie.AddTag(new CTagRemoveObject2(1));
    movie.AddTag(new CTagRemoveObject2(2));
    auto wrapped = caption.BuildText(fonts, movie, ids);
    EXPECT_EQ(caption.GetLines().size(), 2u);
    movie.AddTag(wrapped.release());
    movie.AddTag(Place(ids, 3, 0, 0));
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);
    EXPECT_FALSE(movie.Failed()) << movie.GetError();
    EXPECT_GT(movie.Close(), 0u);
    return path;
}

bool Lit(long rgb) { return ((rgb >> 16) & 0xFF) > 0x80 && ((rgb >> 8) & 0xFF) > 0x80; }
bool Dark(long rgb)
{
    return rgb >= 0 && ((rgb >> 16) & 0xFF) < 0x20 && ((rgb >> 8) & 0xFF) < 0x20 && (rgb & 0xFF) < 0x20;
}

struct Probe {
    std::vector<std::pair<int, int>> at;
    bool lit;         // every pixel lit, or every pixel dark
    int atLeast = 0;  // else: at least this many of them lit
    const char* what;
};

std::vector<std::pair<int, int>> Box(int x0, int y0, int x1, int y1, int step)
{
    std::vector<std::pair<int, int>> out;
    for (int y = y0; y <= y1; y += step)
        for (int x = x0; x <= x1; x += step) out.emplace_back(x, y);
    return out;
}

void ExpectFrame(const std::string& path, int frame, const std::vector<Probe>& probes)
{
    std::vector<std::pair<int, int>> all;
    for (const Probe& p : probes) all.insert(all.end(), p.at.begin(), p.at.end());
    const tavrel_test::ToolResult shot = tavrel_test::SwfShotReached(path, path + ".png", frame, all);
    if (shot.exitCode == 3) GTEST_SKIP() << shot.output;
    ASSERT_EQ(shot.exitCode, 0) << shot.output;
    for (const Probe& p : probes) {
        int lit = 0;
        for (const auto& [x, y] : p.at) {
            const long rgb = tavrel_test::ShotPixel(shot.output, x, y);
            if (Lit(rgb)) ++lit;
            if (p.atLeast == 0) {
                EXPECT_TRUE(p.lit ? Lit(rgb) : Dark(rgb)) << p.what << " at " << x << "," << y;
            }
        }
        if (p.atLeast > 0) {
            EXPECT_GE(lit, p.atLeast) << p.what << " in frame " << frame;
        }
    }
}

// Lit pixels of a PNG in the columns x0..x1 and rows y0..y1; -1 when it
// cannot be read.
int LitPixels(const std::string& pngPath, int x0, int y0, int x1, int y1)
{
    int width = 0, height = 0;
    const std::vector<uint8_t> pixels = tavrel_test::ReadPngRgb(pngPath, &width, &height);
    if (pixels.empty()) return -1;
    int lit = 0;
    for (int y = std::max(y0, 0); y <= std::min(y1, height - 1); ++y)
        for (int x = std::max(x0, 0); x <= std::min(x1, width - 1); ++x) {
            const uint8_t* p = &pixels[(size_t(y) * width + x) * 3];
            lit += Lit(long(p[0]) << 16 | long(p[1]) << 8 | p[2]);
        }
    return lit;
}

// Players draw edit text 2 px in from each side of its field: the field of
// the preloader's percentage leaves room for that, so "42%" shows as much of
// its "%" as the same text drawn as static text does, in every alignment.
TEST(TextMovie, EditTextFieldIsNotClipped)
{
    REQUIRE_DEJAVU();
    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    tavrel_test::TempDir dir;
    for (int alignment : {text_align::kLeft, text_align::kCenter, text_align::kRight}) {
        SCOPED_TRACE(alignment);
        CStaticTextBuilder text;
        text.SetFont(dejavu::Font(40));
        text.SetColor(kWhite);
        text.text = "42%";
        text.alignment = alignment;
        text.SetX(160);
        text.SetY(20);
        const std::string path = dir.file("field" + std::to_string(alignment) + ".swf");
        CSwfMovie movie;
        movie.SetHeader(320 * 20, 240 * 20, 12, 6);
        ASSERT_TRUE(movie.Open(CPath(path.c_str()), true));
        movie.AddTag(new CTagSetBackgroundColor(0, 0, 0));
        CSwfFontManager fonts;
        CSwfTextFont font = text.font;
        fonts.FindFont(font, "42%", 0);
        uint16_t ids = 0;
        fonts.BuildFontTags(movie, ids);
        AddTextAndField(movie, fonts, ids, text, text, 160, 170);
        movie.AddTag(new CTagEnd);
        ASSERT_GT(movie.Close(), 0u);

        // The whole text: a clipped "%" loses some 15 of its 740 lit pixels.
        const int width = text.MeasureWidth();
        const int right = alignment == text_align::kLeft     ? 160 + width
                          : alignment == text_align::kCenter ? 160 + width / 2
                                                             : 160;
        const tavrel_test::ToolResult shot = tavrel_test::SwfShotReached(path, path + ".png", 1, {});
        ASSERT_EQ(shot.exitCode, 0) << shot.output;
        const int inStill = LitPixels(path + ".png", right - width - 10, 10, right + 10, 90);
        const int inField = LitPixels(path + ".png", right - width - 10, 110, right + 10, 230);
        EXPECT_GT(inStill, 20);
        EXPECT_GE(inField, inStill - 4) << "static " << inStill << ", field " << inField;
    }
}

TEST(TextMovie, VersionsFiveAndSixShowTheirTexts)
{
    REQUIRE_DEJAVU();
    tavrel_test::TempDir dir;
    for (uint8_t version : {5, 6}) {
        SCOPED_TRACE(int(version));
        const std::string path = WriteMovie(dir, version);
        tavrel_test::ExpectDumpAccepts(path, {"DefineFont2", "DefineText2", "DefineEditText"});
        if (::testing::Test::IsSkipped()) return;
        const std::string why = tavrel_test::SwfShotUnavailable();
        if (!why.empty()) GTEST_SKIP() << why;
        // Baseline at y 110: the T's bar on top and its stem below it, the
        // underscore under the baseline; nothing where no text is.
        ExpectFrame(path, 1,
                    {
                        {{{24, 42}, {50, 42}, {76, 42}, {50, 90}}, true, 0, "T"},
                        {{{24, 90}, {76, 90}, {105, 100}, {50, 125}}, false, 0, "around the T"},
                        {Box(90, 130, 125, 130, 5), true, 0, "underscore"},
                        {Box(135, 55, 185, 108, 4), true, 12, "e acute"},
                        {Box(200, 135, 250, 185, 3), true, 6, "digits"},
                        {{{300, 20}, {10, 200}, {160, 230}, {300, 100}, {160, 160}}, false, 0, "empty stage"},
                    });
        ExpectFrame(path, 2,
                    {
                        {Box(20, 112, 300, 112, 2), true, 20, "first caption line"},
                        {Box(20, 136, 300, 136, 2), true, 20, "second caption line"},
                        {Box(10, 30, 310, 30, 10), false, 0, "above the caption"},
                        {Box(10, 210, 310, 210, 10), false, 0, "below the caption"},
                        {{{24, 42}, {50, 90}}, false, 0, "the T is gone"},
                    });
    }
}

}  // namespace
