#include "transitions/slide_pieces.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "show/camera_fx.h"
#include "show/slide.h"
#include "show/slide_export.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "transitions/motion_steps.h"

using clip_layers::MaskRect;

namespace {

// One edge of an outline: horizontal, vertical or general.
enum class Edge { kH, kV, kL };

void AddEdge(CShapeWithStyle* shape, Edge kind, int32_t dx, int32_t dy)
{
    if (kind == Edge::kH)
        shape->AddHorizontalLine(dx);
    else if (kind == Edge::kV)
        shape->AddVerticalLine(dy);
    else
        shape->AddLine(dx, dy);
}

// A triangle from (x, y) along two edges, then a general edge back. The
// last edge goes back to the start exactly: halves taken by shifting would
// leave an odd-sized outline a twip open.
uint16_t DefineTriangle(const MaskRect& rect, int32_t x, int32_t y, Edge kind1, int32_t dx1, int32_t dy1, Edge kind2,
                        int32_t dx2, int32_t dy2, CSwfMovie* movie, uint16_t* characterIdCounter)
{
    CShapeWithStyle* shape = clip_layers::StartOutline(x, y);
    AddEdge(shape, kind1, dx1, dy1);
    AddEdge(shape, kind2, dx2, dy2);
    shape->AddLine(-(dx1 + dx2), -(dy1 + dy2));
    shape->AddEnd();
    return clip_layers::DefineOutlineShape(rect, shape, movie, characterIdCounter);
}

// The matrices of a piece: identity scale for masks, the slide's own
// placement scale for copies that carry it.
CSwfMatrix* PieceMatrix(double x, double y, const CSlide* scaledBy)
{
    auto* m = new CSwfMatrix;
    m->SetIdentity();
    if (scaledBy) {
        const CSlide::CameraPlacement& at = scaledBy->GetCameraPlacement();
        m->scaleX = at.scaleX;
        m->scaleY = at.scaleY;
    }
    m->translateX = ClampToSwfMatrix(x);
    m->translateY = ClampToSwfMatrix(y);
    return m;
}

struct Centre {
    int64_t x, y;
};

Centre CentreOf(CSlide& slide)
{
    return {slide.GetCameraPlacement().centerX, slide.GetCameraPlacement().centerY};
}

// The seven directions of Close and Open share their words and items.
constexpr DirectionRow kHalvesRows[] = {
    {"horizontal", "Horizontal"},
    {"vertical", "Vertical"},
    {"horizontal_opposite_left_to_right", "Horizontal Opposite Left to Right"},
    {"horizontal_opposite_right_to_left", "Horizontal Opposite Right to Left"},
    {"vertical_opposite_top_to_bottom", "Vertical Opposite Top to Bottom"},
    {"vertical_opposite_bottom_to_top", "Vertical Opposite Bottom to Top"},
    {"corners", "Corners"},
};
constexpr DirectionTable kHalvesTable{kHalvesRows, 7};

constexpr DirectionRow kTriangleRows[] = {
    {"horizontal_right_to_left", "Horizontal Right to Left"},
    {"horizontal_left_to_right", "Horizontal Left to Right"},
    {"vertical_bottom_to_top", "Vertical Bottom to Top"},
    {"vertical_top_to_bottom", "Vertical Top to Bottom"},
    {"top_left_bottom_right", "Top Left - Bottom Right Out"},
    {"top_left_bottom_right_opposite", "Top Left - Bottom Right Opposite"},
    {"top_right_bottom_left", "Top Right - Bottom Left Out"},
    {"top_right_bottom_left_opposite", "Top Right - Bottom Left Opposite"},
    {"corners", "Corners"},
};
constexpr DirectionTable kTriangleTable{kTriangleRows, 9};

// How the two halves of directions 0 to 5 go: top and bottom halves or
// left and right ones, along y or x, and the sign of piece A's offset
// (Close: where it starts) or of its step (Open: where it goes).
struct HalvesMotion {
    bool topBottom;
    bool alongY;
    int signA;
};
constexpr HalvesMotion kCloseMotion[6] = {
    {false, false, -1}, {true, true, -1}, {true, false, -1}, {true, false, +1}, {false, true, -1}, {false, true, +1},
};
constexpr HalvesMotion kOpenMotion[6] = {
    {false, false, -1}, {true, true, -1}, {true, false, +1}, {true, false, -1}, {false, true, +1}, {false, true, -1},
};

// Triangle Open's halves: which diagonal, and A's step per frame in units
// of q, or of the slide's own size over n when the pieces slide along the
// cut.
struct TriangleMotion {
    bool upperRight;
    int kx, ky;
    bool alongCut;
};
constexpr TriangleMotion kTriangleMotion[8] = {
    {false, -1, 0, false},  {true, 1, 0, false},  {false, 0, -1, false}, {true, 0, -1, false},
    {false, -1, -1, false}, {false, 1, -1, true}, {true, 1, -1, false},  {true, -1, -1, true},
};

}  // namespace

