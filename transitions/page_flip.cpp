#include "transitions/page_flip.h"

#include <algorithm>

#include "show/camera_fx.h"
#include "show/slide.h"
#include "swf/movie.h"
#include "swf/records.h"
#include "transitions/clip_layers.h"

namespace {

// A page folded about the vertical line x = fold of the frame: a point of
// the slide as it is shown, x twips from that line, lies width × x from it
// and rises by skew × x. width and skew are fractions of the shown slide,
// so a slide shown larger or elsewhere after a camera move folds about the
// same line as the other slide.
CSwfMatrix* PageMatrix(double skew, double width, const CSlide::CameraPlacement& at, int32_t fold)
{
    const double fromFold = double(at.centerX) - double(fold);
    auto* m = new CSwfMatrix;
    m->SetIdentity();
    m->SetRotateSkew(ClampToSwfMatrix(skew * at.scaleX + 0.5), false, true);
    m->scaleX = ClampToSwfMatrix(width * at.scaleX + 0.5);
    m->scaleY = at.scaleY;
    m->translateX = ClampToSwfMatrix(double(fold) + width * fromFold);
    m->translateY = ClampToSwfMatrix(double(at.centerY) + skew * fromFold);
    return m;
}

}  // namespace

CPageFlipTransition::CPageFlipTransition()
{
    SetName("Page Flip");
}

uint16_t CPageFlipTransition::DefineLeftPageShape(CSlide*, CSwfMovie* movie, uint16_t* characterIdCounter)
{
    if (!movie) return 0;
    return clip_layers::DefineMaskShape({0, -movie->GetWidth(), movie->GetHeight(), 0}, movie, characterIdCounter);
}

uint16_t CPageFlipTransition::DefineRightPageShape(CSlide*, CSwfMovie* movie, uint16_t* characterIdCounter)
{
    if (!movie) return 0;
    return clip_layers::DefineMaskShape({0, 0, movie->GetHeight(), movie->GetWidth()}, movie, characterIdCounter);
}

bool CPageFlipTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                                      uint16_t* depthCounter)
{
    if (!slide || !movie) return true;
    // The previous slide is seen from here on only through its copies.
    RemovePrevious(previous, movie);
    const uint16_t left = previous ? DefineLeftPageShape(slide, movie, characterIdCounter) : 0;
    const uint16_t right = left ? DefineRightPageShape(slide, movie, characterIdCounter) : 0;
    if (!right) {
        PlaceNext(slide, movie, nullptr);
        return true;
    }
    const CSlide::CameraPlacement n = slide->GetCameraPlacement();
    const CSlide::CameraPlacement p = previous->GetCameraPlacement();
    // One fold line for both pages, through the new slide's centre: the old
    // slide, wherever a camera move left it, is folded away on its right and
    // covered on its left by the time the new slide stands whole.
    const int32_t fold = n.centerX;
    using clip_layers::PlaceCopyPair;
    using clip_layers::Translation;
    const auto newRight = PlaceCopyPair(movie, depthCounter, right, Translation(fold, 0), *slide, true);
    const auto oldLeft = PlaceCopyPair(movie, depthCounter, left, Translation(fold, 0), *previous, true);
    const auto oldRight = PlaceCopyPair(movie, depthCounter, right, Translation(fold, 0), *previous, true);

    const unsigned h = DurationFrames(movie->GetFrameRate()) / 2;
    const double step = h ? 1.0 / h : 0.0;
    // The old page folds from its whole width to nothing...
    double skew = 0.0, width = 1.0;
    for (unsigned k = 1; k <= h; ++k) {
        skew = std::max(skew - step, -1.0);
        width = std::max(width - step, 0.0);
        if (oldRight.content) clip_layers::Move(movie, oldRight.content, PageMatrix(skew, width, p, fold));
        clip_layers::ShowFrame(movie);
    }
    clip_layers::RemoveDepths(movie, {oldRight.mask, oldRight.content});

    // ...and the new one unfolds to its whole width, where the slide itself
    // takes over.
    const auto newLeft = PlaceCopyPair(movie, depthCounter, left, Translation(fold, 0), *slide, false);
    skew = 1.0;
    width = 0.0;
    for (unsigned k = 1; k <= h; ++k) {
        skew = std::max(skew - step, 0.0);
        width = std::min(width + step, 1.0);
        if (newLeft.content) clip_layers::Move(movie, newLeft.content, PageMatrix(skew, width, n, fold));
        clip_layers::ShowFrame(movie);
    }
    PlaceNext(slide, movie, nullptr);
    clip_layers::RemoveDepths(
        movie, {newRight.mask, newRight.content, oldLeft.mask, oldLeft.content, newLeft.mask, newLeft.content});
    return true;
}
