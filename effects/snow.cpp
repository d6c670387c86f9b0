#include "effects/snow.h"

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

constexpr int kFlakes = 40;

// One stroke of the flake: its start and its edges, (dx, dy) for a line
// (upright when dx is 0) or (control, anchor) for a curve.
struct Stroke {
    int32_t x, y;
    std::vector<std::vector<int32_t>> edges;
};

// A six-armed flake about 1600 twips from tip to centre, with twigs on its
// arms and a hexagon at its heart.
const std::vector<Stroke>& FlakeStrokes()
{
    static const std::vector<Stroke> kStrokes = {
        {1454, -500, {{-296, -70}, {-1156, 591}, {0, 9}, {461, 235}, {2, 1}, {682, 349}, {-3, -11}}},
        {1582, -787, {{-441, 213}}},
        {1141, -574, {{240, -330}}},
        {-1181, -588, {{-20, 3}, {740, 378}, {-112, -581}, {343, 205, 232, 205}, {0, -828}, {-238, -173}}},
        {-1201, -585, {{-399, -204}}},
        {-1600, -789, {{200, 389}}},
        {-1227, -877, {{26, 292}}},
        {2, -1600, {{0, 394}}},
        {252, -1391, {{-250, 185}}},
        {-461, -190, {{395, -304}, {461, 190}, {66, 494}, {-395, 304}, {-461, -190}, {-66, -494}}},
        {-7, 25, {{0, -400}}},
        {-465, 259, {{-300, 161}, {-135, 280}}},
        {465, 266, {{92, 585}, {-555, -410}, {0, 736}, {0, 423}}},
        {-256, 1411, {{258, -234}}},
        {11, 1170, {{0, -350}}},
        {-7, 25, {{-363, 129}, {-364, 129}, {-363, 129}, {-364, 129}}},
        {-1461, 541, {{300, -300}, {-150, -250}}},
        {2, 441, {{298, 159}, {200, 400}}},
        {1179, 851, {{-300, -50}, {-200, 300}}},
        {1141, 596, {{259, 154}}},
        {465, -182, {{235, -318}, {200, -200}}},
        {2, 59, {{0, 382}, {-300, 200}}},
    };
    return kStrokes;
}

// The scale of both shrinking placements, 16.16.
CSwfMatrix* FlakeMatrix(double scale)
{
    return effect_parts::Scale(int32_t(scale * 65536.0 + 0.5));
}

// Sets speed, place, size and alpha of a flake that starts (again): from
// above the frame at the start, from just above it when it comes round.
void StartFlake(CScriptBuilder& s, bool again)
{
    s.Push("speed").Push("max_speed").GetVariable().RandomNumber().Push("min_speed").GetVariable().Add().SetVariable();
    s.Push("flake").PushFloat(0.0f).Push("swf_width").GetVariable().RandomNumber().SetProperty();
    if (again)
        s.Push("flake").PushFloat(1.0f).Push("0").Push("20").RandomNumber().Subtract().SetProperty();
    else
        s.Push("flake")
            .PushFloat(1.0f)
            .Push("0")
            .Push("swf_height")
            .GetVariable()
            .Push("2")
            .Divide()
            .RandomNumber()
            .Subtract()
            .SetProperty();
    s.Push("therand").Push("max_rand").GetVariable().RandomNumber().Push("min_rand").GetVariable().Add().SetVariable();
    s.Push("flake").PushFloat(2.0f).Push("therand").GetVariable().SetProperty();
    s.Push("flake").PushFloat(3.0f).Push("therand").GetVariable().SetProperty();
    s.Push("flake")
        .PushFloat(6.0f)
        .Push("max_rand")
        .GetVariable()
        .RandomNumber()
        .Push("min_rand")
        .GetVariable()
        .Add()
        .SetProperty();
    s.Push("r_xy").Push("2").RandomNumber().Push("1").Equals().SetVariable();
}

// Frame 1: the constants, then the flake's start.
CTagDoAction* StartScript(long width, long height)
{
    CScriptBuilder s;
    s.Push("swf_width").Push(width).SetVariable();
    s.Push("swf_height").Push(height).SetVariable();
    s.Push("max_speed").Push("4.2").SetVariable();
    s.Push("min_speed").Push("0.9").SetVariable();
    s.Push("max_rand").Push("90").SetVariable();
    s.Push("min_rand").Push("5").SetVariable();
    s.Push("swing_factor").Push("0.9").SetVariable();
    s.Push("go").Push("0").SetVariable();
    StartFlake(s, false);
    return s.Release();
}

// Reads the flake's x or y into a variable.
void ReadPosition(CScriptBuilder& s, const char* variable, const char* property)
{
    s.Push(variable).Push("flake").Push(property).GetProperty().SetVariable();
}

// (limit + 10 < position): the flake has left the frame that way.
void PastEdge(CScriptBuilder& s, const char* limit, const char* position)
{
    s.Push(limit).GetVariable().Push("10").Add().Push(position).GetVariable().Less();
}