uint16_t DefineDiagonalTriangleShape(const MaskRect& r, int a, int b, CSwfMovie* movie, uint16_t* characterIdCounter)
{
    const int32_t w = r.right - r.left, h = r.bottom - r.top;
    const Edge H = Edge::kH, V = Edge::kV;
    uint16_t* ids = characterIdCounter;
    if (a && b) return DefineTriangle(r, r.left, r.bottom, V, 0, -h, H, w, 0, movie, ids);
    if (a) return DefineTriangle(r, r.left, r.top, H, w, 0, V, 0, h, movie, ids);
    if (b) return DefineTriangle(r, r.right, r.bottom, H, -w, 0, V, 0, -h, movie, ids);
    return DefineTriangle(r, r.right, r.top, V, 0, h, H, -w, 0, movie, ids);
}

uint16_t DefineApexTriangleShape(const MaskRect& r, int a, int b, CSwfMovie* movie, uint16_t* characterIdCounter)
{
    const int32_t w = r.right - r.left, h = r.bottom - r.top;
    const Edge H = Edge::kH, V = Edge::kV, L = Edge::kL;
    uint16_t* ids = characterIdCounter;
    if (a && b) return DefineTriangle(r, r.left, r.bottom, V, 0, -h, L, w, h >> 1, movie, ids);
    if (a) return DefineTriangle(r, r.left, r.top, H, w, 0, L, (-w) >> 1, h, movie, ids);
    if (b) return DefineTriangle(r, r.right, r.bottom, H, -w, 0, L, w >> 1, -h, movie, ids);
    return DefineTriangle(r, r.right, r.top, V, 0, h, L, -w, (-h) >> 1, movie, ids);
}

CSlidePieceTransition::CSlidePieceTransition(const char* name, const DirectionTable& table,
                                             const DirectionLayout& layout)
    : CDirectionalTransition(table, layout)
{
    SetName(name);
}

bool CSlidePieceTransition::ReadSettingsControls(CTransition* target) const
{
    auto* t = dynamic_cast<CSlidePieceTransition*>(target);
    return t && ReadDirection(&t->direction);
}

int32_t CSlidePieceTransition::HalfWidth(const CSlide& slide)
{
    return slide.GetWidthTwips() >> 1;
}

int32_t CSlidePieceTransition::HalfHeight(const CSlide& slide)
{
    return slide.GetHeightTwips() >> 1;
}

void CSlidePieceTransition::ClearSlots()
{
    for (Slot& s : slots_) s = Slot{};
}

uint16_t CSlidePieceTransition::DefinePieceMask(const Piece& piece, CSwfMovie* movie, uint16_t* characterIdCounter,
                                                uint16_t* depthCounter)
{
    Slot& slot = slots_[piece.slot - 1];
    slot = Slot{};
    const uint16_t mask = NextExportValue(depthCounter, movie);
    const uint16_t copy = mask ? NextExportValue(depthCounter, movie) : 0;
    if (!copy) return 0;
    uint16_t id = 0;
    switch (piece.outline) {
        case Outline::kRect:
            id = clip_layers::DefineMaskShape(piece.rect, movie, characterIdCounter);
            break;
        case Outline::kDiagonal:
            id = DefineDiagonalTriangleShape(piece.rect, piece.a, piece.b, movie, characterIdCounter);
            break;
        case Outline::kApex:
            id = DefineApexTriangleShape(piece.rect, piece.a, piece.b, movie, characterIdCounter);
            break;
    }
    // Without its shape the slot stays empty: nothing is placed at its depths.
    if (id) slot = Slot{copy, mask};
    return id;
}

