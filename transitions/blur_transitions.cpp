#include "transitions/blur_transitions.h"

#include "show/slide.h"
#include "show/slide_export.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/records.h"
#include "transitions/clip_layers.h"

namespace {

constexpr int32_t kGhostShift = 40;  // twips either side

// The ghosts' opacity climbs until it passes one half (that frame still
// shows the value above it), then falls to 0 and stays there.
struct GhostProgress {
    double value = 0.0;
    double step;
    bool rising = true;

    double Next()
    {
        if (rising) {
            value += step;
            if (value > 0.5) rising = false;
        } else {
            value = std::max(value - step, 0.0);
        }
        return value;
    }
};

CSwfMatrix* GhostMatrix(CSlide& s, int32_t shift, bool withScale)
{
    const CSlide::CameraPlacement& at = s.GetCameraPlacement();
    CSwfMatrix* m = clip_layers::Translation(motion::Offset(at.centerX, shift), at.centerY);
    if (withScale) {
        m->hasScale = true;
        m->scaleX = at.scaleX;
        m->scaleY = at.scaleY;
    }
    return m;
}

// A ghost of the slide's picture on the next depth, opaque until the
// first frame moves it; 0 when the depths ran out.
uint16_t PlaceGhost(CSlide& s, int32_t shift, CSwfMovie* movie, uint16_t* depthCounter)
{
    const uint16_t depth = NextExportValue(depthCounter, movie);
    if (!depth) return 0;
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(s.GetCharacterId());
    place->depth = depth;
    place->SetMatrix(GhostMatrix(s, shift, true));
    movie->AddTag(place);
    return depth;
}

}  // namespace

CBlurTransition::CBlurTransition(motion::Sense sense) : CSensedTransition(sense)
{
    SetName(sense == motion::Sense::kIn ? "Blur In" : "Blur Out");
}

void CBlurTransition::GenerateIn(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* depthCounter)
{
    PlaceNext(slide, movie, nullptr);
    const uint16_t left = PlaceGhost(*slide, -kGhostShift, movie, depthCounter);
    const uint16_t right = left ? PlaceGhost(*slide, kGhostShift, movie, depthCounter) : 0;
    if (right) WriteFrames(movie, *slide, slide->GetDepth(), left, right);
    RemovePrevious(previous, movie);
    clip_layers::RemoveDepths(movie, {left, right});
}

void CBlurTransition::GenerateOut(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* depthCounter)
{
    PlaceNext(slide, movie, nullptr);
    RemovePrevious(previous, movie);
    if (!previous) return;
    const uint16_t copy = PlaceSlideAtNextDepth(previous, movie, depthCounter);
    const uint16_t left = copy ? PlaceGhost(*previous, -kGhostShift, movie, depthCounter) : 0;
    const uint16_t right = left ? PlaceGhost(*previous, kGhostShift, movie, depthCounter) : 0;
    if (right) WriteFrames(movie, *previous, copy, left, right);
    clip_layers::RemoveDepths(movie, {copy, left, right});
}

void CBlurTransition::WriteFrames(CSwfMovie* movie, CSlide& s, uint16_t fading, uint16_t left, uint16_t right)
{
    const int n = motion::Frames(*this, movie);
    if (n <= 0) return;
    const bool in = GetSense() == motion::Sense::kIn;
    motion::Progress p{in ? 0.0 : 1.0, 1.0 / n};
    GhostProgress q{0.0, 1.0 / n};
    for (int k = 0; k < n; ++k) {
        clip_layers::Move(movie, fading, nullptr, motion::Alpha(in ? p.Rise() : p.Fall()));
        // Blur In moves its ghosts by translation alone, Blur Out with the
        // slide's placement scale too.
        const double ghost = q.Next();
        clip_layers::Move(movie, left, GhostMatrix(s, -kGhostShift, !in), motion::Alpha(ghost));
        clip_layers::Move(movie, right, GhostMatrix(s, kGhostShift, !in), motion::Alpha(ghost));
        clip_layers::ShowFrame(movie);
    }
}
