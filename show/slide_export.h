#pragma once
// Compiling one slide into the movie the export is writing: its bitmap and
// character, the labels the movie navigates by, the transition into it, its
// overlay effect, click area, display frames, camera moves and pause, and
// what is due in each of its frames (on-display URL, sound clip, captions).
#include <cstdint>

class CSlide;
class CSlideShow;
class CSwfCxformWithAlpha;
class CSwfFontManager;
class CSwfMovie;

// The whole slide; index counts from 1. False when the picture of an image
// slide cannot be read or encoded, before any tag of the slide is written:
// the slide is skipped, and the caller must not make it the current or
// previous slide. False too when the movie failed while the slide was being
// written (ids ran out, a write failed); the movie says why.
bool ExportSlideFrames(CSlide* slide, CSwfMovie* movie, int index, CSlideShow* show, uint16_t* idCounter,
                       uint16_t* depthCounter);

// The frames a slide shows its picture for at the rate: fps × ms / 1000,
// truncated, not rounded.
uint32_t SlideDisplayFrames(double frameRate, uint32_t durationMs);

// What is due in movie frame `frame` while the slide is current; called
// from the show's frame callback before the frame's ShowFrame is written.
void ExportFrameEvents(CSlide* slide, int frame);

// Registers the fonts and glyphs the slide's captions need.
void PrepareCaptionFonts(CSlide* slide, CSwfFontManager* fonts);

// The loop back from the show's last written slide into first, on a fresh
// depth. True.
bool ExportLoopTransition(CSlide* first, CSwfMovie* movie, CSlideShow* show, uint16_t* ids, uint16_t* depths);

// Picture and slide character only, for the strip show.
bool ExportSlideImages(CSlide* slide, CSwfMovie* movie, int index, uint16_t* ids);

// Places the slide's character at the slide's depth, centred on the camera
// placement, with a copy of the colour transform when one is given.
void PlaceSlide(CSlide* slide, CSwfMovie* movie, CSwfCxformWithAlpha* cxform);

// The counter advanced and its new value: the next character id or display
// depth. Values past 64999 would meet the depths that the export renumbers
// when the movie is complete, so the movie fails instead and 0 is returned.
uint16_t NextExportValue(uint16_t* counter, CSwfMovie* movie);
