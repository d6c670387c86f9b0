#include "effects/fireworks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "effects/script_builder.h"
#include "effects/sprite_parts.h"
#include "swf/actions.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/sprite.h"

namespace {

// ---- drawings

struct Point {
    int32_t x, y;
};

enum class Edge : uint8_t { kLine, kHorizontal, kVertical, kCurve };

// A spark of a mask: where its outline starts, how many edges it has and
// whether its first straight edge lies level or upright.
struct Spark {
    int16_t x, y;
    uint8_t straight, curved;
    Edge first = Edge::kLine;
};

// Sparks whose fill lies on the other side from here on: the fill fields
// the move to their start sets.
struct FillSwitch {
    int spark;  // from 0
    uint16_t fill0, fill1;
};

struct Bounds {
    int32_t xmin, ymin, xmax, ymax;
    Point Clamp(double x, double y) const
    {
        return {std::clamp(int32_t(std::lround(x)), xmin, xmax), std::clamp(int32_t(std::lround(y)), ymin, ymax)};
    }
};

// Appends one closed loop round an ellipse whose long axis runs from `from`
// to tip, flattened where it would leave the bounds. Edge kinds come in
// order; a curve bows out to the ellipse. The loop runs clockwise on screen
// (fill on its right, fill style 1) or the other way, and ends at `to`,
// which is `from` unless the loop closes a sub-path begun by other edges.
// firstStep, when given, is the angle of a short first edge; the others
// share the rest of the turn.
void AppendLoop(CShape& shape, const Bounds& bounds, Point from, Point to, Point tip, double halfWidth, bool clockwise,
                const std::vector<Edge>& kinds, double firstStep = 0)
{
    const int n = int(kinds.size());
    const double pi = std::acos(-1.0);
    const double dx = tip.x - from.x, dy = tip.y - from.y, length = std::hypot(dx, dy);
    if (n == 0 || length == 0) return;
    const double ux = dx / length, uy = dy / length;  // along the axis
    const double vx = -uy, vy = ux;  // a quarter turn clockwise on screen
    const double mx = (from.x + tip.x) / 2.0, my = (from.y + tip.y) / 2.0, a = length / 2;
    const double sense = clockwise ? 1 : -1;
    auto angle = [&](double k) {
        if (firstStep <= 0) return pi + sense * 2 * pi * k / n;
        if (k <= 1) return pi + sense * firstStep * k;
        return pi + sense * (firstStep + (2 * pi - firstStep) * (k - 1) / (n - 1));
    };
    auto onEllipse = [&](double theta, double& x, double& y) {
        x = mx + a * std::cos(theta) * ux + halfWidth * std::sin(theta) * vx;
        y = my + a * std::cos(theta) * uy + halfWidth * std::sin(theta) * vy;
    };

    std::vector<Point> p(size_t(n) + 1);
    p[0] = from;
    p[size_t(n)] = to;
    for (int k = 1; k < n; ++k) {
        double x, y;
        onEllipse(angle(k), x, y);
        p[size_t(k)] = bounds.Clamp(x, y);
    }
    // A level or upright first edge; its length never rounds to nothing.
    if (kinds[0] == Edge::kHorizontal) {
        p[1].y = p[0].y;
        if (p[1].x == p[0].x) p[1].x += 1;
    } else if (kinds[0] == Edge::kVertical) {
        p[1].x = p[0].x;
        if (p[1].y == p[0].y) p[1].y += 1;
    }
    // A general edge moves both ways: a twip's nudge of its far end mends
    // one that rounded level or upright, minding the edge after it.
    auto nudge = [](int32_t& end, int32_t span, int32_t next) {
        if (span != 0) return;
        end += next == 1 ? -1 : 1;
    };
    for (int k = 1; k < n; ++k) {
        if (kinds[size_t(k) - 1] != Edge::kLine) continue;
        Point& end = p[size_t(k)];
        const Point& start = p[size_t(k) - 1];
        const Point& after = p[size_t(k) + 1];
        nudge(end.x, end.x - start.x, after.x - end.x);
        nudge(end.y, end.y - start.y, after.y - end.y);
    }
    if (kinds[size_t(n) - 1] == Edge::kLine && n > 1) {
        Point& end = p[size_t(n) - 1];
        const Point& before = p[size_t(n) - 2];
        if (to.x == end.x) end.x += end.x - before.x == -1 ? -1 : 1;
        if (to.y == end.y) end.y += end.y - before.y == -1 ? -1 : 1;
    }

    for (int k = 0; k < n; ++k) {
        const Point& s = p[size_t(k)];
        const Point& e = p[size_t(k) + 1];
        switch (kinds[size_t(k)]) {
        case Edge::kLine: shape.AddLine(e.x - s.x, e.y - s.y); break;
        case Edge::kHorizontal: shape.AddHorizontalLine(e.x - s.x); break;
        case Edge::kVertical: shape.AddVerticalLine(e.y - s.y); break;
        case Edge::kCurve: {
            // The control point that takes the curve through the ellipse halfway.
            double x, y;
            onEllipse((angle(k) + angle(k + 1)) / 2, x, y);
            const Point c = bounds.Clamp(2 * x - (s.x + e.x) / 2.0, 2 * y - (s.y + e.y) / 2.0);
            shape.AddCurve(c.x - s.x, c.y - s.y, e.x - c.x, e.y - c.y);
            break;
        }
        }
    }
}

// The move to a spark's start, setting the fill fields where they change.
CShapeRecordStyleChange* MoveToSpark(CShape& shape, const Spark& spark, int index, const FillSwitch* switches,
                                     size_t switchCount, bool& clockwise)
{
    CShapeRecordStyleChange* move = shape.AddMoveTo(spark.x, spark.y);
    for (size_t i = 0; i < switchCount; ++i) {
        if (switches[i].spark != index) continue;
        move->SetFillStyle(switches[i].fill0, 0);
        move->SetFillStyle(switches[i].fill1, 1);
        // Both fields are written, the one that is 0 too.
        move->SetFlags(swf_shape::kMoveTo | swf_shape::kFillStyle0 | swf_shape::kFillStyle1);
        clockwise = switches[i].fill1 != 0;
    }
    return move;
}

// Sparks far out run in towards the centre, those near it run out.
Point SparkTip(const Spark& s, double reach, double nearRadius, double inwardShare)
{
    const double r = std::hypot(double(s.x), double(s.y));
    if (r >= nearRadius)
        return {int32_t(std::lround(s.x * inwardShare)), int32_t(std::lround(s.y * inwardShare))};
    return {int32_t(std::lround(s.x + s.x / r * reach)), int32_t(std::lround(s.y + s.y / r * reach))};
}

// Mask A: twenty petals, curved but for three short straight closings.
constexpr Spark kMaskA[] = {
    {347, -835, 1, 2},    {289, -321, 1, 2},   {76, -300, 1, 2, Edge::kHorizontal},
    {409, -3406, 0, 2},   {2328, -2304, 0, 2}, {1742, -3002, 0, 2},
    {3032, -390, 0, 2},   {-1649, -3576, 0, 4}, {-2320, -2273, 0, 4},
    {-3152, -801, 0, 2},  {-2667, -1603, 0, 2}, {-1015, -2468, 0, 2},
    {3153, 1750, 0, 2},   {694, 3107, 0, 2},   {1819, 1665, 0, 2},
    {-2573, 1140, 0, 2},  {-3067, 247, 0, 2},  {-857, 1689, 0, 2},
    {-2116, 1813, 0, 2},  {2892, 1196, 0, 2},
};
constexpr FillSwitch kMaskASwitches[] = {{3, 0, 1}, {9, 1, 0}, {14, 0, 1}, {15, 1, 0}, {19, 0, 1}};

// Mask B: thirty-one streaks traced in short straight edges, a few curved
// round their tips; the first six edges of the first are given.
constexpr Spark kMaskB[] = {
    {1762, -3822, 39, 0},
    {1277, -2372, 43, 0, Edge::kHorizontal},
    {677, -913, 44, 0},
    {1297, -1464, 38, 2},
    {2475, -263, 36, 0, Edge::kVertical},
    {2801, -24, 8, 0, Edge::kVertical},
    {1506, -42, 39, 0, Edge::kVertical},
    {1634, 913, 28, 0},
    {763, -40, 20, 0, Edge::kVertical},
    {-54, 42, 12, 0},
    {348, -82, 12, 0, Edge::kVertical},
    {4, 1075, 32, 0, Edge::kHorizontal},
    {635, 435, 28, 0},
    {1446, 1335, 39, 1},
    {1886, 2359, 2, 1},
    {-458, -3856, 24, 0, Edge::kHorizontal},
    {-1730, -3340, 27, 0, Edge::kHorizontal},
    {-2092, -2583, 35, 5},
    {-2343, -1986, 28, 0},
    {-2118, -873, 27, 1},
    {-226, -2252, 20, 0, Edge::kHorizontal},
    {-436, -1696, 11, 0, Edge::kHorizontal},
    {-805, -1319, 12, 0, Edge::kHorizontal},
    {-619, -883, 8, 0, Edge::kHorizontal},
    {-429, -351, 44, 0},
    {-923, -676, 36, 0},
    {-761, -492, 40, 0},
    {-1376, 348, 47, 1, Edge::kVertical},
    {-367, 288, 44, 0},
    {-2198, -322, 8, 0, Edge::kVertical},
    {-909, 1554, 41, 3, Edge::kHorizontal},
};
constexpr FillSwitch kMaskBSwitches[] = {{15, 1, 0}, {17, 0, 1}, {18, 1, 0}, {20, 0, 1}};
constexpr int kMaskBFirstEdges[][2] = {{106, -12}, {110, -42}, {217, -6}, {-327, 48}, {-101, 38}, {-140, 34}};

// The kinds of a spark's edges: its first straight edge as marked, the
// curves round the tip, halfway along.
std::vector<Edge> SparkEdges(const Spark& s, int straightGiven)
{
    const int straight = s.straight - straightGiven;
    std::vector<Edge> kinds(size_t(straight), Edge::kLine);
    if (straight > 0) kinds[0] = s.first;
    kinds.insert(kinds.begin() + (straight + 1) / 2, s.curved, Edge::kCurve);
    return kinds;
}

// ---- burst sprites

struct Burst {
    int32_t discScale;  // 16.16 of the disc's first placement; 0: none
    double startScale, stepTimes;  // s, and the step per motion frame times m
    bool randomHeight;  // y random over the height, else half of it
};

// Frame 1 moves the burst to a new place and size.
CTagDoAction* BurstScript(const CSwfMovie& movie, bool randomHeight)
{
    const int width = movie.GetWidth() / 20, height = movie.GetHeight() / 20;
    CScriptBuilder s;
    s.SetTarget("");
    s.Push("").Push("0").Push(width).RandomNumber().SetProperty();
    if (randomHeight)
        s.Push("").Push("1").Push(height).RandomNumber().SetProperty();
    else
        s.Push("").Push("1").Push(movie.GetHeight() / 2 / 20).SetProperty();
    s.Push("fw_scale").Push("90").RandomNumber().Push("10").Add().SetVariable();
    s.Push("").Push("2").Push("fw_scale").GetVariable().SetProperty();
    s.Push("").Push("3").Push("fw_scale").GetVariable().SetProperty();
    s.SetTarget("");
    return s.Release();
}

// Whole frames in a second (n) and a second and a half (m) at the movie's
// rate; none for a rate that is not a positive number.
void BurstFrames(const CSwfMovie& movie, int& n, int& m)
{
    const double rate = movie.GetFrameRate();
    n = m = 0;
    if (!(rate > 0)) return;
    n = int(rate);
    m = int(rate * 0.5 + rate);
}

uint16_t BuildBurst(CSwfMovie* movie, uint16_t* ids, uint16_t discId, uint16_t maskId, const Burst& burst)
{
    auto sprite = std::make_unique<CTagDefineSprite>();
    const uint16_t id = ++*ids;
    sprite->SetCharacterId(id);
    int n, m;
    BurstFrames(*movie, n, m);

    CTagPlaceObject2* mask = effect_parts::NewPlacement(maskId, 1, nullptr);
    mask->hasClipDepth = true;
    mask->clipDepth = 2;
    sprite->AddTag(mask);
    sprite->AddTag(effect_parts::NewPlacement(discId, 2, burst.discScale ? effect_parts::Scale(burst.discScale) : nullptr));
    sprite->AddTag(BurstScript(*movie, burst.randomHeight));
    sprite->AddTag(new CTagShowFrame);

    // The disc grows while the mask sinks, at most 500 twips.
    double s = burst.startScale;
    for (int k = 1; k <= m; ++k) {
        s += burst.stepTimes / m;
        sprite->AddTag(effect_parts::NewMove(1, effect_parts::Translate(0, k * (500 / m)), nullptr));
        sprite->AddTag(effect_parts::NewMove(2, effect_parts::Scale(int32_t(s * 65536.0 + 0.5)), nullptr));
        sprite->AddTag(new CTagShowFrame);
    }
    sprite->AddTag(new CTagRemoveObject2(1));
    sprite->AddTag(new CTagRemoveObject2(2));
    for (int k = 0; k < n; ++k) sprite->AddTag(new CTagShowFrame);
    movie->AddTag(sprite.release());
    return id;
}

// A radial gradient disc (DefineShape3): one closed outline, fill on its right.
struct GradStop {
    uint8_t ratio, r, g, b, a;
};
struct DiscDrawing {
    int32_t radius;  // bounds ±radius
    int32_t gradientScale;  // 16.16
    GradStop stops[3];
    Point start;
    // Edges as (dx, dy) for lines, (control, anchor) for curves.
    std::vector<std::vector<int32_t>> edges;
};

uint16_t DefineDisc(CSwfMovie* movie, uint16_t* ids, const DiscDrawing& d)
{
    auto fill = std::make_unique<CFillStyle>(swf_fill::kRadialGradient, 1);
    fill->gradient = std::make_unique<CSwfGradient>();
    fill->gradient->alpha = 1;
    for (const GradStop& stop : d.stops) {
        auto record = std::make_unique<CSwfGradRecord>();
        record->ratio = stop.ratio;
        record->colour = std::make_unique<CSwfRGBA>(stop.r, stop.g, stop.b, stop.a);
        record->alpha = 1;
        fill->gradient->Append(std::move(record));
    }
    fill->matrix = std::make_unique<CSwfMatrix>();
    fill->matrix->scaleX = fill->matrix->scaleY = d.gradientScale;
    fill->matrix->hasScale = 1;
    const uint16_t id = ++*ids;
    CTagDefineShape* tag =
        effect_parts::NewShape(id, -d.radius, -d.radius, d.radius, d.radius, std::move(fill), new CTagDefineShape3);
    CShapeWithStyle& shape = *tag->shape;
    effect_parts::StartOutline(shape, d.start.x, d.start.y, 1, 0);
    effect_parts::AddEdges(shape, d.edges);
    shape.AddEnd();
    movie->AddTag(tag);
    return id;
}

CTagDefineShape* MaskTag(uint16_t id, const Bounds& b)
{
    // The colour never shows: masks are clip layers.
    return effect_parts::NewShape(id, b.xmin, b.ymin, b.xmax, b.ymax, CFillStyle::MakeSolid(217));
}

// The fireworks sprite places a burst with a tint, or without one.
CTagPlaceObject2* PlaceBurst(uint16_t burst, uint16_t depth, const int* tint)
{
    CTagPlaceObject2* place = effect_parts::NewPlacement(burst, depth, nullptr);
    if (tint) {
        auto* cxform = new CSwfCxformWithAlpha;
        cxform->Reset();
        cxform->SetMult(tint[0], tint[1], tint[2], tint[3]);
        place->SetCxform(cxform);
    }
    return place;
}

// rand() % h frames, then h more for the long gaps. Below 2 frames a second
// h is 0 and there is nothing to draw from: the bursts start together.
int Delay(int h, bool longGap)
{
    if (h <= 0) return 0;
    return std::rand() % h + (longGap ? h : 0);
}

}  // namespace

