// Captions into a movie: the tags their layout and entrance effects give,
// the text-effect bundle's two calls, and a movie of every effect and
// alignment read by the independent checkers and played.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "fonts/dejavu.h"
#include "media/png_image.h"
#include "show/caption_export.h"
#include "show/slide_show.h"
#include "support/swf_tools.h"
#include "swf/actions.h"
#include "swf/control_tags.h"
#include "swf/fonts.h"
#include "swf/movie.h"
#include "swf/reader_movies.h"
#include "swf/sprite.h"
#include "swf/text.h"

namespace {

CCaption Caption(const std::string& text, const char* effect = "None", int hAlign = 0, int vAlign = 0, int x = 10,
                 int y = 10, int size = 20)
{
    CCaption c;
    c.SetText(text.c_str());
    c.SetEffect(effect);
    c.SetFont(dejavu::Font(size));
    c.SetHAlign(hAlign);
    c.SetVAlign(vAlign);
    c.SetX(x);
    c.SetY(y);
    return c;
}

// A 320 × 240 movie at 12 frames a second with every caption placed in its
// first frame and `frames` frames in all, read back once written. By default
// each caption registers its own text before the font tags are built.
struct CaptionMovie {
    using Prepare = std::function<void(CSwfFontManager&)>;

    // stopAt: in that frame every caption sprite and the movie stop.
    void Write(const std::vector<CCaption>& captions, int frames = 1, const Prepare& prepare = nullptr,
               int stopAt = 0)
    {
        path = dir.file("captions.swf");
        CSwfMovie movie;
        movie.SetHeader(320 * 20, 240 * 20, 12, 6);
        ASSERT_TRUE(movie.Open(CPath(path.c_str()), true));
        movie.AddTag(new CTagSetBackgroundColor(0, 0, 0));
        CSwfFontManager fonts;
        if (prepare)
            prepare(fonts);
        else
            for (const CCaption& c : captions) PrepareCaptionExport(c, show, fonts);
        fonts.BuildFontTags(movie, ids);
        for (const CCaption& c : captions) {
            auto place = ExportCaption(c, show, fonts, movie, ids, depths);
            placed.push_back(place != nullptr);
            if (!place) continue;
            place->name = "caption" + std::to_string(placed.size());
            place->hasName = true;
            movie.AddTag(place.release());
        }
        for (int f = 1; f <= frames; ++f) {
            if (f == stopAt) {
                auto* stop = new CTagDoAction;
                for (size_t i = 1; i <= placed.size(); ++i) {
                    stop->AddAction(new CActionSetTarget("caption" + std::to_string(i)));
                    stop->AddAction(new CActionStop);
                }
                stop->AddAction(new CActionSetTarget(""));
                stop->AddAction(new CActionStop);
                movie.AddTag(stop);
            }
            movie.AddTag(new CTagShowFrame);
        }
        movie.AddTag(new CTagEnd);
        ASSERT_FALSE(movie.Failed()) << movie.GetError();
        ASSERT_GT(movie.Close(), 0u);
        ASSERT_TRUE(reader.Parse(CPath(path.c_str()), true, 0, true));
    }

    template <class Tag>
    std::vector<Tag*> All(int code)
    {
        std::vector<Tag*> out;
        for (CSwfTag* tag : reader.GetTags(nullptr))
            if (tag->GetTagCode() == code) out.push_back(static_cast<Tag*>(tag));
        return out;
    }

