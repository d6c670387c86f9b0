#include "transitions/curtain.h"

#include <algorithm>
#include <memory>

#include "show/slide.h"
#include "show/slide_export.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/styles.h"
#include "transitions/clip_layers.h"
#include "transitions/motion_steps.h"

namespace {

CSwfCxformWithAlpha* Brightness(double f)
{
    auto* c = new CSwfCxformWithAlpha;
    c->SetBrightness(f);
    return c;
}

}  // namespace

CCurtainTransition::CCurtainTransition()
{
    SetName("Curtain");
}

uint16_t CCurtainTransition::DefineCurtainShape(CSwfMovie* movie, uint16_t* characterIdCounter)
{
    const uint16_t id = NextExportValue(characterIdCounter, movie);
    if (!id) return 0;
    auto* shape = new CTagDefineShape;
    shape->BuildRect(0, 0, movie->GetWidth() >> 1, movie->GetHeight(), CFillStyle::MakeSolid(0xFFFFFF), nullptr);
    shape->SetCharacterId(id);
    movie->AddTag(shape);
    return id;
}

bool CCurtainTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie,
                                     uint16_t* characterIdCounter, uint16_t* depthCounter)
{
    if (!slide || !movie || !depthCounter) return true;
    const int32_t w2 = movie->GetWidth() >> 1;
    const uint16_t id = DefineCurtainShape(movie, characterIdCounter);
    // The slide, two panels and, over a previous slide, two clip pairs.
    uint16_t depth[7] = {};
    const int layers = previous ? 7 : 3;
    bool depthsOk = id != 0;
    for (int i = 0; i < layers && depthsOk; ++i) depthsOk = (depth[i] = NextExportValue(depthCounter, movie)) != 0;
    if (!depthsOk) {
        // The movie has failed already; leave it with a plain cut.
        PlaceNext(slide, movie, nullptr);
        RemovePrevious(previous, movie);
        return true;
    }
    const uint16_t slideDepth = depth[0], leftPanel = depth[1], rightPanel = depth[2];
    const uint16_t leftMask = depth[3], leftCopy = depth[4], rightMask = depth[5], rightCopy = depth[6];

    const unsigned n = DurationFrames(movie->GetFrameRate());
    slide->SetDepth(slideDepth);
    // Without frames the slide is shown as a cut would show it.
    const std::unique_ptr<CSwfCxformWithAlpha> dimmed(n ? Brightness(0.5) : nullptr);
    PlaceNext(slide, movie, dimmed.get());
    clip_layers::Place(movie, id, leftPanel, clip_layers::Translation(0, 0), motion::Alpha(0.5));
    clip_layers::Place(movie, id, rightPanel, clip_layers::Translation(w2, 0), motion::Alpha(0.5));
    if (previous) {
        RemovePrevious(previous, movie);
        clip_layers::PlaceClipMask(movie, id, leftMask, leftCopy, clip_layers::Translation(0, 0));
        clip_layers::PlaceCopy(movie, *previous, leftCopy, true);
        clip_layers::PlaceClipMask(movie, id, rightMask, rightCopy, clip_layers::Translation(w2, 0));
        clip_layers::PlaceCopy(movie, *previous, rightCopy, true);
    }

    const int p = static_cast<int>(n * 0.6), m = static_cast<int>(n * 0.5);
    // A phase of no frames before the last runs its whole course in that one.
    const int panelFrames = std::max(p, 1), brightFrames = std::max(m, 1);
    const double alphaStep = 0.5 / panelFrames, brightStep = 0.5 / brightFrames;
    double bright = 0.5, alpha = 0.5;
    // Each panel and each mask goes half the frame's width outwards, frame
    // by frame k / n of the way: the masks leave the old halves at the last frame.
    int panelMoves = 0;
    for (unsigned k = 1; k <= n; ++k) {
        const unsigned r = n - k;
        if (r <= unsigned(m)) {
            bright = std::min(1.0, bright + brightStep);
            clip_layers::Move(movie, slideDepth, nullptr, Brightness(bright));
        }
        if (r <= unsigned(p)) {
            alpha = std::max(0.0, alpha - alphaStep);
            const int64_t out = motion::Along(w2, ++panelMoves, panelFrames);
            clip_layers::Move(movie, leftPanel, clip_layers::Translation(motion::Offset(0, -out), 0),
                              motion::Alpha(alpha));
            clip_layers::Move(movie, rightPanel, clip_layers::Translation(motion::Offset(w2, out), 0),
                              motion::Alpha(alpha));
        }
        if (previous) {
            const int64_t out = motion::Along(w2, k, n);
            clip_layers::Move(movie, leftMask, clip_layers::Translation(motion::Offset(0, -out), 0));
            clip_layers::Move(movie, rightMask, clip_layers::Translation(motion::Offset(w2, out), 0));
        }
        clip_layers::ShowFrame(movie);
    }

    if (previous) clip_layers::RemoveDepths(movie, {leftCopy, rightCopy, leftMask, rightMask});
    clip_layers::RemoveDepths(movie, {leftPanel, rightPanel});
    return true;
}