uint16_t CFireworksEffect::BuildDiscA(CSwfMovie* movie, uint16_t* ids)
{
    // Transparent at the centre, red, then orange at the rim.
    static const DiscDrawing kDisc{306,
                                   1245,
                                   {{62, 255, 0, 0, 0}, {200, 255, 0, 0, 255}, {255, 254, 186, 118, 255}},
                                   {189, -241},
                                   {{4, 3},
                                    {23, 21},
                                    {90, 90, 0, 127},
                                    {0, 127, -90, 89},
                                    {-35, 36, -42, 22},
                                    {-4, 2},
                                    {-61, 30, -74, 0},
                                    {-75, -9},
                                    {-3, 0},
                                    {-78, -20, -61, -61},
                                    {-89, -89, 0, -127},
                                    {0, -127, 89, -90},
                                    {90, -89, 127, 0},
                                    {108, 0, 81, 65}}};
    return DefineDisc(movie, ids, kDisc);
}

uint16_t CFireworksEffect::BuildDiscB(CSwfMovie* movie, uint16_t* ids)
{
    // Transparent at the centre, blue, then nearly white at the rim.
    static const DiscDrawing kDisc{7926,
                                   32047,
                                   {{67, 48, 4, 255, 0}, {222, 48, 4, 255, 255}, {255, 245, 244, 255, 255}},
                                   {5595, -5620},
                                   {{2331, 2331, 0, 3289},
                                    {0, 3290, -2331, 2305},
                                    {-919, 929, -1075, 560},
                                    {-55, 29, -62, 23},
                                    {-1572, 790, -1912, 0},
                                    {-1027, 0, -928, -233},
                                    {-78, -13},
                                    {-2013, -510, -1574, -1575},
                                    {-2306, -2305, 0, -3290},
                                    {0, -3289, 2306, -2331},
                                    {2331, -2306, 3289, 0},
                                    {2801, 0, 2082, 1671},
                                    {103, 91},
                                    {315, 250, 294, 294}}};
    return DefineDisc(movie, ids, kDisc);
}