void CSlidePieceTransition::PlacePair(const Piece& piece, uint16_t maskId, const CSlide& slide, bool copyScaled,
                                      CSwfMovie* movie)
{
    const Slot& slot = slots_[piece.slot - 1];
    if (!maskId || !slot.maskDepth) return;
    auto* mask = new CTagPlaceObject2;
    mask->SetCharacterId(maskId);
    mask->depth = slot.maskDepth;
    mask->hasClipDepth = true;
    mask->clipDepth = slot.copyDepth;
    mask->SetMatrix(PieceMatrix(piece.x, piece.y, nullptr));
    movie->AddTag(mask);
    auto* copy = new CTagPlaceObject2;
    copy->SetCharacterId(slide.GetCharacterId());
    copy->depth = slot.copyDepth;
    copy->SetMatrix(PieceMatrix(piece.x, piece.y, copyScaled ? &slide : nullptr));
    movie->AddTag(copy);
}

void CSlidePieceTransition::PlacePiece(const Piece& piece, const CSlide& slide, CSwfMovie* movie,
                                       uint16_t* characterIdCounter, uint16_t* depthCounter)
{
    PlacePair(piece, DefinePieceMask(piece, movie, characterIdCounter, depthCounter), slide, true, movie);
}

void CSlidePieceTransition::MovePieces(std::vector<Piece>& pieces, unsigned n, const CSlide& slide, bool copyScaled,
                                       CSwfMovie* movie)
{
    for (unsigned k = 1; k <= n; ++k) {
        for (const Piece& p : pieces) {
            const Slot& slot = slots_[p.slot - 1];
            if (!slot.maskDepth) continue;
            auto on = [&](double start, double travel) {
                if (p.evenly) return start + travel * k / n;
                return start + double(motion::Along(int64_t(travel), k, n));
            };
            const double x = on(p.x, p.tx), y = on(p.y, p.ty);
            clip_layers::Move(movie, slot.copyDepth, PieceMatrix(x, y, copyScaled ? &slide : nullptr));
            clip_layers::Move(movie, slot.maskDepth, PieceMatrix(x, y, nullptr));
        }
        clip_layers::ShowFrame(movie);
    }
}

void CSlidePieceTransition::RemoveSlots(CSwfMovie* movie) const
{
    for (const Slot& s : slots_) clip_layers::RemoveDepths(movie, {s.maskDepth, s.copyDepth});
}

std::vector<CSlidePieceTransition::Piece> CSlidePieceTransition::Quarters(const CSlide& slide, double x, double y,
                                                                          double distance, double travel)
{
    const int32_t hw = HalfWidth(slide), hh = HalfHeight(slide);
    std::vector<Piece> quarters = {
        {1, Outline::kRect, {-hh, -hw, 0, 0}},
        {3, Outline::kRect, {-hh, 0, 0, hw}},
        {2, Outline::kRect, {0, -hw, hh, 0}},
        {4, Outline::kRect, {0, 0, hh, hw}},
    };
    const int sx[4] = {-1, 1, -1, 1}, sy[4] = {-1, -1, 1, 1};
    for (int i = 0; i < 4; ++i) {
        Piece& q = quarters[i];
        q.x = x + sx[i] * distance;
        q.y = y + sy[i] * distance;
        q.tx = sx[i] * travel;
        q.ty = sy[i] * travel;
    }
    return quarters;
}

double CSlidePieceTransition::Reach(const Piece& p, int64_t w, int64_t h)
{
    // The piece's extent in the frame; a mirroring scale turns its rectangle over.
    const int64_t left = int64_t(p.x) + std::min(p.rect.left, p.rect.right);
    const int64_t right = int64_t(p.x) + std::max(p.rect.left, p.rect.right);
    const int64_t top = int64_t(p.y) + std::min(p.rect.top, p.rect.bottom);
    const int64_t bottom = int64_t(p.y) + std::max(p.rect.top, p.rect.bottom);
    const double alongX = p.tx > 0 ? double(w - left) / p.tx : p.tx < 0 ? double(right) / -p.tx : HUGE_VAL;
    const double alongY = p.ty > 0 ? double(h - top) / p.ty : p.ty < 0 ? double(bottom) / -p.ty : HUGE_VAL;
    const double needed = std::min(alongX, alongY);
    return needed == HUGE_VAL ? 0.0 : needed;
}

void CSlidePieceTransition::TravelOutOf(std::vector<Piece>& pieces, int64_t w, int64_t h)
{
    double factor = 1.0;
    for (const Piece& p : pieces) factor = std::max(factor, Reach(p, w, h));
    if (factor == 1.0) return;
    // In whole twips, rounded away from the start: the factor's last bit
    // must not leave a piece a twip short of the edge.
    auto lengthen = [factor](double t) {
        const double far = std::ceil(std::abs(t) * factor - 1e-3);
        return t < 0 ? -far : far;
    };
    for (Piece& p : pieces) {
        p.tx = lengthen(p.tx);
        p.ty = lengthen(p.ty);
    }
}

