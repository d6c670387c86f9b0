#pragma once
// The calls the export makes into the parts that compile slides, captions,
// controls and the preloader. Each forwards to its part; a part not built
// into this tree yet writes nothing, so that a show without it still exports.
#include <cstdint>

class CCaption;
class CSlide;
class CSlideShow;
class CSwfFontManager;
class CSwfMovie;
class CSwfTag;

namespace export_hooks {

// Registers the glyphs a show caption needs in the show's font table (a
// text-effect caption through its bundle).
void PrepareCaption(CCaption& caption, CSlideShow& show);
// Registers the fonts and glyphs of a slide's captions.
void PrepareCaptionFonts(CSlide* slide, CSwfFontManager& fonts);
// The caption's characters, and its placement for the caller to add; null
// when nothing is to be placed.
CSwfTag* ExportCaption(CCaption& caption, CSlideShow& show, CSwfFontManager& fonts, CSwfMovie& movie, uint16_t* ids,
                       uint16_t* depths);
// The whole slide; false when it was left out and the movie holds nothing of it.
bool ExportSlideFrames(CSlide* slide, CSwfMovie* movie, int index, CSlideShow* show, uint16_t* ids,
                       uint16_t* depths);
void ExportFrameEvents(CSlide* slide, int frame);
// The first slide's transition once more, from the last slide written.
void ExportLoopTransition(CSlide* first, CSwfMovie* movie, CSlideShow* show, uint16_t* ids, uint16_t* depths);
// Forgets the overlay effects defined in the movie before.
void ClearUsedEffects(CSlideShow& show);
bool BuildControlsClip(CSlideShow& show, CSwfMovie* movie, uint16_t* ids, uint16_t* depths);
bool BuildMuteClip(CSlideShow& show, CSwfMovie* movie, uint16_t* ids, uint16_t* depths);
// The built-in preloader; returns the depth it is placed at, 0 when none.
uint16_t BuildBuiltInPreloader(CSlideShow& show, CSwfMovie* movie, uint16_t* ids, uint16_t* depths);

}  // namespace export_hooks
