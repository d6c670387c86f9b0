#include "show/overlay_effect.h"

#include "show/registry.h"
#include "swf/display_tags.h"
#include "swf/movie.h"

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

uint16_t COverlayEffect::Build(CSwfMovie*, uint16_t*, uint16_t*)
{
    return 0;
}

bool COverlayEffect::Place(CSwfMovie*, uint16_t)
{
    return true;
}

bool COverlayEffect::PlaceSprite(CSwfMovie* movie, uint16_t depth) const
{
    if (!movie || !spriteId_) return false;
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(spriteId_);
    place->depth = depth;
    place->SetMatrix(new CSwfMatrix);
    return movie->AddTag(place) > 0;
}

COverlayEffect* CUsedEffectList::AddUnique(COverlayEffect* effect)
{
    if (!effect) return nullptr;
    for (COverlayEffect* e : entries_)
        if (e->GetName() == effect->GetName()) return e;
    entries_.push_back(effect);
    return effect;
}
