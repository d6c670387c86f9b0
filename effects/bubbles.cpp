#include "effects/bubbles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "effects/script_builder.h"
#include "effects/sprite_parts.h"
#include "swf/control_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"

using namespace effect_parts;

namespace {

constexpr int kBubbles = 20;

// Frame 1 of a rising bubble: a random column just below the stage and a
// random size of 10-99 %.
CTagDoAction* MakeRiseScript(int width, int height)
{
    CScriptBuilder s;
    s.SetTarget("");
    s.Push("").Push("0").Push(width / 20).RandomNumber().SetProperty();
    s.Push("").Push("1").Push(height / 20 + 20).SetProperty();
    s.Push("bubble_scale").Push("90").RandomNumber().Push("10").Add().SetVariable();
    s.Push("").Push("2").Push("bubble_scale").GetVariable().SetProperty();
    s.Push("").Push("3").Push("bubble_scale").GetVariable().SetProperty();
    s.SetTarget("");
    return s.Release();
}

// One bubble's five seconds of frames: invisible in frame 1, then fading in
// while it climbs and sways through about one sine period; the last frame
// starts it again.
CTagDefineSprite* MakeRisingSprite(uint16_t id, uint16_t bubbleId, int frames, int width, int height)
{
    auto* sprite = new CTagDefineSprite;
    sprite->SetCharacterId(id);
    CTagPlaceObject2* first = NewPlacement(bubbleId, 1, Identity());
    first->SetCxform(Alpha(0));
    sprite->AddTag(first);
    sprite->AddTag(MakeRiseScript(width, height));
    sprite->AddTag(new CTagShowFrame);

    // Accumulated, not recomputed per frame, so the path is the same on
    // every build of the same size and rate.
    const double step = (height + 400) / 120.0;
    const double da = 6.0 / frames, dt = 1.0 / frames;
    double a = 0, x = 0, t = 0;
    for (int k = 0; k < frames; ++k) {
        t = std::min(t + dt, 1.0);
        const auto tx = int32_t(x * 20.0 * step);
        const auto ty = int32_t(a * -20.0 * step);
        const auto alpha = int16_t(t * 256.0 + 0.5);
        sprite->AddTag(NewMove(1, Translate(tx, ty), Alpha(alpha)));
        sprite->AddTag(new CTagShowFrame);
        a += da;
        x = 0.4 * double(std::sin(float(a)));
    }
    sprite->AddTag(CScriptBuilder().GotoFrame(0).Play().Release());
    sprite->AddTag(new CTagShowFrame);
    return sprite;
}

}  // namespace

CTagDefineShape* CBubblesEffect::BuildBubbleShape(uint16_t id, int, int)
{
    // A circle of about 581 twips, clockwise on screen from its upper right.
    static constexpr int32_t kCurves[][4] = {
        {170, 170, 0, 240},    {0, 240, -170, 171}, {-171, 170, -240, 0}, {-240, 0, -170, -170},
        {-171, -171, 1, -240}, {-1, -240, 171, -170}, {170, -171, 240, 1}, {240, -1, 171, 171},
    };
    // White highlight up and to the left, blue towards the rim.
    auto fill = std::make_unique<CFillStyle>(swf_fill::kRadialGradient, 0);
    fill->matrix = std::unique_ptr<CSwfMatrix>(Scale(4456));
    fill->matrix->translateX = -258;
    fill->matrix->translateY = -459;
    fill->gradient = std::make_unique<CSwfGradient>();
    fill->gradient->Append(std::make_unique<CSwfGradRecord>(0, 0xFFFFFF, 0));
    fill->gradient->Append(std::make_unique<CSwfGradRecord>(166, 0xFF9900, 0));  // RGB 0, 153, 255

    CTagDefineShape* bubble = NewShape(id, -600, -600, 600, 600, std::move(fill));
    CShapeWithStyle& shape = *bubble->shape;
    StartOutline(shape, 411, -410, 1, 0);
    for (const auto& c : kCurves) shape.AddCurve(c[0], c[1], c[2], c[3]);
    shape.AddEnd();
    return bubble;
}

uint16_t CBubblesEffect::Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t*)
{
    if (!movie || !characterIdCounter) return 0;
    // The field takes its id first but is written last, after what it places.
    spriteId_ = ++*characterIdCounter;
    const int width = movie->GetWidth(), height = movie->GetHeight();
    const uint16_t shapeId = ++*characterIdCounter;
    movie->AddTag(BuildBubbleShape(shapeId, width, height));
    const uint16_t bubbleId = ++*characterIdCounter;
    movie->AddTag(ShapeSprite(bubbleId, shapeId));

    const uint16_t risingId = ++*characterIdCounter;
    const int frames = int(movie->GetFrameRate() * 5.0f);
    movie->AddTag(MakeRisingSprite(risingId, bubbleId, frames, width, height));
    // Each bubble enters after a random delay below one second. Below one
    // frame a second no delay can be drawn: the bubbles all enter at once
    // rather than dividing by zero.
    const int perSecond = int(movie->GetFrameRate());
    movie->AddTag(StoppingField(spriteId_, risingId, kBubbles,
                                [perSecond](int) { return perSecond > 0 ? std::rand() % perSecond : 0; }));
    return spriteId_;
}
