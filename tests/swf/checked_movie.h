#pragma once
// One movie with a piece of each drawing and media tag family, written by
// CSwfMovie: gradient, curved, over-wide and bitmap-filled shapes (a lossless
// bitmap and a JPEG), a font whose glyphs are drawn here with a static text
// and a text field, a morph shape, an old-style font, an event sound, a
// button with a sound, and an MP3 stream. The independent checkers look at
// it and the fuzz target takes it as a seed, so it stays free of gtest.
#include <zlib.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "swf/bitmaps.h"
#include "swf/buttons.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/fonts.h"
#include "swf/morph.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/sounds.h"
#include "swf/text.h"
#include "swf_bytes.h"

namespace checked_movie {

constexpr int kPx = 20;

inline CSwfMatrix Scaled(int scale, int x, int y)
{
    CSwfMatrix m;
    m.SetIdentity();
    m.scaleX = m.scaleY = scale;
    m.translateX = x;
    m.translateY = y;
    return m;
}

// 100 × 60 px from red on the left to blue on the right.
inline CTagDefineShape* GradientShape()
{
    auto fill = std::make_unique<CFillStyle>(swf_fill::kLinearGradient, 1);
    // The gradient square spans 32768 twips; 2000 twips is 2000/32768 of it.
    fill->matrix = std::make_unique<CSwfMatrix>(Scaled(4000, 50 * kPx, 30 * kPx));
    fill->gradient = std::make_unique<CSwfGradient>();
    fill->gradient->Append(std::make_unique<CSwfGradRecord>(0, 0x0000FF, 0));
    fill->gradient->Append(std::make_unique<CSwfGradRecord>(255, 0xFF0000, 0));
    auto* tag = new CTagDefineShape3;
    tag->characterId = 1;
    tag->BuildRect(0, 0, 100 * kPx, 60 * kPx, std::move(fill), nullptr);
    return tag;
}

// A green square with a curved right side and a black outline.
inline CTagDefineShape* CurvedShape()
{
    auto* tag = new CTagDefineShape2;
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

// A shape of that id: a rectangle of w × h twips at (x, y).
inline CTagDefineShape* Rectangle(uint16_t id, int x, int y, int w, int h, std::unique_ptr<CFillStyle> fill)
{
    auto* tag = new CTagDefineShape;
    tag->characterId = id;
    tag->BuildRect(x, y, w, h, std::move(fill), nullptr);
    return tag;
}

// Glyph outlines in the 1024-unit EM square, baseline at 0: a bar "I" and an "L".
inline std::unique_ptr<CShape> Glyph(bool withFoot)
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

inline CTagDefineFont2* Font()
{
    auto* font = new CTagDefineFont2("Bars", 4, swf_font2::kHasLayout | swf_font2::kAnsi);
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
inline CTagDefineText* Text()
{
    auto* text = new CTagDefineText2;
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

inline CTagDefineEditText* Field()
{
    auto* field = new CTagDefineEditText;
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
inline CTagDefineMorphShape* Morph()
{
    auto* tag = new CTagDefineMorphShape;
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

inline CTagDefineFont* OldFont()
{
    std::vector<std::unique_ptr<CShape>> glyphs;
    glyphs.push_back(Glyph(false));
    auto* font = new CTagDefineFont;
    font->Set({}, std::move(glyphs), 8, false);
    return font;
}

// A 20 × 20 bitmap in four quadrants: red, green / blue, yellow.
inline CTagDefineBitsLossless* QuadrantBitmap(uint16_t id)
{
    Bytes pixels;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            const bool right = x >= 10, bottom = y >= 10;
            const uint8_t r = (!bottom && !right) || (bottom && right) ? 255 : 0;
            const uint8_t g = right ? 255 : 0;
            const uint8_t b = bottom && !right ? 255 : 0;
            pixels.insert(pixels.end(), {0, r, g, b});  // format 5: reserved byte, then RGB
        }
    }
    uLongf size = compressBound(uLong(pixels.size()));
    Bytes packed(size);
    compress2(packed.data(), &size, pixels.data(), uLong(pixels.size()), 9);
    auto* bitmap = new CTagDefineBitsLossless(CTagDefineBitsLossless::kRgb32);
    bitmap->SetCharacterId(id);
    bitmap->SetWidth(20);
    bitmap->SetHeight(20);
    bitmap->SetData(packed.data(), size);
    return bitmap;
}

// An 8 × 8 grey baseline JPEG of level 200. One Huffman code each: DC
// category 10, AC end-of-block. Split: a tables stream and an image stream,
// the form the bitmap builders write; else one stream (yaswfp reads only that).
inline Bytes GreyJpeg(bool split)
{
    const Bytes tables = Cat({{0xFF, 0xD8},
                              {0xFF, 0xDB, 0x00, 0x43, 0x00},
                              Bytes(64, 1),
                              {0xFF, 0xC4, 0x00, 0x14, 0x00, 1},
                              Bytes(15, 0),
                              {10},
                              {0xFF, 0xC4, 0x00, 0x14, 0x10, 1},
                              Bytes(15, 0),
                              {0x00},
                              {0xFF, 0xD9}});
    // DC = 8 * (200 - 128) = 576: code 0, then 1001000000; EOB code 0; 1-bit padding.
    const Bytes image = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01, 0x11, 0x00,
                         0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x48, 0x0F, 0xFF, 0xD9};
    if (split) return Cat({tables, image});
    return Cat({Bytes(tables.begin(), tables.end() - 2), Bytes(image.begin() + 2, image.end())});
}

// A bitmap fill at one bitmap pixel per stage pixel.
inline std::unique_ptr<CFillStyle> PixelFill(uint16_t bitmapId)
{
    return CFillStyle::MakeBitmap(bitmapId, Scaled(kPx << 16, 0, 0), true);
}

// Half a second of silence as 8-bit samples at 5.5 kHz.
inline CTagDefineSound* Silence(uint16_t id)
{
    auto* sound = new CTagDefineSound;
    sound->SetCharacterId(id);
    sound->SetFormat(swf_sound::kUncompressedLittleEndian);
    sound->SetRate(1);
    sound->SetSampleCount(1100);
    sound->data.assign(1100, 0x80);
    return sound;
}

// A button of one shape in every state that stops on release, with a second,
// empty action list that has no condition word.
inline CTagDefineButton2* Button(uint16_t id, uint16_t shapeId)
{
    auto* button = new CTagDefineButton2;
    button->SetCharacterId(id);
    auto* record = new CSwfButtonRecord(0x0F, shapeId, 1);
    // An explicit colour transform: a missing one writes a neutral record,
    // which parses back as present and would not write the same bytes again.
    record->cxform = std::make_unique<CSwfCxformWithAlpha>();
    record->cxform->SetMult(256, 256, 256, 256);
    button->AddRecord(record);
    auto* onRelease = new CTagDoAction;
    onRelease->AddAction(new CActionStop);
    button->AddCondAction(swf_button_cond::kOverDownToOverUp, onRelease);
    button->AddActions(new CTagDoAction);
    return button;
}

// The 6-byte MP3 stream head and one silent MP3 frame (MPEG-1 layer III,
// 128 kbit/s, 44.1 kHz, mono).
inline CTagSoundStreamHead2* Mp3StreamHead()
{
    auto* head = new CTagSoundStreamHead2;
    head->playbackByte = 0x0E;
    head->SetFormat(swf_sound::kMp3);
    head->SetRate(3);
    head->SetSize(1);
    head->sampleCount = 1152;
    return head;
}

inline CTagSoundStreamBlock* Mp3Block()
{
    auto* block = new CTagSoundStreamBlock;
    block->data = {0x80, 0x04, 0x00, 0x00, 0xFF, 0xFB, 0x90, 0xC4};
    block->data.resize(4 + 417, 0);
    return block;
}

inline CSwfTag* Place(uint16_t id, uint16_t depth, int xPx, int yPx, bool ratio = false)
{
    auto* p = new CTagPlaceObject2;
    p->SetCharacterId(id);
    p->depth = depth;
    auto* m = new CSwfMatrix;
    m->translateX = xPx * kPx;
    m->translateY = yPx * kPx;
    p->SetMatrix(m);
    if (ratio) {
        p->hasRatio = true;
        p->ratio = 0;
    }
    return p;
}

}  // namespace checked_movie

// Writes the movie, 300 × 200 px, one frame; "" on success, else why not.
// The drawing takes the top 150 px, the bitmaps and the button the row at 155.
inline std::string WriteCheckedMovie(const std::string& path, bool splitJpeg = false)
{
    using namespace checked_movie;
    CSwfMovie movie;
    movie.SetHeader(300 * kPx, 200 * kPx, 12.0f, 6);
    if (!movie.Open(path, false)) return "cannot create " + path;
    auto* fontInfo = new CTagDefineFontInfo;
    fontInfo->Set(8, "Old", "I", swf_font_info::kAnsi);
    auto* buttonSound = new CTagDefineButtonSound;
    buttonSound->SetCharacterId(14);
    buttonSound->soundIds[1] = 13;
    buttonSound->soundInfo[1].SetSyncNoMultiple(true);
    auto* start = new CTagStartSound;
    start->SetSoundId(13);
    const Bytes jpeg = GreyJpeg(splitJpeg);
    for (CSwfTag* tag : std::initializer_list<CSwfTag*>{
             new CTagSetBackgroundColor(255, 255, 255),
             GradientShape(), CurvedShape(),
             // A yellow band wider than one SWF edge can hold (66000 twips).
             Rectangle(3, 180 * kPx, 0, 66000, 60 * kPx, CFillStyle::MakeSolid(0x00FFFF)),
             Font(), Text(), Field(), Morph(), OldFont(), fontInfo,
             QuadrantBitmap(9), new CTagDefineBitsJPEG2(10, jpeg.data(), jpeg.size()),
             Rectangle(11, 0, 0, 20 * kPx, 20 * kPx, PixelFill(9)),
             Rectangle(12, 0, 0, 8 * kPx, 8 * kPx, PixelFill(10)),
             Silence(13), Button(14, 11), buttonSound,
             Place(1, 1, 0, 0), Place(2, 2, 0, 0), Place(3, 3, 0, 0), Place(5, 4, 0, 0), Place(6, 5, 150, 70),
             Place(7, 6, 250, 100, true), Place(11, 7, 20, 155), Place(12, 8, 100, 155), Place(14, 9, 150, 155),
             start, Mp3StreamHead(), Mp3Block(), new CTagShowFrame, new CTagEnd})
        movie.AddTag(tag);
    return movie.Close() > 0 ? "" : movie.GetError();
}
