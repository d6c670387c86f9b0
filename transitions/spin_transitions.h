#pragma once
// Spin In and Spin Out: the new slide spins in growing from nothing and
// ends upright, or a copy of the old one spins while it shrinks to
// nothing; a number of turns (fractional) in either sense.
#include "transitions/motion_steps.h"
#include "ui/buttons.h"
#include "ui/popup_edit.h"
#include "ui/simple_controls.h"

struct SpinKindRow;

class CSpinTransition : public CSensedTransition {
public:
    bool CopyFrom(const CTransition* other) override;
    void SetDefaults() override;

    TAVREL_TRANSITION_SETTINGS_OVERRIDES;

    // The field's number, in single precision, when it differs.
    void ReadSpins();
    // Checked means counter-clockwise.
    void ReadClockwise();

    uint32_t LabelId() const;
    uint32_t FieldId() const;
    uint32_t BoxId() const;

    // Turns over the whole transition.
    float spins = 1.8f;
    // 1 clockwise on screen, 0 counter-clockwise.
    int clockwise = 1;

protected:
    explicit CSpinTransition(motion::Sense sense);
    void InFrames(CSlide& slide, int n, CSwfMovie* movie) override;
    void OutFrames(CSlide& previous, uint16_t copy, int n, CSwfMovie* movie) override;

private:
    static void OnSpinsCommitted(CEditText* field, void* context);

    const SpinKindRow& row_;
    CStaticText spinsLabel_;
    // Read from the const ReadSettingsControls.
    mutable CEditText spinsField_;
    mutable CCheckBox directionBox_;
};

using CSpinInTransition = CSensedKind<CSpinTransition, motion::Sense::kIn>;
using CSpinOutTransition = CSensedKind<CSpinTransition, motion::Sense::kOut>;
