#include "show/export_hooks.h"

#include "show/slide_show.h"

// PENDING: each body below is wired to its part as that part lands; until
// then it writes nothing.
namespace export_hooks {

void PrepareTextEffectCaption(CCaption&, CSlideShow&) {}

void PrepareCaptionFonts(CSlide*, CSwfFontManager&) {}

CSwfTag* ExportCaption(CCaption&, CSlideShow&, CSwfFontManager&, CSwfMovie&, uint16_t*, uint16_t*)
{
    return nullptr;
}

bool ExportSlideFrames(CSlide*, CSwfMovie*, int, CSlideShow*, uint16_t*, uint16_t*) { return false; }

void ExportFrameEvents(CSlide*, int) {}

void ExportLoopTransition(CSlide*, CSwfMovie*, CSlideShow*, uint16_t*, uint16_t*) {}

void ClearUsedEffects(CSlideShow&) {}

bool BuildControlsClip(CSlideShow&, CSwfMovie*, uint16_t*, uint16_t*) { return true; }

bool BuildMuteClip(CSlideShow&, CSwfMovie*, uint16_t*, uint16_t*) { return true; }

uint16_t BuildBuiltInPreloader(CSlideShow&, CSwfMovie*, uint16_t*, uint16_t*) { return 0; }

}  // namespace export_hooks
