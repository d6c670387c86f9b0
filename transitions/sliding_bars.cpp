#include "transitions/sliding_bars.h"

#include <algorithm>
#include <cstdlib>

#include "show/camera_fx.h"
#include "show/slide.h"
#include "swf/movie.h"
#include "transitions/motion_steps.h"

namespace {

constexpr DirectionRow kRows[CSlidingBarsTransition::kDirections] = {
    {"horizontal", "Horizontal"},
    {"horizontal_top_to_bottom", "Horizontal Top to Bottom"},
    {"horizontal_bottom_to_top", "Horizontal Bottom to Top"},
    {"horizontal_middle_in", "Horizontal Middle In"},
    {"horizontal_middle_out", "Horizontal Middle Out"},
    {"vertical", "Vertical"},
    {"vertical_left_to_right", "Vertical Left to Right"},
    {"vertical_right_to_left", "Vertical Right to Left"},
    {"vertical_middle_in", "Vertical Middle In"},
    {"vertical_middle_out", "Vertical Middle Out"},
};

constexpr DirectionTable kTable{kRows, CSlidingBarsTransition::kDirections};
constexpr DirectionLayout kLayout{CSlidingBarsTransition::kLabelId, CSlidingBarsTransition::kPopupId, "Direction"};

bool Vertical(int direction)
{
    return direction >= 5;
}

}  // namespace

CSlidingBarsTransition::CSlidingBarsTransition() : CTransitionKind(kTable, kLayout)
{
    SetName("Sliding Bars");
    CSlidingBarsTransition::SetDefaults();
}

void CSlidingBarsTransition::SetDefaults()
{
    direction = 0;
    barSize_ = 10;
}

int64_t CSlidingBarsTransition::Delay(int direction, int i, int count)
{
    constexpr int64_t kBar = 200;  // twips: the bar thickness
    const int64_t half = count / 2;
    const int64_t fromMiddle = std::llabs((i - half) * kBar);
    switch (direction % 5) {
    case 1: return kBar * i;
    case 2: return kBar * (count - i);
    case 3: return fromMiddle;
    case 4: return std::max<int64_t>(half * kBar - fromMiddle, 0);
    default: return 0;
    }
}

uint16_t CSlidingBarsTransition::DefineBarShape(const CSlide& slide, CSwfMovie* movie, uint16_t* characterIdCounter)
{
    const int32_t b = barSize_ * 20;
    const clip_layers::MaskRect rect = Vertical(direction)
                                           ? clip_layers::MaskRect{0, 0, slide.GetHeight() * 20, b}
                                           : clip_layers::MaskRect{0, 0, b, slide.GetWidth() * 20};
    barShapeId_ = clip_layers::DefineMaskShape(rect, movie, characterIdCounter);
    return barShapeId_;
}

bool CSlidingBarsTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie,
                                         uint16_t* characterIdCounter, uint16_t* depthCounter)
{
    if (!slide || !movie) return true;
    lists_.Clear();
    const bool vertical = Vertical(direction);
    const int64_t W = movie->GetWidth(), H = movie->GetHeight();
    const int64_t b = barSize_ * 20;
    if (!DefineBarShape(*slide, movie, characterIdCounter)) {
        clip_layers::Finish(*this, slide, previous, movie, lists_);
        return true;
    }
    const int64_t length = int64_t(vertical ? slide->GetWidth() : slide->GetHeight()) * 20;
    const int count = int(length / b + (length % b ? 1 : 0));
    const unsigned n = DurationFrames(movie->GetFrameRate());

    const CSlide::CameraPlacement& at = slide->GetCameraPlacement();
    const int64_t px = at.centerX, py = at.centerY;
    // The farthest a bar travels: from beyond the frame's farther edge.
    const int64_t travel = vertical ? std::max(H - py, py) + (slide->GetHeightTwips() >> 1)
                                    : std::max(W - px, px) + (slide->GetWidthTwips() >> 1);
    const bool staggered = direction != 0 && direction != 5;
    // The whole way, delays included: k / n of it is gone after frame k.
    const int64_t total = staggered ? travel + int64_t(count) * b : travel;
    const double x0 = double(slide->GetX()) * 20, y0 = double(slide->GetY()) * 20;
    const double stackX = vertical ? double(b) : 0, stackY = vertical ? 0 : double(b);

    double x = x0, y = y0;
    for (int i = 0; i < count; ++i, x += stackX, y += stackY) {
        // Vertical bars well off the frame are left out.
        if (vertical && (x < double(-b) || x > double(W + b))) {
            lists_.Skip();
            continue;
        }
        lists_.Add(clip_layers::PlaceCopyPair(movie, depthCounter, barShapeId_,
                                              clip_layers::Translation(ClampToSwfMatrix(x), ClampToSwfMatrix(y)),
                                              *slide, false));
    }

    for (unsigned k = 1; k <= n; ++k) {
        const int64_t rem = travel - motion::Along(total, k, n);
        double bx = x0, by = y0;
        bool first = true;
        for (size_t i = 0; i < lists_.masks.size(); ++i, first = !first, bx += stackX, by += stackY) {
            if (!lists_.masks[i]) continue;
            // Odd bars come from the right or the bottom; a bar stops where it lands.
            const double shift = double((first ? -1 : 1) * (rem + Delay(direction, int(i), count)));
            const double dx = vertical ? 0 : shift, dy = vertical ? shift : 0;
            auto land = [first](double now, double home) {
                return ClampToSwfMatrix(first ? std::min(now, home) : std::max(now, home));
            };
            clip_layers::Move(movie, lists_.masks[i], clip_layers::Translation(land(bx + dx, bx), land(by + dy, by)));
            clip_layers::Move(movie, lists_.copies[i],
                              clip_layers::Translation(land(double(px) + dx, double(px)), land(double(py) + dy, double(py))));
        }
        clip_layers::ShowFrame(movie);
    }

    clip_layers::Finish(*this, slide, previous, movie, lists_);
    lists_.Clear();
    return true;
}
