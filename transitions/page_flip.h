#pragma once
// Page Flip: the previous slide turns over like a book's page about the
// slides' centre line, right to left; its right half folds away over the
// new slide's right half, then the new slide's left half unfolds over the
// previous slide's left half.
#include "show/transition.h"

class CPageFlipTransition : public CTransitionKind<CPageFlipTransition> {
public:
    // Two halves of whole frames, and none without a slide before it.
    unsigned CountFrames(double frameRate, bool fromSlide) const override
    {
        return fromSlide ? DurationFrames(frameRate) / 2 * 2 : 0;
    }
    CPageFlipTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;

    // Frame-sized masks from y = 0 down, left or right of their origin.
    static uint16_t DefineLeftPageShape(CSlide* slide, CSwfMovie* movie, uint16_t* characterIdCounter);
    static uint16_t DefineRightPageShape(CSlide* slide, CSwfMovie* movie, uint16_t* characterIdCounter);
};