    tavrel_test::TempDir dir;
    std::string path;
    CSlideShow show;
    // The next character id and depth, as the export keeps them.
    uint16_t ids = 0, depths = 0;
    std::vector<bool> placed;
    OwnedReader reader;
};

// The records in order: "F" the first style part (font, colour, height),
// "s" a style part with offsets only, "e" one that changes nothing, and the
// glyph count of each glyph part.
std::string Shape(const CTagDefineText& text)
{
    std::string out;
    for (const auto& record : text.records) {
        if (!out.empty()) out += ' ';
        if (!record->IsStyle())
            out += std::to_string(static_cast<const CTextGlyphRecord&>(*record).entries.size());
        else if (record->type & swf_text::kHasFont)
            out += 'F';
        else
            out += record->type == swf_text::kStyleRecord ? 'e' : 's';
    }
    return out;
}

std::vector<const CTextRecord*> Styles(const CTagDefineText& text)
{
    std::vector<const CTextRecord*> out;
    for (const auto& record : text.records)
        if (record->IsStyle()) out.push_back(static_cast<const CTextRecord*>(record.get()));
    return out;
}

std::vector<CTextGlyphEntry> Entries(const CTagDefineText& text)
{
    std::vector<CTextGlyphEntry> out;
    for (const auto& record : text.records)
        if (!record->IsStyle()) {
            const auto& entries = static_cast<const CTextGlyphRecord&>(*record).entries;
            out.insert(out.end(), entries.begin(), entries.end());
        }
    return out;
}

TEST(CaptionExport, LayoutEdgeCasesAsTagValues)
{
    REQUIRE_DEJAVU();
    struct Case {
        const char* what;
        CCaption caption;
        // Registered instead of the caption's own text, when set.
        const char* registered;
        const char* shape;
        std::function<void(const CTagDefineText&, const std::vector<int>& widths)> check;
    };
    const std::vector<Case> cases = {
        {"A CR LF B: three lines, B two line heights below A", Caption("A\r\nB"), nullptr, "F 1 s 1",
         [](const CTagDefineText& t, const std::vector<int>& widths) {
             ASSERT_EQ(widths.size(), 3u);
             EXPECT_EQ(widths[1], 0);
             const auto styles = Styles(t);
             EXPECT_EQ(styles[0]->yOffset, 10 * 20 + 400);
             EXPECT_EQ(styles[1]->yOffset - styles[0]->yOffset, 800);
             EXPECT_EQ(styles[1]->xOffset, 200);
             EXPECT_EQ(t.matrix->translateX, 0);
         }},
        // Past 1638 pixels a text record's offset cannot reach: the matrix does.
        {"far out on a wide show", Caption("AB", "None", 0, 0, 1900), nullptr, "F 2",
         [](const CTagDefineText& t, const std::vector<int>& widths) {
             ASSERT_TRUE(t.matrix);
             EXPECT_EQ(t.matrix->translateX, 1900 * 20);
             EXPECT_EQ(t.matrix->translateY, 0);
             ASSERT_FALSE(Styles(t).empty());
             EXPECT_EQ(Styles(t)[0]->xOffset, 0);
             EXPECT_EQ(Styles(t)[0]->yOffset, 600);
             EXPECT_EQ(t.bounds->xmin, 0);
             EXPECT_EQ(t.bounds->xmax, widths[0] + 400);
         }},
        {"300 characters: records of 127, 127 and 46 glyphs", Caption(std::string(300, 'a')), nullptr,
         "F 127 e 127 e 46", nullptr},
        {"two leading breaks, right aligned: the first style part is line 2's", Caption("\n\rAB", "None", 2, 0, 300),
         nullptr, "F 2",
         [](const CTagDefineText& t, const std::vector<int>& widths) {
             const CTextRecord& first = *Styles(t)[0];
             EXPECT_EQ(first.yOffset, 10 * 20 + 400 + 2 * 400);
             EXPECT_EQ(first.xOffset, 300 * 20 - widths[2]);
             EXPECT_EQ(first.textHeight, 400);
             ASSERT_TRUE(first.colour);
             EXPECT_EQ(first.colour->GetPacked(), 0xFFFFFFu);
         }},
        // The x's were never registered: no glyph for them, their room kept.
        {"unknown characters leave no glyph but keep their advance", Caption("xAxB"), "AB", "F 2",
         [](const CTagDefineText& t, const std::vector<int>& widths) {
             const CTextRecord& first = *Styles(t)[0];
             const auto entries = Entries(t);
             int sum = 0;
             for (const auto& e : entries) {
                 EXPECT_LT(e.index, 2u);
                 sum += e.advance;
             }
             EXPECT_GT(first.xOffset, 200);
             EXPECT_EQ(first.xOffset - 200 + sum, widths[0]);
             EXPECT_GT(entries[0].advance, entries[1].advance);
         }},
        // A size past what a text record's height holds is laid out at the
        // largest it holds: glyphs, advances and bounds alike.
        {"a size past the text record's height", Caption("W", "None", 0, 0, 0, 0, 40000), nullptr, "F 1",
         [](const CTagDefineText& t, const std::vector<int>& widths) {
             EXPECT_EQ(Styles(t)[0]->textHeight, 3276 * 20);
             EXPECT_EQ(Entries(t)[0].advance, widths[0]);
             EXPECT_EQ(t.bounds->xmax, widths[0] + 3276 * 20);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CaptionMovie m;
        m.Write({c.caption}, 1, [&](CSwfFontManager& fonts) {
            CSwfTextFont font;
            font.CFont::Assign(c.caption.GetFont());
            fonts.FindFont(font, c.registered ? c.registered : c.caption.GetText().c_str(), 1);
        });
        const auto texts = m.All<CTagDefineText>(swf_tag::kDefineText2);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(Shape(*texts[0]), c.shape);
        int x = 0, y = 0;
        std::vector<int> widths;
        LayoutCaptionText(c.caption, x, y, widths);
        if (c.check) c.check(*texts[0], widths);
    }
}

TEST(CaptionExport, AnchorsFollowTheAlignments)
{
    REQUIRE_DEJAVU();
    int x = 0, y = 0;
    std::vector<int> widths;
    LayoutCaptionText(Caption("Wide\nW"), x, y, widths);
    ASSERT_EQ(widths.size(), 2u);
    const int w = widths[0];
    EXPECT_GT(w, widths[1]);
    struct Case {
        int hAlign, vAlign, x, y;
    };
    // Two lines of 20 + 5 pixels: a block 1000 twips high.
    for (const Case& c : std::vector<Case>{{0, 0, 200, 200},
                                           {1, 1, 200 - w / 2, 200 - 500},
                                           {2, 2, 200 - w, 200 - 1000},
                                           {7, 9, 200, 200}}) {
        CCaption caption = Caption("Wide\nW", "None", c.hAlign, c.vAlign);
        caption.SetLeading(5);
        LayoutCaptionText(caption, x, y, widths);
        EXPECT_EQ(x, c.x) << c.hAlign;
        EXPECT_EQ(y, c.y) << c.vAlign;
    }
}

TEST(CaptionExport, EntranceEffectsAsSpriteFrames)
{
    REQUIRE_DEJAVU();
    struct Case {
        const char* effect;
        // Alpha multipliers, or x and y offsets, of the twelve moves.
        std::vector<int> alphas;
        int startX, startY, stepX, stepY;
    };
    const std::vector<int> fade = {21, 43, 64, 85, 107, 128, 149, 171, 192, 213, 235, 256};
    const std::vector<Case> cases = {
        {"Fade In", fade, 0, 0, 0, 0},
        {"fade IN", fade, 0, 0, 0, 0},
        {"Fly From Right", {}, 6400, 0, -533, 0},
        {"FLY FROM LEFT", {}, -6400, 0, 533, 0},
        {"fly from top", {}, 0, -4800, 0, 400},
        {"Fly From Bottom", {}, 0, 4800, 0, -400},
        {"Spin", {}, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.effect);
        CaptionMovie m;
        m.Write({Caption("Go", c.effect)});
        const auto sprites = m.All<CTagDefineSprite>(swf_tag::kDefineSprite);
        const auto texts = m.All<CTagDefineText>(swf_tag::kDefineText2);
        ASSERT_EQ(sprites.size(), 1u);
        ASSERT_EQ(texts.size(), 1u);
        const bool none = std::string(c.effect) == "Spin";
        // Read back, the sprite's body ends in its End tag.
        std::vector<int> codes = Codes(sprites[0]->tags);
        EXPECT_EQ(sprites[0]->frameCount, none ? 1 : 13);
        ASSERT_EQ(codes.size(), none ? 3u : 1u + 12 * 2 + 3);
        if (!none) {
            EXPECT_EQ(codes[codes.size() - 3], swf_tag::kDoAction);
        }

        const auto* first = static_cast<const CTagPlaceObject2*>(sprites[0]->tags[0]);
        EXPECT_EQ(first->characterId, texts[0]->GetCharacterId());
        EXPECT_EQ(first->depth, 1);
        EXPECT_FALSE(first->move);
        if (none) {
            EXPECT_FALSE(first->matrix);
            EXPECT_FALSE(first->cxform);
            continue;
        }
        const bool fading = !c.alphas.empty();
        if (fading) {
            ASSERT_TRUE(first->cxform);
            EXPECT_EQ(first->cxform->alphaMult, 0);
            EXPECT_EQ(first->cxform->redMult, 256);
        } else {
            ASSERT_TRUE(first->matrix);
            EXPECT_EQ(first->matrix->translateX, c.startX);
            EXPECT_EQ(first->matrix->translateY, c.startY);
        }
        for (int k = 1; k <= 12; ++k) {
            const auto* move = static_cast<const CTagPlaceObject2*>(sprites[0]->tags[size_t(2 * k - 1)]);
            EXPECT_TRUE(move->move);
            EXPECT_EQ(move->characterId, 0);
            if (fading) {
                ASSERT_TRUE(move->cxform);
                EXPECT_EQ(move->cxform->alphaMult, c.alphas[size_t(k - 1)]) << k;
            } else {
                ASSERT_TRUE(move->matrix);
                EXPECT_EQ(move->matrix->translateX, c.startX + k * c.stepX) << k;
                EXPECT_EQ(move->matrix->translateY, c.startY + k * c.stepY) << k;
                EXPECT_FALSE(move->matrix->hasScale);
            }
        }
    }
}

TEST(CaptionExport, UnderOneFramePerSecondAnEffectTakesOneStep)
{
    CSwfMovie slow;
    slow.SetHeader(320 * 20, 240 * 20, 0.5f, 6);
    CTagDefineSprite sprite;
    BuildCaptionEffect(Caption("Go", "Fly From Right"), slow, sprite, 1);
    EXPECT_EQ(sprite.frameCount, 2);
    const auto* move = static_cast<const CTagPlaceObject2*>(sprite.tags.at(1));
    ASSERT_TRUE(move->matrix);
    EXPECT_EQ(move->matrix->translateX, 0);
}

TEST(CaptionExport, CaptionsThatGiveNothingWriteNothing)
{
    REQUIRE_DEJAVU();
    struct Case {
        const char* what;
        std::function<void(CCaption&)> change;
        bool registered = true;
        uint16_t ids = 0, depths = 0;
    };
    const std::vector<Case> cases = {
        {"empty text", [](CCaption& c) { c.SetText(""); }},
        {"a show caption of only %filename", [](CCaption& c) { c.SetText("%FileName"); }},
        {"font size 0", [](CCaption& c) { c.SetFont(dejavu::Font(0)); }},
        {"negative font size", [](CCaption& c) { c.SetFont(dejavu::Font(-4)); }},
        {"a font the table never registered", [](CCaption&) {}, false},
        {"text-effect caption without a bundle", [](CCaption& c) { c.SetType(CCaption::kLfx); }},
        // Counters that would wrap past 65535 onto ids and depths in use.
        {"no ids left for the text and its sprite", [](CCaption&) {}, true, 65534, 0},
        {"no depth left", [](CCaption&) {}, true, 0, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CCaption caption = Caption("Hi");
        c.change(caption);
        CaptionMovie m;
        m.ids = c.ids;
        m.depths = c.depths;
        m.Write({caption}, 1, c.registered ? CaptionMovie::Prepare() : [](CSwfFontManager&) {});
        EXPECT_FALSE(m.placed.at(0));
        EXPECT_EQ(m.depths, c.depths);
        EXPECT_TRUE(m.All<CSwfTag>(swf_tag::kDefineText2).empty());
        EXPECT_TRUE(m.All<CSwfTag>(swf_tag::kDefineSprite).empty());
    }
}

// Prepare registers the effect's glyphs "Lfx", which the font tag then
// holds; build writes a sprite that gets placed, unless the bundle breaks
// its promises.
TEST(CaptionExport, TextEffectBundleCalls)
{
    struct Case {
        const char* bundle;
        const char* effectFile;
        bool prepared, placed;
        uint16_t ids = 10, depths = 4;
    };
    const std::vector<Case> cases = {
        {TAVREL_TEXT_EFFECT_BUNDLE, "/effects/sprite.lfx", true, true},
        {TAVREL_TEXT_EFFECT_BUNDLE, "/effects/empty.lfx", true, false},
        {TAVREL_TEXT_EFFECT_BUNDLE, "/effects/backwards.lfx", true, false},
        {TAVREL_TEXT_EFFECT_BUNDLE, "/effects/foreign.lfx", true, false},
        {TAVREL_TEXT_EFFECT_BUNDLE, "/effects/shallow.lfx", true, false},
        {TAVREL_TEST_BUNDLE_PLAIN, "/effects/sprite.lfx", false, false},  // no caption entries
        {"/nowhere/lfx.bundle", "/effects/sprite.lfx", false, false},
        {"", "/effects/sprite.lfx", false, false},
        // The bundle's id wraps past 65535; no depth is left for the sprite.
        {TAVREL_TEXT_EFFECT_BUNDLE, "/effects/sprite.lfx", true, false, 65534},
        {TAVREL_TEXT_EFFECT_BUNDLE, "/effects/sprite.lfx", true, false, 10, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.bundle) + " " + c.effectFile);
        tavrel_test::TempDir dir;
        const std::string path = dir.file("lfx.swf");
        CSlideShow show;
        show.text_effect_bundle_path = CPath(c.bundle);
        CCaption caption(CCaption::kLfx);
        caption.SetImportSrc(CPath(c.effectFile));
        CSwfMovie movie;
        movie.SetHeader(320 * 20, 240 * 20, 12, 6);
        ASSERT_TRUE(movie.Open(CPath(path.c_str()), true));
        CSwfFontManager fonts;
        PrepareCaptionExport(caption, show, fonts);
        ASSERT_EQ(fonts.GetFonts().size(), c.prepared ? 1u : 0u);
        uint16_t ids = c.ids, depths = c.depths;
        fonts.BuildFontTags(movie, ids);
        if (c.prepared) {
            EXPECT_NE(fonts.EmbedFont(fonts.GetFonts()[0]->font, movie), 0);
        }
        const uint16_t before = ids;

        auto place = ExportCaption(caption, show, fonts, movie, ids, depths);
        EXPECT_EQ(place != nullptr, c.placed);
        EXPECT_GE(ids, before);
        EXPECT_GE(depths, c.depths);
        if (!place) continue;
        EXPECT_EQ(place->characterId, before + 1);
        EXPECT_EQ(place->depth, 5);
        EXPECT_EQ(depths, 5);
        EXPECT_FALSE(place->matrix);
        movie.AddTag(place.release());
        movie.AddTag(new CTagShowFrame);
        movie.AddTag(new CTagEnd);
        ASSERT_GT(movie.Close(), 0u);
        OwnedReader reader;
        ASSERT_TRUE(reader.Parse(CPath(path.c_str()), true, 0, true));
        const CSwfTagList& tags = reader.GetTags(nullptr);
        ASSERT_EQ(Codes(tags), (std::vector<int>{swf_tag::kDefineFont2, swf_tag::kDefineSprite, swf_tag::kPlaceObject2,
                                                 swf_tag::kShowFrame, swf_tag::kEnd}));
        EXPECT_EQ(static_cast<CTagDefineFont2*>(tags[0])->codes, (std::vector<uint16_t>{'L', 'f', 'x'}));
        EXPECT_EQ(static_cast<CTagDefineSprite*>(tags[1])->GetCharacterId(), before + 1);
    }
}

}  // namespace

namespace {

// Six captions "HI" at 28 pixels, one of each effect, over every horizontal
// and vertical alignment, each in its own part of the stage.
std::vector<CCaption> EveryEffect()
{
    return {
        Caption("HI", "None", 0, 0, 12, 20, 28),          Caption("HI", "Fade In", 1, 1, 160, 60, 28),
        Caption("HI", "Fly From Right", 2, 2, 308, 100, 28), Caption("HI", "Fly From Left", 0, 2, 12, 220, 28),
        Caption("HI", "Fly From Top", 1, 0, 160, 150, 28), Caption("HI", "Fly From Bottom", 2, 1, 308, 180, 28),
    };
}

struct Box {
    int x0, y0, x1, y1;
    bool Holds(int x, int y, int margin) const
    {
        return x >= x0 - margin && x <= x1 + margin && y >= y0 - margin && y <= y1 + margin;
    }
};

// Each caption's text block in pixels.
std::vector<Box> Boxes(const std::vector<CCaption>& captions)
{
    std::vector<Box> out;
    for (const CCaption& c : captions) {
        int x = 0, y = 0;
        std::vector<int> widths;
        LayoutCaptionText(c, x, y, widths);
        const int height = (c.GetFont().GetSize() + c.GetLeading()) * int(widths.size());
        out.push_back({x / 20, y / 20, (x + widths[0]) / 20, y / 20 + height});
    }
    return out;
}

// Plays the movie's frames 1 to frame at its rate; the green level of the
// stage's pixels then (empty when the shot failed).
std::function<int(int, int)> Shoot(const std::string& path, int frame)
{
    const std::string png = path + std::to_string(frame) + ".png";
    const tavrel_test::ToolResult shot = tavrel_test::RunSwfShot(path, png, "--stop-at " + std::to_string(frame));
    EXPECT_EQ(shot.exitCode, 0) << shot.output;
    auto image = std::make_shared<CPngImage>();
    if (shot.exitCode != 0 || !image->Load(CPath(png.c_str()))) return nullptr;
    return [image](int x, int y) {
        return int(image->pixels[(size_t(y) * image->width + size_t(x)) * size_t(image->BytesPerPixel()) + 1]);
    };
}

TEST(CaptionMovie, EveryEffectAndAlignmentPassesTheCheckers)
{
    REQUIRE_DEJAVU();
    CaptionMovie m;
    m.Write(EveryEffect(), 20);
    tavrel_test::ExpectDumpAccepts(m.path, {"DefineFont2", "DefineText2", "DefineSprite", "PlaceObject2"});
    if (::testing::Test::IsSkipped() || ::testing::Test::HasFailure()) return;
    const std::string why = tavrel_test::SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;

    // Once every effect is over: glyphs inside each caption's box, nothing
    // anywhere else on the stage.
    const std::vector<Box> boxes = Boxes(EveryEffect());
    const auto green = Shoot(m.path, 20);
    ASSERT_TRUE(green);
    std::vector<int> lit(boxes.size(), 0), brightest(boxes.size(), 0);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const auto in = std::find_if(boxes.begin(), boxes.end(), [&](const Box& b) { return b.Holds(x, y, 0); });
            const int level = green(x, y);
            if (in == boxes.end()) {
                const bool near = std::any_of(boxes.begin(), boxes.end(), [&](const Box& b) { return b.Holds(x, y, 3); });
                if (!near) {
                    EXPECT_LT(level, 0x20) << "outside every caption at " << x << "," << y;
                }
                continue;
            }
            const size_t b = size_t(in - boxes.begin());
            if (level > 0x80) ++lit[b];
            brightest[b] = std::max(brightest[b], level);
        }
    for (size_t b = 0; b < boxes.size(); ++b) {
        EXPECT_GE(lit[b], 40) << EveryEffect()[b].GetEffect();
        EXPECT_GT(brightest[b], 0xE0) << EveryEffect()[b].GetEffect();
    }

    // Halfway through its second the faded caption is half transparent
    // (alone: the flights would cross its box).
    CaptionMovie midway;
    midway.Write({EveryEffect()[1]}, 20, nullptr, 6);
    const auto half = Shoot(midway.path, 6);
    ASSERT_TRUE(half);
    const Box& fade = boxes[1];
    int peak = 0;
    for (int y = fade.y0; y <= fade.y1; ++y)
        for (int x = fade.x0; x <= fade.x1; ++x) peak = std::max(peak, half(x, y));
    EXPECT_GT(peak, 0x60);
    EXPECT_LT(peak, 0xA8);
}

}  // namespace
