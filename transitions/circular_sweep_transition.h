#pragma once
// "Circular Sweep On": a radius turns once around the new slide's centre,
// counter-clockwise from twelve o'clock, and the new slide shows behind it.
// Two rectangles uncover whole quarters as the turn passes them; a quarter
// disc, nested in a third rectangle, uncovers the sector being swept.
#include <cstdint>

#include "show/transition.h"

class CCircularSweepOnTransition : public CTransitionKind<CCircularSweepOnTransition> {
public:
    // Four quarters of whole frames.
    unsigned CountFrames(double frameRate, bool) const override { return DurationFrames(frameRate) / 4 * 4; }
    CCircularSweepOnTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;

    // The wedge's radius for a slide of w × h twips: about half its diagonal.
    static int32_t WedgeRadius(int64_t w, int64_t h);

private:
    // Of a slide of w × h twips.
    uint16_t DefineSlideRectShape(int32_t w, int32_t h, CSwfMovie* movie, uint16_t* characterIdCounter);
    uint16_t DefineWedgeShape(int32_t w, int32_t h, CSwfMovie* movie, uint16_t* characterIdCounter);
};
