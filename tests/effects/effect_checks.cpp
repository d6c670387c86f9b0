#include "effect_checks.h"

#include <gtest/gtest.h>

#include <map>

#include "foundation/path.h"
#include "swf/control_tags.h"
#include "swf/movie.h"

namespace effect_test {

const CSwfDefineTag* BuiltEffect::Find(uint16_t id) const
{
    for (CSwfTag* tag : const_cast<CSwfReader&>(reader).GetTags(nullptr))
        if (auto* define = dynamic_cast<const CSwfDefineTag*>(tag); define && define->GetCharacterId() == id)
            return define;
    return nullptr;
}

const CTagDefineSprite* BuiltEffect::Sprite(uint16_t id) const
{
    return dynamic_cast<const CTagDefineSprite*>(Find(id));
}

const CTagDefineShape* BuiltEffect::Shape(uint16_t id) const { return dynamic_cast<const CTagDefineShape*>(Find(id)); }

std::unique_ptr<BuiltEffect> BuildAlone(COverlayEffect& effect, const std::string& path, int width, int height,
                                        float rate, uint16_t firstId, uint16_t depths)
{
    auto built = std::make_unique<BuiltEffect>();
    built->path = path;
    {
        CSwfMovie movie;
        movie.SetHeader(width, height, rate, 6);
        if (!movie.Open(CPath(path.c_str()), true)) {
            ADD_FAILURE() << "cannot open " << path;
            return built;
        }
        uint16_t ids = firstId, depthCounter = depths;
        built->returned = effect.Build(&movie, &ids, &depthCounter);
        built->idsAfter = ids;
        built->depthsAfter = depthCounter;
        if (built->returned) effect.Place(&movie, 1);
        movie.AddTag(new CTagShowFrame);
        movie.AddTag(new CTagEnd);
        EXPECT_FALSE(movie.Failed());
        EXPECT_NE(movie.Close(), 0);
    }
    if (!built->reader.Parse(CPath(path.c_str()), true, 0, true)) {
        ADD_FAILURE() << "our reader cannot read " << path;
        return built;
    }
    for (CSwfTag* tag : built->reader.GetTags(nullptr))
        if (auto* define = dynamic_cast<CSwfDefineTag*>(tag)) built->written.push_back(define->GetCharacterId());
    return built;
}

std::vector<std::string> Tokens(const CTagDoAction& script)
{
    static const std::map<int, const char*> kNames = {
        {0x06, "Play"},        {0x07, "Stop"},        {0x0A, "Add"},          {0x0B, "Subtract"},
        {0x0C, "Multiply"},    {0x0D, "Divide"},      {0x0E, "Equals"},       {0x0F, "Less"},
        {0x12, "Not"},         {0x17, "Pop"},         {0x1C, "GetVariable"},  {0x1D, "SetVariable"},
        {0x22, "GetProperty"}, {0x23, "SetProperty"}, {0x30, "RandomNumber"},
    };
    std::vector<std::string> tokens;
    for (const auto& action : script.actions) {
        const int code = action->GetActionCode();
        std::string token;
        if (auto* push = dynamic_cast<const CActionPush*>(action.get())) {
            for (const auto& v : push->values) {
                if (!token.empty()) token += " ";
                if (v.type == CActionPush::kString)
                    token += "'" + v.text + "'";
                else if (v.type == CActionPush::kFloat)
                    token += "f:" + std::to_string(int(v.f)) + (float(int(v.f)) == v.f ? "" : "~");
                else
                    token += "?" + std::to_string(v.type);
            }
        } else if (auto* go = dynamic_cast<const CActionGotoFrame*>(action.get())) {
            token = "goto:" + std::to_string(go->frame);
        } else if (auto* target = dynamic_cast<const CActionSetTarget*>(action.get())) {
            token = "target:" + target->target;
        } else if (auto* branch = dynamic_cast<const CSwfBranchAction*>(action.get())) {
            token = (code == 0x9D ? "if:" : "jump:") + std::to_string(branch->branchOffset);
        } else if (auto name = kNames.find(code); name != kNames.end()) {
            token = name->second;
        } else {
            token = "code:" + std::to_string(code);
        }
        tokens.push_back(token);
    }
    return tokens;
}

std::vector<std::string> Effects(const CTagDoAction& script)
{
    std::vector<std::string> effects, stack;
    auto pop = [&stack] {
        if (stack.empty()) return std::string("<empty>");
        std::string top = stack.back();
        stack.pop_back();
        return top;
    };
    for (const std::string& token : Tokens(script)) {
        if (token.front() == '\'') {
            stack.push_back(token.substr(1, token.size() - 2));
        } else if (token == "RandomNumber") {
            stack.push_back("rand(" + pop() + ")");
        } else if (token == "GetVariable") {
            stack.push_back("$" + pop());
        } else if (token == "Add") {
            const std::string b = pop(), a = pop();
            stack.push_back("(" + a + "+" + b + ")");
        } else if (token == "SetVariable") {
            const std::string value = pop(), name = pop();
            effects.push_back(name + "=" + value);
        } else if (token == "SetProperty") {
            const std::string value = pop(), index = pop(), target = pop();
            effects.push_back(target + "." + index + "=" + value);
        } else if (token.rfind("target:", 0) != 0) {
            effects.push_back("unexpected " + token);
        }
    }
    if (!stack.empty()) effects.push_back("left on the stack: " + std::to_string(stack.size()));
    return effects;
}

int FrameOf(const CTagDefineSprite& sprite, const CSwfTag* tag)
{
    int frame = 1;
    for (const CSwfTag* t : sprite.tags) {
        if (t == tag) return frame;
        frame += t->GetTagCode() == swf_tag::kShowFrame;
    }
    return 0;
}

std::vector<const CTagPlaceObject2*> Placements(const CTagDefineSprite& sprite)
{
    std::vector<const CTagPlaceObject2*> out;
    for (const CSwfTag* tag : sprite.tags)
        if (auto* place = dynamic_cast<const CTagPlaceObject2*>(tag)) out.push_back(place);
    return out;
}

std::vector<const CTagDoAction*> Scripts(const CTagDefineSprite& sprite)
{
    std::vector<const CTagDoAction*> out;
    for (const CSwfTag* tag : sprite.tags)
        if (auto* script = dynamic_cast<const CTagDoAction*>(tag)) out.push_back(script);
    return out;
}

std::vector<SubPath> SubPaths(const CShape& shape)
{
    std::vector<SubPath> paths;
    int32_t x = 0, y = 0;
    for (const auto& record : shape.records) {
        if (auto* change = dynamic_cast<const CShapeRecordStyleChange*>(record.get())) {
            if (!(change->flags & swf_shape::kMoveTo)) continue;
            x = change->moveX, y = change->moveY;
            SubPath& path = paths.emplace_back();
            path.x = path.endX = x, path.y = path.endY = y;
            path.flags = change->flags;
            path.fill0 = change->fillStyle0, path.fill1 = change->fillStyle1, path.line = change->lineStyle;
            path.points.push_back({x, y});
            continue;
        }
        if (paths.empty()) paths.emplace_back();  // edges from the origin
        SubPath& path = paths.back();
        if (auto* line = dynamic_cast<const CShapeRecordStraightEdge*>(record.get())) {
            path.kinds += line->kind == swf_shape::kHorizontal ? 'h' : line->kind == swf_shape::kVertical ? 'v' : 'g';
            x += line->dx, y += line->dy;
        } else if (auto* curve = dynamic_cast<const CShapeRecordCurvedEdge*>(record.get())) {
            path.kinds += 'c';
            path.points.push_back({x + curve->controlDx, y + curve->controlDy});
            x += curve->controlDx + curve->anchorDx, y += curve->controlDy + curve->anchorDy;
        } else {
            continue;
        }
        path.points.push_back({x, y});
        path.endX = x, path.endY = y;
    }
    return paths;
}

double SubPath::Area() const
{
    double twice = 0;
    for (size_t i = 0; i + 1 < points.size(); ++i)
        twice += double(points[i].first) * points[i + 1].second - double(points[i + 1].first) * points[i].second;
    return twice / 2;
}

std::vector<const CSwfTag*> Timeline(const CTagDefineSprite& sprite)
{
    std::vector<const CSwfTag*> tags;
    for (const CSwfTag* tag : sprite.tags)
        if (tag->GetTagCode() != swf_tag::kEnd) tags.push_back(tag);
    return tags;
}

std::vector<std::string> Describe(const CTagDefineSprite& sprite)
{
    std::vector<std::string> texts;
    auto pair = [](int32_t a, int32_t b) { return std::to_string(a) + "," + std::to_string(b); };
    for (const CSwfTag* tag : Timeline(sprite)) {
        std::string text;
        if (auto* p = dynamic_cast<const CTagPlaceObject2*>(tag)) {
            text = (p->move ? "move" : "place " + std::to_string(p->characterId)) + " @" + std::to_string(p->depth);
            if (p->hasClipDepth) text += " clip " + std::to_string(p->clipDepth);
            if (const CSwfMatrix* m = p->matrix.get()) {
                text += " m";
                if (m->hasScale) text += " s" + pair(m->scaleX, m->scaleY);
                if (m->hasRotate) text += " r" + pair(m->rotateSkew0, m->rotateSkew1);
                if (m->translateX || m->translateY) text += " t" + pair(m->translateX, m->translateY);
            }
            if (p->hasName) text += " name " + p->name;
            if (const CSwfCxformWithAlpha* c = p->cxform.get())
                text += " tint " + pair(c->redMult, c->greenMult) + "," + pair(c->blueMult, c->alphaMult) +
                        (c->hasAdd ? " add" : "");
        } else if (auto* r = dynamic_cast<const CTagRemoveObject2*>(tag)) {
            text = "remove @" + std::to_string(r->depth);
        } else {
            text = tag->GetTagCode() == swf_tag::kShowFrame ? "frame"
                   : tag->GetTagCode() == swf_tag::kDoAction ? "script"
                                                             : "tag " + std::to_string(tag->GetTagCode());
        }
        texts.push_back(text);
    }
    return texts;
}

std::vector<int> ActionPositions(const CTagDoAction& script, int* total)
{
    std::vector<int> at;
    int position = 0;
    for (const auto& action : script.actions) {
        at.push_back(position);
        position += action->GetSize();
    }
    if (total) *total = position;
    return at;
}

int LandsOn(const CTagDoAction& script, size_t index)
{
    int total = 0;
    const std::vector<int> at = ActionPositions(script, &total);
    auto* branch = index < at.size() ? dynamic_cast<const CSwfBranchAction*>(script.actions[index].get()) : nullptr;
    if (!branch) return -1;
    const int target = at[index] + branch->GetSize() + branch->branchOffset;
    if (target == total) return int(at.size());
    const auto hit = std::find(at.begin(), at.end(), target);
    return hit == at.end() ? -1 : int(hit - at.begin());
}

}  // namespace effect_test
