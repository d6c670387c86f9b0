#include "motion_runner.h"

#include <gtest/gtest.h>

#include "foundation/path.h"
#include "platform/cfstring.h"
#include "support/test_support.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/object.h"
#include "swf/reader_primitives.h"
#include "swf/shapes.h"
#include "swf/styles.h"

namespace tavrel_test {

std::vector<MotionTag> MotionRun::MovesAt(uint16_t depth) const
{
    std::vector<MotionTag> out;
    for (const MotionTag& t : tags)
        if (t.code == swf_tag::kPlaceObject2 && t.move && t.depth == depth) out.push_back(t);
    return out;
}

int MotionRun::Frames() const
{
    int n = 0;
    for (const MotionTag& t : tags) n += t.code == swf_tag::kShowFrame;
    return n;
}

namespace {

uint16_t DefineRect(CSwfMovie& movie, uint16_t* ids, uint32_t bgr, int width, int height)
{
    const uint16_t id = ++*ids;
    auto* shape = new CTagDefineShape;
    shape->SetCharacterId(id);
    const int w = width * 20, h = height * 20;
    shape->BuildRect(-(w >> 1), -(h >> 1), w, h, CFillStyle::MakeSolid(bgr), nullptr);
    movie.AddTag(shape);
    return id;
}

void SetUp(CSlide& s, const MotionSlide& m, uint16_t id, uint16_t depth)
{
    s.SetCharacterId(id);
    s.SetWidth(m.width);
    s.SetHeight(m.height);
    s.ResetTransform();
    CSlide::CameraPlacement& at = s.GetCameraPlacement();
    at.centerX = m.x;
    at.centerY = m.y;
    at.scaleX = m.scaleX;
    at.scaleY = m.scaleY;
    s.SetDepth(depth);
}

}  // namespace

MotionRun RunMotion(CTransition& t, int n, const MotionSlide& slide, const MotionSlide* previous, int stageWidth,
                    int stageHeight)
{
    MotionRun run;
    TempDir dir;
    const std::string path = dir.file("motion.swf");
    t.SetDuration(long(n) * 1000);
    {
        CSwfMovie movie;
        movie.SetHeader(stageWidth * 20, stageHeight * 20, 1.0f, 6);
        if (!movie.Open(CPath(path.c_str()), true)) {
            ADD_FAILURE() << "cannot open " << path;
            return run;
        }
        uint16_t ids = 0, depths = 0;
        CSlide old(CSlide::kBlank, nullptr), fresh(CSlide::kBlank, nullptr);
        if (previous) {
            SetUp(old, *previous, DefineRect(movie, &ids, 0x40C020, previous->width, previous->height), ++depths);
            auto* place = new CTagPlaceObject2;
            place->SetCharacterId(old.GetCharacterId());
            place->depth = old.GetDepth();
            movie.AddTag(place);
        }
        SetUp(fresh, slide, DefineRect(movie, &ids, 0x20C0E0, slide.width, slide.height), ++depths);
        run.slideDepth = fresh.GetDepth();
        run.previousDepth = previous ? old.GetDepth() : 0;
        movie.AddTag(new CTagFrameLabel("begin"));
        t.GenerateSwf(&fresh, previous ? &old : nullptr, &movie, &ids, &depths);
        run.after = fresh.GetCameraPlacement();
        movie.AddTag(new CTagEnd);
        EXPECT_NE(movie.Close(), 0u);
    }
    CSwfReader reader;
    if (!reader.Parse(CPath(path.c_str()), true, 0, true)) {
        ADD_FAILURE() << "our reader cannot read " << path;
        return run;
    }
    bool begun = false;
    for (CSwfTag* tag : reader.GetTags(nullptr)) {
        const int code = tag->GetTagCode();
        if (auto* label = dynamic_cast<CTagFrameLabel*>(tag); label && label->label == "begin") {
            begun = true;
            continue;
        }
        if (!begun || code == swf_tag::kEnd) continue;
        MotionTag e;
        e.code = code;
        if (auto* place = dynamic_cast<CTagPlaceObject2*>(tag)) {
            e.move = place->move;
            e.depth = place->depth;
            e.characterId = place->hasCharacter ? place->characterId : 0;
            if (place->matrix) {
                e.hasMatrix = true;
                e.m = *place->matrix;
            }
            if (place->cxform) {
                e.hasCxform = true;
                e.hasAdd = place->cxform->hasAdd;
                e.alphaMult = place->cxform->hasMult ? place->cxform->alphaMult : 256;
            }
        } else if (auto* remove = dynamic_cast<CTagRemoveObject2*>(tag)) {
            e.depth = remove->depth;
        } else if (auto* shape = dynamic_cast<CTagDefineShape*>(tag)) {
            e.characterId = shape->GetCharacterId();
            if (shape->bounds) {
                e.xmin = shape->bounds->xmin;
                e.ymin = shape->bounds->ymin;
                e.xmax = shape->bounds->xmax;
                e.ymax = shape->bounds->ymax;
            }
        }
        run.tags.push_back(e);
    }
    reader.ClearTags(true);
    return run;
}

std::string Words(const MotionRun& run)
{
    std::string out;
    for (const MotionTag& e : run.tags) {
        std::string w;
        if (e.code == swf_tag::kShowFrame)
            w = "F";
        else if (e.code == swf_tag::kRemoveObject2)
            w = "R:" + std::to_string(e.depth);
        else if (e.code == swf_tag::kPlaceObject2)
            w = (e.move ? "M:" : "P:") + std::to_string(e.depth) + (e.hasCxform ? "/" + std::to_string(e.alphaMult) : "");
        else
            w = "S";
        out += (out.empty() ? "" : " ") + w;
    }
    return out;
}

}  // namespace tavrel_test

