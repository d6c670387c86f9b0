#pragma once
// Small pieces the effects' sprites share: placements, matrices and the
// one-shape sprite. Each returns a new object for the caller to hand on.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "swf/display_tags.h"
#include "swf/records.h"
#include "swf/shapes.h"
#include "swf/sprite.h"
#include "swf/styles.h"

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

// A shape tag with its bounds (twips) and no outline yet, drawn with one
// style: a fill or a line. Every effect shape indexes its kind of style
// with 15-bit fields and the other kind with none, wider than one style
// needs, so all of them are laid out alike. tag, when given, is a shape tag
// of a later kind (DefineShape3 for fills with alpha) to fill in.
CTagDefineShape* NewShape(uint16_t id, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax,
                          std::unique_ptr<CFillStyle> fill, CTagDefineShape* tag = nullptr);
CTagDefineShape* NewShape(uint16_t id, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax,
                          std::unique_ptr<CLineStyle> line);
// The style change that starts an outline at (x, y) with fill style 1 and
// line style as given (0: none).
CShapeRecordStyleChange* StartOutline(CShape& shape, int32_t x, int32_t y, uint16_t fillStyle1, uint16_t lineStyle);

// Appends edges relative to the pen: (dx, dy) a straight edge, kept level
// (dy 0) or upright (dx 0) in the shorter form, or (control dx, control dy,
// anchor dx, anchor dy) a curve.
void AddEdges(CShape& shape, const std::vector<std::vector<int32_t>>& edges);

// count placements of a character at depths 1 .. count, each followed by
// framesAfter(depth) ShowFrames, then a frame that stops the sprite.
CTagDefineSprite* StoppingField(uint16_t id, uint16_t placedId, int count, const std::function<int(int)>& framesAfter);

// One frame holding the shape at depth 1, untransformed.
CTagDefineSprite* ShapeSprite(uint16_t spriteId, uint16_t shapeId);

}  // namespace effect_parts
