#include "show/export_hooks.h"

#include <vector>

#include "foundation/system_utils.h"
#include "platform/gestalt.h"
#include "show/caption_export.h"
#include "show/controls_clip.h"
#include "show/preloader.h"
#include "show/slide_show.h"
#include "swf/movie.h"

namespace export_hooks {

void PrepareCaption(CCaption& caption, CSlideShow& show)
{
    PrepareCaptionExport(caption, show, show.GetFontTable());
}

CSwfTag* ExportCaption(CCaption& caption, CSlideShow& show, CSwfFontManager& fonts, CSwfMovie& movie, uint16_t* ids,
                       uint16_t* depths)
{
    return ::ExportCaption(caption, show, fonts, movie, *ids, *depths).release();
}

bool BuildControlsClip(CSlideShow& show, CSwfMovie* movie, uint16_t* ids, uint16_t* depths)
{
    return show.GetControlsClip().Build(show, *movie, ids, depths);
}

bool BuildMuteClip(CSlideShow& show, CSwfMovie* movie, uint16_t* ids, uint16_t* depths)
{
    return show.GetMuteClip().Build(show, *movie, ids, depths);
}

uint16_t BuildBuiltInPreloader(CSlideShow& show, CSwfMovie* movie, uint16_t* ids, uint16_t* depths)
{
    ResourceHandle bar;
    const bool hasBar =
        LoadMainResource(platform::FourCharCode(kPreloaderBarResType), kPreloaderBarResId, &bar, nullptr) && bar;
    CPreloaderLayout layout;
    FillPreloaderLayout(layout, show.GetMovieSettings(), movie->GetWidth() / 20, movie->GetHeight() / 20,
                        hasBar ? bar.get() : nullptr);
    CPreloaderBuilder builder;
    return builder.Build(&layout, movie, ids, depths);
}

// PENDING: wired to the slide compiler as it lands; until then slides are
// left out and nothing of them is written.
void PrepareCaptionFonts(CSlide*, CSwfFontManager&) {}

bool ExportSlideFrames(CSlide*, CSwfMovie*, int, CSlideShow*, uint16_t*, uint16_t*) { return false; }

void ExportFrameEvents(CSlide*, int) {}

void ExportLoopTransition(CSlide*, CSwfMovie*, CSlideShow*, uint16_t*, uint16_t*) {}

void ClearUsedEffects(CSlideShow&) {}

}  // namespace export_hooks
