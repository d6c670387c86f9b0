#pragma once
// Zoom In and Zoom Out: the new slide grows from nothing, or a copy of the
// old one shrinks to nothing, about its centre or travelling in one of
// eight directions. Cross Scale: a grey rectangle glides from the old
// slide's place and size to the new one's.
#include "transitions/direction_kind.h"
#include "transitions/motion_steps.h"

class CZoomTransition : public CWithDirection<CSensedTransition> {
public:
    // Where the slide travels while it scales.
    enum Direction { kNone, kUp, kDown, kRight, kLeft, kTopLeft, kTopRight, kBottomLeft, kBottomRight };

protected:
    explicit CZoomTransition(motion::Sense sense);
    void InFrames(CSlide& slide, int n, CSwfMovie* movie) override;
    void OutFrames(CSlide& previous, uint16_t copy, int n, CSwfMovie* movie) override;
};

class CZoomInTransition : public CKindOf<CZoomInTransition, CZoomTransition> {
public:
    CZoomInTransition() : CKindOf(motion::Sense::kIn) {}
};

class CZoomOutTransition : public CKindOf<CZoomOutTransition, CZoomTransition> {
public:
    CZoomOutTransition() : CKindOf(motion::Sense::kOut) {}
};

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
