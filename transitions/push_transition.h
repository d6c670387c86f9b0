#pragma once
// Push: the new slide slides in from outside the frame in one of eight
// directions and the old slide moves by the same steps, pushed out.
#include "transitions/directional_transition.h"
#include "transitions/motion_steps.h"

class CPushTransition : public CTransitionKind<CPushTransition, CDirectionalTransition> {
public:
    static constexpr uint32_t kLabelId = 10012;
    static constexpr uint32_t kPopupId = 10013;
    // Where both slides move.
    enum Direction { kUp, kDown, kRight, kLeft, kToTopLeft, kToTopRight, kToBottomLeft, kToBottomRight };

    CPushTransition();
    void SetDefaults() override { direction = kRight; }
    // At least one frame, with or without a slide before it.
    unsigned CountFrames(double frameRate, bool) const override { return std::max(DurationFrames(frameRate), 1u); }
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
};
