#pragma once
// Small pieces the effects' sprites share: placements, matrices and the
// one-shape sprite. Each returns a new object for the caller to hand on.
#include <cstdint>

#include "swf/display_tags.h"
#include "swf/records.h"
#include "swf/sprite.h"

namespace effect_parts {

// A new placement of a character at depth; the matrix (taken) may be none.
CTagPlaceObject2* NewPlacement(uint16_t characterId, uint16_t depth, CSwfMatrix* matrix);
// A move of what stands at depth; either transform (taken) may be none.
CTagPlaceObject2* NewMove(uint16_t depth, CSwfMatrix* matrix, CSwfCxformWithAlpha* cxform);

// The identity: no scale, no rotation, no translation written.
CSwfMatrix* Identity();
// Both axes scaled by a 16.16 value.
CSwfMatrix* Scale(int32_t scale);
CSwfMatrix* Translate(int32_t x, int32_t y);

// Multiply terms 256 for the colours and alpha for alpha; no add terms.
CSwfCxformWithAlpha* Alpha(int alpha);

// One frame holding the shape at depth 1, untransformed.
CTagDefineSprite* ShapeSprite(uint16_t spriteId, uint16_t shapeId);

}  // namespace effect_parts
