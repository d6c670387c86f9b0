#pragma once
// Zoom In and Zoom Out: the new slide grows from nothing, or a copy of the
// old one shrinks to nothing, about its centre or travelling in one of
// eight directions. Cross Scale: a grey rectangle glides from the old
// slide's place and size to the new one's.
#include "transitions/directional_transition.h"
#include "transitions/motion_steps.h"

class CZoomTransition : public CSensed<CDirectionalTransition> {
public:
    // Where the slide travels while it scales.
    enum Direction { kNone, kUp, kDown, kRight, kLeft, kTopLeft, kTopRight, kBottomLeft, kBottomRight };

    void SetDefaults() override { direction = kNone; }
    uint32_t LabelId() const;
    uint32_t PopupId() const;

protected:
    explicit CZoomTransition(motion::Sense sense);
    void InFrames(CSlide& slide, int n, CSwfMovie* movie) override;
    void OutFrames(CSlide& previous, uint16_t copy, int n, CSwfMovie* movie) override;
};

using CZoomInTransition = CSensedKind<CZoomTransition, motion::Sense::kIn>;
using CZoomOutTransition = CSensedKind<CZoomTransition, motion::Sense::kOut>;

class CCrossScaleTransition : public CTransitionKind<CCrossScaleTransition> {
public:
    CCrossScaleTransition();
    // Without a slide before it, a cut.
    unsigned CountFrames(double frameRate, bool fromSlide) const override
    {
        return fromSlide ? DurationFrames(frameRate) : 0;
    }
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
};
