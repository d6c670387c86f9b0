#pragma once
// Blur In and Blur Out: a motion blur without filters. The slide that
// fades is flanked by two copies of its picture 2 px to the left and right,
// whose common opacity rises to one half and falls again.
#include "transitions/motion_steps.h"

class CBlurTransition : public CSensedTransition {
protected:
    explicit CBlurTransition(motion::Sense sense);
    void GenerateIn(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* depthCounter) override;
    void GenerateOut(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* depthCounter) override;

private:
    // The n frames: the fading layer, then the two ghosts of s.
    void WriteFrames(CSwfMovie* movie, CSlide& s, uint16_t fading, uint16_t left, uint16_t right);
};

using CBlurInTransition = CSensedKind<CBlurTransition, motion::Sense::kIn>;
using CBlurOutTransition = CSensedKind<CBlurTransition, motion::Sense::kOut>;
