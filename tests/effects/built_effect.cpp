#include "built_effect.h"

#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"

namespace effect_test {

BuiltEffect::~BuiltEffect()
{
    if (reader) reader->ClearTags(true);
}

const CSwfTag* BuiltEffect::Defining(uint16_t id) const
{
    for (const CSwfTag* tag : tags)
        if (auto* d = dynamic_cast<const CSwfDefineTag*>(tag); d && d->GetCharacterId() == id) return tag;
    return nullptr;
}

const CTagDefineSprite* BuiltEffect::Sprite(uint16_t id) const
{
    return dynamic_cast<const CTagDefineSprite*>(Defining(id));
}

const CTagDefineShape* BuiltEffect::Shape(uint16_t id) const
{
    return dynamic_cast<const CTagDefineShape*>(Defining(id));
}

bool BuildAlone(COverlayEffect& effect, const std::string& path, float rate, int width, int height, uint16_t ids,
                BuiltEffect* out)
{
    out->path = path;
    {
        CSwfMovie movie;
        movie.SetHeader(width, height, rate, 6);
        if (!movie.Open(CPath(path), true)) return false;
        movie.AddTag(new CTagSetBackgroundColor(0x10, 0x20, 0x30));
        uint16_t depths = 5;
        out->returned = effect.Build(&movie, &ids, &depths);
        out->idsAfter = ids;
        out->depthsAfter = depths;
        if (out->returned) effect.Place(&movie, 6);
        movie.AddTag(new CTagShowFrame);
        movie.AddTag(new CTagEnd);
        if (movie.Failed() || movie.Close() == 0) return false;
    }
    out->reader = std::make_unique<CSwfReader>();
    if (!out->reader->Parse(CPath(path), true, 0, true)) return false;
    for (const CSwfTag* tag : out->reader->GetTags(nullptr))
        if (tag->GetTagCode() != swf_tag::kSetBackgroundColor) out->tags.push_back(tag);
    return true;
}

std::vector<const CSwfTag*> Timeline(const CTagDefineSprite& sprite)
{
    std::vector<const CSwfTag*> tags;
    for (const CSwfTag* tag : sprite.tags)
        if (tag->GetTagCode() != swf_tag::kEnd) tags.push_back(tag);
    return tags;
}

double SubPath::Area() const
{
    double twice = 0;
    for (size_t i = 0; i + 1 < points.size(); ++i)
        twice += double(points[i].first) * points[i + 1].second - double(points[i + 1].first) * points[i].second;
    return twice / 2;
}

std::vector<SubPath> SubPaths(const CShape& shape)
{
    std::vector<SubPath> paths;
    int32_t x = 0, y = 0;
    for (const auto& record : shape.records) {
        if (auto* move = dynamic_cast<const CShapeRecordStyleChange*>(record.get())) {
            if (!(move->flags & swf_shape::kMoveTo)) continue;
            SubPath path;
            x = path.x = move->moveX;
            y = path.y = move->moveY;
            path.flags = move->flags;
            path.fill0 = move->fillStyle0;
            path.fill1 = move->fillStyle1;
            path.line = move->lineStyle;
            path.points.push_back({x, y});
            paths.push_back(path);
            continue;
        }
        if (paths.empty()) continue;
        SubPath& path = paths.back();
        if (auto* line = dynamic_cast<const CShapeRecordStraightEdge*>(record.get())) {
            // The kind as the bits were read: level and upright edges carry one delta.
            if (line->kind == swf_shape::kHorizontal)
                ++path.horizontal;
            else if (line->kind == swf_shape::kVertical)
                ++path.vertical;
            else
                ++path.lines;
            x += line->dx;
            y += line->dy;
            path.points.push_back({x, y});
        } else if (auto* curve = dynamic_cast<const CShapeRecordCurvedEdge*>(record.get())) {
            ++path.curves;
            x += curve->controlDx;
            y += curve->controlDy;
            path.points.push_back({x, y});
            x += curve->anchorDx;
            y += curve->anchorDy;
            path.points.push_back({x, y});
        }
        path.endX = x;
        path.endY = y;
    }
    return paths;
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
    auto* branch = dynamic_cast<const CSwfBranchAction*>(script.actions[index].get());
    if (!branch) return -1;
    const int target = at[index] + branch->GetSize() + branch->branchOffset;
    if (target == total) return int(at.size());
    for (size_t i = 0; i < at.size(); ++i)
        if (at[i] == target) return int(i);
    return -1;
}

std::vector<std::string> PushedTexts(const CTagDoAction& script)
{
    std::vector<std::string> texts;
    for (const auto& action : script.actions)
        if (auto* push = dynamic_cast<const CActionPush*>(action.get()))
            for (const auto& value : push->values)
                if (value.type == CActionPush::kString) texts.push_back(value.text);
    return texts;
}

}  // namespace effect_test
