#pragma once
// Zoom In and Zoom Out: the new slide grows from nothing, or a copy of the
// old one shrinks to nothing, about its centre or travelling in one of
// eight directions. Cross Scale: a grey rectangle glides from the old
// slide's place and size to the new one's.
#include "transitions/direction_setting.h"
#include "transitions/motion_steps.h"

class CZoomTransition : public CTransition {
public:
    enum Direction { kNone, kUp, kDown, kRight, kLeft, kTopLeft, kTopRight, kBottomLeft, kBottomRight };

    bool CopyFrom(const CTransition* other) override;
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
    void SetDefaults() override { direction = kNone; }

    bool CreateSettingsControls(CDialogWindow* window, ControlRef parent, const Rect* area) override;
    bool DisposeSettingsControls() override;
    void UpdateSettingsControls() override;
    bool ReadSettingsControls(CTransition* target) const override;
    bool OnControlChanged(uint32_t controlId) override;

    bool ReadXmlAttributes(const CXMLNode& element, const CXMLAttributes& attributes) override;
    bool WriteXmlAttributes(CXMLOutputFile& out) const override;

    uint32_t LabelId() const { return setting_.LabelId(); }
    uint32_t PopupId() const { return setting_.PopupId(); }

    // Where the slide travels while it scales, 0..8.
    int direction = kNone;

protected:
    explicit CZoomTransition(Sense sense);

private:
    void GenerateIn(CSlide* slide, CSlide* previous, CSwfMovie* movie);
    void GenerateOut(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* depthCounter);

    Sense sense_;
    CDirectionSetting setting_;
};

class CZoomInTransition : public CKindOf<CZoomInTransition, CZoomTransition> {
public:
    CZoomInTransition() : CKindOf(Sense::kIn) {}
};

class CZoomOutTransition : public CKindOf<CZoomOutTransition, CZoomTransition> {
public:
    CZoomOutTransition() : CKindOf(Sense::kOut) {}
};

class CCrossScaleTransition : public CTransitionKind<CCrossScaleTransition> {
public:
    CCrossScaleTransition();
    bool GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                     uint16_t* depthCounter) override;
};
