// One movie with the bitmap, sound and button tags, checked by the
// independent readers (swf-dump --deep) and player (swf-shot).
#include <gtest/gtest.h>
#include <zlib.h>


#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/bitmaps.h"
#include "swf/buttons.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/sounds.h"
#include "swf/video.h"
#include "test_movie.h"

namespace {


// A 20 x 20 bitmap in four quadrants: red, green / blue, yellow.
CTagDefineBitsLossless* QuadrantBitmap(uint16_t id)
{
    Bytes pixels;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            const bool right = x >= 10, bottom = y >= 10;
            const uint8_t r = (!bottom && !right) || (bottom && right) ? 255 : 0;
            const uint8_t g = (!bottom && right) || (bottom && right) ? 255 : 0;
            const uint8_t b = bottom && !right ? 255 : 0;
            pixels.insert(pixels.end(), {0, r, g, b});  // format 5: reserved byte, then RGB
        }
    }
    uLongf size = compressBound(uLong(pixels.size()));
    Bytes packed(size);
    EXPECT_EQ(compress2(packed.data(), &size, pixels.data(), uLong(pixels.size()), 9), Z_OK);
    auto* bitmap = new CTagDefineBitsLossless(CTagDefineBitsLossless::kRgb32);
    bitmap->SetCharacterId(id);
    bitmap->SetWidth(20);
    bitmap->SetHeight(20);
    bitmap->SetData(packed.data(), size);
    return bitmap;
}

// An 8 x 8 grey baseline JPEG of level 200. One Huffman code each: DC
// category 10, AC end-of-block. Split: a tables stream and an image stream,
// the form the bitmap builders write; else one stream (yaswfp reads only that).
Bytes GreyJpeg(bool split)
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

void StraightEdge(CSwfStream& s, int dx, int dy)
{
    const int delta = dx ? dx : dy;
    const int n = std::max(2, SwfBitsNeeded(std::abs(delta), true));
    s.WriteBits(1, 1);  // edge
    s.WriteBits(1, 1);  // straight
    s.WriteBits(n - 2, 4);
    s.WriteBits(0, 1);  // not general
    s.WriteBits(dx ? 0 : 1, 1);
    s.WriteBits(delta, n);
}

// DefineShape of a w x h pixel rectangle filled with a bitmap at one bitmap
// pixel per stage pixel (clipped bitmap fill).
Bytes BitmapRectangle(uint16_t shapeId, uint16_t bitmapId, int w, int h)
{
    CSwfStream s;
    s.WriteU16(shapeId);
    CSwfRect bounds;
    bounds.Set(0, 0, w, h, true);
    bounds.Write(s);
    s.WriteU8(1);     // fill styles
    s.WriteU8(0x41);  // clipped bitmap
    s.WriteU16(bitmapId);
    CSwfMatrix scale;
    scale.hasScale = true;
    scale.scaleX = scale.scaleY = 20 << 16;
    scale.Write(s);
    s.WriteU8(0);  // line styles
    s.WriteBits(1, 4);
    s.WriteBits(0, 4);
    s.WriteBits(0b000101, 6);  // style change: fill style 1, move to
    s.WriteBits(1, 5);
    s.WriteBits(0, 1);
    s.WriteBits(0, 1);
    s.WriteBits(1, 1);  // fill style 1 = 1
    StraightEdge(s, w * 20, 0);
    StraightEdge(s, 0, h * 20);
    StraightEdge(s, -w * 20, 0);
    StraightEdge(s, 0, -h * 20);
    s.WriteBits(0, 6);  // end of shape
    CTagRaw shape(swf_tag::kDefineShape, 0);
    shape.data = s.GetBuffer();
    return Written(shape);
}

Bytes Place(uint16_t id, uint16_t depth, int xPx, int yPx)
{
    CTagPlaceObject2 place;
    place.SetCharacterId(id);
    place.depth = depth;
    auto* m = new CSwfMatrix;
    m->translateX = xPx * 20;
    m->translateY = yPx * 20;
    place.SetMatrix(m);
    return Written(place);
}

