#pragma once
// "Window": a square, rectangle, circle, star or diamond window centred on
// the slide grows and shows the new slide inside it (open types), or shrinks
// over the previous slide and uncovers the new one around it (close types);
// it may spin while it does.
#include <cstdint>

#include "show/transition.h"
#include "ui/buttons.h"
#include "ui/popup_edit.h"
#include "ui/simple_controls.h"

class CWindowTransition : public CTransitionKind<CWindowTransition> {
public:
    // A closing window shrinks over the slide before it: none, none.
    unsigned CountFrames(double frameRate, bool fromSlide) const override
    {
        return fromSlide || (type & 1) ? DurationFrames(frameRate) : 0;
    }
    // Even types close, odd types open.
    enum Type {
        kSquareClose,
        kSquareOpen,
        kRectangleClose,
        kRectangleOpen,
        kCircleClose,
        kCircleOpen,
        kStarClose,
        kStarOpen,
        kStar12Close,
        kStar12Open,
        kDiamondClose,
        kDiamondOpen,
        kTypeCount
    };
    static constexpr uint32_t kTurnsLabelId = 10026;
    static constexpr uint32_t kSpinsFieldId = 10027;
    static constexpr uint32_t kCounterClockwiseId = 10028;
    static constexpr uint32_t kSpinId = 10029;
    static constexpr uint32_t kShapeLabelId = 10030;
    static constexpr uint32_t kShapePopupId = 10031;

    CWindowTransition();
    ~CWindowTransition() override;

    bool CopyFrom(const CTransition* other) override;
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
    void SetDefaults() override;

    TAVREL_TRANSITION_SETTINGS_OVERRIDES;

    // The type's shape for a slide of the given display size (pixels),
    // twice the slide at scale 1, as a mask; its character id.
    uint16_t DefineWindowShape(const CSlide& slide, CSwfMovie* movie, uint16_t* characterIdCounter) const;

    int type = kSquareClose;
    float spins = 1.8f;
    bool spin = false;
    bool clockwise = true;

private:
    bool GenerateClose(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                       uint16_t* depthCounter);
    void OnSpinChanged();
    void OnShapeChanged();
    void ReadCounterClockwise();
    void ReadSpins();
    static void OnSpinsEntered(CEditText* field, void* context);

    mutable CCheckBox spinBox_;
    CStaticText turnsLabel_;
    mutable CEditText spinsField_;
    mutable CCheckBox counterClockwiseBox_;
    CStaticText shapeLabel_;
    mutable CPopupMenu shapePopup_;
};
