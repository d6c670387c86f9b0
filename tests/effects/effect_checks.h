#pragma once
// Reading an effect's definitions back: one Build in a movie of its own,
// scripts as short tokens, drawings as sub-paths.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "show/overlay_effect.h"
#include "swf/actions.h"
#include "swf/display_tags.h"
#include "swf/reader_primitives.h"
#include "swf/shapes.h"
#include "swf/sprite.h"

namespace effect_test {

// One Build written into a movie of its own and read back by our reader.
struct BuiltEffect {
    BuiltEffect() = default;
    ~BuiltEffect() { reader.ClearTags(true); }
    BuiltEffect(const BuiltEffect&) = delete;
    BuiltEffect& operator=(const BuiltEffect&) = delete;

    // The defining tag of that id, or null.
    const CSwfDefineTag* Find(uint16_t id) const;
    const CTagDefineSprite* Sprite(uint16_t id) const;
    const CTagDefineShape* Shape(uint16_t id) const;

    std::string path;
    uint16_t returned = 0, idsAfter = 0, depthsAfter = 0;
    std::vector<uint16_t> written;  // ids of the defining tags, in file order
    CSwfReader reader;
};

// Builds effect into path with the counters at firstId and depths; the
// movie is width × height twips at rate, then the sprite is placed once.
std::unique_ptr<BuiltEffect> BuildAlone(COverlayEffect& effect, const std::string& path, int width, int height,
                                        float rate, uint16_t firstId, uint16_t depths = 5);

// Each action as a token: a pushed string in quotes ("'320'"), a float as
// "f:2", GotoFrame as "goto:0", SetTarget as "target:", If and Jump as
// "if:36" and "jump:388", the one-byte actions by name ("RandomNumber").
std::vector<std::string> Tokens(const CTagDoAction& script);

// What a script without branches does, run on symbolic values: each
// SetProperty as "target.index=value", each SetVariable as "name=value";
// values read "rand(n)", "$name", "(a+b)", "'text'" unquoted where plain.
std::vector<std::string> Effects(const CTagDoAction& script);

// The 1-based frame of a sprite's tag (the ShowFrames before it, plus one).
int FrameOf(const CTagDefineSprite& sprite, const CSwfTag* tag);

// The tags of a sprite by kind, in order.
std::vector<const CTagPlaceObject2*> Placements(const CTagDefineSprite& sprite);
std::vector<const CTagDoAction*> Scripts(const CTagDefineSprite& sprite);

// One sub-path of a drawing: where it starts, the kinds of its edges ('g'
// general, 'h' horizontal, 'v' vertical, 'c' curved), where it ends.
struct SubPath {
    int32_t x = 0, y = 0;
    std::string kinds;
    int32_t endX = 0, endY = 0;
    // The move record's flags and style fields.
    uint32_t flags = 0;
    uint16_t fill0 = 0, fill1 = 0, line = 0;
    // Anchors and control points in order, the start first.
    std::vector<std::pair<int32_t, int32_t>> points;
    bool Closed() const { return x == endX && y == endY; }
    int Count(char kind) const { return int(std::count(kinds.begin(), kinds.end(), kind)); }
    // Shoelace area of the points: above 0 when the outline turns clockwise
    // on screen (y down), which puts its inside on the pen's right.
    double Area() const;
};
std::vector<SubPath> SubPaths(const CShape& shape);

// A sprite's tags without the End tag that closes them.
std::vector<const CSwfTag*> Timeline(const CTagDefineSprite& sprite);

// A sprite's timeline as short texts: "place 21 @2", "move @1", with
// " clip 2", " m" for a matrix and then " s<x>,<y>" for its scale and
// " t<x>,<y>" for a translation, " name <name>", " tint r,g,b,a" for a
// colour transform; "remove @1", "frame", "script".
std::vector<std::string> Describe(const CTagDefineSprite& sprite);

// Byte position of each action from the script's start; *total the bytes
// of them all, the end action left out.
std::vector<int> ActionPositions(const CTagDoAction& script, int* total);
// The index of the action the branch at index lands on: the count when it
// lands on the end of the script, -1 between actions or for no branch.
int LandsOn(const CTagDoAction& script, size_t index);

}  // namespace effect_test
