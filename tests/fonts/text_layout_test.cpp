#include <gtest/gtest.h>

#include "dejavu.h"
#include "fonts/text_layout.h"
#include "swf/display_tags.h"
#include "swf/movie.h"

namespace {

// The records of a text as (style: x, y) and (glyphs: count) in order.
struct Item {
    bool style;
    int a, b;
    bool operator==(const Item&) const = default;
};

std::vector<Item> Items(const CTagDefineText& tag)
{
    std::vector<Item> out;
    for (const auto& r : tag.records) {
        if (r->IsStyle()) {
            const auto& s = static_cast<const CTextRecord&>(*r);
            out.push_back({true, s.xOffset, s.yOffset});
        } else {
            out.push_back({false, int(static_cast<const CTextGlyphRecord&>(*r).entries.size()), 0});
        }
    }
    return out;
}

class TextLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (dejavu::Family() == 0) GTEST_SKIP() << "fonts-dejavu-core missing";
        movie.SetHeader(320 * 20, 240 * 20, 12, 6);
        ASSERT_TRUE(movie.Open(CPath(dir.file("t.swf").c_str()), true));
    }
    // Registers the text and builds the font tags, as a caller must first.
    void Register(const CSwfTextFont& font, const std::string& text)
    {
        fonts.FindFont(font, text.c_str(), 0);
        fonts.BuildFontTags(movie, counter);
    }
    tavrel_test::TempDir dir;
    CSwfMovie movie;
    CSwfFontManager fonts;
    uint16_t counter = 0;
};

TEST_F(TextLayoutTest, StaticTextLines)
{
    const int h = 20 * 20;  // 20-point text, in twips
    const int a = dejavu::Font(20).GetTextWidth('a') * h / 1024;
    struct Case {
        std::string text;
        int alignment;
        std::vector<Item> items;
    };
    const Case cases[] = {
        {"\r\n\r", text_align::kLeft, {}},
        // CR LF is two line ends: the second character lies two lines down.
        {"a\r\na", text_align::kLeft, {{true, 200, 300 + h}, {false, 1, 0}, {true, 200, 300 + 3 * h}, {false, 1, 0}}},
        {"\naa", text_align::kCenter, {{true, 200 - a, 300 + 2 * h}, {false, 2, 0}}},
        {"aa", text_align::kRight, {{true, 200 - 2 * a, 300 + h}, {false, 2, 0}}},
        {"aa", text_align::kJustify, {{true, 200, 300 + h}, {false, 2, 0}}},
        // A full glyph record continues after an empty style record.
        {std::string(200, 'a'),
         text_align::kLeft,
         {{true, 200, 300 + h}, {false, 127, 0}, {true, 0, 0}, {false, 73, 0}}},
        {std::string(128, 'a'), text_align::kLeft, {{true, 200, 300 + h}, {false, 127, 0}, {false, 1, 0}}},
    };
    for (const Case& c : cases) {
        CStaticTextBuilder builder;
        builder.SetFont(dejavu::Font(20));
        builder.SetX(10);
        builder.SetY(15);
        builder.text = c.text;
        builder.alignment = c.alignment;
        Register(builder.font, c.text);
        auto tag = builder.Build(fonts, movie, counter);
        EXPECT_EQ(Items(*tag), c.items) << c.text.substr(0, 8);
        EXPECT_EQ(tag->GetCharacterId(), counter);
        if (c.items.empty()) continue;
        const auto& first = static_cast<const CTextRecord&>(*tag->records[0]);
        EXPECT_EQ(first.textHeight, h);
        EXPECT_EQ(first.colour->r, 0xFF);
    }
}

TEST_F(TextLayoutTest, UnregisteredCharacterHasNoGlyph)
{
    CStaticTextBuilder builder;
    builder.SetFont(dejavu::Font(20));
    builder.text = "ab";
    Register(builder.font, "a");
    auto tag = builder.Build(fonts, movie, counter);
    const auto& glyphs = static_cast<const CTextGlyphRecord&>(*tag->records[1]);
    EXPECT_EQ(glyphs.entries[0].index, 0u);
    EXPECT_EQ(glyphs.entries[1].index, 0xFFFFFFFFu);
}

TEST_F(TextLayoutTest, EditTextBoundsFollowTheAlignment)
{
    const int h = 400;
    struct Case {
        int alignment;
        uint8_t align;
        int xmin, xmax;
    };
    int wide = 0;  // the first line, "123", in twips
    for (char c : std::string("123")) wide += dejavu::Font(20).GetTextWidth(uint8_t(c)) * h / 1024;
    const Case cases[] = {
        // 2 px (40 twips) more on each side for the players' gutters.
        {text_align::kLeft, 0, -40, wide + 40},
        {text_align::kCenter, 2, -wide / 2 - 40, wide / 2 + 40},
        {text_align::kRight, 1, -wide - 40, 40},
        {text_align::kJustify, 3, -40, wide + 40},
    };
    for (const Case& c : cases) {
        CStaticTextBuilder builder;
        builder.SetFont(dejavu::Font(20));
        builder.text = "123\r12";
        builder.lineSpacing = 2;
        builder.alignment = c.alignment;
        Register(builder.font, builder.text);
        EXPECT_EQ(builder.MeasureWidth(), wide / 20);
        auto field = builder.BuildEditText(fonts, movie, counter);
        EXPECT_EQ(
            std::make_tuple(field->flags, field->GetCharacterId(), field->align, field->leading, field->initialText),
            std::make_tuple(0x8D31, 0, c.align, 40, std::string("123\r12")));
        EXPECT_EQ(std::make_tuple(field->bounds->xmin, field->bounds->xmax, field->bounds->ymin, field->bounds->ymax),
                  std::make_tuple(c.xmin, c.xmax, -h, 2 * (h + 40) + h));
    }
}

