#pragma once
// What the show keeps while one export writes its movie: the movie, the
// counters, the slides being written and the frame timeline. The values
// stay until the next export starts over.
#include <cstdint>
#include <vector>

#include "fonts/font_manager.h"
#include "show/overlay_effect.h"

class CCaption;
class CProgressDialog;
class CSlide;
class CSwfMovie;

// One thing due in a frame of the timeline.
struct CTimelineRecord {
    enum Kind : uint32_t { kStart = 1, kRemove = 2 };
    uint32_t kind = kRemove;
    // The show caption; null for a removal the slide code scheduled.
    const CCaption* caption = nullptr;
    // The depth to remove; 0 until the caption is placed.
    uint16_t depth = 0;
};

struct CShowExportState {
    // Character ids and display depths end below the provisional depths
    // that the export renumbers when the movie is complete.
    static constexpr uint16_t kMaxCounterValue = 64999;

    CSwfMovie* movie = nullptr;
    CProgressDialog* progress = nullptr;
    // The slide being written and the one written before it; a slide that
    // could not be written becomes neither.
    CSlide* currentSlide = nullptr;
    CSlide* previousSlide = nullptr;
    uint32_t nextFrame = 0;
    uint32_t framesBeforeFirstSlide = 0;
    uint16_t idCounter = 0;
    uint16_t depthCounter = 0;
    uint16_t externalJpegSpriteId = 0;
    uint16_t hitAreaShapeId = 0;
    uint16_t backgroundShapeId = 0;
    CUsedEffectList usedEffects;
    CSwfFontManager fonts;
    // Indexed by frame relative to the first slide's first frame.
    std::vector<std::vector<CTimelineRecord>> timeline;
};
