// The registry's rows: every kind built, each in its place. The list sorts
// them by name; the rows only fix which kinds a registry holds.
#include "show/transition.h"
#include "transitions/blinds.h"
#include "transitions/blur_transitions.h"
#include "transitions/checker_transition.h"
#include "transitions/circular_sweep_transition.h"
#include "transitions/curtain.h"
#include "transitions/fade_transitions.h"
#include "transitions/page_flip.h"
#include "transitions/push_transition.h"
#include "transitions/slide_pieces.h"
#include "transitions/slide_transitions.h"
#include "transitions/sliding_bars.h"
#include "transitions/spin_transitions.h"
#include "transitions/window_transition.h"
#include "transitions/wipes.h"
#include "transitions/zoom_transitions.h"

bool CTransitionList::CreateAll()
{
    AddSorted(std::make_unique<CTransition>(1));
    AddSorted(std::make_unique<CSlidingBarsTransition>());
    AddSorted(std::make_unique<CBlindsInTransition>());
    AddSorted(std::make_unique<CBlindsOutTransition>());
    AddSorted(std::make_unique<CBlurInTransition>());
    AddSorted(std::make_unique<CBlurOutTransition>());
    AddSorted(std::make_unique<CCheckerTransition>());
    AddSorted(std::make_unique<CCircularSweepOnTransition>());
    AddSorted(std::make_unique<CColorFadeTransition>());
    AddSorted(std::make_unique<CCrossFadeTransition>());
    AddSorted(std::make_unique<CCrossScaleTransition>());
    AddSorted(std::make_unique<CCurtainTransition>());
    AddSorted(std::make_unique<CFadeInTransition>());
    AddSorted(std::make_unique<CFadeOutTransition>());
    AddSorted(std::make_unique<CPageFlipTransition>());
    AddSorted(std::make_unique<CPushTransition>());
    AddSorted(std::make_unique<CSpinInTransition>());
    AddSorted(std::make_unique<CSpinOutTransition>());
    AddSorted(std::make_unique<CSlideCloseTransition>());
    AddSorted(std::make_unique<CSlideInFromTransition>());
    AddSorted(std::make_unique<CSlideOpenTransition>());
    AddSorted(std::make_unique<CSlideOutToTransition>());
    AddSorted(std::make_unique<CSlideTriangleOpenTransition>());
    AddSorted(std::make_unique<CWindowTransition>());
    AddSorted(std::make_unique<CWipeOnTransition>());
    AddSorted(std::make_unique<CWipeOn2Transition>());
    AddSorted(std::make_unique<CWipeOffTransition>());
    AddSorted(std::make_unique<CZoomInTransition>());
    AddSorted(std::make_unique<CZoomOutTransition>());
    return true;
}
