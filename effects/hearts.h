#pragma once
// "Hearts": twenty red hearts that pop up at random places, sizes, angles
// and opacities, grow for a second, shrink for a second and pop up again.
#include "show/overlay_effect.h"

class CHeartsEffect : public COverlayEffect {
public:
    CHeartsEffect() : COverlayEffect("Hearts") {}
    std::unique_ptr<COverlayEffect> Clone() const override { return std::make_unique<CHeartsEffect>(); }
    // Defines the heart, its sprite and the field of twenty; the movie's
    // depths stay as they are. Draws two numbers from rand().
    uint16_t Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t* depthCounter) override;
    bool Place(CSwfMovie* movie, uint16_t depth) override { return PlaceSprite(movie, depth); }
};
