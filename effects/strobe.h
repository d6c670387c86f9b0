#pragma once
// "Strobe": a white rectangle over the whole movie, shown, hidden and shown
// again in a three-frame loop, so the slide shows on one frame in three.
#include "show/overlay_effect.h"

class CStrobeEffect : public COverlayEffect {
public:
    CStrobeEffect() : COverlayEffect("Strobe") {}
    std::unique_ptr<COverlayEffect> Clone() const override { return std::make_unique<CStrobeEffect>(); }
    // Defines the rectangle, then the sprite; the movie's depths stay as they are.
    uint16_t Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t* depthCounter) override;
    bool Place(CSwfMovie* movie, uint16_t depth) override { return PlaceSprite(movie, depth); }
};
