#include "transitions/wipes.h"

#include <cstdlib>

#include "show/camera_fx.h"
#include "show/slide.h"
#include "show/slide_export.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "transitions/clip_layers.h"
#include "transitions/motion_steps.h"

namespace {

struct WipeRow {
    DirectionRow row;
    int signX, signY;  // the side the mask starts on, in slide widths and heights
};

constexpr WipeRow kWipeRows[CWipeTransition::kDirections] = {
    {{"up", "Up"}, 0, 1},
    {{"down", "Down"}, 0, -1},
    {{"right", "Right"}, -1, 0},
    {{"left", "Left"}, 1, 0},
    {{"to_bottom_right", "Top Left to Bottom Right"}, -1, -1},
    {{"to_bottom_left", "Top Right to Bottom Left"}, 1, -1},
    {{"to_top_right", "Bottom Left to Top Right"}, -1, 1},
    {{"to_top_left", "Bottom Right to Top Left"}, 1, 1},
    {{"diag_to_bottom_right", "Diagonal to Bottom Right"}, -1, -1},
    {{"diag_to_bottom_left", "Diagonal to Bottom Left"}, 1, -1},
    {{"diag_to_top_right", "Diagonal to Top Right"}, -1, 1},
    {{"diag_to_top_left", "Diagonal to Top Left"}, 1, 1},
};

constexpr DirectionRow kRows[CWipeTransition::kDirections] = {
    kWipeRows[0].row, kWipeRows[1].row, kWipeRows[2].row,  kWipeRows[3].row,
    kWipeRows[4].row, kWipeRows[5].row, kWipeRows[6].row,  kWipeRows[7].row,
    kWipeRows[8].row, kWipeRows[9].row, kWipeRows[10].row, kWipeRows[11].row,
};
constexpr DirectionTable kTable{kRows, CWipeTransition::kDirections};
constexpr int kFirstDiamond = 8;

CSwfMatrix* At(int64_t x, int64_t y)
{
    return clip_layers::Translation(ClampToSwfMatrix(double(x)), ClampToSwfMatrix(double(y)));
}

// A move's matrix: the scale written (1.0 unless given), and the translation.
CSwfMatrix* Scaled(int64_t x, int64_t y, int32_t sx = 0x10000, int32_t sy = 0x10000)
{
    CSwfMatrix* m = At(x, y);
    m->hasScale = true;
    m->scaleX = sx;
    m->scaleY = sy;
    return m;
}

// The display centre of a slide, in twips, and its size.
struct SlideBox {
    int64_t w, h, cx, cy;
};

SlideBox BoxOf(const CSlide& slide)
{
    const int64_t w = int64_t(slide.GetWidth()) * 20, h = int64_t(slide.GetHeight()) * 20;
    return {w, h, int64_t(slide.GetX()) * 20 + (w >> 1), int64_t(slide.GetY()) * 20 + (h >> 1)};
}

// One mask's path: from start, frame k of frames k / frames of the travel,
// at its scale.
void Sweep(CSwfMovie* movie, uint16_t depth, int64_t x, int64_t y, int64_t travelX, int64_t travelY, unsigned frames,
           int32_t sx = 0x10000, int32_t sy = 0x10000)
{
    for (unsigned k = 1; k <= frames; ++k) {
        clip_layers::Move(movie, depth,
                          Scaled(x + motion::Along(travelX, k, frames), y + motion::Along(travelY, k, frames), sx, sy));
        clip_layers::ShowFrame(movie);
    }
}

// A slide's size in twips as a placement scale shows it, rounded out so
// that a mask moved that far has wholly passed it.
int64_t Shown(int64_t twips, int32_t scale)
{
    const int64_t magnitude = twips * std::abs(int64_t(scale));
    return (magnitude + 0xFFFF) >> 16;
}

}  // namespace

CWipeTransition::CWipeTransition(uint32_t labelId, uint32_t popupId, const char* label)
    : CDirectionalTransition(kTable, DirectionLayout{labelId, popupId, label})
{
    CWipeTransition::SetDefaults();
}

CWipeTransition::Offset CWipeTransition::OffsetOf(int direction, int32_t w, int32_t h)
{
    if (direction < 0 || direction >= kDirections) return {0, 0};
    return {kWipeRows[direction].signX * w, kWipeRows[direction].signY * h};
}

uint16_t CWipeTransition::DefineShape(int direction, int32_t w, int32_t h, CSwfMovie* movie,
                                      uint16_t* characterIdCounter)
{
    if (direction < kFirstDiamond) {
        const clip_layers::MaskRect rect{-(h >> 1), -(w >> 1), h >> 1, w >> 1};
        return clip_layers::DefineMaskShape(rect, movie, characterIdCounter, clip_layers::kBlack);
    }
    // Through the slide's corners when centred on it; its bounds are twice
    // its drawn extent.
    CShapeWithStyle* diamond = clip_layers::StartOutline(0, -h);
    diamond->AddLine(w, h);
    diamond->AddLine(-w, h);
    diamond->AddLine(-w, -h);
    diamond->AddLine(w, -h);
    diamond->AddEnd();
    const clip_layers::MaskRect bounds{-2 * h, -2 * w, 2 * h, 2 * w};
    return clip_layers::DefineOutlineShape(bounds, diamond, movie, characterIdCounter, clip_layers::kRed);
}

