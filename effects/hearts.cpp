#include "effects/hearts.h"

#include <algorithm>
#include <cstdlib>

#include "effects/script_builder.h"
#include "effects/sprite_parts.h"
#include "swf/control_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"

using namespace effect_parts;

namespace {

constexpr int kHearts = 20;

// A red heart about 33 pixels across, point down, centred on its origin.
CTagDefineShape* MakeHeart(uint16_t id)
{
    static constexpr int32_t kCurves[][4] = {
        {52, -30, 56, 16},   {44, 12, 47, 43},    {44, 38, -2, 10},       {50, -79, 73, -18},  {71, -17, 59, 35},
        {76, 42, -11, 93},   {-15, 138, -301, 337}, {-205, -201, -65, -96}, {-67, -101, 17, -97}, {17, -90, 60, -35},
    };
    // Red, as 0x00BBGGRR.
    CTagDefineShape* heart = NewShape(id, -330, -331, 330, 331, CFillStyle::MakeSolid(0x0000FF));
    CShapeWithStyle& shape = *heart->shape;
    StartOutline(shape, -240, -301, 1, 0);
    for (const auto& c : kCurves) shape.AddCurve(c[0], c[1], c[2], c[3]);
    shape.AddEnd();
    return heart;
}

// Frame 1 of a heart: a random place, size, angle below maxTurn degrees and
// opacity of 10 % plus a random amount below extraAlpha.
CTagDoAction* MakeHeartScript(int width, int height, int maxTurn, int extraAlpha)
{
    CScriptBuilder s;
    s.SetTarget("");
    s.Push("").Push("0").Push(width / 20).RandomNumber().SetProperty();
    s.Push("").Push("1").Push(height / 20).RandomNumber().SetProperty();
    s.Push("heart_scale").Push("90").RandomNumber().Push("10").Add().SetVariable();
    s.Push("").Push("2").Push("heart_scale").GetVariable().SetProperty();
    s.Push("").Push("3").Push("heart_scale").GetVariable().SetProperty();
    s.Push("").Push("10").Push(maxTurn).RandomNumber().SetProperty();
    s.Push("").Push("6").Push(extraAlpha).RandomNumber().Push("10").Add().SetProperty();
    s.SetTarget("");
    return s.Release();
}

// One heart: invisible in frame 1, then grown to full size over one second
// of frames and shrunk back over the next. It loops without a script.
CTagDefineSprite* MakeHeartSprite(uint16_t id, uint16_t shapeId, int framesPerSecond, CTagDoAction* script)
{
    auto* sprite = new CTagDefineSprite;
    sprite->SetCharacterId(id);
    sprite->AddTag(NewPlacement(shapeId, 1, Scale(0)));
    sprite->AddTag(script);
    sprite->AddTag(new CTagShowFrame);
    if (framesPerSecond <= 0) return sprite;
    const double step = 1.0 / framesPerSecond;
    double s = 0.0;
    for (int grow = 1; grow >= 0; --grow) {
        for (int i = 0; i < framesPerSecond; ++i) {
            s = grow ? std::min(s + step, 1.0) : std::max(s - step, 0.0);
            sprite->AddTag(NewMove(1, Scale(int32_t(s * 65536 + 0.5)), nullptr));
            sprite->AddTag(new CTagShowFrame);
        }
    }
    return sprite;
}

}  // namespace

uint16_t CHeartsEffect::Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t*)
{
    if (!movie || !characterIdCounter) return 0;
    const int framesPerSecond = int(movie->GetFrameRate());
    const uint16_t shapeId = ++*characterIdCounter;
    movie->AddTag(MakeHeart(shapeId));
    const uint16_t heartId = ++*characterIdCounter;
    // One draw each per movie: every heart of it shares the two limits.
    const int maxTurn = std::abs(std::rand() % 360);
    const int extraAlpha = std::abs(std::rand() % 90);
    CTagDoAction* script = MakeHeartScript(movie->GetWidth(), movie->GetHeight(), maxTurn, extraAlpha);
    movie->AddTag(MakeHeartSprite(heartId, shapeId, framesPerSecond, script));

    spriteId_ = ++*characterIdCounter;
    // Ten hearts a frame apart, a second's pause, ten more, then a stop.
    movie->AddTag(StoppingField(spriteId_, heartId, kHearts,
                                [&](int depth) { return depth == kHearts / 2 ? 1 + framesPerSecond : 1; }));
    return spriteId_;
}
