#include "effects/strobe.h"

#include "effects/sprite_parts.h"
#include "swf/actions.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/sprite.h"

namespace {

// The movie's frame in opaque white, drawn from its bottom-right corner.
CTagDefineShape* MakeFlash(uint16_t id, int32_t width, int32_t height)
{
    CTagDefineShape* flash = effect_parts::NewShape(id, 0, 0, width, height, CFillStyle::MakeSolid(0xFFFFFF));
    CShapeWithStyle* shape = flash->shape.get();
    CShapeRecordStyleChange* start = shape->AddMoveTo(width, height);
    start->fillStyle1 = 1;
    start->SetFlags(swf_shape::kMoveTo | swf_shape::kFillStyle1);
    shape->AddHorizontalLine(-width);
    shape->AddVerticalLine(-height);
    shape->AddHorizontalLine(width);
    shape->AddVerticalLine(height);
    shape->AddEnd();
    return flash;
}

// Frames 2 and 3 change only the rectangle's alpha.
CTagPlaceObject2* MoveWithAlpha(int alpha)
{
    auto* move = new CTagPlaceObject2;
    move->move = true;
    move->depth = 1;
    auto* cxform = new CSwfCxformWithAlpha;
    cxform->SetMult(256, 256, 256, alpha);
    move->SetCxform(cxform);
    return move;
}

}  // namespace

uint16_t CStrobeEffect::Build(CSwfMovie* movie, uint16_t* characterIdCounter, uint16_t*)
{
    if (!movie || !characterIdCounter) return 0;
    auto sprite = std::make_unique<CTagDefineSprite>();
    spriteId_ = ++*characterIdCounter;
    sprite->SetCharacterId(spriteId_);
    const uint16_t flashId = ++*characterIdCounter;
    movie->AddTag(MakeFlash(flashId, movie->GetWidth(), movie->GetHeight()));

    auto* show = new CTagPlaceObject2;
    show->SetCharacterId(flashId);
    show->depth = 1;
    show->SetMatrix(new CSwfMatrix);  // the identity
    sprite->AddTag(show);
    sprite->AddTag(new CTagShowFrame);

    sprite->AddTag(MoveWithAlpha(0));
    sprite->AddTag(new CTagShowFrame);

    sprite->AddTag(MoveWithAlpha(256));
    auto* loop = new CTagDoAction;
    loop->AddAction(new CActionGotoFrame(0));
    loop->AddAction(new CActionPlay);
    sprite->AddTag(loop);
    sprite->AddTag(new CTagShowFrame);

    movie->AddTag(sprite.release());
    return spriteId_;
}
