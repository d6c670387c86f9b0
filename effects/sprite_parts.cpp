#include "effects/sprite_parts.h"

#include "swf/control_tags.h"

namespace effect_parts {

CTagPlaceObject2* NewPlacement(uint16_t characterId, uint16_t depth, CSwfMatrix* matrix)
{
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(characterId);
    place->depth = depth;
    place->SetMatrix(matrix);
    return place;
}

CTagPlaceObject2* NewMove(uint16_t depth, CSwfMatrix* matrix, CSwfCxformWithAlpha* cxform)
{
    auto* move = new CTagPlaceObject2;
    move->move = true;
    move->depth = depth;
    move->SetMatrix(matrix);
    move->SetCxform(cxform);
    return move;
}

CSwfMatrix* Identity() { return new CSwfMatrix; }

CSwfMatrix* Scale(int32_t scale)
{
    auto* m = new CSwfMatrix;
    m->hasScale = true;
    m->scaleX = m->scaleY = scale;
    return m;
}

CSwfMatrix* Translate(int32_t x, int32_t y)
{
    auto* m = new CSwfMatrix;
    m->translateX = x;
    m->translateY = y;
    return m;
}

CSwfCxformWithAlpha* Alpha(int alpha)
{
    auto* cxform = new CSwfCxformWithAlpha;
    cxform->SetMult(256, 256, 256, alpha);
    return cxform;
}

CTagDefineSprite* ShapeSprite(uint16_t spriteId, uint16_t shapeId)
{
    auto* sprite = new CTagDefineSprite;
    sprite->SetCharacterId(spriteId);
    sprite->AddTag(NewPlacement(shapeId, 1, Identity()));
    sprite->AddTag(new CTagShowFrame);
    return sprite;
}

}  // namespace effect_parts
