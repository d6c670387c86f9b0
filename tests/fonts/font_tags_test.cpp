#include <gtest/gtest.h>

#include "dejavu.h"
#include "fonts/font_manager.h"
#include "fonts/font_tags.h"
#include "swf/movie.h"
#include "swf/swf_bytes.h"

namespace {

// Counts the glyph's records by kind and straight edges by form.
struct RecordCounts {
    int moves = 0, curves = 0, general = 0, horizontal = 0, vertical = 0, ends = 0;
};

RecordCounts Count(const CShape& glyph)
{
    RecordCounts n;
    for (const auto& r : glyph.records) {
        switch (r->GetType()) {
            case swf_shape::kStyleChange:
                ++n.moves;
                break;
            case swf_shape::kCurvedEdge:
                ++n.curves;
                break;
            case swf_shape::kEnd:
                ++n.ends;
                break;
            case swf_shape::kStraightEdge: {
                const uint8_t kind = static_cast<const CShapeRecordStraightEdge&>(*r).kind;
                (kind == swf_shape::kHorizontal ? n.horizontal
                 : kind == swf_shape::kVertical ? n.vertical
                                                : n.general)++;
                break;
            }
        }
    }
    return n;
}

TEST(FontTag, DejaVuSansGoldens)
{
    REQUIRE_DEJAVU();
    auto tag = BuildFontTag(dejavu::Font(32), "A T_", 7, false);
    ASSERT_EQ(tag->glyphs.size(), 4u);
    EXPECT_EQ(tag->GetCharacterId(), 7);
    EXPECT_EQ(tag->name, "DejaVu Sans");
    EXPECT_EQ(tag->flags, swf_font2::kHasLayout | swf_font2::kAnsi);
    EXPECT_EQ(std::make_tuple(tag->ascent, tag->descent, tag->leading), std::make_tuple(1328, 207, 0));
    EXPECT_EQ(tag->advances, (std::vector<int16_t>{700, 325, 625, 512}));
    EXPECT_EQ(tag->codes, (std::vector<uint16_t>{'A', ' ', 'T', '_'}));

    // The space: one end record and empty bounds.
    const RecordCounts space = Count(*tag->glyphs[1]);
    EXPECT_EQ(tag->glyphs[1]->records.size(), 1u);
    EXPECT_EQ(space.ends, 1);
    EXPECT_EQ(*tag->bounds[1], CSwfRect());
    // 'T' is straight lines only, each horizontal or vertical.
    const RecordCounts t = Count(*tag->glyphs[2]);
    EXPECT_EQ(std::make_tuple(t.moves, t.curves, t.general, t.ends), std::make_tuple(1, 0, 0, 1));
    EXPECT_GT(t.horizontal, 0);
    EXPECT_GT(t.vertical, 0);
    // 'A' has two contours with slanted sides.
    const RecordCounts a = Count(*tag->glyphs[0]);
    EXPECT_EQ(a.moves, 2);
    EXPECT_GT(a.general, 0);

    // Bounds are SWF's y-down extremes: 'T' stands above the baseline, '_' below it.
    EXPECT_EQ(std::make_tuple(tag->bounds[2]->xmin, tag->bounds[2]->xmax), std::make_tuple(-3, 628));
    EXPECT_EQ(std::make_tuple(tag->bounds[2]->ymin, tag->bounds[2]->ymax), std::make_tuple(-746, 0));
    EXPECT_EQ(std::make_tuple(tag->bounds[3]->ymin, tag->bounds[3]->ymax), std::make_tuple(170, 241));
}

TEST(FontTag, StyleFlagsAndAppendedId)
{
    REQUIRE_DEJAVU();
    struct Case {
        uint16_t style;
        bool appendId;
        uint8_t flags;
        std::string writtenName;
    };
    const Case cases[] = {
        {0, false, 0x90, "DejaVu Sans"},
        {qd_style::kBold, false, 0x91, "DejaVu Sans"},
        {qd_style::kItalic, true, 0x92, "DejaVu Sans3"},
        {qd_style::kBold | qd_style::kItalic, false, 0x93, "DejaVu Sans"},
    };
    for (const Case& c : cases) {
        auto tag = BuildFontTag(dejavu::Font(12, c.style), "x", 3, c.appendId);
        EXPECT_EQ(tag->flags, c.flags) << c.style;
        // Written for version 5 the flags stay; the name carries the id once.
        const Bytes bytes = Written(*tag, 5);
        CTagDefineFont2 parsed;
        ASSERT_GT(ParseTag(parsed, bytes, 5), 0);
        EXPECT_EQ(parsed.name, c.writtenName);
        EXPECT_EQ(parsed.flags, c.flags);
    }
}

TEST(FontTag, GlyphOutlineOfAnUndrawableCharacter)
{
    REQUIRE_DEJAVU();
    std::vector<std::unique_ptr<CShapeRecord>> records;
    CSwfRect bounds;
    bounds.xmax = 99;
    EXPECT_FALSE(BuildGlyphOutline(records, dejavu::Font(12), 0, bounds));
    EXPECT_TRUE(records.empty());
    EXPECT_EQ(bounds, CSwfRect());
    // In a font tag it still becomes a well-formed, empty glyph.
    auto tag = BuildFontTag(dejavu::Font(12), std::string(1, '\0') + "x", 1, false);
    EXPECT_EQ(Count(*tag->glyphs[0]).ends, 1);
    CTagDefineFont2 parsed;
    ASSERT_GT(ParseTag(parsed, Written(*tag, 6), 6), 0);
    EXPECT_EQ(parsed.glyphs.size(), 2u);
    EXPECT_EQ(Count(*parsed.glyphs[1]).moves, Count(*tag->glyphs[1]).moves);

    // Every byte, drawable or not, in every style, writes a well-formed tag.
    std::string all;
    for (int c = 1; c < 256; ++c) all += char(c);
    for (uint16_t style : {0, 1, 2, 3}) {
        auto every = BuildFontTag(dejavu::Font(12, style), all, 1, false);
        CSwfStream stream(6);
        every->Write(stream);
        ASSERT_FALSE(stream.Failed()) << stream.GetError();
        CTagDefineFont2 back;
        ASSERT_GT(ParseTag(back, stream.GetBuffer(), 6), 0);
        EXPECT_EQ(back.glyphs.size(), 255u);
        EXPECT_EQ(back.advances, every->advances);
    }
}

class FontManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (dejavu::Family() == 0) GTEST_SKIP() << "fonts-dejavu-core missing";
    }
    // A movie of the version to embed into; its file goes with the fixture.
    CSwfMovie& Movie(uint8_t version)
    {
        movie.SetHeader(320 * 20, 240 * 20, 12, version);
        EXPECT_TRUE(movie.Open(CPath(dir.file("m.swf").c_str()), true));
        return movie;
    }
    tavrel_test::TempDir dir;
    CSwfMovie movie;
};