uint16_t CFireworksEffect::BuildMaskA(CSwfMovie* movie, uint16_t* ids)
{
    // One twip wider on the right than the sparks' nominal ±3152: the
    // thirteenth starts at x 3153.
    constexpr Bounds kBounds{-3152, -3576, 3153, 3576};
    CTagDefineShape* tag = MaskTag(++*ids, kBounds);
    CShapeWithStyle& shape = *tag->shape;
    bool clockwise = false;
    for (int i = 0; i < int(std::size(kMaskA)); ++i) {
        const Spark& s = kMaskA[i];
        CShapeRecordStyleChange* move =
            MoveToSpark(shape, s, i, kMaskASwitches, std::size(kMaskASwitches), clockwise);
        if (i == 0) {
            // Fill on the left up to the fourth spark.
            move->SetFillStyle(1, 0);
            move->ComputeFlags();
            shape.AddCurve(1447, -1116, 1151, 318);
            shape.AddCurve(-1264, -402, -1338, 1197);
            shape.AddLine(4, 3);
            continue;
        }
        const Point start{s.x, s.y};
        const Point tip = SparkTip(s, 2600, 1500, 0.15);
        const double halfWidth = 0.16 * std::hypot(double(tip.x - s.x), double(tip.y - s.y));
        AppendLoop(shape, kBounds, start, start, tip, halfWidth, clockwise, SparkEdges(s, 0), s.straight ? 0.05 : 0);
    }
    shape.AddEnd();
    const uint16_t id = tag->GetCharacterId();
    movie->AddTag(tag);
    return id;
}

