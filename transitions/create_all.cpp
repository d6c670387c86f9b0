// The registry's rows: every kind built, each in its place. The list sorts
// them by name; the rows only fix which kinds a registry holds.
#include "show/transition.h"
#include "transitions/blur_transitions.h"
#include "transitions/checker_transition.h"
#include "transitions/circular_sweep_transition.h"
#include "transitions/fade_transitions.h"
#include "transitions/push_transition.h"
#include "transitions/slide_transitions.h"
#include "transitions/spin_transitions.h"
#include "transitions/window_transition.h"
#include "transitions/zoom_transitions.h"

bool CTransitionList::CreateAll()
{
    AddSorted(std::make_unique<CTransition>(1));
    // Sliding Bars, Blinds In, Blinds Out, Blur In, Blur Out, Checker,
    // Circular Sweep On come in these rows when built.
    AddSorted(std::make_unique<CBlurInTransition>());
    AddSorted(std::make_unique<CBlurOutTransition>());
    AddSorted(std::make_unique<CCheckerTransition>());
    AddSorted(std::make_unique<CCircularSweepOnTransition>());
    AddSorted(std::make_unique<CColorFadeTransition>());
    AddSorted(std::make_unique<CCrossFadeTransition>());
    // Cross Scale, Curtain.
    AddSorted(std::make_unique<CCrossScaleTransition>());
    AddSorted(std::make_unique<CFadeInTransition>());
    AddSorted(std::make_unique<CFadeOutTransition>());
    // Page Flip, Push, Spin In, Spin Out, Slide Close, Slide In From, Slide
    // Open, Slide Out To, Slide Triangle Open, Window, Wipe On, Wipe On 2,
    // Wipe Off, Zoom In, Zoom Out.
    AddSorted(std::make_unique<CPushTransition>());
    AddSorted(std::make_unique<CSpinInTransition>());
    AddSorted(std::make_unique<CSpinOutTransition>());
    AddSorted(std::make_unique<CSlideInFromTransition>());
    AddSorted(std::make_unique<CSlideOutToTransition>());
    AddSorted(std::make_unique<CWindowTransition>());
    AddSorted(std::make_unique<CZoomInTransition>());
    AddSorted(std::make_unique<CZoomOutTransition>());
    return true;
}
