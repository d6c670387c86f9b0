#include "transitions/zoom_transitions.h"

#include "show/camera_fx.h"
#include "show/slide.h"
#include "show/slide_export.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/records.h"
#include "swf/shapes.h"
#include "swf/styles.h"
#include "transitions/clip_layers.h"
#include "ui/ui_utils.h"

namespace {

const DirectionRow kRows[] = {
    {"none", "None"},
    {"up", "Up"},
    {"down", "Down"},
    {"right", "Right"},
    {"left", "Left"},
    {"top_left", "Bottom Right to Top left"},
    {"top_right", "Bottom Left to Top Right"},
    {"bottom_left", "Top Right to Bottom Left"},
    {"bottom_right", "Top Left to Bottom Right"},
};

const DirectionAlias kReadOrder[] = {
    {"none", CZoomTransition::kNone},
    {"up", CZoomTransition::kUp},
    {"down", CZoomTransition::kDown},
    {"right", CZoomTransition::kRight},
    {"left", CZoomTransition::kLeft},
    {"top_right", CZoomTransition::kTopRight},
    {"top_left", CZoomTransition::kTopLeft},
    {"bottom_right", CZoomTransition::kBottomRight},
    {"bottom_left", CZoomTransition::kBottomLeft},
};

const DirectionTable kTable{kRows, 9, kReadOrder, 9};

struct ZoomRow {
    const char* name;
    DirectionLayout layout;
};
const ZoomRow kZoomRows[] = {
    {"Zoom In", {10036, 10037, "Direction:", 125}},
    {"Zoom Out", {10038, 10039, "Direction:", 125}},
};

const ZoomRow& RowOf(motion::Sense sense)
{
    return kZoomRows[sense == motion::Sense::kIn ? 0 : 1];
}

// -1, 0 or 1 along each axis of the travel (y grows downwards).
struct Motion {
    int x, y;
};
Motion MotionOf(int direction)
{
    static const Motion kMotions[] = {{0, 0},   {0, -1}, {0, 1},  {1, 0}, {-1, 0},
                                      {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    return direction >= 0 && direction < 9 ? kMotions[direction] : Motion{0, 0};
}

// Half the slide's display size in twips; the placement scale is not applied.
int64_t HalfTwips(int pixels)
{
    return int64_t(motion::Twips(pixels)) >> 1;
}

}  // namespace

CZoomTransition::CZoomTransition(motion::Sense sense) : CSensed(sense, kTable, RowOf(sense).layout)
{
    SetName(RowOf(sense).name);
    CZoomTransition::SetDefaults();
}

uint32_t CZoomTransition::LabelId() const
{
    return RowOf(GetSense()).layout.labelId;
}

uint32_t CZoomTransition::PopupId() const
{
    return RowOf(GetSense()).layout.popupId;
}

// Only with frames does the slide take the last frame's placement; without,
// it keeps its own: the travel's start would misplace it in the next transition.
void CZoomTransition::InFrames(CSlide& slide, int n, CSwfMovie* movie)
{
    CSlide::CameraPlacement& at = slide.GetCameraPlacement();
    const Motion m = MotionOf(direction);
    const int64_t hw = HalfTwips(slide.GetWidth()), hh = HalfTwips(slide.GetHeight());
    const int64_t homeX = at.centerX, homeY = at.centerY;
    int64_t x = homeX, y = homeY;
    motion::Progress t{0.0, 1.0 / n};
    for (int k = 1; k <= n; ++k) {
        const double s = t.Rise();
        // From half its size away, k / n of the way home.
        x = motion::Offset(homeX, m.x * (motion::Along(hw, k, n) - hw));
        y = motion::Offset(homeY, m.y * (motion::Along(hh, k, n) - hh));
        clip_layers::Move(movie, slide.GetDepth(), motion::ScaleMatrix(s, s, int32_t(x), int32_t(y)));
        clip_layers::ShowFrame(movie);
    }
    at.centerX = int32_t(x);
    at.centerY = int32_t(y);
}

void CZoomTransition::OutFrames(CSlide& previous, uint16_t copy, int n, CSwfMovie* movie)
{
    const CSlide::CameraPlacement& at = previous.GetCameraPlacement();
    const Motion m = MotionOf(direction);
    const int64_t hw = HalfTwips(previous.GetWidth()), hh = HalfTwips(previous.GetHeight());
    // The x scale serves both axes.
    const double s0 = at.scaleX / 65536.0;
    motion::Progress s{s0, s0 / n};
    for (int k = 1; k <= n; ++k) {
        const double scale = s.Fall();
        const int32_t x = motion::Offset(at.centerX, m.x * motion::Along(hw, k, n));
        const int32_t y = motion::Offset(at.centerY, m.y * motion::Along(hh, k, n));
        clip_layers::Move(movie, copy, motion::ScaleMatrix(scale, scale, x, y));
        clip_layers::ShowFrame(movie);
    }
}

CCrossScaleTransition::CCrossScaleTransition()
{
    SetName("Cross Scale");
}

namespace {

// One side of the new slide over the old one's. An old slide of no size
// gives a rectangle of none, which no scale shows: it keeps 1.0.
double SizeRatio(int to, int from)
{
    return from > 0 ? double(to) / double(from) : 1.0;
}

}  // namespace

bool CCrossScaleTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie,
                                        uint16_t* characterIdCounter, uint16_t* depthCounter)
{
    if (!slide || !movie) return true;
    if (!previous) {
        PlaceNext(slide, movie, nullptr);
        return true;
    }
    const uint16_t id = characterIdCounter ? NextExportValue(characterIdCounter, movie) : 0;
    const uint16_t depth = id && depthCounter ? NextExportValue(depthCounter, movie) : 0;
    if (!depth) {
        PlaceNext(slide, movie, nullptr);
        RemovePrevious(previous, movie);
        return true;
    }
    // A grey rectangle of the old slide's display size, centred on its origin.
    const int32_t wp = motion::Twips(previous->GetWidth()), hp = motion::Twips(previous->GetHeight());
    auto* rect = new CTagDefineShape;
    rect->SetCharacterId(id);
    rect->BuildRect(-(wp >> 1), -(hp >> 1), wp, hp, CFillStyle::MakeSolid(0x888888), nullptr);
    movie->AddTag(rect);

    const CSlide::CameraPlacement& from = previous->GetCameraPlacement();
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(id);
    place->depth = depth;
    place->SetMatrix(clip_layers::SlideMatrix(*previous, true));
    movie->AddTag(place);
    // From here on the rectangle stands for the old slide.
    RemovePrevious(previous, movie);

    const CSlide::CameraPlacement& to = slide->GetCameraPlacement();
    const double x0 = from.centerX, y0 = from.centerY;
    const double dx = double(to.centerX) - x0, dy = double(to.centerY) - y0;
    const double sx0 = from.scaleX / 65536.0, sy0 = from.scaleY / 65536.0;
    const double dsx = SizeRatio(slide->GetWidth(), previous->GetWidth()) - sx0;
    const double dsy = SizeRatio(slide->GetHeight(), previous->GetHeight()) - sy0;
    const int n = motion::Frames(*this, movie);
    for (int i = 1; i <= n; ++i) {
        // Positions truncate towards zero; scales round to 16.16.
        CSwfMatrix* m = motion::ScaleMatrix(EaseOutQuad(i, sx0, dsx, n), EaseOutQuad(i, sy0, dsy, n),
                                            ClampToSwfMatrix(EaseOutQuad(i, x0, dx, n)),
                                            ClampToSwfMatrix(EaseOutQuad(i, y0, dy, n)));
        clip_layers::Move(movie, depth, m);
        clip_layers::ShowFrame(movie);
    }
    movie->AddTag(new CTagRemoveObject2(depth));
    // The new slide first shows in the frame after the transition.
    PlaceNext(slide, movie, nullptr);
    return true;
}
