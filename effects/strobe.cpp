#include "effects/strobe.h"

#include "effects/script_builder.h"
#include "effects/sprite_parts.h"
#include "swf/control_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"

using namespace effect_parts;

namespace {

// The movie's frame in opaque white, drawn from its bottom-right corner.
CTagDefineShape* MakeFlash(uint16_t id, int32_t width, int32_t height)
{
    CTagDefineShape* flash = NewShape(id, 0, 0, width, height, CFillStyle::MakeSolid(0xFFFFFF));
    CShapeWithStyle& shape = *flash->shape;
    StartOutline(shape, width, height, 1, 0);
    AddEdges(shape, {{-width, 0}, {0, -height}, {width, 0}, {0, height}});
    shape.AddEnd();
    return flash;
}

}  // namespace

uint16_t CStrobeEffect::Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t*)
{
    if (!movie || !characterIdCounter) return 0;
    // The sprite takes its id first but is written after its rectangle.
    auto sprite = std::make_unique<CTagDefineSprite>();
    spriteId_ = ++*characterIdCounter;
    sprite->SetCharacterId(spriteId_);
    const uint16_t flashId = ++*characterIdCounter;
    movie->AddTag(MakeFlash(flashId, movie->GetWidth(), movie->GetHeight()));

    // Covered, uncovered, covered again; then round to the first frame.
    sprite->AddTag(NewPlacement(flashId, 1, Identity()));
    sprite->AddTag(new CTagShowFrame);
    sprite->AddTag(NewMove(1, nullptr, Alpha(0)));
    sprite->AddTag(new CTagShowFrame);
    sprite->AddTag(NewMove(1, nullptr, Alpha(256)));
    sprite->AddTag(CScriptBuilder().GotoFrame(0).Play().Release());
    sprite->AddTag(new CTagShowFrame);

    movie->AddTag(sprite.release());
    return spriteId_;
}
