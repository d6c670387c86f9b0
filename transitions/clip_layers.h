#pragma once
// The building blocks of the masked transitions. A placement with a clip
// depth turns its shape into a mask over the layers up to that depth; each
// mask here clips exactly one layer, the one right above it (a clip pair).
// Rectangles are 32-bit twips: slides up to 2000 px (40000 twips) fit, and
// the shape writer splits edges too long for one record.
#include <cstdint>
#include <vector>

#include "swf/records.h"

class CSlide;
class CSwfMovie;
class CShapeWithStyle;
class CTransition;

namespace clip_layers {

inline constexpr uint32_t kRed = 0x0000FF;  // 0x00BBGGRR, as the fill styles take colours
inline constexpr uint32_t kBlack = 0x000000;

struct MaskRect {
    int32_t top, left, bottom, right;  // twips
};

// A DefineShape (code 2) of the rectangle, drawn from its bottom-right
// corner with one solid fill; its character id, 0 when the ids ran out.
uint16_t DefineMaskShape(const MaskRect& rect, CSwfMovie* movie, uint16_t* characterIdCounter,
                         uint32_t fill = kRed);
// An outline's first record: the pen to (x, y) with fill style 1, the one
// fill DefineOutlineShape adds.
CShapeWithStyle* StartOutline(int32_t x, int32_t y);
// The same for a shape of the caller's (records only: the fill style is
// added here); bounds as given.
uint16_t DefineOutlineShape(const MaskRect& bounds, CShapeWithStyle* outline, CSwfMovie* movie,
                            uint16_t* characterIdCounter, uint32_t fill = kRed);

// A translation-only matrix (scale 1.0, no turn).
CSwfMatrix* Translation(int32_t x, int32_t y);
// The slide's placement: translation, and the placement scale when asked.
CSwfMatrix* SlideMatrix(const CSlide& slide, bool withScale);

// Depths of one pair; 0 for none.
struct ClipPair {
    uint16_t mask = 0;
    uint16_t content = 0;
};

// Mask at the next depth, clipping the next; the slide's character above it.
// Depths are taken only when both are to be had; the pair is {0, 0} else.
ClipPair PlaceCopyPair(CSwfMovie* movie, uint16_t* depthCounter, uint16_t maskId, CSwfMatrix* maskMatrix,
                       const CSlide& content, bool withScale);
// The same, the copy placed with a colour transform (taken; deleted when
// no pair could be placed).
ClipPair PlaceCopyPairWithCxform(CSwfMovie* movie, uint16_t* depthCounter, uint16_t maskId, CSwfMatrix* maskMatrix,
                                 const CSlide& content, bool withScale, CSwfCxformWithAlpha* copyCxform);
// Mask at the next depth; the slide itself moves to the one above (its
// depth is written back) and is placed there by the transition. The mask's
// depth, 0 when the depths ran out (the slide is then placed where it was).
uint16_t PlaceOwnSlidePair(CTransition& transition, CSlide* slide, CSwfMovie* movie, uint16_t* depthCounter,
                           uint16_t maskId, CSwfMatrix* maskMatrix);

// A mask at depth clipping the layers up to clipDepth (nested masks clip
// more than one layer); the matrix is taken.
void PlaceClipMask(CSwfMovie* movie, uint16_t maskId, uint16_t depth, uint16_t clipDepth, CSwfMatrix* matrix);
// The character at depth with the matrix, and a colour transform when
// given. Takes both.
void Place(CSwfMovie* movie, uint16_t id, uint16_t depth, CSwfMatrix* matrix, CSwfCxformWithAlpha* cxform = nullptr);
// A copy of the slide's character at depth, at its placement (SlideMatrix).
void PlaceCopy(CSwfMovie* movie, const CSlide& slide, uint16_t depth, bool withScale,
               CSwfCxformWithAlpha* cxform = nullptr);
// A move of the layer at depth: the whole matrix, and a colour transform
// when given. Takes both.
void Move(CSwfMovie* movie, uint16_t depth, CSwfMatrix* matrix, CSwfCxformWithAlpha* cxform = nullptr);
void ShowFrame(CSwfMovie* movie);
// A RemoveObject2 per depth, in list order; entries of 0 are skipped.
void RemoveDepths(CSwfMovie* movie, const std::vector<uint16_t>& depths);

// The mask and copy depth lists of one run.
struct DepthLists {
    std::vector<uint16_t> masks;
    std::vector<uint16_t> copies;

    void Clear()
    {
        masks.clear();
        copies.clear();
    }
    void Add(const ClipPair& pair)
    {
        masks.push_back(pair.mask);
        copies.push_back(pair.content);
    }
    // A slot placed nothing.
    void Skip(bool copiesToo = true)
    {
        masks.push_back(0);
        if (copiesToo) copies.push_back(0);
    }
};

// The finish: masks, then copies removed; the new slide placed at its own
// depth (unless it already stands there); the previous slide removed.
void Finish(CTransition& transition, CSlide* slide, CSlide* previous, CSwfMovie* movie, const DepthLists& lists,
            bool placeSlide = true);

}  // namespace clip_layers
