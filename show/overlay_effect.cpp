#include "show/overlay_effect.h"

#include <cstring>

#include "swf/display_tags.h"
#include "swf/movie.h"

namespace {
// The registered list; plain, as everything here runs on the main thread.
COverlayEffectList* registered = nullptr;
}  // namespace

COverlayEffectList::COverlayEffectList()
{
    if (!registered) registered = this;
}

COverlayEffectList::~COverlayEffectList()
{
    // Only the list that holds the registration gives it up: another list
    // going away must not leave the reader without its effects.
    if (registered == this) registered = nullptr;
}

bool COverlayEffectList::Add(COverlayEffect* effect)
{
    if (!effect) return false;
    prototypes_.emplace_back(effect);
    return true;
}

COverlayEffect* COverlayEffectList::GetAt(int index) const
{
    if (index < 0 || index >= GetCount()) return nullptr;
    return prototypes_[size_t(index)].get();
}

COverlayEffectList* COverlayEffectList::GetCurrent()
{
    return registered;
}

std::unique_ptr<COverlayEffect> COverlayEffectList::FindByName(const char* name)
{
    if (!registered || !name) return nullptr;
    for (const auto& p : registered->prototypes_)
        if (std::strcmp(p->GetName().c_str(), name) == 0) return p->Clone();
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
