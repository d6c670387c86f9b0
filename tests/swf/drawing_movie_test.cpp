// A movie of shapes, fonts, text and a morph shape, checked by the
// independent parsers of swf-dump and played by swf-shot.
#include <gtest/gtest.h>

#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/fonts.h"
#include "swf/morph.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/text.h"

namespace {

using tavrel_test::TempDir;
constexpr int kPx = 20;

CSwfMatrix Scaled(int scale, int x, int y)
{
    CSwfMatrix m;
    m.SetIdentity();
    m.scaleX = m.scaleY = scale;
    m.translateX = x;
    m.translateY = y;
    return m;
}

// 100 × 60 px from red on the left to blue on the right.
std::unique_ptr<CTagDefineShape> GradientShape()
{
    auto fill = std::make_unique<CFillStyle>(swf_fill::kLinearGradient, 1);
    // The gradient square spans 32768 twips; 2000 twips is 2000/32768 of it.
    fill->matrix = std::make_unique<CSwfMatrix>(Scaled(4000, 50 * kPx, 30 * kPx));
    fill->gradient = std::make_unique<CSwfGradient>();
    fill->gradient->Append(std::make_unique<CSwfGradRecord>(0, 0x0000FF, 0));
    fill->gradient->Append(std::make_unique<CSwfGradRecord>(255, 0xFF0000, 0));
    auto tag = std::make_unique<CTagDefineShape3>();
    tag->characterId = 1;
    tag->BuildRect(0, 0, 100 * kPx, 60 * kPx, std::move(fill), nullptr);
    return tag;
}

// A green square with a curved right side and a black outline.
std::unique_ptr<CTagDefineShape> CurvedShape()
{
    auto tag = std::make_unique<CTagDefineShape2>();
    tag->characterId = 2;
    tag->bounds = std::make_unique<CSwfRect>();
    tag->bounds->Set(110, 10, 170, 60, true);
    tag->shape = std::make_unique<CShapeWithStyle>();
    CShapeWithStyle& s = *tag->shape;
    s.fillStyles = std::make_unique<CFillStyleArray>();
    s.fillStyles->Append(CFillStyle::MakeSolid(0x00FF00));
    s.lineStyles = std::make_unique<CLineStyleArray>();
    s.lineStyles->Append(CLineStyle::Make(kPx, 0));
    auto* move = s.AddMoveTo(110 * kPx, 10 * kPx);
    move->fillStyle1 = 1;
    move->lineStyle = 1;
    move->ComputeFlags();
    s.AddHorizontalLine(40 * kPx);
    s.AddCurve(20 * kPx, 25 * kPx, -20 * kPx, 25 * kPx);
    s.AddHorizontalLine(-40 * kPx);
    s.AddVerticalLine(-50 * kPx);
    s.AddEnd();
    return tag;
}

// A yellow band wider than one SWF edge can hold (66000 twips).
std::unique_ptr<CTagDefineShape> WideShape()
{
    auto tag = std::make_unique<CTagDefineShape>();
    tag->characterId = 3;
    tag->BuildRect(180 * kPx, 0, 66000, 60 * kPx, CFillStyle::MakeSolid(0x00FFFF), nullptr);
    return tag;
}

// Glyph outlines in the 1024-unit EM square, baseline at 0: a bar "I" and an "L".
std::unique_ptr<CShape> Glyph(bool withFoot)
{
    auto glyph = std::make_unique<CShape>();
    glyph->SetBits(1, 0);
    auto* move = glyph->AddMoveTo(0, -800);
    move->fillStyle1 = 1;
    move->ComputeFlags();
    glyph->AddHorizontalLine(200);
    if (withFoot) {
        glyph->AddVerticalLine(600);
        glyph->AddHorizontalLine(400);
        glyph->AddVerticalLine(200);
        glyph->AddHorizontalLine(-600);
    } else {
        glyph->AddVerticalLine(800);
        glyph->AddHorizontalLine(-200);
    }
    glyph->AddVerticalLine(-800);
    glyph->AddEnd();
    return glyph;
}

std::unique_ptr<CTagDefineFont2> Font()
{
    auto font = std::make_unique<CTagDefineFont2>("Bars", 4, swf_font2::kHasLayout | swf_font2::kAnsi);
    CSwfRect bar, foot;
    bar.Set(0, -800, 200, 0, false);
    foot.Set(0, -800, 600, 0, false);
    font->AddGlyph(Glyph(false), 'I', 300, bar);
    font->AddGlyph(Glyph(true), 'L', 700, foot);
    // Language 1 (Latin): yaswfp cannot read a DefineFont2 of language 0.
    font->language = 1;
    font->ascent = 800;
    font->descent = 224;
    font->kerning.push_back({'L', 'I', -40});
    return font;
}

// "LI" at 40 px, baseline 130 px, from x = 20 px, in black.
std::unique_ptr<CTagDefineText> Text()
{
    auto text = std::make_unique<CTagDefineText2>();
    auto box = std::make_unique<CSwfRect>();
    box->Set(0, -800, 1000, 0, false);
    auto m = std::make_unique<CSwfMatrix>();
    m->SetIdentity();
    text->Setup(5, std::move(box), std::move(m), 0, 0);
    auto* style = text->AddRecord(std::make_unique<CTextRecord>());
    style->SetFontId(4);
    style->SetTextHeight(40 * kPx);
    style->SetColor(std::make_unique<CSwfRGBA>(0, 0, 0, 255));
    style->SetXOffset(20 * kPx);
    style->SetYOffset(130 * kPx);
    auto* glyphs = text->AddRecord(std::make_unique<CTextGlyphRecord>());
    glyphs->AddGlyph(1, 700 * 40 * kPx / 1024);
    glyphs->AddGlyph(0, 300 * 40 * kPx / 1024);
    return text;
}

std::unique_ptr<CTagDefineEditText> Field()
{
    auto field = std::make_unique<CTagDefineEditText>();
    field->Setup(6, std::make_unique<CSwfRGBA>(0, 0, 255, 255), "label");
    field->bounds = std::make_unique<CSwfRect>();
    field->bounds->Set(0, 0, 100 * kPx, 30 * kPx, false);
    field->flags |= swf_edit::kHasFont | swf_edit::kHasText | swf_edit::kReadOnly | swf_edit::kUseOutlines;
    field->fontId = 4;
    field->fontHeight = 20 * kPx;
    field->initialText = "IL";
    return field;
}

// A square morphing from red to blue, placed at its start.
std::unique_ptr<CTagDefineMorphShape> Morph()
{
    auto tag = std::make_unique<CTagDefineMorphShape>();
    tag->characterId = 7;
    tag->startBounds = std::make_unique<CSwfRect>();
    tag->startBounds->Set(0, 0, 40, 40, true);
    tag->endBounds = std::make_unique<CSwfRect>();
    tag->endBounds->Set(0, 0, 40, 40, true);
    auto fill = std::make_unique<CMorphFillStyle>();
    fill->startColor = std::make_unique<CSwfRGBA>(255, 0, 0, 255);
    fill->endColor = std::make_unique<CSwfRGBA>(0, 0, 255, 255);
    tag->fillStyles = std::make_unique<CMorphFillStyleArray>();
    tag->fillStyles->styles.push_back(std::move(fill));
    tag->lineStyles = std::make_unique<CMorphLineStyleArray>();
    for (auto* edges : {&tag->startEdges, &tag->endEdges}) {
        *edges = std::make_unique<CShape>();
        CShape& s = **edges;
        if (edges == &tag->startEdges) {
            s.SetBits(1, 0);
            auto* move = s.AddMoveTo(0, 0);
            move->fillStyle1 = 1;
            move->SetFlags(swf_shape::kMoveTo | swf_shape::kFillStyle1);
        } else {
            s.AddMoveTo(0, 0)->SetFlags(swf_shape::kMoveTo);
        }
        s.AddLine(40 * kPx, 0);
        s.AddLine(0, 40 * kPx);
        s.AddLine(-40 * kPx, 0);
        s.AddLine(0, -40 * kPx);
        s.AddEnd();
    }
    return tag;
}

std::unique_ptr<CTagDefineFont> OldFont()
{
    std::vector<std::unique_ptr<CShape>> glyphs;
    glyphs.push_back(Glyph(false));
    auto font = std::make_unique<CTagDefineFont>();
    font->Set({}, std::move(glyphs), 8, false);
    return font;
}

CSwfTag* Place(uint16_t id, uint16_t depth, int x, int y, bool ratio = false)
{
    auto* p = new CTagPlaceObject2;
    p->SetCharacterId(id);
    p->depth = depth;
    auto* m = new CSwfMatrix;
    m->translateX = x;
    m->translateY = y;
    p->SetMatrix(m);
    if (ratio) {
        p->hasRatio = true;
        p->ratio = 0;
    }
    return p;
}

void WriteDrawingMovie(const std::string& path)
{
    CSwfMovie movie;
    movie.SetHeader(300 * kPx, 150 * kPx, 12.0f, 6);
    ASSERT_TRUE(movie.Open(path, false));
    movie.AddTag(new CTagSetBackgroundColor(255, 255, 255));
    movie.AddTag(GradientShape().release());
    movie.AddTag(CurvedShape().release());
    movie.AddTag(WideShape().release());
    movie.AddTag(Font().release());
    movie.AddTag(Text().release());
    movie.AddTag(Field().release());
    movie.AddTag(Morph().release());
    movie.AddTag(OldFont().release());
    auto* info = new CTagDefineFontInfo;
    info->Set(8, "Old", "I", swf_font_info::kAnsi);
    movie.AddTag(info);
    movie.AddTag(Place(1, 1, 0, 0));
    movie.AddTag(Place(2, 2, 0, 0));
    movie.AddTag(Place(3, 3, 0, 0));
    movie.AddTag(Place(5, 4, 0, 0));
    movie.AddTag(Place(6, 5, 150 * kPx, 70 * kPx));
    movie.AddTag(Place(7, 6, 250 * kPx, 100 * kPx, true));
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);
    EXPECT_GT(movie.Close(), 0u) << movie.GetError();
}

