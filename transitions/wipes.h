#pragma once
// The wipes: a hard-edged mask slides across the slide in one of twelve
// directions. Wipe On carries a mask of the slide's size (a diamond on the
// diagonals) onto the new slide; Wipe On 2 does it twice, a half-opaque
// copy from the chosen side, then the slide from the other; Wipe Off
// carries a masked copy of the previous slide away.
#include <cstdint>

#include "transitions/directional_transition.h"

// What the wipes share: the twelve directions and the mask shapes.
class CWipeTransition : public CDirectionalTransition {
public:
    static constexpr int kDirections = 12;
    static constexpr int kRight = 2;

    // Where the mask lies, from the slide's centre, while still outside a
    // slide of w × h twips; (0, 0) outside the table.
    struct Offset {
        int32_t x, y;
    };
    static Offset OffsetOf(int direction, int32_t w, int32_t h);
    // The mask of the direction for a slide of w × h twips (the diagonals'
    // diamond, else the slide's rectangle), centred on the origin; its id,
    // 0 when the ids ran out.
    static uint16_t DefineShape(int direction, int32_t w, int32_t h, CSwfMovie* movie, uint16_t* characterIdCounter);

    void SetDefaults() override { direction = kRight; }

protected:
    CWipeTransition(uint32_t labelId, uint32_t popupId, const char* label);
};

class CWipeOnTransition : public CTransitionKind<CWipeOnTransition, CWipeTransition> {
public:
    static constexpr uint32_t kLabelId = 10032;
    static constexpr uint32_t kPopupId = 10033;

    CWipeOnTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
};

// The same settings as Wipe On, and two passes.
class CWipeOn2Transition : public CTransitionKind<CWipeOn2Transition, CWipeOnTransition> {
public:
    CWipeOn2Transition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
};

class CWipeOffTransition : public CTransitionKind<CWipeOffTransition, CWipeTransition> {
public:
    // Without a slide before it, it writes no frame.
    unsigned CountFrames(double frameRate, bool fromSlide) const override
    {
        return fromSlide ? DurationFrames(frameRate) : 0;
    }
    static constexpr uint32_t kLabelId = 10034;
    static constexpr uint32_t kPopupId = 10035;

    CWipeOffTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
};