uint16_t CFireworksEffect::BuildMaskB(CSwfMovie* movie, uint16_t* ids)
{
    constexpr Bounds kBounds{-3528, -3882, 3528, 3882};
    CTagDefineShape* tag = MaskTag(++*ids, kBounds);
    CShapeWithStyle& shape = *tag->shape;
    bool clockwise = true;
    for (int i = 0; i < int(std::size(kMaskB)); ++i) {
        const Spark& s = kMaskB[i];
        CShapeRecordStyleChange* move =
            MoveToSpark(shape, s, i, kMaskBSwitches, std::size(kMaskBSwitches), clockwise);
        const Point start{s.x, s.y};
        Point from = start;
        int given = 0;
        if (i == 0) {
            move->SetFillStyle(1, 1);
            move->ComputeFlags();
            for (const auto& e : kMaskBFirstEdges) {
                shape.AddLine(e[0], e[1]);
                from.x += e[0];
                from.y += e[1];
            }
            given = int(std::size(kMaskBFirstEdges));
        }
        // The first streak runs west under the top edge from where its given edges end.
        const Point tip = i == 0 ? Point{from.x - 1000, from.y + 250} : SparkTip(s, 1000, 1800, 0.55);
        AppendLoop(shape, kBounds, from, start, tip, 120, clockwise, SparkEdges(s, given));
    }
    shape.AddEnd();
    const uint16_t id = tag->GetCharacterId();
    movie->AddTag(tag);
    return id;
}