TEST_F(TextLayoutTest, WrapsWordsIntoTheRectangle)
{
    const CSwfTextFont font = dejavu::Font(20);
    const int m = font.MeasureText('m'), space = font.MeasureText(' ');
    struct Case {
        std::string text;
        int width;
        bool wrap;
        // Per line: width, characters, spaces.
        std::vector<std::tuple<int, int, int>> lines;
    };
    const Case cases[] = {
        {"mm mm", 5 * m, true, {{4 * m + space, 5, 1}}},
        // The break takes the space off the first line's width, not its count.
        {"mm mm", 3 * m, true, {{2 * m, 3, 0}, {2 * m, 2, 0}}},
        {"mm mm", 3 * m, false, {{4 * m + space, 5, 1}}},
        // Too long a word stays whole on its own line.
        {"m mmmmmm m", 3 * m, true, {{m, 2, 0}, {6 * m, 7, 0}, {m, 1, 0}}},
        {"m\r\rm", 100, true, {{m, 2, 0}, {0, 1, 0}, {m, 1, 0}}},
    };
    for (const Case& c : cases) {
        CTextLayout layout;
        layout.SetFont(font);
        layout.SetText(c.text);
        layout.SetBounds(Rect{0, 0, 100, int16_t(c.width)});
        layout.SetWrap(c.wrap);
        int widest = 0;
        for (const auto& l : c.lines) widest = std::max(widest, std::get<0>(l));
        EXPECT_EQ(layout.WrapLines(), widest) << c.text;
        std::vector<std::tuple<int, int, int>> got;
        for (const auto& l : layout.GetLines()) got.emplace_back(l.width, l.characters, l.spaces);
        EXPECT_EQ(got, c.lines) << c.text << " in " << c.width;
    }
}

TEST_F(TextLayoutTest, LayoutPlacesLinesInTheRectangle)
{
    CSwfTextFont font = dejavu::Font(20);
    const int m = font.MeasureText('m'), space = font.MeasureText(' ');
    struct Case {
        std::string text;
        int horizontal, vertical;
        std::vector<Item> items;
    };
    const Case cases[] = {
        {"m\r\nm",
         text_align::kLeft,
         text_align::kTop,
         {{true, 0, 400}, {false, 1, 0}, {true, 0, 1200}, {false, 1, 0}}},
        {"\rm",
         text_align::kRight,
         text_align::kBottom,
         {{true, (100 - m) * 20, (50 - 40 + 20 + 20) * 20}, {false, 1, 0}}},
        {"m",
         text_align::kCenter,
         text_align::kMiddle,
         {{true, (50 - m / 2) * 20, (20 + 25 - 10) * 20}, {false, 1, 0}}},
        {"mm m", text_align::kJustify, text_align::kTop, {{true, 0, 400}, {false, 4, 0}}},
    };
    for (const Case& c : cases) {
        CTextLayout layout;
        layout.SetFont(font);
        layout.SetColor(0x00FF00);
        layout.SetText(c.text);
        layout.SetBounds(Rect{0, 0, 50, 100});
        layout.SetHorizontalAlignment(c.horizontal);
        layout.SetVerticalAlignment(c.vertical);
        Register(font, c.text);
        auto tag = layout.BuildText(fonts, movie, counter);
        EXPECT_EQ(Items(*tag), c.items) << c.text;
        EXPECT_EQ(std::make_tuple(tag->bounds->xmax, tag->bounds->ymax), std::make_tuple(2000, 1000));
        const auto& first = static_cast<const CTextRecord&>(*tag->records[0]);
        EXPECT_EQ(first.colour->g, 0xFF);
        if (c.horizontal != text_align::kJustify) continue;
        // The space takes up what the line leaves of the width.
        const auto& glyphs = static_cast<const CTextGlyphRecord&>(*tag->records[1]);
        const int extra = (100 - (3 * m + space)) * 20;
        EXPECT_EQ(glyphs.entries[2].advance, font.GetTextWidth(' ') * 400 / 1024 + extra);
    }
}

TEST(SwfProbes, MovieInfoOfPlainCompressedAndOtherFiles)
{
    tavrel_test::TempDir dir;
    const CPath plain(dir.file("p.swf").c_str()), packed(dir.file("c.swf").c_str());
    {
        CSwfMovie movie;
        movie.SetHeader(550 * 20, 400 * 20, 24, 6);
        ASSERT_TRUE(movie.Open(plain, true));
        movie.AddTag(new CTagShowFrame);
        movie.AddTag(new CTagShowFrame);
        ASSERT_GT(movie.Close(), 0u);
    }
    ASSERT_TRUE(CompressSwfFile(plain, packed, true));
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("x.swf"), "fws1234567890"));
    for (const CPath* path : {&plain, &packed}) {
        int w = 0, h = 0, version = 0, frames = 0, compressed = -1;
        float rate = 0;
        ASSERT_TRUE(GetSwfMovieInfo(*path, &w, &h, &rate, &version, &frames, &compressed));
        EXPECT_EQ(std::make_tuple(w, h, version, frames), std::make_tuple(11000, 8000, 6, 2));
        EXPECT_FLOAT_EQ(rate, 24.0f);
        EXPECT_EQ(compressed, path == &packed ? 1 : 0);
        EXPECT_TRUE(GetSwfMovieInfo(*path, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    }
    // Signatures are upper case.
    EXPECT_FALSE(IsSwfFile(CPath(dir.file("x.swf").c_str())));
    EXPECT_FALSE(
        GetSwfMovieInfo(CPath(dir.file("x.swf").c_str()), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(
        GetSwfMovieInfo(CPath(dir.file("none.swf").c_str()), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
}

}  // namespace