// A stream sound of one silent MP3 frame (MPEG-1 layer III, 128 kbit/s,
// 44.1 kHz, mono), with the 6-byte MP3 stream head.
Bytes Mp3Stream()
{
    CTagSoundStreamHead2 head;
    head.playbackByte = 0x0E;
    head.SetFormat(swf_sound::kMp3);
    head.SetRate(3);
    head.SetSize(1);
    head.sampleCount = 1152;
    CTagSoundStreamBlock block;
    block.data = {0x80, 0x04, 0x00, 0x00, 0xFF, 0xFB, 0x90, 0xC4};
    block.data.resize(4 + 417, 0);
    return Cat({Written(head), Written(block)});
}

Bytes MediaMovie(bool splitJpeg)
{
    CTagSetBackgroundColor background(255, 255, 255);
    std::unique_ptr<CTagDefineBitsLossless> lossless(QuadrantBitmap(1));
    const Bytes jpegBytes = GreyJpeg(splitJpeg);
    CTagDefineBitsJPEG2 jpeg(2, jpegBytes.data(), jpegBytes.size());

    CTagDefineSound sound;
    sound.SetCharacterId(5);
    sound.SetFormat(swf_sound::kUncompressedLittleEndian);
    sound.SetRate(1);
    sound.SetSampleCount(1100);
    sound.data.assign(1100, 0x80);

    CTagDefineButton2 button;
    button.SetCharacterId(6);
    button.AddRecord(new CSwfButtonRecord(0x0F, 3, 1));
    auto* onRelease = new CTagDoAction;
    onRelease->AddAction(new CActionStop);
    button.AddCondAction(swf_button_cond::kOverDownToOverUp, onRelease);
    button.AddActions(new CTagDoAction);  // a second, empty list without a condition word

    CTagDefineButtonSound buttonSound;
    buttonSound.SetCharacterId(6);
    buttonSound.soundIds[1] = 5;
    buttonSound.soundInfo[1].SetSyncNoMultiple(true);

    CTagStartSound start;
    start.SetSoundId(5);

    const Bytes tags = Cat({Written(background), Written(*lossless), Written(jpeg), BitmapRectangle(3, 1, 20, 20),
                            BitmapRectangle(4, 2, 8, 8), Written(sound), Written(button), Written(buttonSound),
                            Place(3, 1, 20, 20), Place(4, 2, 100, 20), Place(6, 3, 20, 80), Written(start),
                            Mp3Stream(), {0x40, 0x00}});
    return PlainMovie(tags, 1, 6, 200, 150);
}

TEST(SwfMediaTagsMovie, IndependentReadersAcceptIt)
{
    tavrel_test::TempDir dir;
    const std::string path = dir.file("media.swf");
    ASSERT_TRUE(tavrel_test::WriteFile(path, AsString(MediaMovie(false))));
    tavrel_test::ExpectDumpAccepts(path, {"\"DefineBitsLossless\"", "\"DefineBitsJPEG2\"", "\"DefineSound\"",
                                          "\"DefineButton2\"", "\"DefineButtonSound\"", "\"StartSound\"",
                                          "\"SoundStreamHead2\"", "\"SoundStreamBlock\""});
}

TEST(SwfMediaTagsMovie, PlayerShowsTheBitmapsAndTheButton)
{
    tavrel_test::TempDir dir;
    const std::string path = dir.file("media.swf");
    ASSERT_TRUE(tavrel_test::WriteFile(path, AsString(MediaMovie(true))));
    tavrel_test::ExpectShotPixels(path, 1, {
        // The lossless bitmap's four corners: red, green, blue, yellow.
        {25, 25, 0xFF0000, 12}, {35, 25, 0x00FF00, 12}, {25, 35, 0x0000FF, 12}, {35, 35, 0xFFFF00, 12},
        {104, 24, 0xC8C8C8, 12},  // the JPEG, grey
        {25, 85, 0xFF0000, 12},   // the button's up state
        {10, 10, 0xFFFFFF, 12},   // background
    });
}

}  // namespace
