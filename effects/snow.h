#pragma once
// "Snow": forty white line-drawn flakes falling over the slide, each
// drifting from side to side at a speed, size and transparency of its own.
// Everything that moves is done by the flake sprite's scripts as it plays,
// so the tags are the same for every movie of one frame size.
#include "show/overlay_effect.h"

class CSnowEffect : public COverlayEffect {
public:
    CSnowEffect() : COverlayEffect("Snow") {}
    std::unique_ptr<COverlayEffect> Clone() const override { return std::make_unique<CSnowEffect>(); }
    // Takes the snow sprite's id first but writes it last, after the
    // drawing, the flake holder and the flake sprite. The movie's depths
    // stay as they are.
    uint16_t Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t* depthCounter) override;
    bool Place(CSwfMovie* movie, uint16_t depth) override { return PlaceSprite(movie, depth); }

private:
    // The drawing, the holder that shrinks it and the sprite that moves it.
    uint16_t BuildFlakeSprite(CSwfMovie* movie, uint16_t* characterIdCounter);
    uint16_t BuildFlakeShape(CSwfMovie* movie, uint16_t* characterIdCounter);

    // 5/83: the scale of the drawing in its holder and of the holder in the flake.
    double flakeScale_ = 0;
};
