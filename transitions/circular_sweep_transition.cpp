#include "transitions/circular_sweep_transition.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "show/slide.h"
#include "show/slide_export.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "transitions/clip_layers.h"
#include "transitions/motion_steps.h"
#include "transitions/rotation.h"

CCircularSweepOnTransition::CCircularSweepOnTransition()
{
    SetName("Circular Sweep On");
}

int32_t CCircularSweepOnTransition::WedgeRadius(int64_t w, int64_t h)
{
    // The sum in double: no integer overflow; the root in single precision.
    const float sum = float(double(w) * double(w) + double(h) * double(h));
    return motion::Saturated((double(std::sqrt(sum)) + 0.5) * 0.5);
}

uint16_t CCircularSweepOnTransition::DefineSlideRectShape(int32_t w, int32_t h, CSwfMovie* movie,
                                                          uint16_t* characterIdCounter)
{
    return clip_layers::DefineMaskShape({-(h >> 1), -(w >> 1), h >> 1, w >> 1}, movie, characterIdCounter);
}

uint16_t CCircularSweepOnTransition::DefineWedgeShape(int32_t w, int32_t h, CSwfMovie* movie,
                                                      uint16_t* characterIdCounter)
{
    const int32_t r = WedgeRadius(w, h);
    // Centre up to twelve o'clock, one curve round to three, back to the
    // centre; the curve bulges past the circle, so the whole quarter is covered.
    CShapeWithStyle* wedge = clip_layers::StartOutline(0, 0);
    wedge->AddVerticalLine(-r);
    wedge->AddCurve(r, 0, 0, r);
    wedge->AddHorizontalLine(-r);
    wedge->AddEnd();
    return clip_layers::DefineOutlineShape({-r, 0, 0, r}, wedge, movie, characterIdCounter);
}

bool CCircularSweepOnTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie,
                                             uint16_t* characterIdCounter, uint16_t* depthCounter)
{
    if (!slide || !movie) return true;
    // The slide's size in twips, held to 32 bits (sizes are never negative).
    const int32_t w = motion::Saturated(double(slide->GetWidth()) * 20);
    const int32_t h = motion::Saturated(double(slide->GetHeight()) * 20);
    const int32_t tx = slide->GetCameraPlacement().centerX, ty = slide->GetCameraPlacement().centerY;
    auto at = [&](int64_t dx, int64_t dy) {
        return clip_layers::Translation(motion::Saturated(double(tx + dx)), motion::Saturated(double(ty + dy)));
    };

    const uint16_t rect = DefineSlideRectShape(w, h, movie, characterIdCounter);
    // Above the slide, and below it: neither uncovers anything yet.
    const clip_layers::ClipPair a =
        clip_layers::PlaceCopyPair(movie, depthCounter, rect, at(-(w >> 1), -int64_t(h)), *slide, false);
    const clip_layers::ClipPair b = clip_layers::PlaceCopyPair(movie, depthCounter, rect, at(w >> 1, h), *slide, false);
    // The left half, nested with the wedge over one copy.
    uint16_t c = NextExportValue(depthCounter, movie);
    if (c && (!NextExportValue(depthCounter, movie) || !NextExportValue(depthCounter, movie))) c = 0;
    if (c) clip_layers::PlaceClipMask(movie, rect, c, uint16_t(c + 2), at(-(w >> 1), 0));
    const uint16_t wedge = DefineWedgeShape(w, h, movie, characterIdCounter);
    if (c) {
        clip_layers::PlaceClipMask(movie, wedge, uint16_t(c + 1), uint16_t(c + 2), at(0, 0));
        clip_layers::PlaceCopy(movie, *slide, uint16_t(c + 2), false);
    }

    auto move = [&](uint16_t depth, CSwfMatrix* matrix) {
        std::unique_ptr<CSwfMatrix> own(matrix);
        if (depth) clip_layers::Move(movie, depth, own.release());
    };
    const unsigned q = DurationFrames(movie->GetFrameRate()) / 4;
    const double step = q ? 90.0 / q : 0.0;
    double angle = 0.0;
    for (int quarter = 1; quarter <= 4; ++quarter) {
        for (unsigned k = 0; k < q; ++k) {
            angle -= step;
            move(c ? uint16_t(c + 1) : 0, RotationMatrix(angle, 1.0, 1.0, tx, ty));
            clip_layers::ShowFrame(movie);
        }
        // Each whole quarter swept is uncovered by a rectangle.
        if (quarter == 1) {
            move(a.mask, at(-(w >> 1), -(h >> 1)));
        } else if (quarter == 2) {
            move(a.mask, at(-(w >> 1), 0));
            move(c, at(w >> 1, 0));
        } else if (quarter == 3) {
            move(b.mask, at(w >> 1, h >> 1));
        }
    }
    clip_layers::RemoveDepths(
        movie, {a.mask, a.content, b.mask, b.content, c, uint16_t(c ? c + 1 : 0), uint16_t(c ? c + 2 : 0)});
    PlaceNext(slide, movie, nullptr);
    RemovePrevious(previous, movie);
    return true;
}