CWipeOnTransition::CWipeOnTransition() : CTransitionKind(kLabelId, kPopupId, "Direction:")
{
    SetName("Wipe On");
}

bool CWipeOnTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                                    uint16_t* depthCounter)
{
    if (!slide || !movie) return true;
    const SlideBox box = BoxOf(*slide);
    const Offset o = OffsetOf(direction, int32_t(box.w), int32_t(box.h));
    const unsigned n = DurationFrames(movie->GetFrameRate());
    const uint16_t id = DefineShape(direction, int32_t(box.w), int32_t(box.h), movie, characterIdCounter);
    // The slide moves above the mask and stays there.
    const uint16_t mask =
        id ? clip_layers::PlaceOwnSlidePair(*this, slide, movie, depthCounter, id, At(box.cx + o.x, box.cy + o.y)) : 0;
    if (!mask) {
        if (!id) PlaceNext(slide, movie, nullptr);
        RemovePrevious(previous, movie);
        return true;
    }
    Sweep(movie, mask, box.cx + o.x, box.cy + o.y, -o.x, -o.y, n);
    clip_layers::RemoveDepths(movie, {mask});
    RemovePrevious(previous, movie);
    return true;
}

CWipeOn2Transition::CWipeOn2Transition()
{
    CWipeOnTransition::SetDefaults();
    SetName("Wipe On 2");
}

bool CWipeOn2Transition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                                     uint16_t* depthCounter)
{
    if (!slide || !movie) return true;
    const SlideBox box = BoxOf(*slide);
    const Offset o = OffsetOf(direction, int32_t(box.w), int32_t(box.h));
    const unsigned n = DurationFrames(movie->GetFrameRate());
    const unsigned half = n >> 1, rest = n - half;
    const uint16_t id = DefineShape(direction, int32_t(box.w), int32_t(box.h), movie, characterIdCounter);
    // First pass: a half-opaque copy of the slide from the chosen side.
    clip_layers::ClipPair ghost;
    if (id)
        ghost = clip_layers::PlaceCopyPairWithCxform(movie, depthCounter, id, At(box.cx + o.x, box.cy + o.y), *slide,
                                                     false, motion::Opacity(128));
    if (!ghost.mask) {
        PlaceNext(slide, movie, nullptr);
        RemovePrevious(previous, movie);
        return true;
    }
    const uint16_t first = ghost.mask, copy = ghost.content;
    Sweep(movie, first, box.cx + o.x, box.cy + o.y, -o.x, -o.y, half);

    // Second pass: the slide itself from the other side, over the copy,
    // from where the first mask ended (the centre, or its start without frames).
    const int64_t startX = box.cx + (half ? 0 : o.x) - o.x;
    const int64_t startY = box.cy + (half ? 0 : o.y) - o.y;
    const uint16_t second = clip_layers::PlaceOwnSlidePair(*this, slide, movie, depthCounter, id, At(startX, startY));
    if (second) Sweep(movie, second, startX, startY, box.cx - startX, box.cy - startY, rest);
    clip_layers::RemoveDepths(movie, {first, second, copy});
    RemovePrevious(previous, movie);
    return true;
}

CWipeOffTransition::CWipeOffTransition() : CTransitionKind(kLabelId, kPopupId, "Direction")
{
    SetName("Wipe Off");
}

bool CWipeOffTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                                     uint16_t* depthCounter)
{
    if (!slide || !movie) return true;
    PlaceNext(slide, movie, nullptr);
    RemovePrevious(previous, movie);
    if (!previous) return true;

    // A masked copy of the previous slide leaves over the new one. The mask
    // is the slide's unscaled size at its placement scale, so it travels the
    // size the slide is shown at: after a camera move the old picture is
    // gone at the last frame, not one frame later.
    const int32_t w = previous->GetWidth() * 20, h = previous->GetHeight() * 20;
    const CSlide::CameraPlacement& at = previous->GetCameraPlacement();
    const Offset o = OffsetOf(direction, int32_t(Shown(w, at.scaleX)), int32_t(Shown(h, at.scaleY)));
    const unsigned n = DurationFrames(movie->GetFrameRate());
    const uint16_t id = DefineShape(direction, w, h, movie, characterIdCounter);
    if (!id) return true;
    const clip_layers::ClipPair pair = clip_layers::PlaceCopyPair(
        movie, depthCounter, id, Scaled(at.centerX, at.centerY, at.scaleX, at.scaleY), *previous, true);
    if (!pair.mask) return true;
    Sweep(movie, pair.mask, at.centerX, at.centerY, -o.x, -o.y, n, at.scaleX, at.scaleY);
    clip_layers::RemoveDepths(movie, {pair.mask, pair.content});
    return true;
}
