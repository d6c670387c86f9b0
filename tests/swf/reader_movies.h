#pragma once
// Movies for the reader and template tests: a sample movie with most tag
// kinds (a template holding the clip "clip"), writing parsed tags back, and
// comparing two parsed tag lists.
#include <zlib.h>

#include <memory>
#include <string>

#include "swf/actions.h"
#include "swf/bitmaps.h"
#include "swf/buttons.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/reader.h"
#include "swf/shapes.h"
#include "swf/sounds.h"
#include "swf/sprite.h"
#include "swf/stream.h"
#include "test_movie.h"

// Readers that own the tags they parse.
struct OwnedReader : CSwfReader {
    ~OwnedReader() override { ClearTags(true); }
};
struct OwnedFileReader : CSwfFileReader {
    ~OwnedFileReader() override { ClearTags(true); }
};

inline std::vector<int> Codes(const CSwfTagList& tags)
{
    std::vector<int> codes;
    for (CSwfTag* tag : tags) codes.push_back(tag->GetTagCode());
    return codes;
}

inline Bytes WriteTag(CSwfTag& tag, uint8_t version)
{
    CSwfStream s(version);
    tag.Write(s);
    return s.GetBuffer();
}

inline Bytes WriteTags(const CSwfTagList& tags, uint8_t version)
{
    CSwfStream s(version);
    for (CSwfTag* tag : tags) tag->Write(s);
    return s.GetBuffer();
}

inline std::unique_ptr<CTagPlaceObject2> Placement(uint16_t id, uint16_t depth, const char* name = nullptr)
{
    auto place = std::make_unique<CTagPlaceObject2>();
    place->SetCharacterId(id);
    place->depth = depth;
    auto m = std::make_unique<CSwfMatrix>();
    m->SetIdentity();
    m->translateX = 20 * depth;
    m->translateY = 20 * depth;
    place->SetMatrix(m.release());
    if (name) {
        place->name = name;
        place->hasName = true;
    }
    return place;
}

// A 2 × 2 opaque blue bitmap.
inline std::unique_ptr<CTagDefineBitsLossless> BlueBitmap(uint16_t id)
{
    const uint8_t argb[16] = {255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255};
    uLongf size = compressBound(sizeof argb);
    Bytes packed(size);
    compress(packed.data(), &size, argb, sizeof argb);
    auto bitmap = std::make_unique<CTagDefineBitsLossless>(CTagDefineBitsLossless::kRgb32);
    bitmap->characterId = id;
    bitmap->width = 2;
    bitmap->height = 2;
    bitmap->SetData(packed.data(), size);
    return bitmap;
}

inline std::unique_ptr<CTagDefineShape> Rect(uint16_t id, int x, int y, int w, int h, std::unique_ptr<CFillStyle> fill)
{
    auto shape = std::make_unique<CTagDefineShape>();
    shape->characterId = id;
    shape->BuildRect(x, y, w, h, std::move(fill), nullptr);
    return shape;
}

inline std::unique_ptr<CFillStyle> BitmapFill(uint16_t bitmapId)
{
    CSwfMatrix m;
    m.SetIdentity();
    m.hasScale = true;
    // 2 pixels across 1000 twips.
    m.scaleX = m.scaleY = 500 << 16;
    return CFillStyle::MakeBitmap(bitmapId, m, false);
}

// The template: a white background, bitmap 1 filling shape 2, red shape 3,
// sound 4, button 5 (shape 3, sound 4 on roll-over), sprite 6 (shape 2 and
// button 5), the clip 7 (sprite 6 and the sound), placed as "clip"; then a
// stop action, a label and the frame. Shapes lie in the top-left 100 px.
inline Bytes SampleTags(uint8_t version = 6)
{
    Bytes out;
    auto add = [&](CSwfTag& tag) {
        const Bytes b = WriteTag(tag, version);
        out.insert(out.end(), b.begin(), b.end());
    };
    CTagSetBackgroundColor background(255, 255, 255);
    add(background);
    add(*BlueBitmap(1));
    add(*Rect(2, 0, 0, 1000, 1000, BitmapFill(1)));
    add(*Rect(3, 1000, 0, 1000, 1000, CFillStyle::MakeSolid(0x0000FF)));
    CTagDefineSound sound;
    sound.characterId = 4;
    sound.SetSampleCount(4);
    sound.data = {0, 0, 0, 0, 0, 0, 0, 0};
    add(sound);
    CTagDefineButton2 button;
    button.characterId = 5;
    // An explicit colour transform: a missing one is written as an empty
    // record, which parses back as "multiply by 1" and then writes longer.
    auto record = std::make_unique<CSwfButtonRecord>(0x0F, 3, 1);
    record->cxform = std::make_unique<CSwfCxformWithAlpha>();
    record->cxform->SetMult(256, 256, 256, 256);
    button.AddRecord(record.release());
    auto stop = std::make_unique<CTagDoAction>();
    stop->AddAction(new CActionStop);
    button.AddCondAction(0x0008, stop.release());
    add(button);
    CTagDefineButtonSound buttonSound;
    buttonSound.characterId = 5;
    buttonSound.soundIds[1] = 4;
    add(buttonSound);
    CTagDefineSprite inner;
    inner.characterId = 6;
    inner.AddTag(Placement(2, 1).release());
    inner.AddTag(Placement(5, 2).release());
    inner.AddTag(new CTagShowFrame);
    add(inner);
    CTagDefineSprite clip;
    clip.characterId = 7;
    clip.AddTag(Placement(6, 1).release());
    auto start = std::make_unique<CTagStartSound>();
    start->SetSoundId(4);
    clip.AddTag(start.release());
    clip.AddTag(new CTagShowFrame);
    add(clip);
    add(*Placement(7, 1, "clip"));
    CTagDoAction actions;
    actions.AddAction(new CActionStop);
    add(actions);
    CTagFrameLabel label("start");
    add(label);
    CTagShowFrame frame;
    add(frame);
    return out;
}

inline Bytes SampleMovie(uint8_t version = 6) { return PlainMovie(SampleTags(version), 1, version, 200, 100); }

// The movie's header bytes (length patched) and its tags written again.
inline Bytes RewriteMovie(const CSwfReader& reader, const CSwfTagList& tags)
{
    const Bytes& data = reader.GetData();
    const size_t headerSize = 8 + (5 + 4 * (data[8] >> 3) + 7) / 8 + 4;
    Bytes movie(data.begin(), data.begin() + long(headerSize));
    const Bytes body = WriteTags(tags, reader.GetMovieVersion());
    movie.insert(movie.end(), body.begin(), body.end());
    for (int i = 0; i < 4; ++i) movie[4 + i] = uint8_t(movie.size() >> (8 * i));
    return movie;
}
