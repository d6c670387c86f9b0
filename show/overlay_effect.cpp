#include "show/overlay_effect.h"

#include "show/registry.h"

COverlayEffectList& COverlayEffectList::Get()
{
    static COverlayEffectList list;
    return list;
}

COverlayEffectList::COverlayEffectList()
{
    prototypes_.push_back(std::make_unique<COverlayEffect>());
}

void COverlayEffectList::Register(std::unique_ptr<COverlayEffect> prototype)
{
    RegisterPrototype(prototypes_, std::move(prototype));
}

std::unique_ptr<COverlayEffect> COverlayEffectList::FindByName(const std::string& name) const
{
    for (const auto& p : prototypes_)
        if (p->GetName() == name) return p->Clone();
    return nullptr;
}