TEST(SwfDrawingMovie, IndependentParsersAcceptIt)
{
    TempDir dir;
    WriteDrawingMovie(dir.file("drawing.swf"));
    std::string report;
    tavrel_test::ExpectDumpAccepts(dir.file("drawing.swf"),
                                   {"DefineShape3", "DefineShape2", "DefineFont2", "DefineText2", "DefineEditText",
                                    "DefineMorphShape", "\"DefineFont\"", "DefineFontInfo"},
                                   &report);
    if (::testing::Test::IsSkipped()) return;
    // yaswfp reads shape and font bodies to the byte.
    EXPECT_EQ(report.find("length-mismatch\""), std::string::npos) << report;
    EXPECT_NE(report.find("\"lengthMismatch\":0,\"exceptions\":0"), std::string::npos) << report;
    EXPECT_EQ(report.find("RawBody"), std::string::npos) << report;
}

TEST(SwfDrawingMovie, PlayerDrawsTheShapesAndText)
{
    TempDir dir;
    WriteDrawingMovie(dir.file("drawing.swf"));
    tavrel_test::ExpectShotPixels(dir.file("drawing.swf"), 1, {
        // The gradient runs from red to blue.
        {3, 30, 0xFF0000, 60}, {97, 30, 0x0000FF, 60},
        // The curved square: green inside and in its bulge, white beyond the bulge's corner.
        {130, 35, 0x00FF00}, {155, 35, 0x00FF00}, {175, 35, 0xFFFFFF},
        // The band wider than one edge is drawn, not wrapped back.
        {190, 30, 0xFFFF00}, {295, 30, 0xFFFF00},
        // "L" from x = 20 px: its stem, its foot, and the space above the foot.
        {24, 128, 0x000000}, {25, 110, 0x000000}, {35, 128, 0x000000}, {35, 110, 0xFFFFFF},
        // "I" after the advance of "L".
        {50, 110, 0x000000}, {60, 110, 0xFFFFFF},
        // The morph shape at its start: red.
        {270, 120, 0xFF0000}, {250, 145, 0xFFFFFF},
    });
}

}  // namespace
