#include "effects/old_movie.h"

#include "effects/script_builder.h"
#include "effects/sprite_parts.h"
#include "swf/control_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"

using namespace effect_parts;

namespace {

constexpr uint32_t kGrey = 0x666666;  // RGB 102, 102, 102
const char* const kDots[] = {"dustdot1", "dustdot2", "dustdot3"};

// A vertical hairline of the frame's height, centred on the origin; an odd
// height reaches one twip further down than up.
CTagDefineShape* MakeScratch(uint16_t id, int32_t height)
{
    const int32_t half = height >> 1;
    CTagDefineShape* tag = NewShape(id, 0, -half, 0, half, CLineStyle::Make(10, kGrey));
    CShapeWithStyle& shape = *tag->shape;
    StartOutline(shape, 0, -half, 0, 1);
    shape.AddVerticalLine(height);
    shape.AddEnd();
    return tag;
}

// An irregular grey speck about two pixels across.
CTagDefineShape* MakeDust(uint16_t id)
{
    struct Edge {
        uint8_t kind;  // a straight edge's kind, or curved
        int32_t dx, dy, ax, ay;
    };
    constexpr uint8_t kCurve = 0xFF, kG = swf_shape::kGeneral, kH = swf_shape::kHorizontal,
                      kV = swf_shape::kVertical;
    static constexpr Edge kEdges[] = {
        {kG, 3, 5, 0, 0},     {kG, -5, 15, 0, 0}, {kG, -2, 2, 0, 0},  {kG, -27, -1, 0, 0}, {kCurve, -11, -4, 5, -10},
        {kG, -2, -4, 0, 0},   {kG, -1, -12, 0, 0}, {kG, 1, -1, 0, 0},  {kH, 1, 0, 0, 0},    {kH, 1, 0, 0, 0},
        {kG, 4, -1, 0, 0},    {kH, 1, 0, 0, 0},   {kG, 1, -1, 0, 0},  {kV, 0, -1, 0, 0},   {kG, 1, -1, 0, 0},
        {kG, 20, 3, 0, 0},    {kV, 0, 1, 0, 0},   {kG, 8, 2, 0, 0},   {kG, 2, 8, 0, 0},
    };
    CTagDefineShape* tag = NewShape(id, -23, -20, 22, 17, CFillStyle::MakeSolid(kGrey));
    CShapeWithStyle& shape = *tag->shape;
    StartOutline(shape, 19, -5, 1, 0);
    for (const Edge& e : kEdges) {
        if (e.kind == kCurve)
            shape.AddCurve(e.dx, e.dy, e.ax, e.ay);
        else
            shape.AddRecord(std::make_unique<CShapeRecordStraightEdge>(e.dx, e.dy, e.kind));
    }
    shape.AddEnd();
    return tag;
}

// Frame 1 of the film: the scratch to a random column, then each speck to
// a random place with a new random size of 0-99 %.
CTagDoAction* MakeDustScript(int width, int height)
{
    const int columns = width / 20, rows = height / 20;
    CScriptBuilder s;
    s.Push("dustline").Push("0").Push(columns).RandomNumber().SetProperty();
    for (const char* dot : kDots) {
        s.Push("dustdotscale").Push("100").RandomNumber().SetVariable();
        s.Push(dot).Push("0").Push(columns).RandomNumber().SetProperty();
        s.Push(dot).Push("1").Push(rows).RandomNumber().SetProperty();
        s.Push(dot).Push("2").Push("dustdotscale").GetVariable().SetProperty();
        s.Push(dot).Push("3").Push("dustdotscale").GetVariable().SetProperty();
    }
    return s.Release();
}

CTagPlaceObject2* Named(CTagPlaceObject2* place, const char* name)
{
    place->name = name;
    place->hasName = true;
    return place;
}

}  // namespace

uint16_t COldMovieEffect::Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t*)
{
    if (!movie || !characterIdCounter) return 0;
    int width = 0, height = 0;
    movie->GetFrameSize(width, height);

    const uint16_t scratchId = ++*characterIdCounter;
    movie->AddTag(MakeScratch(scratchId, height));
    lineSpriteId_ = ++*characterIdCounter;
    movie->AddTag(ShapeSprite(lineSpriteId_, scratchId));
    const uint16_t dustId = ++*characterIdCounter;
    movie->AddTag(MakeDust(dustId));
    dotSpriteId_ = ++*characterIdCounter;
    movie->AddTag(ShapeSprite(dotSpriteId_, dustId));

    auto film = std::make_unique<CTagDefineSprite>();
    spriteId_ = ++*characterIdCounter;
    film->SetCharacterId(spriteId_);
    // The script comes first in the frame; it runs once the frame's
    // placements stand, so the names resolve.
    film->AddTag(MakeDustScript(width, height));
    film->AddTag(Named(NewPlacement(lineSpriteId_, 1, Translate(0, height >> 1)), "dustline"));
    for (int i = 0; i < 3; ++i) film->AddTag(Named(NewPlacement(dotSpriteId_, uint16_t(i + 2), Identity()), kDots[i]));
    film->AddTag(new CTagShowFrame);
    film->AddTag(CScriptBuilder().GotoFrame(0).Play().Release());
    film->AddTag(new CTagShowFrame);
    movie->AddTag(film.release());
    return spriteId_;
}
