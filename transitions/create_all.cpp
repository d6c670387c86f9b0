// The registry's rows: every kind built, each in its place. The list sorts
// them by name; the rows only fix which kinds a registry holds.
#include "show/transition.h"
#include "transitions/blinds.h"
#include "transitions/checker_transition.h"
#include "transitions/circular_sweep_transition.h"
#include "transitions/curtain.h"
#include "transitions/fade_transitions.h"
#include "transitions/page_flip.h"
#include "transitions/slide_pieces.h"
#include "transitions/sliding_bars.h"
#include "transitions/window_transition.h"
#include "transitions/wipes.h"

bool CTransitionList::CreateAll()
{
    AddSorted(std::make_unique<CTransition>(1));
    AddSorted(std::make_unique<CSlidingBarsTransition>());
    AddSorted(std::make_unique<CBlindsInTransition>());
    AddSorted(std::make_unique<CBlindsOutTransition>());
    // Blur In, Blur Out come in these rows when built.
    AddSorted(std::make_unique<CCheckerTransition>());
    AddSorted(std::make_unique<CCircularSweepOnTransition>());
    AddSorted(std::make_unique<CColorFadeTransition>());
    AddSorted(std::make_unique<CCrossFadeTransition>());
    // Cross Scale.
    AddSorted(std::make_unique<CCurtainTransition>());
    AddSorted(std::make_unique<CFadeInTransition>());
    AddSorted(std::make_unique<CFadeOutTransition>());
    AddSorted(std::make_unique<CPageFlipTransition>());
    // Push, Spin In, Spin Out.
    AddSorted(std::make_unique<CSlideCloseTransition>());
    // Slide In From.
    AddSorted(std::make_unique<CSlideOpenTransition>());
    // Slide Out To.
    AddSorted(std::make_unique<CSlideTriangleOpenTransition>());
    AddSorted(std::make_unique<CWindowTransition>());
    AddSorted(std::make_unique<CWipeOnTransition>());
    AddSorted(std::make_unique<CWipeOn2Transition>());
    AddSorted(std::make_unique<CWipeOffTransition>());
    // Zoom In, Zoom Out.
    return true;
}
