#pragma once
// An effect built alone into a movie of its own and read back with our SWF
// reader, with the views the effect tests take of it: the outline of a
// drawing as sub-paths and the byte layout of a script.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "show/overlay_effect.h"
#include "swf/actions.h"
#include "swf/reader.h"
#include "swf/shapes.h"
#include "swf/sprite.h"

namespace effect_test {

struct BuiltEffect {
    BuiltEffect() = default;
    BuiltEffect(const BuiltEffect&) = delete;
    BuiltEffect& operator=(const BuiltEffect&) = delete;
    ~BuiltEffect();

    std::string path;
    uint16_t returned = 0, idsAfter = 0, depthsAfter = 0;
    // Every tag after the movie's background colour, in file order.
    std::vector<const CSwfTag*> tags;
    std::unique_ptr<CSwfReader> reader;

    const CSwfTag* Defining(uint16_t id) const;
    const CTagDefineSprite* Sprite(uint16_t id) const;
    const CTagDefineShape* Shape(uint16_t id) const;
};

// Builds the effect with the id counter at ids (the depth counter at 5) into
// a movie of the rate and size (twips), places it once at depth 6 and shows
// one frame. False when the movie or the reading failed.
bool BuildAlone(COverlayEffect& effect, const std::string& path, float rate, int width, int height, uint16_t ids,
                BuiltEffect* out);

// A sprite's tags without the End tag that closes them.
std::vector<const CSwfTag*> Timeline(const CTagDefineSprite& sprite);

// One sub-path of a drawing: from a move to the next move or the end.
struct SubPath {
    int32_t x = 0, y = 0;  // the move-to point
    int32_t endX = 0, endY = 0;  // where the pen ends
    int lines = 0, horizontal = 0, vertical = 0, curves = 0;  // straight: general, level, upright
    uint32_t flags = 0;  // of the move record
    uint16_t fill0 = 0, fill1 = 0, line = 0;
    // Anchors and control points in order, the start first.
    std::vector<std::pair<int32_t, int32_t>> points;
    // Shoelace area of the points: above 0 when the loop turns clockwise
    // on screen (y down), which puts its inside on the right of the pen.
    double Area() const;
    int Straight() const { return lines + horizontal + vertical; }
};
std::vector<SubPath> SubPaths(const CShape& shape);

// Byte position of each action from the script's start, and its length.
std::vector<int> ActionPositions(const CTagDoAction& script, int* total);
// The index of the action a branch at index lands on; the count when it
// lands on the end of the script, -1 between actions.
int LandsOn(const CTagDoAction& script, size_t index);
// The string values pushed, in order.
std::vector<std::string> PushedTexts(const CTagDoAction& script);

}  // namespace effect_test
