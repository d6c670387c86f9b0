#pragma once
// Taking a named clip, with everything it depends on, out of a parsed
// template movie: look-ups over a tag list, the collectors of what shapes and
// buttons need, an index of a tag list, and the template that gathers a
// clip's tags in an order in which every character is defined before use.
//
// Nothing here owns a tag: every list points into the reader's tag list.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "swf/reader_primitives.h"

class CSwfDefineTag;
class CTagDefineSprite;
class CTagPlaceObject;
class CTagPlaceObject2;

// ---- look-ups over a tag list (sprites are searched inside where said)

// The first PlaceObject2 named name, sprites searched depth first.
CTagPlaceObject2* FindPlacementByName(const char* name, const CSwfTagList& tags);
// The first defining tag (sprites included) with that id; sprites are searched inside.
CSwfTag* FindCharacterById(uint16_t id, const CSwfTagList& tags);
// Highest character id (definitions, PlaceObject2 characters, DoInitAction
// sprites) and highest PlaceObject2 depth other than 65535.
void GetMaxIds(const CSwfTagList& tags, uint16_t& maxId, uint16_t& maxDepth);
void OffsetAllIds(const CSwfTagList& tags, int idDelta, int depthDelta, int frameDelta);
CSwfTag* FindBackgroundColorTag(const CSwfTagList& tags);
// From the character's definition on, the first PlaceObject or PlaceObject2 of it.
CTagPlaceObject* FindFirstPlacement(const CSwfDefineTag* character, const CSwfTagList& tags);

// Whether the tag code defines a character, and the id a tag refers to first
// (a definition's own id; the font of a font info; the button of a button
// colour transform or sound). False when the tag has none.
bool SwfIsDefiningCode(int code);
bool SwfGetFirstId(CSwfTag* tag, uint16_t& id);

// ---- an index of one tag list

class CSwfTagIndex {
public:
    // The placement and removal tags of one depth in one frame.
    struct FrameTags {
        int frame = 0;
        CSwfTagList tags;
    };
    struct DepthTimeline {
        uint16_t depth = 0;
        // Only frames that hold tags, in frame order.
        std::vector<FrameTags> frames;
    };

    CSwfTagIndex() = default;
    bool Build(const CSwfTagList& tags);
    CSwfTag* FindById(uint16_t id) const;
    CSwfTag* FindJpegTables() const;
    // The placement and removal tags of depth in frame (empty when none).
    const CSwfTagList& GetTimeline(uint16_t depth, int frame) const;

    const CSwfTagList* list = nullptr;
    CSwfTagList controlTags, showFrames, placements, shapes, bitmaps, buttons, fontsAndTexts, sounds, sprites,
        videoStreams;
    // Tags of the last seven kinds in file order.
    CSwfTagList characters;
    int frameCount = 0;
    std::vector<uint16_t> depths;
    std::vector<DepthTimeline> timeline;
};

// ---- what one shape (or morph shape) needs: its bitmaps

class CSwfSymbolDependencies {
public:
    CSwfSymbolDependencies() { Init(); }
    void Init();
    bool CollectForShape(CSwfTag* shapeTag, const CSwfTagList& tags);
    // Records the tag; a morph shape's bitmap fills are collected like a shape's.
    bool CollectForCharacter(CSwfTag* tag, const CSwfTagList& tags);

    CSwfTag* shape = nullptr;
    CSwfTag* other = nullptr;
    std::vector<uint16_t> bitmapIds;
    CSwfTagList tagList;
    CSwfTag* backgroundTag = nullptr;

private:
    void AddBitmaps(const CSwfTagList& tags);
};

// ---- what one button needs: the characters its records place, their
// dependencies, the fonts of its texts, its sounds, and the colour transform
// and sound tags that belong to it

class CSwfCharacterCollector {
public:
    CSwfCharacterCollector() = default;
    bool Collect(CSwfTag* buttonTag, const CSwfTagList& tags);

    CSwfTag* button = nullptr;
    std::vector<uint16_t> placedIds;
    CSwfTagList tagList;
    std::vector<uint16_t> fontIds;
    CTagPlaceObject* firstPlacement = nullptr;
    CSwfTag* backgroundTag = nullptr;

private:
    void CollectButton(CSwfTag* buttonTag, const CSwfTagList& tags, const CSwfTagIndex& index);
    void Add(CSwfTag* tag);

    // Buttons already collected, so that buttons placing each other end.
    std::unordered_set<const CSwfTag*> visited;
};

// ---- a clip of a template movie and everything it needs

class CSwfTemplate {
public:
    CSwfTemplate() = default;
    void Clear();
    // False when a character the clip needs cannot be imported; error says which.
    bool Load(CTagDefineSprite* clip, const CSwfTagList& tags);
    // Fonts first, then characters and sprites in the template's own order,
    // then the clip when includeSymbol; each tag once, and each after every
    // character of the list that it refers to.
    bool CopyCharacters(CSwfTagList& out, bool includeSymbol);

    CSwfTagList fontTags;
    CSwfTagList characterTags;
    std::vector<CTagDefineSprite*> spriteTags;
    std::vector<uint16_t> placedIds;
    std::vector<uint16_t> fontIds;
    CTagDefineSprite* symbol = nullptr;
    CTagPlaceObject* firstPlacement = nullptr;
    CSwfTag* backgroundTag = nullptr;
    std::string error;

private:
    void CollectPlacedIds(const CSwfTagList& list);
    void CollectCharacter(uint16_t id, const CSwfTagList& tags);
    void CollectFonts(uint16_t fontId, const CSwfTagList& tags);
    void AddCharacter(CSwfTag* tag);

    // Position of every top-level tag in the template, for the output order.
    std::unordered_map<const CSwfTag*, size_t> order;
};

// Font ids that the text records of a DefineText/DefineText2 set, or the font
// of a DefineEditText; nothing for other tags.
void SwfCollectTextFontIds(CSwfTag* textTag, std::vector<uint16_t>& fontIds);
