#pragma once
// Curtain: the previous slide parts from the middle outward like a pair of
// curtains over the new slide, which lies dimmed under two white,
// half-transparent panels; the panels slide out and fade, the slide
// brightens.
#include <cstdint>

#include "show/transition.h"

class CCurtainTransition : public CTransitionKind<CCurtainTransition> {
public:
    CCurtainTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;

    // A white rectangle of half the movie's width and its full height, from
    // the origin: the panels and the masks alike. Its id, 0 when ids ran out.
    static uint16_t DefineCurtainShape(CSwfMovie* movie, uint16_t* characterIdCounter);
};
