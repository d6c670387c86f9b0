#include "masked_run.h"

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

Outline ReadOutline(const CTagDefineShape& shape)
{
    Outline o;
    if (shape.bounds) {
        o.xmin = shape.bounds->xmin;
        o.ymin = shape.bounds->ymin;
        o.xmax = shape.bounds->xmax;
        o.ymax = shape.bounds->ymax;
    }
    if (!shape.shape) return o;
    o.fillBits = shape.shape->numFillBits;
    int64_t x = 0, y = 0;
    bool started = false;
    for (const auto& r : shape.shape->records) {
        if (r->GetType() == swf_shape::kStyleChange) {
            const auto& change = static_cast<const CShapeRecordStyleChange&>(*r);
            if (change.flags & swf_shape::kMoveTo) {
                x = change.moveX;
                y = change.moveY;
                if (!started) o.startX = int32_t(x), o.startY = int32_t(y);
                started = true;
            }
        } else if (r->GetType() == swf_shape::kStraightEdge) {
            const auto& e = static_cast<const CShapeRecordStraightEdge&>(*r);
            x += e.dx;
            y += e.dy;
            ++o.edges;
        } else if (r->GetType() == swf_shape::kCurvedEdge) {
            const auto& c = static_cast<const CShapeRecordCurvedEdge&>(*r);
            x += int64_t(c.controlDx) + c.anchorDx;
            y += int64_t(c.controlDy) + c.anchorDy;
            ++o.curves;
        }
    }
    o.endX = int32_t(x);
    o.endY = int32_t(y);
    return o;
}

WrittenTag ReadTag(CSwfTag* tag)
{
    WrittenTag w;
    w.code = tag->GetTagCode();
    if (auto* shape = dynamic_cast<CTagDefineShape*>(tag)) {
        w.characterId = shape->GetCharacterId();
        w.outline = ReadOutline(*shape);
    } else if (auto* define = dynamic_cast<CSwfDefineTag*>(tag)) {
        w.characterId = define->GetCharacterId();
    } else if (auto* place = dynamic_cast<CTagPlaceObject2*>(tag)) {
        w.depth = place->depth;
        w.move = place->move;
        w.characterId = place->hasCharacter ? place->characterId : 0;
        w.clipDepth = place->hasClipDepth ? place->clipDepth : 0;
        if (const CSwfMatrix* m = place->matrix.get()) {
            w.hasMatrix = true;
            w.hasScale = m->hasScale;
            w.hasRotate = m->hasRotate;
            w.scaleX = m->hasScale ? m->scaleX : 65536;
            w.scaleY = m->hasScale ? m->scaleY : 65536;
            w.rotate0 = m->hasRotate ? m->rotateSkew0 : 0;
            w.rotate1 = m->hasRotate ? m->rotateSkew1 : 0;
            w.x = m->translateX;
            w.y = m->translateY;
        }
        if (place->cxform) {
            w.hasCxform = true;
            w.alphaMult = place->cxform->hasMult ? place->cxform->alphaMult : 256;
        }
    } else if (auto* remove = dynamic_cast<CTagRemoveObject2*>(tag)) {
        w.depth = remove->depth;
    }
    return w;
}

void SetUp(CSlide& slide, int movieWidth, int movieHeight, int width, int height, uint16_t* depths)
{
    slide.SetSize(width, height);
    slide.SetX((movieWidth - width) / 2);
    slide.SetY((movieHeight - height) / 2);
    slide.ResetTransform();
    slide.GetCameraPlacement().centerX = slide.GetX() * 20 + ((width * 20) >> 1);
    slide.GetCameraPlacement().centerY = slide.GetY() * 20 + ((height * 20) >> 1);
    slide.SetDepth(++*depths);
}

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

}  // namespace

bool WrittenTag::IsFrame() const
{
    return code == swf_tag::kShowFrame;
}
bool WrittenTag::IsPlace() const
{
    return code == swf_tag::kPlaceObject2 && !move;
}
bool WrittenTag::IsRemove() const
{
    return code == swf_tag::kRemoveObject2;
}
bool WrittenTag::IsShape() const
{
    return code == swf_tag::kDefineShape;
}

int MaskedRun::Frames() const
{
    int n = 0;
    for (const WrittenTag& t : tags) n += t.IsFrame();
    return n;
}

std::vector<WrittenTag> MaskedRun::Frame(int k) const
{
    std::vector<WrittenTag> out;
    int frame = 1;
    for (const WrittenTag& t : tags) {
        if (t.IsFrame()) {
            ++frame;
            continue;
        }
        if (frame == k) out.push_back(t);
    }
    return out;
}

std::vector<WrittenTag> MaskedRun::MovesAt(uint16_t depth) const
{
    std::vector<WrittenTag> out;
    for (const WrittenTag& t : tags)
        if (t.move && t.depth == depth) out.push_back(t);
    return out;
}

