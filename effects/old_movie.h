#pragma once
// "Old Movie": worn film over the slide. A thin grey scratch the height of
// the picture and three grey specks jump to new random places every other
// frame; the script moves them by their instance names.
#include "show/overlay_effect.h"

class COldMovieEffect : public COverlayEffect {
public:
    COldMovieEffect() : COverlayEffect("Old Movie") {}
    std::unique_ptr<COverlayEffect> Clone() const override { return std::make_unique<COldMovieEffect>(); }
    // Defines the scratch, the speck and the two-frame film sprite; the
    // movie's depths stay as they are.
    uint16_t Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t* depthCounter) override;
    bool Place(CSwfMovie* movie, uint16_t depth) override { return PlaceSprite(movie, depth); }

    // The scratch and speck sprites of the last Build.
    uint16_t GetLineSpriteId() const { return lineSpriteId_; }
    uint16_t GetDotSpriteId() const { return dotSpriteId_; }

private:
    uint16_t lineSpriteId_ = 0;
    uint16_t dotSpriteId_ = 0;
};