uint16_t CFireworksEffect::BuildBurstSpriteA(CSwfMovie* movie, uint16_t* ids)
{
    const uint16_t disc = BuildDiscA(movie, ids);
    const uint16_t mask = BuildMaskA(movie, ids);
    // From 1x to 31x.
    return BuildBurst(movie, ids, disc, mask, {0, 1.0, 30.0, true});
}

uint16_t CFireworksEffect::BuildBurstSpriteB(CSwfMovie* movie, uint16_t* ids)
{
    const uint16_t disc = BuildDiscB(movie, ids);
    const uint16_t mask = BuildMaskB(movie, ids);
    // From 0.054x to 1.054x.
    return BuildBurst(movie, ids, disc, mask, {3539, 0.054, 1.0, false});
}

uint16_t CFireworksEffect::Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t*)
{
    if (!movie || !characterIdCounter) return 0;
    const uint16_t a = BuildBurstSpriteA(movie, characterIdCounter);
    const uint16_t b = BuildBurstSpriteB(movie, characterIdCounter);

    auto sprite = std::make_unique<CTagDefineSprite>();
    spriteId_ = ++*characterIdCounter;
    sprite->SetCharacterId(spriteId_);
    int n, m;
    BurstFrames(*movie, n, m);
    const int h = n >> 1;
    // Burst, depth, tint (none for the first two), long gap after it.
    static const int kTints[][4] = {{143, 143, 143, 256}, {97, 97, 97, 256}, {256, 256, 36, 256}, {154, 256, 51, 256}};
    const struct {
        bool a;
        const int* tint;
    } bursts[] = {{true, nullptr}, {false, nullptr}, {false, kTints[0]}, {true, kTints[1]}, {false, kTints[2]}, {true, kTints[3]}};
    for (int i = 0; i < 6; ++i) {
        sprite->AddTag(PlaceBurst(bursts[i].a ? a : b, uint16_t(i + 1), bursts[i].tint));
        if (i == 5) break;
        // Each delay is drawn when its turn comes.
        const int delay = Delay(h, i % 2 == 1);
        for (int f = 0; f < delay; ++f) sprite->AddTag(new CTagShowFrame);
    }
    CScriptBuilder stop;
    stop.Stop();
    sprite->AddTag(stop.Release());
    sprite->AddTag(new CTagShowFrame);
    movie->AddTag(sprite.release());
    return spriteId_;
}

bool CFireworksEffect::Place(CSwfMovie* movie, uint16_t depth)
{
    if (!movie || !spriteId_) return false;
    return movie->AddTag(effect_parts::NewPlacement(spriteId_, depth, nullptr)) > 0;
}
