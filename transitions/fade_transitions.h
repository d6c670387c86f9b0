#pragma once
// The kinds that change only how opaque the slides are: Fade In, Fade Out,
// Cross Fade and Color Fade (a full-frame colour between the two slides).
#include <memory>

#include "show/transition.h"
#include "ui/buttons.h"
#include "ui/simple_controls.h"

class CFadeInTransition : public CTransitionKind<CFadeInTransition> {
public:
    CFadeInTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
};

class CFadeOutTransition : public CTransitionKind<CFadeOutTransition> {
public:
    // Without a slide before it, it writes no frame.
    unsigned CountFrames(double frameRate, bool fromSlide) const override
    {
        return fromSlide ? DurationFrames(frameRate) : 0;
    }
    CFadeOutTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
};

class CCrossFadeTransition : public CTransitionKind<CCrossFadeTransition> {
public:
    CCrossFadeTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
};

class CColorFadeTransition : public CTransitionKind<CColorFadeTransition> {
public:
    // Two halves of whole frames.
    unsigned CountFrames(double frameRate, bool) const override { return DurationFrames(frameRate) / 2 * 2; }
    static constexpr uint32_t kLabelId = 10058;
    static constexpr uint32_t kSwatchId = 10059;

    CColorFadeTransition();
    bool CopyFrom(const CTransition* other) override;
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
    void SetDefaults() override { fadeColor = 0xFFFFFF; }

    TAVREL_TRANSITION_SETTINGS_OVERRIDES;

    // Red in bits 0-7, green 8-15, blue 16-23; the top byte is ignored.
    uint32_t fadeColor = 0xFFFFFF;

private:
    CStaticText colorLabel_;
    CColorSwatch colorSwatch_;
};
