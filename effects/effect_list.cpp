// The effect kinds in the order the user sees them.
#include <memory>

#include "effects/bubbles.h"
#include "effects/fireworks.h"
#include "effects/hearts.h"
#include "effects/old_movie.h"
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
    Make<COverlayEffect>,    // None
    Make<CBubblesEffect>,    // Bubbles
    Make<CFireworksEffect>,  // Fireworks
    Make<CHeartsEffect>,     // Hearts
    Make<COldMovieEffect>,   // Old Movie
    Make<CSnowEffect>,       // Snow
    Make<CStrobeEffect>,     // Strobe
};

}  // namespace

bool COverlayEffectList::CreateAll()
{
    for (Maker make : kRows)
        if (make) Add(make());
    return true;
}
