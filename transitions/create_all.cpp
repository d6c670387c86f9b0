// The registry's rows: every kind built, each in its place. The list sorts
// them by name; the rows only fix which kinds a registry holds.
#include "show/transition.h"
#include "transitions/fade_transitions.h"
#include "transitions/page_flip.h"
#include "transitions/slide_pieces.h"

bool CTransitionList::CreateAll()
{
    AddSorted(std::make_unique<CTransition>(1));
    // Sliding Bars, Blinds In, Blinds Out, Blur In, Blur Out, Checker,
    // Circular Sweep On come in these rows when built.
    AddSorted(std::make_unique<CColorFadeTransition>());
    AddSorted(std::make_unique<CCrossFadeTransition>());
    // Cross Scale, Curtain.
    AddSorted(std::make_unique<CFadeInTransition>());
    AddSorted(std::make_unique<CFadeOutTransition>());
    AddSorted(std::make_unique<CPageFlipTransition>());
    // Push, Spin In, Spin Out.
    AddSorted(std::make_unique<CSlideCloseTransition>());
    // Slide In From.
    AddSorted(std::make_unique<CSlideOpenTransition>());
    // Slide Out To.
    AddSorted(std::make_unique<CSlideTriangleOpenTransition>());
    // Window, Wipe On, Wipe On 2, Wipe Off, Zoom In, Zoom Out.
    return true;
}