void CSlidePieceTransition::ClosePieces(std::vector<Piece>& pieces, CSlide& slide, bool scaledMoves, unsigned n,
                                        CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t* depthCounter)
{
    // Every shape first, then the pairs.
    std::vector<uint16_t> ids;
    for (const Piece& p : pieces) ids.push_back(DefinePieceMask(p, movie, characterIdCounter, depthCounter));
    for (size_t i = 0; i < pieces.size(); ++i) PlacePair(pieces[i], ids[i], slide, false, movie);
    MovePieces(pieces, n, slide, scaledMoves, movie);
    RemoveSlots(movie);
}

bool CSlidePieceTransition::StartOpening(CSlide* slide, CSlide* previous, CSwfMovie* movie, int directions)
{
    ClearSlots();
    if (!slide || !movie) return false;
    // The new slide goes under everything the pieces take.
    PlaceNext(slide, movie, nullptr);
    if (!previous) return false;
    RemovePrevious(previous, movie);
    return direction >= 0 && direction < directions;
}

void CSlidePieceTransition::OpenPieces(std::vector<Piece>& pieces, const std::vector<int>& placeOrder, CSlide& previous,
                                       unsigned n, CSwfMovie* movie, uint16_t* characterIdCounter,
                                       uint16_t* depthCounter)
{
    for (int i : placeOrder) PlacePiece(pieces[i], previous, movie, characterIdCounter, depthCounter);
    MovePieces(pieces, n, previous, true, movie);
    RemoveSlots(movie);
}

// Slide Close: the new slide's pieces come in from outside the frame.

CSlideCloseTransition::CSlideCloseTransition() : CSlidePieceKind("Slide Close", kHalvesTable) {}

bool CSlideCloseTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                                        uint16_t* depthCounter)
{
    ClearSlots();
    if (!slide || !movie) return true;
    const unsigned n = DurationFrames(movie->GetFrameRate());
    const Centre c = CentreOf(*slide);
    const int64_t W = movie->GetWidth(), H = movie->GetHeight();
    // Far enough that a piece starts wholly outside the frame.
    const int64_t dx = std::max(W - c.x, c.x) + HalfWidth(*slide);
    const int64_t dy = std::max(H - c.y, c.y) + HalfHeight(*slide);
    if (direction >= 0 && direction < 6) {
        const HalvesMotion& m = kCloseMotion[direction];
        const int64_t d = m.alongY ? dy : dx;
        const int32_t hw = HalfWidth(*slide), hh = HalfHeight(*slide);
        std::vector<Piece> pieces = {
            {1, Outline::kRect, m.topBottom ? TopHalf(hw, hh) : LeftHalf(hw, hh), 0, 0, double(c.x), double(c.y)},
            {2, Outline::kRect, m.topBottom ? BottomHalf(hw, hh) : RightHalf(hw, hh), 0, 0, double(c.x), double(c.y)},
        };
        // A from d out on its side towards the centre, B the opposite.
        for (int i = 0; i < 2; ++i) {
            const int sign = i == 0 ? 1 : -1;
            (m.alongY ? pieces[i].y : pieces[i].x) += double(sign * m.signA * d);
            (m.alongY ? pieces[i].ty : pieces[i].tx) = double(-sign * m.signA * d);
        }
        ClosePieces(pieces, *slide, false, n, movie, characterIdCounter, depthCounter);
    } else if (direction == 6) {
        // Each quarter from its own corner along a 45-degree line.
        const int64_t d = std::max(dx, dy);
        std::vector<Piece> pieces = Quarters(*slide, double(c.x), double(c.y), double(d), -double(d));
        ClosePieces(pieces, *slide, true, n, movie, characterIdCounter, depthCounter);
    }
    PlaceNext(slide, movie, nullptr);
    RemovePrevious(previous, movie);
    return true;
}

// Slide Open: the previous slide's pieces leave over the new slide.

CSlideOpenTransition::CSlideOpenTransition() : CSlidePieceKind("Slide Open", kHalvesTable) {}

