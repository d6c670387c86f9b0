#pragma once
// "Fireworks": six bursts set off one after another at random intervals, each
// at a random place and size and four of them tinted. A burst is a radial
// gradient disc growing behind a mask of sparks while the mask sinks; it
// moves itself to a new place with a frame script every time it starts over.
#include "show/overlay_effect.h"

class CFireworksEffect : public COverlayEffect {
public:
    CFireworksEffect() : COverlayEffect("Fireworks") {}
    std::unique_ptr<COverlayEffect> Clone() const override { return std::make_unique<CFireworksEffect>(); }
    // Defines both bursts (disc, mask, sprite each), then the sprite that
    // sets them off; delays between them come from rand(). The movie's
    // depths stay as they are.
    uint16_t Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t* depthCounter) override;
    // One placement of the sprite at depth, without a matrix.
    bool Place(CSwfMovie* movie, uint16_t depth) override;

private:
    uint16_t BuildBurstSpriteA(CSwfMovie* movie, uint16_t* characterIdCounter);
    uint16_t BuildBurstSpriteB(CSwfMovie* movie, uint16_t* characterIdCounter);
    uint16_t BuildDiscA(CSwfMovie* movie, uint16_t* characterIdCounter);
    uint16_t BuildMaskA(CSwfMovie* movie, uint16_t* characterIdCounter);
    uint16_t BuildDiscB(CSwfMovie* movie, uint16_t* characterIdCounter);
    uint16_t BuildMaskB(CSwfMovie* movie, uint16_t* characterIdCounter);
};
