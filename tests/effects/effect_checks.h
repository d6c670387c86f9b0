#pragma once
// Reading an effect's definitions back: one Build in a movie of its own,
// scripts as short tokens, drawings as sub-paths.
#include <cstdint>
#include <memory>
#include <string>
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
    bool Closed() const { return x == endX && y == endY; }
};
std::vector<SubPath> SubPaths(const CShape& shape);

}  // namespace effect_test
