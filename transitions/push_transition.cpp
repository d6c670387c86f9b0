#include "transitions/push_transition.h"

#include "show/slide.h"
#include "swf/movie.h"
#include "swf/records.h"
#include "transitions/clip_layers.h"

namespace {

const DirectionRow kRows[] = {
    {"up", "Up"},
    {"down", "Down"},
    {"right", "Right"},
    {"left", "Left"},
    {"to_top_left", "Bottom Right to Top Left"},
    {"to_top_right", "Bottom Left to Top Right"},
    {"to_bottom_left", "Top Right to Bottom Left"},
    {"to_bottom_right", "Top Left to Bottom Right"},
};

// The reader tries the words in its own order.
const DirectionAlias kReadOrder[] = {
    {"up", CPushTransition::kUp},
    {"down", CPushTransition::kDown},
    {"left", CPushTransition::kLeft},
    {"right", CPushTransition::kRight},
    {"to_top_right", CPushTransition::kToTopRight},
    {"to_top_left", CPushTransition::kToTopLeft},
    {"to_bottom_right", CPushTransition::kToBottomRight},
    {"to_bottom_left", CPushTransition::kToBottomLeft},
};

const DirectionTable kTable{kRows, 8, kReadOrder, 8};
const DirectionLayout kLayout{CPushTransition::kLabelId, CPushTransition::kPopupId, "Direction:", 200};

// -1, 0 or 1 along each axis (y grows downwards).
struct Motion {
    int x, y;
};
Motion MotionOf(int direction)
{
    static const Motion kMotions[] = {{0, -1}, {0, 1}, {1, 0}, {-1, 0}, {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    return direction >= 0 && direction < 8 ? kMotions[direction] : Motion{0, 0};
}

// The travel along one axis, towards sign: from one frame's extent away (or
// just past the frame's edge, for a slide that overhangs it) to the slide's
// own place. centre, size and low (left or top edge) of the slide, frame the
// frame's extent; all twips.
int64_t Travel(int sign, int64_t centre, int64_t size, int64_t low, int64_t frame)
{
    if (sign < 0) return (size >> 1) + (frame - centre) + (low > 0 ? low : 0);
    if (sign > 0) return (size >> 1) + centre + (low + size < frame ? frame - (low + size) : 0);
    return 0;
}

}  // namespace

CPushTransition::CPushTransition() : CTransitionKind(kTable, kLayout)
{
    SetName("Push");
    CPushTransition::SetDefaults();
}

bool CPushTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t*, uint16_t*)
{
    if (!slide || !movie) return true;
    // Push always writes a frame: with none of its own the slide jumps the
    // whole way in one.
    const int n = std::max(motion::Frames(*this, movie), 1);
    CSlide::CameraPlacement& at = slide->GetCameraPlacement();
    const Motion m = MotionOf(direction);
    const int64_t travelX = Travel(m.x, at.centerX, slide->GetWidthTwips(), slide->GetLeftTwips(), movie->GetWidth());
    const int64_t travelY = Travel(m.y, at.centerY, slide->GetHeightTwips(), slide->GetTopTwips(), movie->GetHeight());
    const int64_t homeX = at.centerX, homeY = at.centerY;
    int64_t x = motion::Offset(homeX, -m.x * travelX), y = motion::Offset(homeY, -m.y * travelY);
    at.centerX = int32_t(x);
    at.centerY = int32_t(y);
    PlaceNext(slide, movie, nullptr);

    int64_t px = 0, py = 0;
    if (previous) {
        px = previous->GetCameraPlacement().centerX;
        py = previous->GetCameraPlacement().centerY;
    }
    for (int k = 1; k <= n; ++k) {
        // Frame k has come k / n of the way: the last lands on the slide's place.
        const int64_t dx = m.x * motion::Along(travelX, k, n), dy = m.y * motion::Along(travelY, k, n);
        x = motion::Offset(homeX, dx - m.x * travelX);
        y = motion::Offset(homeY, dy - m.y * travelY);
        if (previous) {
            // The old slide moves exactly as far as the new one, whatever its size.
            const CSlide::CameraPlacement& old = previous->GetCameraPlacement();
            CSwfMatrix* matrix = clip_layers::Translation(motion::Offset(px, dx), motion::Offset(py, dy));
            matrix->hasScale = true;
            matrix->scaleX = old.scaleX;
            matrix->scaleY = old.scaleY;
            clip_layers::Move(movie, previous->GetDepth(), matrix);
        }
        clip_layers::Move(movie, slide->GetDepth(), motion::ScaleMatrix(1.0, 1.0, int32_t(x), int32_t(y)));
        clip_layers::ShowFrame(movie);
    }
    RemovePrevious(previous, movie);
    at.centerX = int32_t(x);
    at.centerY = int32_t(y);
    return true;
}
