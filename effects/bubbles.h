#pragma once
// "Bubbles": twenty blue bubbles released one after another from below the
// stage, each fading in as it climbs and sways for five seconds, then
// starting again elsewhere.
#include "show/overlay_effect.h"

class CTagDefineShape;

class CBubblesEffect : public COverlayEffect {
public:
    CBubblesEffect() : COverlayEffect("Bubbles") {}
    std::unique_ptr<COverlayEffect> Clone() const override { return std::make_unique<CBubblesEffect>(); }
    // Defines the bubble, its sprites and the field that releases them; the
    // movie's depths stay as they are. The release delays come from rand().
    uint16_t Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t* depthCounter) override;
    bool Place(CSwfMovie* movie, uint16_t depth) override { return PlaceSprite(movie, depth); }

    // The bubble drawing, the same whatever the frame's size.
    static CTagDefineShape* BuildBubbleShape(uint16_t id, int width, int height);
};
