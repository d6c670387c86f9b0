#include "transitions/directional_transition.h"

#include <typeinfo>

bool CDirectionalTransition::CopyFrom(const CTransition* other)
{
    if (!CTransition::CopyFrom(other)) return false;
    if (auto* o = dynamic_cast<const CDirectionalTransition*>(other)) direction = o->direction;
    return true;
}

bool CDirectionalTransition::CreateSettingsControls(CDialogWindow* window, ControlRef parent, const Rect* area)
{
    if (!setting_.Create(window, parent, area, direction)) return false;
    OnCreateControls(window, area);
    UpdateSettingsControls();
    return true;
}

bool CDirectionalTransition::DisposeSettingsControls()
{
    ReadSettingsControls(this);
    OnDisposeControls();
    setting_.Dispose();
    return true;
}

void CDirectionalTransition::UpdateSettingsControls()
{
    setting_.Update(direction);
}

bool CDirectionalTransition::ReadSettingsControls(CTransition* target) const
{
    // Only a transition of this very kind has this table's directions.
    if (!target || typeid(*target) != typeid(*this)) return false;
    return ReadDirection(&static_cast<CDirectionalTransition*>(target)->direction);
}

bool CDirectionalTransition::OnControlChanged(uint32_t controlId)
{
    return setting_.OnChanged(controlId, &direction);
}

bool CDirectionalTransition::ReadXmlAttributes(const CElementReader& reader)
{
    setting_.Read(reader, &direction);
    return true;
}

bool CDirectionalTransition::WriteXmlAttributes(CXMLOutputFile& out) const
{
    setting_.Write(out, direction);
    return true;
}