// go := go + random(100) / 100 × step.
void Swing(CScriptBuilder& s, const char* step)
{
    s.Push("go").Push("go").GetVariable().Push("100").RandomNumber().Push("100").Divide().Push(step).Multiply().Add();
    s.SetVariable();
}

// Frame 2, run on every pass: a flake that has left the frame past the right
// or the bottom starts again; any other swings sideways and falls. The
// branch offsets are the bytes they skip, as this exact script encodes.
CTagDoAction* MotionScript()
{
    CScriptBuilder s(false);
    ReadPosition(s, "xpos", "0");
    ReadPosition(s, "ypos", "1");
    // An "or": the first test stays on the stack when it holds.
    PastEdge(s, "swf_width", "xpos");
    PastEdge(s, "swf_width", "xpos");
    s.If(36).Pop();
    PastEdge(s, "swf_height", "ypos");
    s.Not().If(297);
    StartFlake(s, true);
    s.Jump(388);
    // Swinging left until go passes -swing_factor, then right.
    s.Push("r_xy").GetVariable().Not().If(106);
    Swing(s, "-0.2");
    s.Push("go").GetVariable().Push("0").Push("swing_factor").GetVariable().Subtract().Less().Not().If(16);
    s.Push("r_xy").Push("0").SetVariable();
    s.Jump(93);
    Swing(s, "0.2");
    s.Push("swing_factor").GetVariable().Push("go").GetVariable().Less().Not().If(16);
    s.Push("r_xy").Push("1").SetVariable();
    // Moves the flake by go across and speed down.
    ReadPosition(s, "xpos", "0");
    s.Push("xpos").Push("xpos").GetVariable().Push("go").GetVariable().Add().SetVariable();
    s.Push("flake").PushFloat(0.0f).Push("xpos").GetVariable().SetProperty();
    ReadPosition(s, "ypos", "1");
    s.Push("ypos").Push("ypos").GetVariable().Push("speed").GetVariable().Add().SetVariable();
    s.Push("flake").PushFloat(1.0f).Push("ypos").GetVariable().SetProperty();
    return s.Release();
}

}  // namespace

uint16_t CSnowEffect::BuildFlakeShape(CSwfMovie* movie, uint16_t* ids)
{
    flakeScale_ = 5.0 / 83.0;
    const uint16_t id = ++*ids;
    // The strokes reach ±1600; half the line's width more on every side.
    CTagDefineShape* tag = effect_parts::NewShape(id, -1660, -1660, 1660, 1660, CLineStyle::Make(120, 0xFFFFFF));
    CShapeWithStyle* shape = tag->shape.get();
    bool first = true;
    for (const Stroke& stroke : FlakeStrokes()) {
        // Only the first move picks the line; the others only move.
        if (first)
            effect_parts::StartOutline(*shape, stroke.x, stroke.y, 0, 1);
        else
            shape->AddMoveTo(stroke.x, stroke.y);
        first = false;
        effect_parts::AddEdges(*shape, stroke.edges);
    }
    shape->AddEnd();
    movie->AddTag(tag);
    return id;
}

uint16_t CSnowEffect::BuildFlakeSprite(CSwfMovie* movie, uint16_t* ids)
{
    const uint16_t drawing = BuildFlakeShape(movie, ids);

    // The holder only shrinks the drawing: one placement, no frame.
    auto holder = std::make_unique<CTagDefineSprite>();
    holder->AddTag(effect_parts::NewPlacement(drawing, 1, FlakeMatrix(flakeScale_)));
    const uint16_t holderId = ++*ids;
    holder->SetCharacterId(holderId);
    movie->AddTag(holder.release());

    auto flake = std::make_unique<CTagDefineSprite>();
    const uint16_t flakeId = ++*ids;
    flake->SetCharacterId(flakeId);
    flake->AddTag(StartScript(movie->GetWidth() / 20, movie->GetHeight() / 20));
    CTagPlaceObject2* named = effect_parts::NewPlacement(holderId, 1, FlakeMatrix(flakeScale_));
    named->name = "flake";
    named->hasName = true;
    flake->AddTag(named);
    flake->AddTag(new CTagShowFrame);
    flake->AddTag(MotionScript());
    flake->AddTag(new CTagShowFrame);
    // Back to the second frame: the motion runs on every pass.
    CScriptBuilder loop;
    loop.GotoFrame(1).Play();
    flake->AddTag(loop.Release());
    flake->AddTag(new CTagShowFrame);
    movie->AddTag(flake.release());
    return flakeId;
}

uint16_t CSnowEffect::Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t*)
{
    if (!movie || !characterIdCounter) return 0;
    auto snow = std::make_unique<CTagDefineSprite>();
    spriteId_ = ++*characterIdCounter;
    snow->SetCharacterId(spriteId_);
    const uint16_t flake = BuildFlakeSprite(movie, characterIdCounter);
    for (int depth = 1; depth <= kFlakes; ++depth)
        snow->AddTag(effect_parts::NewPlacement(flake, uint16_t(depth), effect_parts::Identity()));
    snow->AddTag(new CTagShowFrame);
    movie->AddTag(snow.release());
    return spriteId_;
}
