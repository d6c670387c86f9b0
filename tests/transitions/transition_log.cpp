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

namespace tavrel_test {
namespace {

void SetUp(CSlide& slide, const LogSlide& s, uint16_t id, uint16_t depth)
{
    slide.SetCharacterId(id);
    slide.SetSize(s.width, s.height);
    slide.GetCameraPlacement() = CSlide::CameraPlacement{s.cx, s.cy, s.sx, s.sy};
    slide.SetDepth(depth);
}

}  // namespace

std::vector<TagEvent> LogTransition(CTransition& t, const LogRun& run, CSlide::CameraPlacement* after)
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
        if (after) *after = slide.GetCameraPlacement();
        movie.AddTag(new CTagEnd);
        EXPECT_NE(movie.Close(), 0u);
    }
    return ReadWrittenTags(path, "begin");
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

std::vector<CSwfMatrix> MovesAt(const std::vector<TagEvent>& tags, uint16_t depth)
{
    std::vector<CSwfMatrix> out;
    for (const TagEvent& e : tags)
        if (e.code == swf_tag::kPlaceObject2 && e.move && e.depth == depth && e.hasMatrix) out.push_back(e.matrix);
    return out;
}

const TagEvent* PlacedAt(const std::vector<TagEvent>& tags, uint16_t depth)
{
    for (const TagEvent& e : tags)
        if (e.code == swf_tag::kPlaceObject2 && !e.move && e.depth == depth) return &e;
    return nullptr;
}

namespace {

std::string Word(const TagEvent& e)
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

std::string Words(const std::vector<TagEvent>& tags)
{
    std::string out;
    for (const TagEvent& e : tags) out += (out.empty() ? "" : " ") + Word(e);
    return out;
}

}  // namespace tavrel_test