bool CSlideOpenTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                                       uint16_t* depthCounter)
{
    if (!StartOpening(slide, previous, movie, 7)) return true;
    const Centre c = CentreOf(*previous);
    const int64_t W = movie->GetWidth(), H = movie->GetHeight();
    const unsigned n = DurationFrames(movie->GetFrameRate());
    const double x0 = double(c.x), y0 = double(c.y);
    // The pieces leave the frame: a slide shown larger or elsewhere after a
    // camera move goes as far as it takes.
    if (direction == 6) {
        std::vector<Piece> pieces = Quarters(*previous, x0, y0, 0.0, double(std::max(W, H)));
        TravelOutOf(pieces, W, H);
        OpenPieces(pieces, {0, 1, 2, 3}, *previous, n, movie, characterIdCounter, depthCounter);
        return true;
    }
    const HalvesMotion& m = kOpenMotion[direction];
    // Directions 0 and 1 go until the centre line meets the frame's edge,
    // the others the frame's whole width or height.
    int64_t d = m.alongY ? H : W;
    if (direction == 0) d = std::max(W - c.x, c.x);
    if (direction == 1) d = std::max(H - c.y, c.y);
    const int32_t hw = HalfWidth(*previous), hh = HalfHeight(*previous);
    std::vector<Piece> pieces = {
        {1, Outline::kRect, m.topBottom ? TopHalf(hw, hh) : LeftHalf(hw, hh), 0, 0, x0, y0},
        {2, Outline::kRect, m.topBottom ? BottomHalf(hw, hh) : RightHalf(hw, hh), 0, 0, x0, y0},
    };
    (m.alongY ? pieces[0].ty : pieces[0].tx) = double(m.signA * d);
    (m.alongY ? pieces[1].ty : pieces[1].tx) = double(-m.signA * d);
    TravelOutOf(pieces, W, H);
    OpenPieces(pieces, {0, 1}, *previous, n, movie, characterIdCounter, depthCounter);
    return true;
}

// Slide Triangle Open: the previous slide leaves as triangles.

CSlideTriangleOpenTransition::CSlideTriangleOpenTransition() : CSlidePieceKind("Slide Triangle Open", kTriangleTable) {}

bool CSlideTriangleOpenTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie,
                                               uint16_t* characterIdCounter, uint16_t* depthCounter)
{
    if (!StartOpening(slide, previous, movie, 9)) return true;
    const Centre c = CentreOf(*previous);
    const unsigned n = DurationFrames(movie->GetFrameRate());
    const int64_t W = movie->GetWidth(), H = movie->GetHeight();
    const double d = double(std::max(W, H));
    const int32_t hw = HalfWidth(*previous), hh = HalfHeight(*previous);
    const double x0 = double(c.x), y0 = double(c.y);
    if (direction == 8) {
        // Four apex triangles meeting at the centre, each out through its
        // side; placed left, top, right, bottom, moved left, top, bottom, right.
        std::vector<Piece> pieces = {
            {1, Outline::kApex, {-hh, -hw, hh, 0}, 1, 1, x0, y0, -d, 0},
            {3, Outline::kApex, {-hh, -hw, 0, hw}, 1, 0, x0, y0, 0, -d},
            {2, Outline::kApex, {0, -hw, hh, hw}, 0, 1, x0, y0, 0, d},
            {4, Outline::kApex, {-hh, 0, hh, hw}, 0, 0, x0, y0, d, 0},
        };
        TravelOutOf(pieces, W, H);
        OpenPieces(pieces, {0, 1, 3, 2}, *previous, n, movie, characterIdCounter, depthCounter);
        return true;
    }
    const TriangleMotion& m = kTriangleMotion[direction];
    const MaskRect whole{-hh, -hw, hh, hw};
    // Apart by d on each moving axis, or along the cut by the slide's own
    // size, divided in double precision.
    const double dx = m.alongCut ? double(previous->GetWidthTwips()) : d;
    const double dy = m.alongCut ? double(previous->GetHeightTwips()) : d;
    std::vector<Piece> pieces = {
        {1, Outline::kDiagonal, whole, 1, m.upperRight ? 0 : 1, x0, y0, m.kx * dx, m.ky * dy, m.alongCut},
        {2, Outline::kDiagonal, whole, 0, m.upperRight ? 1 : 0, x0, y0, -m.kx * dx, -m.ky * dy, m.alongCut},
    };
    TravelOutOf(pieces, W, H);
    OpenPieces(pieces, {0, 1}, *previous, n, movie, characterIdCounter, depthCounter);
    return true;
}
