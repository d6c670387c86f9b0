#pragma once
// Sliding Bars: the new slide cut into strips 10 px thick that slide in
// from both sides in turn, each strip a mask over a copy of the slide.
#include <cstdint>

#include "transitions/clip_layers.h"
#include "transitions/directional_transition.h"

class CSlidingBarsTransition : public CTransitionKind<CSlidingBarsTransition, CDirectionalTransition> {
public:
    static constexpr uint32_t kLabelId = 10002;
    static constexpr uint32_t kPopupId = 10003;
    static constexpr int kDirections = 10;

    // Directions 0..4 stack horizontal bars, 5..9 vertical ones.
    CSlidingBarsTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
    void SetDefaults() override;

    // The extra travel of bar i of count, in twips: bars that land later
    // start farther out.
    static int64_t Delay(int direction, int i, int count);

private:
    uint16_t DefineBarShape(const CSlide& slide, CSwfMovie* movie, uint16_t* characterIdCounter);

    int barSize_ = 10;  // pixels; no setting changes it
    uint16_t barShapeId_ = 0;
    clip_layers::DepthLists lists_;
};
