// The effect kinds in the order the user sees them. A kind not built yet
// leaves its row empty; the others keep their places.
#include <memory>

#include "effects/fireworks.h"
#include "effects/snow.h"
#include "effects/strobe.h"
#include "show/overlay_effect.h"

namespace {

using Maker = std::unique_ptr<COverlayEffect> (*)();

template <class Effect>
std::unique_ptr<COverlayEffect> Make()
{
    return std::make_unique<Effect>();
}

constexpr Maker kRows[] = {
    Make<COverlayEffect>,  // None
    nullptr,               // Bubbles
    Make<CFireworksEffect>,  // Fireworks
    nullptr,               // Hearts
    nullptr,               // Old Movie
    Make<CSnowEffect>,     // Snow
    Make<CStrobeEffect>,   // Strobe
};

}  // namespace

bool COverlayEffectList::CreateAll()
{
    for (Maker make : kRows)
        if (make) Add(make());
    return true;
}
