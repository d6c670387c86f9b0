// The effect kinds in the order the user sees them. A kind not built yet
// leaves its row empty; the others keep their places.
#include <memory>

#include "effects/bubbles.h"
#include "effects/hearts.h"
#include "effects/old_movie.h"
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
    Make<CBubblesEffect>,  // Bubbles
    nullptr,               // Fireworks
    Make<CHeartsEffect>,   // Hearts
    Make<COldMovieEffect>, // Old Movie
    nullptr,               // Snow
    Make<CStrobeEffect>,   // Strobe
};

}  // namespace

bool COverlayEffectList::CreateAll()
{
    for (Maker make : kRows)
        if (make) Add(make());
    return true;
}
