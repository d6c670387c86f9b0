#pragma once
// A kind whose one setting is a direction pop-up: the field, its controls
// and its XML attribute, over any transition base.
#include <utility>

#include "show/transition.h"
#include "transitions/direction_setting.h"

template <class Base>
class CWithDirection : public Base {
public:
    template <class... Args>
    CWithDirection(const DirectionTable& table, const DirectionLayout& layout, int defaultDirection, Args&&... args)
        : Base(std::forward<Args>(args)...), direction(defaultDirection), setting_(table, layout),
          default_(defaultDirection)
    {
    }

    bool CopyFrom(const CTransition* other) override
    {
        if (!CTransition::CopyFrom(other)) return false;
        if (auto* o = dynamic_cast<const CWithDirection*>(other)) direction = o->direction;
        return true;
    }
    void SetDefaults() override { direction = default_; }

    bool CreateSettingsControls(CDialogWindow* window, ControlRef parent, const Rect* area) override
    {
        if (!setting_.Create(window, parent, area, direction)) return false;
        this->OnCreateControls(window, area);
        UpdateSettingsControls();
        return true;
    }
    bool DisposeSettingsControls() override
    {
        ReadSettingsControls(this);
        this->OnDisposeControls();
        setting_.Dispose();
        return true;
    }
    void UpdateSettingsControls() override { setting_.Update(direction); }
    bool ReadSettingsControls(CTransition* target) const override
    {
        auto* t = dynamic_cast<CWithDirection*>(target);
        return t && setting_.Read(&t->direction);
    }
    bool OnControlChanged(uint32_t controlId) override { return setting_.OnChanged(controlId, &direction); }

    bool ReadXmlAttributes(const CXMLNode&, const CXMLAttributes& attributes) override
    {
        setting_.Read(attributes, &direction);
        return true;
    }
    bool WriteXmlAttributes(CXMLOutputFile& out) const override
    {
        setting_.Write(out, direction);
        return true;
    }

    uint32_t LabelId() const { return setting_.LabelId(); }
    uint32_t PopupId() const { return setting_.PopupId(); }

    // An index into the kind's direction table.
    int direction;

private:
    CDirectionSetting setting_;
    int default_;
};
