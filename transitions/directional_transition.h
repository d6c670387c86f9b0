#pragma once
// The kinds whose one setting is a direction chosen in a pop-up: the field,
// its controls, its attribute and its copy, shared; and the clone that
// each concrete kind makes of itself.
#include <memory>

#include "show/transition.h"
#include "transitions/direction_setting.h"

class CDirectionalTransition : public CTransition {
public:
    // The direction of other, which is of the same kind.
    bool CopyFrom(const CTransition* other) override;

    bool CreateSettingsControls(CDialogWindow* window, ControlRef parent, const Rect* area) override;
    bool DisposeSettingsControls() override;
    void UpdateSettingsControls() override;
    bool ReadSettingsControls(CTransition* target) const override;
    bool OnControlChanged(uint32_t controlId) override;

    bool ReadXmlAttributes(const CElementReader& reader) override;
    bool WriteXmlAttributes(CXMLOutputFile& out) const override;

    // An index into the kind's direction table.
    int direction = 0;

protected:
    CDirectionalTransition(const DirectionTable& table, const DirectionLayout& layout) : setting_(table, layout) {}

private:
    CDirectionSetting setting_;
};

// A concrete kind on Base: its clone and its instance for a slide are both
// a copy of itself.
template <class Kind, class Base = CDirectionalTransition>
class CDirectionalKind : public Base {
public:
    using Base::Base;
    std::unique_ptr<CTransition> Clone() const override
    {
        auto copy = std::make_unique<Kind>();
        copy->CopyFrom(this);
        return copy;
    }
    std::unique_ptr<CTransition> CreateInstance() const override { return Clone(); }
};
