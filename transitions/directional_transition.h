#pragma once
// The kinds whose one setting is a direction chosen in a pop-up: the field,
// its controls, its attribute and its copy, shared.
#include <memory>

#include "show/transition.h"
#include "transitions/direction_setting.h"

class CDirectionalTransition : public CTransition {
public:
    // The direction of other, which is of the same kind.
    bool CopyFrom(const CTransition* other) override;

    TAVREL_TRANSITION_SETTINGS_OVERRIDES;

    uint32_t LabelId() const { return setting_.LabelId(); }
    uint32_t PopupId() const { return setting_.PopupId(); }

    // An index into the kind's direction table.
    int direction = 0;

protected:
    CDirectionalTransition(const DirectionTable& table, const DirectionLayout& layout) : setting_(table, layout) {}
    // The pop-up's choice into *field; true when it changed.
    bool ReadDirection(int* field) const { return setting_.Read(field); }

private:
    CDirectionSetting setting_;
};
