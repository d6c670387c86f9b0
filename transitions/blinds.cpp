#include "transitions/blinds.h"

#include <algorithm>

#include "show/camera_fx.h"
#include "show/slide.h"
#include "swf/movie.h"

namespace {

constexpr DirectionRow kRows[CBlindsTransition::kDirections] = {
    {"horizontal_up", "Horizontal Up"},
    {"horizontal_down", "Horizontal Down"},
    {"vertical_left", "Vertical Left"},
    {"vertical_right", "Vertical Right"},
};
constexpr DirectionTable kTable{kRows, CBlindsTransition::kDirections};

bool Vertical(int direction)
{
    return direction >= 2;
}

}  // namespace

CBlindsTransition::CBlindsTransition(bool out, uint32_t labelId, uint32_t popupId)
    : CDirectionalTransition(kTable, DirectionLayout{labelId, popupId, "Direction"}), out_(out)
{
    CBlindsTransition::SetDefaults();
}

CBlindsInTransition::CBlindsInTransition() : CTransitionKind(false, kLabelId, kPopupId)
{
    SetName("Blinds In");
}

CBlindsOutTransition::CBlindsOutTransition() : CTransitionKind(true, kLabelId, kPopupId)
{
    SetName("Blinds Out");
}

void CBlindsTransition::SetDefaults()
{
    direction = 0;
    slatSize_ = 20;
}

int CBlindsTransition::Geometry() const
{
    const int d = direction >= 0 && direction < kDirections ? direction : 0;
    return out_ ? d ^ 1 : d;
}

uint16_t CBlindsTransition::DefineBlindShape(const CSlide& slide, CSwfMovie* movie, uint16_t* characterIdCounter)
{
    const int32_t b = slatSize_ * 20, w = slide.GetWidthTwips(), h = slide.GetHeightTwips();
    const int geometry = Geometry();
    static_assert(CBlindsTransition::kDirections == 4);
    clip_layers::MaskRect rect{};
    switch (geometry) {
    case 0: rect = {-b, 0, 0, w}; break;  // grows upward from its bottom edge
    case 1: rect = {0, 0, b, w}; break;
    case 2: rect = {0, -b, h, 0}; break;  // grows leftward from its right edge
    default: rect = {0, 0, h, b}; break;
    }
    slatShapeId_ = clip_layers::DefineMaskShape(rect, movie, characterIdCounter);
    return slatShapeId_;
}

void CBlindsTransition::WriteSlats(CSlide& from, int64_t startX, int64_t startY, CSwfMovie* movie,
                                   uint16_t* depthCounter)
{
    const int geometry = Geometry();
    const bool vertical = Vertical(geometry);
    const int64_t W = movie->GetWidth();
    const int64_t b = slatSize_ * 20;
    // Slats anchored at their bottom or right edge start one slat further on.
    if (geometry == 0) startY += b;
    if (geometry == 2) startX += b;
    const int64_t length = vertical ? from.GetWidthTwips() : from.GetHeightTwips();
    const int64_t count = length > 0 ? length / b + (length % b ? 1 : 0) : 0;
    const int64_t stepX = vertical ? b : 0, stepY = vertical ? 0 : b;

    for (int64_t i = 0, x = startX, y = startY; i < count; ++i, x += stepX, y += stepY) {
        if (vertical && (x < -b || x > W + b)) {
            lists_.Skip(false);
            continue;
        }
        lists_.Add(clip_layers::PlaceCopyPair(movie, depthCounter, slatShapeId_,
                                              clip_layers::Translation(ClampToSwfMatrix(double(x)),
                                                                       ClampToSwfMatrix(double(y))),
                                              from, true));
    }

    const unsigned n = DurationFrames(movie->GetFrameRate());
    double scaled = out_ ? 1.0 : 0.0;
    for (unsigned k = 1; k <= n; ++k) {
        scaled = out_ ? std::max(scaled - 1.0 / n, 0.0) : std::min(scaled + 1.0 / n, 1.0);
        const int32_t s = static_cast<int32_t>(scaled * 65536.0 + 0.5);
        for (size_t i = 0; i < lists_.masks.size(); ++i) {
            if (!lists_.masks[i]) continue;
            const int64_t x = startX + int64_t(i) * stepX, y = startY + int64_t(i) * stepY;
            CSwfMatrix* m = clip_layers::Translation(ClampToSwfMatrix(double(x)), ClampToSwfMatrix(double(y)));
            m->hasScale = true;
            m->scaleX = vertical ? s : 0x10000;
            m->scaleY = vertical ? 0x10000 : s;
            clip_layers::Move(movie, lists_.masks[i], m);
        }
        clip_layers::ShowFrame(movie);
    }
    clip_layers::RemoveDepths(movie, lists_.masks);
    clip_layers::RemoveDepths(movie, lists_.copies);
}

bool CBlindsTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                                    uint16_t* depthCounter)
{
    if (!slide || !movie) return true;
    lists_.Clear();
    if (!out_) {
        if (DefineBlindShape(*slide, movie, characterIdCounter))
            WriteSlats(*slide, int64_t(slide->GetX()) * 20, int64_t(slide->GetY()) * 20, movie, depthCounter);
        PlaceNext(slide, movie, nullptr);
        RemovePrevious(previous, movie);
        return true;
    }
    // The new slide is in place at once; the old one shows only through its slats.
    PlaceNext(slide, movie, nullptr);
    if (!previous) return true;
    RemovePrevious(previous, movie);
    if (DefineBlindShape(*previous, movie, characterIdCounter))
        WriteSlats(*previous, previous->GetLeftTwips(), previous->GetTopTwips(), movie, depthCounter);
    return true;
}
