#pragma once
// Blur In and Blur Out: a motion blur without filters. The slide that
// fades is flanked by two copies of its picture 2 px to the left and right,
// whose common opacity rises to one half and falls again.
#include "transitions/motion_steps.h"

class CBlurTransition : public CTransition {
public:
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;

protected:
    explicit CBlurTransition(Sense sense);

private:
    bool GenerateIn(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* depthCounter);
    bool GenerateOut(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* depthCounter);

    Sense sense_;
};

class CBlurInTransition : public CKindOf<CBlurInTransition, CBlurTransition> {
public:
    CBlurInTransition() : CKindOf(Sense::kIn) {}
};

class CBlurOutTransition : public CKindOf<CBlurOutTransition, CBlurTransition> {
public:
    CBlurOutTransition() : CKindOf(Sense::kOut) {}
};