MaskedRun RunMasked(CTransition& t, const MaskedSetup& setup)
{
    TempDir dir;
    const std::string path = dir.file("masked.swf");
    MaskedRun run;
    {
        CSwfMovie movie;
        movie.SetHeader(setup.movieWidth * 20, setup.movieHeight * 20, setup.rate, 6);
        if (!movie.Open(CPath(path.c_str()), true)) {
            ADD_FAILURE() << "cannot open " << path;
            return run;
        }
        uint16_t ids = 0, depths = 0;
        CSlide previous(CSlide::kBlank, nullptr), slide(CSlide::kBlank, nullptr);
        run.previousId = DefineRect(movie, &ids, 0x40C020, setup.previousWidth, setup.previousHeight);
        run.newId = DefineRect(movie, &ids, 0x20C0E0, setup.width, setup.height);
        previous.SetCharacterId(run.previousId);
        slide.SetCharacterId(run.newId);
        if (setup.previous) {
            SetUp(previous, setup.movieWidth, setup.movieHeight, setup.previousWidth, setup.previousHeight, &depths);
            run.previousDepth = previous.GetDepth();
            auto* place = new CTagPlaceObject2;
            place->SetCharacterId(previous.GetCharacterId());
            place->depth = previous.GetDepth();
            movie.AddTag(place);
        }
        SetUp(slide, setup.movieWidth, setup.movieHeight, setup.width, setup.height, &depths);
        run.newDepth = slide.GetDepth();
        movie.AddTag(new CTagFrameLabel("begin"));
        t.GenerateSwf(&slide, setup.previous ? &previous : nullptr, &movie, &ids, &depths);
        run.depthAfter = slide.GetDepth();
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
        if (begun && tag->GetTagCode() != swf_tag::kEnd) run.tags.push_back(ReadTag(tag));
        if (auto* label = dynamic_cast<CTagFrameLabel*>(tag)) begun = begun || label->label == "begin";
    }
    reader.ClearTags(true);
    return run;
}

std::vector<Outline> ReadOutlines(const std::string& swfPath)
{
    std::vector<Outline> out;
    CSwfReader reader;
    if (!reader.Parse(CPath(swfPath.c_str()), true, 0, true)) {
        ADD_FAILURE() << "our reader cannot read " << swfPath;
        return out;
    }
    for (CSwfTag* tag : reader.GetTags(nullptr))
        if (auto* shape = dynamic_cast<CTagDefineShape*>(tag)) out.push_back(ReadOutline(*shape));
    reader.ClearTags(true);
    return out;
}

std::string TagWords(const std::vector<WrittenTag>& tags)
{
    std::string out;
    for (const WrittenTag& t : tags) {
        std::string w;
        if (t.IsFrame())
            w = "F";
        else if (t.IsShape())
            w = "S";
        else if (t.IsRemove())
            w = "R:" + std::to_string(t.depth);
        else if (t.code == swf_tag::kPlaceObject2)
            w = (t.move ? "M:" : "P:") + std::to_string(t.depth) +
                (t.clipDepth ? "/" + std::to_string(t.clipDepth) : "");
        else
            w = std::to_string(t.code);
        out += (out.empty() ? "" : " ") + w;
    }
    return out;
}

XmlTrip WriteAndRead(const CTransition& t)
{
    TempDir dir;
    const std::string path = dir.file("t.xml");
    CXMLWriteOptions options;
    options.writeDeclaration = false;
    {
        CXMLOutputFile out;
        EXPECT_TRUE(out.Open(CPath(path), options, true));
        t.WriteXml(out);
        EXPECT_TRUE(out.Close());
    }
    XmlTrip trip;
    trip.written = ReadFile(path);
    if (!trip.written.empty()) trip.written.pop_back();  // the close's own line feed
    CXMLDocument document;
    CXMLNode node;
    if (document.Load(CPath(path)) && document.GetFirstChild(node)) trip.read = CTransitionList::CreateFromXml(node);
    return trip;
}

std::vector<SceneMovie> WriteTwiceAndReplay(const Scene& scene, const std::string& folder)
{
    std::vector<SceneMovie> movies(2);
    for (size_t i = 0; i < movies.size(); ++i) {
        EXPECT_TRUE(WriteScene(scene, folder + "/run" + std::to_string(i + 1) + ".swf", &movies[i]));
        ExpectSceneReplays(movies[i]);
    }
    return movies;
}

void ExpectReplaysAsFirstSlide(std::unique_ptr<CTransition> t, const std::string& path)
{
    Scene scene;
    scene.loop = false;
    scene.slides.push_back(SceneSlide{0xE0C020, 300, 200, std::move(t), nullptr, 1});
    SceneMovie movie;
    EXPECT_TRUE(WriteScene(scene, path, &movie));
    ExpectSceneReplays(movie);
}

}  // namespace tavrel_test
