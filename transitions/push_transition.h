#pragma once
// Push: the new slide slides in from outside the frame in one of eight
// directions and the old slide moves by the same steps, pushed out.
#include "transitions/direction_setting.h"
#include "transitions/motion_steps.h"

class CPushTransition : public CTransitionKind<CPushTransition> {
public:
    static constexpr uint32_t kLabelId = 10012;
    static constexpr uint32_t kPopupId = 10013;
    enum Direction { kUp, kDown, kRight, kLeft, kToTopLeft, kToTopRight, kToBottomLeft, kToBottomRight };

    CPushTransition();
    bool CopyFrom(const CTransition* other) override;
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
    void SetDefaults() override { direction = kRight; }

    bool CreateSettingsControls(CDialogWindow* window, ControlRef parent, const Rect* area) override;
    bool DisposeSettingsControls() override;
    void UpdateSettingsControls() override;
    bool ReadSettingsControls(CTransition* target) const override;
    bool OnControlChanged(uint32_t controlId) override;

    bool ReadXmlAttributes(const CXMLNode& element, const CXMLAttributes& attributes) override;
    bool WriteXmlAttributes(CXMLOutputFile& out) const override;

    // The direction in which both slides move, 0..7.
    int direction = kRight;

private:
    CDirectionSetting setting_;
};