TEST_F(FontManagerTest, SharesTagsPerFamilyAndStyle)
{
    CSwfFontManager manager;
    CSwfTextFont red = dejavu::Font(20), big = dejavu::Font(40), bold = dejavu::Font(20, qd_style::kBold);
    red.color = 0x0000FF;
    manager.FindFont(red, "ba", 0);
    manager.FindFont(big, "ca", 0);
    manager.FindFont(bold, "a", 0);
    manager.FindFont(red, "d", 0);  // joins the first entry
    ASSERT_EQ(manager.GetFonts().size(), 3u);
    EXPECT_EQ(manager.GetFonts()[0]->characters, "bad");

    CSwfMovie& m = Movie(6);
    uint16_t counter = 4;
    EXPECT_TRUE(manager.BuildFontTags(m, counter));
    EXPECT_EQ(counter, 6);
    EXPECT_EQ(manager.PreparedCount(), 2u);
    // Colour and size do not split a family and style; bold does.
    EXPECT_EQ(manager.GetFonts()[0]->fontId, 5);
    EXPECT_EQ(manager.GetFonts()[1]->fontId, 5);
    EXPECT_EQ(manager.GetFonts()[2]->fontId, 6);
    EXPECT_EQ(manager.GetFonts()[1]->characters, "abcd");
    EXPECT_EQ(manager.GetGlyph('c', big), 2);
    EXPECT_EQ(manager.GetGlyph('b', bold), -1);
    EXPECT_EQ(manager.GetGlyph('a', dejavu::Font(20, qd_style::kItalic)), -1);

    EXPECT_EQ(manager.EmbedFont(red, m), 5);
    EXPECT_EQ(manager.PreparedCount(), 1u);
    EXPECT_EQ(manager.EmbedFont(big, m), 5);  // its tag is in already
    EXPECT_EQ(manager.EmbedFont(red, m), 5);
    EXPECT_EQ(manager.PreparedCount(), 1u);
    CSwfTextFont unknown = dejavu::Font(20);
    unknown.attributes[1] = 9;
    EXPECT_EQ(manager.EmbedFont(unknown, m), 0);
    EXPECT_EQ(manager.EmbedFont(bold, m), 6);
    EXPECT_EQ(manager.PreparedCount(), 0u);
}

TEST_F(FontManagerTest, CodesAscendAsTheVersionWritesThem)
{
    // In Mac Roman 0xA5 is U+2022 and 0xD0 U+2013: byte order and UTF-16
    // order disagree, and the code table must ascend in the written form.
    struct Case {
        uint8_t version;
        std::string sorted;
        std::vector<uint16_t> written;
    };
    const Case cases[] = {
        {5, "a\xA5\xD0", {'a', 0xA5, 0xD0}},
        {6, "a\xD0\xA5", {'a', 0x2013, 0x2022}},
    };
    for (const Case& c : cases) {
        CSwfFontManager manager;
        const CSwfTextFont font = dejavu::Font(20);
        manager.FindFont(font,
                         "\xD0"
                         "a\xA5"
                         "a",
                         0);
        CSwfMovie m;
        m.SetHeader(6400, 4800, 12, c.version);
        uint16_t counter = 0;
        manager.BuildFontTags(m, counter);
        EXPECT_EQ(manager.GetFonts()[0]->characters, c.sorted) << int(c.version);
        EXPECT_EQ(manager.GetGlyph('\xD0', font), int(c.sorted.find('\xD0')));

        auto tag = BuildFontTag(font, c.sorted, 1, false);
        CTagDefineFont2 parsed;
        ASSERT_GT(ParseTag(parsed, Written(*tag, c.version), c.version), 0);
        EXPECT_EQ(parsed.parsedCodes, c.written) << int(c.version);
    }
}

}  // namespace
