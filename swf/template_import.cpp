#include "swf/template_import.h"

#include <algorithm>
#include <cstring>

#include "swf/actions.h"
#include "swf/buttons.h"
#include "swf/display_tags.h"
#include "swf/fonts.h"
#include "swf/morph.h"
#include "swf/records.h"
#include "swf/shapes.h"
#include "swf/sounds.h"
#include "swf/sprite.h"
#include "swf/stream.h"
#include "swf/video.h"

namespace {

// Sprites hold no sprites, but a list built by hand could; searches stop here.
constexpr int kMaxSpriteNesting = 8;

template <class T>
void AddOnce(std::vector<T>& list, T value)
{
    if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

bool IsShapeCode(int code)
{
    return code == swf_tag::kDefineShape || code == swf_tag::kDefineShape2 || code == swf_tag::kDefineShape3;
}

bool IsButtonCode(int code) { return code == swf_tag::kDefineButton || code == swf_tag::kDefineButton2; }

bool IsTextCode(int code)
{
    return code == swf_tag::kDefineText || code == swf_tag::kDefineText2 || code == swf_tag::kDefineEditText;
}

// The body of a tag as it would be written (a raw tag's as it was read).
std::vector<uint8_t> TagBody(CSwfTag* tag)
{
    if (auto* raw = dynamic_cast<CTagRaw*>(tag)) return raw->data;
    CSwfStream stream(10);
    tag->Write(stream);
    const std::vector<uint8_t>& bytes = stream.GetBuffer();
    if (bytes.size() < 2) return {};
    const size_t headerSize = (bytes[0] & 0x3F) == 0x3F ? 6 : 2;
    if (bytes.size() < headerSize) return {};
    return std::vector<uint8_t>(bytes.begin() + long(headerSize), bytes.end());
}

CTagDefineSprite* AsSprite(CSwfTag* tag)
{
    return tag->GetTagCode() == swf_tag::kDefineSprite ? dynamic_cast<CTagDefineSprite*>(tag) : nullptr;
}

CTagPlaceObject2* FindPlacementIn(const char* name, const CSwfTagList& tags, int nesting)
{
    for (CSwfTag* tag : tags) {
        if (tag->GetTagCode() == swf_tag::kPlaceObject2) {
            auto* place = dynamic_cast<CTagPlaceObject2*>(tag);
            if (place && place->hasName && place->name == name) return place;
        } else if (CTagDefineSprite* sprite = AsSprite(tag); sprite && nesting < kMaxSpriteNesting) {
            if (CTagPlaceObject2* found = FindPlacementIn(name, sprite->tags, nesting + 1)) return found;
        }
    }
    return nullptr;
}

CSwfTag* FindCharacterIn(uint16_t id, const CSwfTagList& tags, int nesting)
{
    for (CSwfTag* tag : tags) {
        if (!SwfIsDefiningCode(tag->GetTagCode())) continue;
        uint16_t tagId = 0;
        if (SwfGetFirstId(tag, tagId) && tagId == id) return tag;
        if (CTagDefineSprite* sprite = AsSprite(tag); sprite && nesting < kMaxSpriteNesting) {
            if (CSwfTag* found = FindCharacterIn(id, sprite->tags, nesting + 1)) return found;
        }
    }
    return nullptr;
}

// The character a placement, StartSound or VideoFrame refers to.
bool PlacedId(CSwfTag* tag, uint16_t& id)
{
    switch (tag->GetTagCode()) {
    case swf_tag::kPlaceObject:
        if (auto* place = dynamic_cast<CTagPlaceObject*>(tag)) {
            id = place->characterId;
            return true;
        }
        return false;
    case swf_tag::kPlaceObject2:
        if (auto* place = dynamic_cast<CTagPlaceObject2*>(tag); place && place->hasCharacter) {
            id = place->characterId;
            return true;
        }
        return false;
    case swf_tag::kStartSound:
        if (auto* start = dynamic_cast<CTagStartSound*>(tag)) {
            id = start->soundId;
            return true;
        }
        return false;
    case swf_tag::kVideoFrame:
        if (auto* frame = dynamic_cast<CTagVideoFrame*>(tag)) {
            id = frame->streamId;
            return true;
        }
        return false;
    default:
        return false;
    }
}

void AddFillBitmaps(const CFillStyleArray* styles, std::vector<uint16_t>& ids)
{
    if (!styles) return;
    for (const auto& style : styles->styles)
        if (style && swf_fill::IsBitmap(style->type) && style->bitmapId != kSwfNoBitmapId) AddOnce(ids, style->bitmapId);
}

void AddRecordBitmaps(const CShape* shape, std::vector<uint16_t>& ids)
{
    if (!shape) return;
    for (const auto& record : shape->records) {
        if (record->GetType() != swf_shape::kStyleChange) continue;
        AddFillBitmaps(static_cast<const CShapeRecordStyleChange&>(*record).newFillStyles.get(), ids);
    }
}

// The bitmaps that the first fill-style array of a DefineShape4 kept raw
// fills with; its id leads the body, but these ids lie inside it.
std::vector<uint16_t> RawShapeBitmaps(const CTagRaw& raw)
{
    std::vector<uint16_t> ids;
    if (raw.code != 83) return ids;
    CSwfReader reader;
    reader.LoadBytes(raw.data, 8);
    reader.ReadU16();
    CSwfRect bounds;
    bounds.Parse(reader);
    reader.AlignToByte();
    bounds.Parse(reader);
    reader.AlignToByte();
    reader.ReadU8();
    CFillStyleArray fills(1);
    fills.Parse(reader);
    AddFillBitmaps(&fills, ids);
    return ids;
}

// The character ids a tag refers to (not its own id): what a sprite or a
// button places, the bitmaps a shape fills with, the fonts of a text, the
// font of a font info, the button of a button's colour transform or sounds.
std::vector<uint16_t> ReferencedIds(CSwfTag* tag)
{
    std::vector<uint16_t> ids;
    const int code = tag->GetTagCode();
    if (CTagDefineSprite* sprite = AsSprite(tag)) {
        for (CSwfTag* nested : sprite->tags) {
            uint16_t id = 0;
            if (PlacedId(nested, id)) AddOnce(ids, id);
        }
    } else if (auto* button = dynamic_cast<CTagDefineButton*>(tag)) {
        for (const auto& record : button->records)
            if (record) AddOnce(ids, record->characterId);
    } else if (auto* shape = dynamic_cast<CTagDefineShape*>(tag)) {
        if (shape->shape) {
            AddFillBitmaps(shape->shape->fillStyles.get(), ids);
            AddRecordBitmaps(shape->shape.get(), ids);
        }
    } else if (auto* morph = dynamic_cast<CTagDefineMorphShape*>(tag)) {
        if (morph->fillStyles)
            for (const auto& style : morph->fillStyles->styles)
                if (style && swf_fill::IsBitmap(style->type) && style->bitmapId != kSwfNoBitmapId)
                    AddOnce(ids, style->bitmapId);
    } else if (IsTextCode(code)) {
        SwfCollectTextFontIds(tag, ids);
    } else if (code == swf_tag::kDefineFontInfo || code == swf_tag::kDefineFontInfo2 ||
               code == swf_tag::kDefineButtonCxform || CTagRaw::RefersByLeadingId(code)) {
        uint16_t id = 0;
        if (SwfGetFirstId(tag, id)) ids.push_back(id);
    } else if (auto* sounds = dynamic_cast<CTagDefineButtonSound*>(tag)) {
        uint16_t id = 0;
        if (SwfGetFirstId(tag, id)) ids.push_back(id);
        for (uint16_t soundId : sounds->soundIds)
            if (soundId) AddOnce(ids, soundId);
    }
    return ids;
}

}  // namespace

// ---- look-ups

bool SwfIsDefiningCode(int code)
{
    switch (code) {
    case swf_tag::kDefineShape:
    case swf_tag::kDefineBits:
    case swf_tag::kDefineButton:
    case swf_tag::kDefineFont:
    case swf_tag::kDefineText:
    case swf_tag::kDefineSound:
    case swf_tag::kSoundStreamHead:
    case swf_tag::kDefineBitsLossless:
    case swf_tag::kDefineBitsJPEG2:
    case swf_tag::kDefineShape2:
    case swf_tag::kDefineShape3:
    case swf_tag::kDefineButton2:
    case swf_tag::kDefineBitsJPEG3:
    case swf_tag::kDefineBitsLossless2:
    case swf_tag::kDefineEditText:
    case swf_tag::kSoundStreamHead2:
    case swf_tag::kDefineMorphShape:
    case swf_tag::kDefineFont2:
    case swf_tag::kDefineVideoStream:
    case swf_tag::kDefineSprite:
        return true;
    default:
        return CTagRaw::DefinesLeadingId(code);
    }
}

bool SwfGetFirstId(CSwfTag* tag, uint16_t& id)
{
    if (!tag) return false;
    if (auto* defined = dynamic_cast<CSwfDefineTag*>(tag)) {
        id = defined->GetCharacterId();
        return true;
    }
    if (auto* info = dynamic_cast<CTagDefineFontInfo*>(tag)) {
        id = info->fontId;
        return true;
    }
    // Tags without a class of their own (or whose class keeps the id
    // elsewhere) begin their body with it.
    if (auto* raw = dynamic_cast<CTagRaw*>(tag)) {
        if (raw->data.size() < 2) return false;
        id = uint16_t(raw->data[0] | raw->data[1] << 8);
        return true;
    }
    const std::vector<uint8_t> body = TagBody(tag);
    if (body.size() < 2) return false;
    id = uint16_t(body[0] | body[1] << 8);
    return true;
}

CTagPlaceObject2* FindPlacementByName(const char* name, const CSwfTagList& tags)
{
    return name ? FindPlacementIn(name, tags, 0) : nullptr;
}

CSwfTag* FindCharacterById(uint16_t id, const CSwfTagList& tags) { return FindCharacterIn(id, tags, 0); }

void GetMaxIds(const CSwfTagList& tags, uint16_t& maxId, uint16_t& maxDepth)
{
    maxId = 0;
    maxDepth = 0;
    for (CSwfTag* tag : tags) {
        const int code = tag->GetTagCode();
        uint16_t id = 0;
        if (SwfIsDefiningCode(code) && SwfGetFirstId(tag, id)) maxId = std::max(maxId, id);
        if (code == swf_tag::kPlaceObject2) {
            if (auto* place = dynamic_cast<CTagPlaceObject2*>(tag)) {
                maxId = std::max(maxId, place->characterId);
                if (place->depth != 0xFFFF) maxDepth = std::max(maxDepth, place->depth);
            }
        } else if (code == swf_tag::kDoInitAction) {
            if (auto* init = dynamic_cast<CTagDoInitAction*>(tag)) maxId = std::max(maxId, init->spriteId);
        }
    }
}

void OffsetAllIds(const CSwfTagList& tags, int idDelta, int depthDelta, int frameDelta)
{
    for (CSwfTag* tag : tags) tag->OffsetIds(idDelta, depthDelta, frameDelta);
}

CSwfTag* FindBackgroundColorTag(const CSwfTagList& tags)
{
    for (CSwfTag* tag : tags)
        if (tag->GetTagCode() == swf_tag::kSetBackgroundColor) return tag;
    return nullptr;
}

CTagPlaceObject* FindFirstPlacement(const CSwfDefineTag* character, const CSwfTagList& tags)
{
    if (!character) return nullptr;
    auto from = std::find(tags.begin(), tags.end(), static_cast<const CSwfTag*>(character));
    if (from == tags.end()) from = tags.begin();
    for (auto it = from; it != tags.end(); ++it) {
        const int code = (*it)->GetTagCode();
        if (code != swf_tag::kPlaceObject && code != swf_tag::kPlaceObject2) continue;
        auto* place = dynamic_cast<CTagPlaceObject*>(*it);
        if (place && place->characterId == character->GetCharacterId()) return place;
    }
    return nullptr;
}

void SwfCollectTextFontIds(CSwfTag* textTag, std::vector<uint16_t>& fontIds)
{
    if (!textTag || !IsTextCode(textTag->GetTagCode())) return;
    CSwfReader reader;
    reader.LoadBytes(TagBody(textTag), 10);
    reader.ReadU16();
    CSwfRect bounds;
    bounds.Parse(reader);
    if (textTag->GetTagCode() == swf_tag::kDefineEditText) {
        reader.AlignToByte();
        const uint8_t flags = reader.ReadU8();
        reader.ReadU8();
        if ((flags & 0x01) && reader.GetRemaining() >= 2) AddOnce(fontIds, reader.ReadU16());
        return;
    }
    const bool hasAlpha = textTag->GetTagCode() == swf_tag::kDefineText2;
    CSwfMatrix matrix;
    matrix.Parse(reader);
    const int glyphBits = reader.ReadU8();
    const int advanceBits = reader.ReadU8();
    // Every record consumes at least its flag byte, so the walk ends with the body.
    while (reader.GetRemaining() > 0) {
        const uint8_t flags = reader.ReadU8();
        if (flags == 0) break;
        if (flags & 0x80) {
            if ((flags & 0x08) && reader.GetRemaining() >= 2) AddOnce(fontIds, reader.ReadU16());
            if (flags & 0x04) reader.Skip(hasAlpha ? 4 : 3);
            if (flags & 0x01) reader.Skip(2);
            if (flags & 0x02) reader.Skip(2);
            if (flags & 0x08) reader.Skip(2);
        }
        const int glyphs = reader.ReadU8();
        for (int i = 0; i < glyphs && reader.GetRemaining() > 0; ++i) {
            reader.ReadBits(glyphBits, false);
            reader.ReadBits(advanceBits, false);
        }
        reader.AlignToByte();
    }
}

// ---- CSwfTagIndex

bool CSwfTagIndex::Build(const CSwfTagList& tags)
{
    *this = CSwfTagIndex();
    list = &tags;
    for (CSwfTag* tag : tags) {
        const int code = tag->GetTagCode();
        switch (code) {
        case 0: case 3: case 5: case 8: case 9: case 12: case 13: case 19: case 24: case 28: case 43: case 61:
            controlTags.push_back(tag);
            break;
        case swf_tag::kShowFrame:
            showFrames.push_back(tag);
            ++frameCount;
            break;
        case swf_tag::kPlaceObject:
        case swf_tag::kPlaceObject2:
            placements.push_back(tag);
            if (auto* place = dynamic_cast<CTagPlaceObject*>(tag)) AddOnce(depths, place->depth);
            break;
        case 2: case 22: case 32: shapes.push_back(tag); characters.push_back(tag); break;
        case 6: case 20: case 21: case 35: case 36: bitmaps.push_back(tag); characters.push_back(tag); break;
        case 7: case 34: buttons.push_back(tag); characters.push_back(tag); break;
        case 10: case 11: case 33: case 37: case 48: fontsAndTexts.push_back(tag); characters.push_back(tag); break;
        case 14: case 18: case 45: sounds.push_back(tag); characters.push_back(tag); break;
        case 39: sprites.push_back(tag); characters.push_back(tag); break;
        case 60: videoStreams.push_back(tag); characters.push_back(tag); break;
        default:
            // Characters of tags kept raw are found by id all the same.
            if (CTagRaw::DefinesLeadingId(code)) characters.push_back(tag);
            break;
        }
    }
    // Only the frames that hold tags are kept, so the timeline grows with the
    // tags and never with depths times frames.
    std::sort(depths.begin(), depths.end());
    timeline.resize(depths.size());
    for (size_t i = 0; i < depths.size(); ++i) timeline[i].depth = depths[i];
    int frame = 0;
    for (CSwfTag* tag : tags) {
        const int code = tag->GetTagCode();
        if (code == swf_tag::kShowFrame) ++frame;
        uint16_t depth = 0;
        if (code == swf_tag::kPlaceObject || code == swf_tag::kPlaceObject2) {
            auto* place = dynamic_cast<CTagPlaceObject*>(tag);
            if (!place) continue;
            depth = place->depth;
        } else if (code == swf_tag::kRemoveObject) {
            auto* remove = dynamic_cast<CTagRemoveObject*>(tag);
            if (!remove) continue;
            depth = remove->depth;
        } else if (code == swf_tag::kRemoveObject2) {
            auto* remove = dynamic_cast<CTagRemoveObject2*>(tag);
            if (!remove) continue;
            depth = remove->depth;
        } else {
            continue;
        }
        auto at = std::lower_bound(depths.begin(), depths.end(), depth);
        // A removal at a depth nothing was placed on has no timeline.
        if (at == depths.end() || *at != depth) continue;
        auto& frames = timeline[size_t(at - depths.begin())].frames;
        if (frames.empty() || frames.back().frame != frame) frames.push_back({frame, {}});
        frames.back().tags.push_back(tag);
    }
    return true;
}

CSwfTag* CSwfTagIndex::FindById(uint16_t id) const
{
    for (CSwfTag* tag : characters) {
        uint16_t tagId = 0;
        if (SwfGetFirstId(tag, tagId) && tagId == id) return tag;
    }
    return nullptr;
}

CSwfTag* CSwfTagIndex::FindJpegTables() const
{
    for (CSwfTag* tag : controlTags)
        if (tag->GetTagCode() == swf_tag::kJPEGTables) return tag;
    return nullptr;
}

const CSwfTagList& CSwfTagIndex::GetTimeline(uint16_t depth, int frame) const
{
    static const CSwfTagList kNone;
    auto at = std::lower_bound(depths.begin(), depths.end(), depth);
    if (at == depths.end() || *at != depth) return kNone;
    for (const FrameTags& entry : timeline[size_t(at - depths.begin())].frames)
        if (entry.frame == frame) return entry.tags;
    return kNone;
}

// ---- CSwfSymbolDependencies

void CSwfSymbolDependencies::Init()
{
    shape = nullptr;
    other = nullptr;
    bitmapIds.clear();
    tagList.clear();
    backgroundTag = nullptr;
}

void CSwfSymbolDependencies::AddBitmaps(const CSwfTagList& tags)
{
    backgroundTag = FindBackgroundColorTag(tags);
    if (bitmapIds.empty()) return;
    CSwfTagIndex index;
    index.Build(tags);
    for (uint16_t id : bitmapIds) {
        CSwfTag* bitmap = index.FindById(id);
        if (!bitmap || bitmap->GetTagCode() == swf_tag::kDefineSprite) continue;
        if (bitmap->GetTagCode() == swf_tag::kDefineBits)
            if (CSwfTag* tables = index.FindJpegTables()) AddOnce(tagList, tables);
        AddOnce(tagList, bitmap);
    }
}

bool CSwfSymbolDependencies::CollectForShape(CSwfTag* shapeTag, const CSwfTagList& tags)
{
    shape = shapeTag;
    auto* defined = dynamic_cast<CTagDefineShape*>(shapeTag);
    if (!defined) return false;
    // Every bitmap fill kind counts, smoothed or not.
    if (defined->shape) {
        AddFillBitmaps(defined->shape->fillStyles.get(), bitmapIds);
        AddRecordBitmaps(defined->shape.get(), bitmapIds);
    }
    AddBitmaps(tags);
    return true;
}

bool CSwfSymbolDependencies::CollectForCharacter(CSwfTag* tag, const CSwfTagList& tags)
{
    if (!tag) return false;
    other = tag;
    // A morph shape fills with bitmaps just as a shape does.
    if (auto* morph = dynamic_cast<CTagDefineMorphShape*>(tag)) {
        if (morph->fillStyles)
            for (const auto& style : morph->fillStyles->styles)
                if (style && swf_fill::IsBitmap(style->type) && style->bitmapId != kSwfNoBitmapId)
                    AddOnce(bitmapIds, style->bitmapId);
        AddRecordBitmaps(morph->startEdges.get(), bitmapIds);
        AddBitmaps(tags);
    }
    return true;
}

// ---- CSwfCharacterCollector

void CSwfCharacterCollector::Add(CSwfTag* tag) { AddOnce(tagList, tag); }

bool CSwfCharacterCollector::Collect(CSwfTag* buttonTag, const CSwfTagList& tags)
{
    button = buttonTag;
    CSwfTagIndex index;
    index.Build(tags);
    CollectButton(buttonTag, tags, index);
    firstPlacement = FindFirstPlacement(dynamic_cast<CSwfDefineTag*>(buttonTag), tags);
    backgroundTag = FindBackgroundColorTag(tags);
    return true;
}

void CSwfCharacterCollector::CollectButton(CSwfTag* buttonTag, const CSwfTagList& tags, const CSwfTagIndex& index)
{
    auto* definition = dynamic_cast<CTagDefineButton*>(buttonTag);
    if (!definition || !visited.insert(buttonTag).second) return;
    std::vector<uint16_t> ids;
    for (const auto& record : definition->records)
        if (record) AddOnce(ids, record->characterId);
    for (uint16_t id : ids) AddOnce(placedIds, id);

    for (uint16_t id : ids) {
        CSwfTag* tag = index.FindById(id);
        if (!tag || tag == buttonTag) continue;
        const int code = tag->GetTagCode();
        if (IsButtonCode(code)) {
            CollectButton(tag, tags, index);
        } else if (IsShapeCode(code)) {
            CSwfSymbolDependencies shapeNeeds;
            shapeNeeds.CollectForShape(tag, tags);
            for (CSwfTag* needed : shapeNeeds.tagList) Add(needed);
        } else if (IsTextCode(code)) {
            SwfCollectTextFontIds(tag, fontIds);
        }
        Add(tag);
    }

    // The button's colour transform and sounds belong to it; the sounds are
    // characters it needs.
    for (CSwfTag* tag : tags) {
        const int code = tag->GetTagCode();
        if (code != swf_tag::kDefineButtonCxform && code != swf_tag::kDefineButtonSound) continue;
        uint16_t buttonId = 0;
        if (!SwfGetFirstId(tag, buttonId) || buttonId != definition->GetCharacterId()) continue;
        if (auto* sounds = dynamic_cast<CTagDefineButtonSound*>(tag)) {
            for (uint16_t soundId : sounds->soundIds) {
                if (soundId == 0) continue;
                CSwfTag* sound = index.FindById(soundId);
                if (sound && sound->GetTagCode() == swf_tag::kDefineSound) Add(sound);
            }
        }
        Add(tag);
    }
}

// ---- CSwfTemplate

void CSwfTemplate::Clear()
{
    fontTags.clear();
    characterTags.clear();
    spriteTags.clear();
    placedIds.clear();
    fontIds.clear();
    symbol = nullptr;
    firstPlacement = nullptr;
    backgroundTag = nullptr;
    order.clear();
}

void CSwfTemplate::CollectPlacedIds(const CSwfTagList& list)
{
    for (CSwfTag* tag : list) {
        uint16_t id = 0;
        if (PlacedId(tag, id)) AddOnce(placedIds, id);
    }
}

void CSwfTemplate::AddCharacter(CSwfTag* tag) { AddOnce(characterTags, tag); }

void CSwfTemplate::CollectCharacter(uint16_t id, const CSwfTagList& tags)
{
    CSwfTag* found = nullptr;
    for (CSwfTag* tag : tags) {
        uint16_t tagId = 0;
        if (SwfIsDefiningCode(tag->GetTagCode()) && SwfGetFirstId(tag, tagId) && tagId == id) {
            found = tag;
            break;
        }
    }
    // An id placed without a definition is skipped.
    if (!found) return;
    const int code = found->GetTagCode();
    if (IsShapeCode(code)) {
        CSwfSymbolDependencies needs;
        needs.CollectForShape(found, tags);
        for (CSwfTag* tag : needs.tagList) AddCharacter(tag);
        AddCharacter(found);
    } else if (code == swf_tag::kDefineMorphShape) {
        CSwfSymbolDependencies needs;
        needs.CollectForCharacter(found, tags);
        for (CSwfTag* tag : needs.tagList) AddCharacter(tag);
        AddCharacter(found);
    } else if (code == swf_tag::kDefineBits) {
        for (CSwfTag* tag : tags)
            if (tag->GetTagCode() == swf_tag::kJPEGTables) {
                AddCharacter(tag);
                break;
            }
        AddCharacter(found);
    } else if (IsButtonCode(code)) {
        CSwfCharacterCollector collector;
        collector.Collect(found, tags);
        for (CSwfTag* tag : collector.tagList) AddCharacter(tag);
        for (uint16_t fontId : collector.fontIds) AddOnce(fontIds, fontId);
        AddCharacter(found);
    } else if (IsTextCode(code)) {
        SwfCollectTextFontIds(found, fontIds);
        AddCharacter(found);
    } else if (code == swf_tag::kDefineSprite) {
        if (auto* sprite = dynamic_cast<CTagDefineSprite*>(found)) AddOnce(spriteTags, sprite);
    } else if (auto* raw = dynamic_cast<CTagRaw*>(found)) {
        // Kept raw, a character moves by its leading id only; ids inside the
        // body would be left pointing at the template's characters.
        if (!RawShapeBitmaps(*raw).empty()) {
            if (error.empty())
                error = "cannot import DefineShape4 " + std::to_string(id) + ": its bitmap fills cannot be renumbered";
            return;
        }
        AddCharacter(found);
    } else if (code != swf_tag::kSoundStreamHead && code != swf_tag::kSoundStreamHead2) {
        // Sounds, bitmaps, video streams and what else defines a character.
        AddCharacter(found);
    }
}

void CSwfTemplate::CollectFonts(uint16_t fontId, const CSwfTagList& tags)
{
    int matches = 0;
    for (CSwfTag* tag : tags) {
        const int code = tag->GetTagCode();
        const bool font = code == swf_tag::kDefineFont || code == swf_tag::kDefineFont2 ||
                          code == 75 /* DefineFont3 */ || code == 91 /* DefineFont4 */;
        const bool info = code == swf_tag::kDefineFontInfo || code == swf_tag::kDefineFontInfo2;
        // A font's name and alignment zones travel with it.
        const bool companion = code == 73 || code == 88;
        uint16_t id = 0;
        if (!(font || info || companion) || !SwfGetFirstId(tag, id) || id != fontId) continue;
        AddOnce(fontTags, tag);
        if (info && ++matches == 2) break;
    }
}

bool CSwfTemplate::Load(CTagDefineSprite* clip, const CSwfTagList& tags)
{
    Clear();
    error.clear();
    for (size_t i = 0; i < tags.size(); ++i) order.emplace(tags[i], i);
    if (clip) CollectPlacedIds(clip->tags);
    for (CSwfTag* tag : tags)
        if (CTagDefineSprite* sprite = AsSprite(tag)) CollectPlacedIds(sprite->tags);
    for (size_t i = 0; i < placedIds.size(); ++i) CollectCharacter(placedIds[i], tags);
    for (size_t i = 0; i < fontIds.size(); ++i) CollectFonts(fontIds[i], tags);
    symbol = clip;
    backgroundTag = FindBackgroundColorTag(tags);
    firstPlacement = FindFirstPlacement(clip, tags);
    return error.empty();
}

bool CSwfTemplate::CopyCharacters(CSwfTagList& out, bool includeSymbol)
{
    // Fonts, then characters and sprites in the template's order, then the
    // clip: the order wanted wherever it defines every character before use.
    auto byFileOrder = [this](const CSwfTag* a, const CSwfTag* b) {
        const auto ia = order.find(a), ib = order.find(b);
        const size_t pa = ia == order.end() ? SIZE_MAX : ia->second;
        const size_t pb = ib == order.end() ? SIZE_MAX : ib->second;
        return pa < pb;
    };
    CSwfTagList fonts = fontTags;
    std::stable_sort(fonts.begin(), fonts.end(), byFileOrder);
    CSwfTagList characters = characterTags;
    for (CTagDefineSprite* sprite : spriteTags)
        if (sprite != symbol) characters.push_back(sprite);
    std::stable_sort(characters.begin(), characters.end(), byFileOrder);

    CSwfTagList wanted;
    const auto append = [&wanted, &out](CSwfTag* tag) {
        if (tag && std::find(wanted.begin(), wanted.end(), tag) == wanted.end() &&
            std::find(out.begin(), out.end(), tag) == out.end())
            wanted.push_back(tag);
    };
    for (CSwfTag* tag : fonts) append(tag);
    for (CSwfTag* tag : characters)
        if (tag != symbol) append(tag);
    if (includeSymbol && symbol) append(symbol);

    // Other sprites of the template may place the clip, or a sprite defined
    // after them: each tag waits until every character of the list it refers
    // to is out. A cycle (which no player can show) keeps the wanted order.
    std::unordered_map<uint16_t, size_t> definedAt;
    for (size_t i = 0; i < wanted.size(); ++i) {
        uint16_t id = 0;
        if (SwfIsDefiningCode(wanted[i]->GetTagCode()) && SwfGetFirstId(wanted[i], id)) definedAt.emplace(id, i);
    }
    std::vector<std::vector<size_t>> needs(wanted.size());
    for (size_t i = 0; i < wanted.size(); ++i)
        for (uint16_t id : ReferencedIds(wanted[i])) {
            const auto at = definedAt.find(id);
            if (at != definedAt.end() && at->second != i) needs[i].push_back(at->second);
        }
    std::vector<bool> done(wanted.size(), false);
    for (size_t emitted = 0; emitted < wanted.size(); ++emitted) {
        size_t pick = SIZE_MAX;
        for (size_t i = 0; i < wanted.size() && pick == SIZE_MAX; ++i) {
            if (done[i]) continue;
            if (std::all_of(needs[i].begin(), needs[i].end(), [&done](size_t n) { return done[n]; })) pick = i;
        }
        if (pick == SIZE_MAX)
            pick = size_t(std::find(done.begin(), done.end(), false) - done.begin());
        done[pick] = true;
        out.push_back(wanted[pick]);
    }
    return true;
}
