#include "transitions/page_flip.h"

#include <algorithm>

#include "show/camera_fx.h"
#include "show/slide.h"
#include "swf/movie.h"
#include "swf/records.h"
#include "transitions/clip_layers.h"

namespace {

// 1 / 65536: a 16.16 term as a fraction.
constexpr double kFromFixed = 1.52587890625e-05;

// The turning page: its width as the x scale, the rise of its outer edge
// as rotate-skew 0, the slide's own y scale and place.
CSwfMatrix* PageMatrix(double skew, double width, const CSlide::CameraPlacement& at)
{
    auto* m = new CSwfMatrix;
    m->SetIdentity();
    m->SetRotateSkew(ClampToSwfMatrix(skew * 65536.0 + 0.5), false, true);
    m->scaleX = ClampToSwfMatrix(width * 65536.0 + 0.5);
    m->scaleY = at.scaleY;
    m->translateX = at.centerX;
    m->translateY = at.centerY;
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
    using clip_layers::PlaceCopyPair;
    using clip_layers::Translation;
    const auto newRight = PlaceCopyPair(movie, depthCounter, right, Translation(n.centerX, 0), *slide, true);
    const auto oldLeft = PlaceCopyPair(movie, depthCounter, left, Translation(p.centerX, 0), *previous, true);
    const auto oldRight = PlaceCopyPair(movie, depthCounter, right, Translation(p.centerX, 0), *previous, true);

    const unsigned h = DurationFrames(movie->GetFrameRate()) / 2;
    const double step = h ? 1.0 / h : 0.0;
    // The page folds from the previous slide's own width to nothing...
    const double oldWidth = p.scaleX * kFromFixed;
    double skew = 0.0, width = oldWidth;
    for (unsigned k = 1; k <= h; ++k) {
        skew = std::max(skew - step, -1.0);
        width = std::max(width - oldWidth / h, 0.0);
        if (oldRight.content) clip_layers::Move(movie, oldRight.content, PageMatrix(skew, width, p));
        clip_layers::ShowFrame(movie);
    }
    clip_layers::RemoveDepths(movie, {oldRight.mask, oldRight.content});

    // ...and the new one unfolds to the new slide's own width, where the
    // slide itself takes over.
    const auto newLeft = PlaceCopyPair(movie, depthCounter, left, Translation(n.centerX, 0), *slide, false);
    const double newWidth = n.scaleX * kFromFixed;
    skew = 1.0;
    width = 0.0;
    for (unsigned k = 1; k <= h; ++k) {
        skew = std::max(skew - step, 0.0);
        width = std::min(width + newWidth / h, newWidth);
        if (newLeft.content) clip_layers::Move(movie, newLeft.content, PageMatrix(skew, width, n));
        clip_layers::ShowFrame(movie);
    }
    PlaceNext(slide, movie, nullptr);
    clip_layers::RemoveDepths(
        movie, {newRight.mask, newRight.content, oldLeft.mask, oldLeft.content, newLeft.mask, newLeft.content});
    return true;
}
