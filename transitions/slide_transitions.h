#pragma once
// Slide In From and Slide Out To: the new slide moves and scales from an
// offset and a scale to its own placement, or a copy of the old one moves
// and scales away from its own; either may fade.
#include "transitions/motion_steps.h"
#include "ui/buttons.h"
#include "ui/popup_edit.h"
#include "ui/simple_controls.h"

struct SlideMotionRow;

class CSlideMotionTransition : public CSensedTransition {
public:
    bool CopyFrom(const CTransition* other) override;
    void SetDefaults() override;

    TAVREL_TRANSITION_SETTINGS_OVERRIDES;

    // Each field's value, when it differs; the scales in single precision.
    void ReadFinalX();
    void ReadFinalY();
    void ReadFinalScaleX();
    void ReadFinalScaleY();
    void ReadFade();

    // The controls' ids: labels and fields in the order x, y, scale x,
    // scale y, then the check box.
    uint32_t LabelId(int field) const;
    uint32_t FieldId(int field) const;
    uint32_t BoxId() const;

    // Offset in pixels from the slide's own centre: where the new slide
    // starts, or how far the old one travels.
    int32_t final_x = 0;
    int32_t final_y = 0;
    // Scale at the start (In) or at the end (Out); 1.0 is the slide's own.
    double final_sx = 0.0;
    double final_sy = 0.0;
    // 1: fades in (In) or out (Out).
    int fade_out = 1;

protected:
    explicit CSlideMotionTransition(motion::Sense sense);
    void InFrames(CSlide& slide, int n, CSwfMovie* movie) override;
    void OutFrames(CSlide& previous, uint16_t copy, int n, CSwfMovie* movie) override;

private:
    static void OnFieldsCommitted(CEditText* field, void* context);

    const SlideMotionRow& row_;
    CStaticText labels_[4];
    // Read from the const ReadSettingsControls.
    mutable CEditText fields_[4];
    mutable CCheckBox fadeBox_;
};

using CSlideInFromTransition = CSensedKind<CSlideMotionTransition, motion::Sense::kIn>;
using CSlideOutToTransition = CSensedKind<CSlideMotionTransition, motion::Sense::kOut>;
