#pragma once
// Blinds In and Blinds Out: a slide cut into slats 20 px thick, each slat a
// mask over a copy of the slide scaled about one of its edges. In opens the
// new slide's slats over the old one; Out closes the old slide's slats over
// the new one.
#include <cstdint>

#include "transitions/clip_layers.h"
#include "transitions/directional_transition.h"

class CBlindsTransition : public CDirectionalTransition {
public:
    static constexpr int kDirections = 4;

    // 0 "Horizontal Up", 1 "Horizontal Down", 2 "Vertical Left", 3 "Vertical Right".
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
    void SetDefaults() override;

    bool IsOut() const { return out_; }

protected:
    CBlindsTransition(bool out, uint32_t labelId, uint32_t popupId);

private:
    // The row of the slats' shape and start: Out's slats are anchored at the
    // edge opposite In's, as the next direction's In slats are.
    int Geometry() const;
    // The slat mask for the direction, sized from the slide the slats are cut from.
    uint16_t DefineBlindShape(const CSlide& slide, CSwfMovie* movie, uint16_t* characterIdCounter);
    // The slats' pairs over copies of from, then the frames and their removal.
    void WriteSlats(CSlide& from, int64_t startX, int64_t startY, CSwfMovie* movie, uint16_t* depthCounter);

    const bool out_;
    int slatSize_ = 20;  // pixels; no setting changes it
    uint16_t slatShapeId_ = 0;
    clip_layers::DepthLists lists_;
};

class CBlindsInTransition : public CTransitionKind<CBlindsInTransition, CBlindsTransition> {
public:
    static constexpr uint32_t kLabelId = 10004;
    static constexpr uint32_t kPopupId = 10005;
    CBlindsInTransition();
};

class CBlindsOutTransition : public CTransitionKind<CBlindsOutTransition, CBlindsTransition> {
public:
    // Without a slide before it, it writes no frame.
    unsigned CountFrames(double frameRate, bool fromSlide) const override
    {
        return fromSlide ? DurationFrames(frameRate) : 0;
    }
    static constexpr uint32_t kLabelId = 10006;
    static constexpr uint32_t kPopupId = 10007;
    CBlindsOutTransition();
};