#include "foundation/xml_reader.h"
#include "foundation/xml_writer.h"
#include "support/scene_harness.h"

namespace tavrel_test {

void ExpectKindReplays(const std::function<std::unique_ptr<CTransition>()>& make, const std::string& what)
{
    SCOPED_TRACE(what);
    TempDir dir;
    Scene scene;
    const struct {
        long rgb;
        int w, h;
        uint32_t ms;
    } slides[] = {
        {0x20C040, 200, 160, 500},  // from no slide; again on the loop back
        {0xE0C020, 280, 200, 1000},
        {0x8040C0, 120, 100, 40},  // n = 0
        {0x20C040, 400, 300, 1000},  // larger than the stage
        {0xE0C020, 101, 75, 1000},  // odd sizes
        {0x8040C0, 320, 240, 500},
    };
    for (const auto& s : slides) {
        auto t = make();
        t->SetDuration(s.ms);
        scene.slides.push_back(SceneSlide{s.rgb, s.w, s.h, std::move(t), nullptr, 1});
    }
    SceneMovie movie;
    ASSERT_TRUE(WriteScene(scene, dir.file("replay.swf"), &movie));
    ExpectSceneReplays(movie);
}

std::string XmlOf(const CTransition& t)
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

void ReadAttributes(CTransition& t, const std::string& attributes)
{
    TempDir dir;
    const std::string text = "<transition name=\"" + t.GetName() + "\" " + attributes + " />";
    WriteFile(dir.file("r.xml"), text);
    CXMLDocument document;
    CXMLNode node;
    ASSERT_TRUE(document.Load(CPath(dir.file("r.xml"))) && document.GetFirstChild(node)) << text;
    EXPECT_TRUE(t.ReadXml(node));
}

ControlRef ControlOf(WindowRef window, uint32_t id)
{
    ControlID cid{OSType(id), 20000};
    ControlRef control = nullptr;
    GetControlByID(window, &cid, &control);
    return control;
}

std::vector<int> ControlBounds(WindowRef window, uint32_t id)
{
    Rect r{};
    ControlRef c = ControlOf(window, id);
    if (!c) return {};
    GetControlBounds(c, &r);
    return {r.top, r.left, r.bottom, r.right};
}

std::string ControlTitle(WindowRef window, uint32_t id)
{
    CFStringRef title = nullptr;
    ControlRef c = ControlOf(window, id);
    if (!c) return {};
    std::string out;
    if (CopyControlTitleAsCFString(c, &title) == noErr && title) {
        out = platform::ToUtf8(title);
        CFRelease(title);
    }
    // A static text keeps its words as its text, not its title.
    return out.empty() ? platform::ControlText(c) : out;
}

long Mix(long a, long b, double wa)
{
    long out = 0;
    for (int s : {16, 8, 0}) out |= long((a >> s & 0xFF) * wa + (b >> s & 0xFF) * (1 - wa) + 0.5) << s;
    return out;
}

}  // namespace tavrel_test
