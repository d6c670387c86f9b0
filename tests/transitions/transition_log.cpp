#include "transition_log.h"

#include <gtest/gtest.h>

#include "foundation/path.h"
#include "foundation/xml_reader.h"
#include "foundation/xml_writer.h"
#include "show/slide.h"
#include "support/test_support.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/reader.h"
#include "swf/shapes.h"
#include "swf/styles.h"

namespace tavrel_test {
namespace {

void SetUp(CSlide& slide, const LogSlide& s, uint16_t id, uint16_t depth)
{
    slide.SetCharacterId(id);
    slide.SetSize(s.width, s.height);
    slide.GetCameraPlacement() = CSlide::CameraPlacement{s.cx, s.cy, s.sx, s.sy};
    slide.SetDepth(depth);
}

void Outline(const CShapeWithStyle& shape, LoggedTag& out)
{
    int32_t x = 0, y = 0;
    for (const auto& r : shape.records) {
        if (auto* change = dynamic_cast<const CShapeRecordStyleChange*>(r.get())) {
            if (change->flags & swf_shape::kMoveTo) x = change->moveX, y = change->moveY;
        } else if (auto* edge = dynamic_cast<const CShapeRecordStraightEdge*>(r.get())) {
            x += edge->dx, y += edge->dy;
        } else {
            continue;
        }
        out.outline.emplace_back(x, y);
    }
}

}  // namespace

std::vector<LoggedTag> LogTransition(CTransition& t, const LogRun& run)
{
    TempDir dir;
    const std::string path = dir.file("log.swf");
    {
        CSwfMovie movie;
        movie.SetHeader(run.width * 20, run.height * 20, run.rate, 6);
        if (!movie.Open(CPath(path.c_str()), true)) {
            ADD_FAILURE() << "cannot open " << path;
            return {};
        }
        // The slides' characters need not exist: the log reads tags, no player runs it.
        CSlide previous(CSlide::kBlank, nullptr), slide(CSlide::kBlank, nullptr);
        uint16_t ids = 2, depths = 0;
        if (run.previous) SetUp(previous, *run.previous, 1, ++depths);
        SetUp(slide, run.next, 2, ++depths);
        movie.AddTag(new CTagFrameLabel("begin"));
        t.SetDuration(run.ms);
        t.GenerateSwf(&slide, run.previous ? &previous : nullptr, &movie, &ids, &depths);
        movie.AddTag(new CTagEnd);
        EXPECT_NE(movie.Close(), 0u);
    }
    return ReadLog(path, "begin");
}

std::vector<LoggedTag> ReadLog(const std::string& path, const char* afterLabel)
{
    std::vector<LoggedTag> tags;
    CSwfReader reader;
    if (!reader.Parse(CPath(path.c_str()), true, 0, true)) {
        ADD_FAILURE() << "our reader cannot read " << path;
        return tags;
    }
    bool begun = !afterLabel;
    for (CSwfTag* tag : reader.GetTags(nullptr)) {
        if (auto* label = dynamic_cast<CTagFrameLabel*>(tag); label && afterLabel && label->label == afterLabel) {
            begun = true;
            continue;
        }
        if (!begun || tag->GetTagCode() == swf_tag::kEnd) continue;
        LoggedTag e;
        e.code = tag->GetTagCode();
        if (auto* shape = dynamic_cast<CTagDefineShape*>(tag)) {
            e.defines = true;
            e.id = shape->GetCharacterId();
            if (shape->bounds) e.bounds = *shape->bounds;
            if (shape->shape) Outline(*shape->shape, e);
        } else if (auto* define = dynamic_cast<CSwfDefineTag*>(tag)) {
            e.defines = true;
            e.id = define->GetCharacterId();
        } else if (auto* place = dynamic_cast<CTagPlaceObject2*>(tag)) {
            e.depth = place->depth;
            e.move = place->move;
            e.hasCharacter = place->hasCharacter;
            e.id = place->hasCharacter ? place->characterId : 0;
            e.clipDepth = place->hasClipDepth ? place->clipDepth : 0;
            if (place->matrix) e.matrix = *place->matrix;
        } else if (auto* remove = dynamic_cast<CTagRemoveObject2*>(tag)) {
            e.depth = remove->depth;
        }
        tags.push_back(std::move(e));
    }
    reader.ClearTags(true);
    return tags;
}

std::string WrittenXml(const CTransition& t)
{
    TempDir dir;
    CXMLWriteOptions options;
    options.writeDeclaration = false;
    {
        CXMLOutputFile out;
        EXPECT_TRUE(out.Open(CPath(dir.file("w.xml")), options, true));
        t.WriteXml(out);
        EXPECT_TRUE(out.Close());
    }
    std::string text = ReadFile(dir.file("w.xml"));
    if (!text.empty()) text.pop_back();  // the close's own line feed
    return text;
}

void ReadXmlInto(const std::string& text, CTransition& t)
{
    TempDir dir;
    WriteFile(dir.file("r.xml"), text);
    CXMLDocument document;
    CXMLNode node;
    ASSERT_TRUE(document.Load(CPath(dir.file("r.xml"))) && document.GetFirstChild(node)) << text;
    EXPECT_TRUE(t.ReadXml(node));
}

std::vector<CSwfMatrix> MovesAt(const std::vector<LoggedTag>& tags, uint16_t depth)
{
    std::vector<CSwfMatrix> out;
    for (const LoggedTag& e : tags)
        if (e.code == swf_tag::kPlaceObject2 && e.move && e.depth == depth && e.matrix) out.push_back(*e.matrix);
    return out;
}

const LoggedTag* PlacedAt(const std::vector<LoggedTag>& tags, uint16_t depth)
{
    for (const LoggedTag& e : tags)
        if (e.code == swf_tag::kPlaceObject2 && !e.move && e.depth == depth) return &e;
    return nullptr;
}

namespace {

std::string Word(const LoggedTag& e)
{
    if (e.code == swf_tag::kShowFrame) return "F";
    if (e.defines) return "S";
    const std::string depth = std::to_string(e.depth);
    switch (e.code) {
        case swf_tag::kRemoveObject2:
            return "R:" + depth;
        case swf_tag::kPlaceObject2:
            return (e.move ? "M:" : "P:") + depth + (e.clipDepth ? ">" + std::to_string(e.clipDepth) : "");
        default:
            return std::to_string(e.code);
    }
}

}  // namespace

std::string Words(const std::vector<LoggedTag>& tags)
{
    std::string out;
    for (const LoggedTag& e : tags) out += (out.empty() ? "" : " ") + Word(e);
    return out;
}

}  // namespace tavrel_test
