#include "effects/sprite_parts.h"

#include "effects/script_builder.h"
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

namespace {

// The index width an effect gives the kind of style it draws with.
constexpr uint8_t kIndexBits = 15;

CTagDefineShape* StyledShape(CTagDefineShape* tag, uint16_t id, int32_t xmin, int32_t ymin, int32_t xmax,
                             int32_t ymax, std::unique_ptr<CFillStyle> fill, std::unique_ptr<CLineStyle> line)
{
    tag->SetCharacterId(id);
    tag->bounds = std::make_unique<CSwfRect>();
    tag->bounds->Set(xmin, ymin, xmax, ymax, false);
    tag->shape = std::make_unique<CShapeWithStyle>();
    CShapeWithStyle& shape = *tag->shape;
    shape.SetBits(fill ? kIndexBits : 0, line ? kIndexBits : 0);
    if (fill) {
        shape.fillStyles = std::make_unique<CFillStyleArray>(fill->alpha);
        shape.fillStyles->Append(std::move(fill));
    }
    if (line) {
        shape.lineStyles = std::make_unique<CLineStyleArray>(line->alpha);
        shape.lineStyles->Append(std::move(line));
    }
    return tag;
}

}  // namespace

CTagDefineShape* NewShape(uint16_t id, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax,
                          std::unique_ptr<CFillStyle> fill, CTagDefineShape* tag)
{
    return StyledShape(tag ? tag : new CTagDefineShape, id, xmin, ymin, xmax, ymax, std::move(fill), nullptr);
}

CTagDefineShape* NewShape(uint16_t id, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax,
                          std::unique_ptr<CLineStyle> line)
{
    return StyledShape(new CTagDefineShape, id, xmin, ymin, xmax, ymax, nullptr, std::move(line));
}

CShapeRecordStyleChange* StartOutline(CShape& shape, int32_t x, int32_t y, uint16_t fillStyle1, uint16_t lineStyle)
{
    CShapeRecordStyleChange* start = shape.AddMoveTo(x, y);
    start->SetFillStyle(fillStyle1, 1);
    start->SetLineStyle(lineStyle);
    start->ComputeFlags();
    return start;
}

void AddEdges(CShape& shape, const std::vector<std::vector<int32_t>>& edges)
{
    for (const auto& e : edges) {
        if (e.size() == 4)
            shape.AddCurve(e[0], e[1], e[2], e[3]);
        else if (e.size() != 2)
            continue;
        else if (e[1] == 0)
            shape.AddHorizontalLine(e[0]);
        else if (e[0] == 0)
            shape.AddVerticalLine(e[1]);
        else
            shape.AddLine(e[0], e[1]);
    }
}

CTagDefineSprite* StoppingField(uint16_t id, uint16_t placedId, int count, const std::function<int(int)>& framesAfter)
{
    auto* field = new CTagDefineSprite;
    field->SetCharacterId(id);
    for (int depth = 1; depth <= count; ++depth) {
        field->AddTag(NewPlacement(placedId, uint16_t(depth), nullptr));
        for (int i = framesAfter(depth); i > 0; --i) field->AddTag(new CTagShowFrame);
    }
    field->AddTag(CScriptBuilder().Stop().Release());
    field->AddTag(new CTagShowFrame);
    return field;
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
