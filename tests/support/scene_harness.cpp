#include "support/scene_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <set>

#include "foundation/path.h"
#include "show/slide.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/reader.h"
#include "swf/shapes.h"
#include "swf/styles.h"

namespace tavrel_test {
namespace {

uint32_t ToBgr(long rgb)
{
    return uint32_t(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}

// A slide of that size centred on the stage, as its display size and
// position say: the masked kinds cut and place by them.
void SizeSlide(CSlide& slide, const CSwfMovie& movie, int width, int height)
{
    slide.SetSize(width, height);
    slide.SetX((movie.GetWidth() / 20 - width) / 2);
    slide.SetY((movie.GetHeight() / 20 - height) / 2);
}

// What the compiler does before a transition: scale 1.0, the centre of the
// slide's display rectangle, the next depth.
void SetUpSlide(CSlide& slide, const CSwfMovie&, uint16_t* depths)
{
    slide.ResetTransform();
    slide.GetCameraPlacement().centerX = slide.GetX() * 20 + ((slide.GetWidth() * 20) >> 1);
    slide.GetCameraPlacement().centerY = slide.GetY() * 20 + ((slide.GetHeight() * 20) >> 1);
    slide.SetDepth(++*depths);
}

void ShowFrames(CSwfMovie& movie, int count)
{
    for (int i = 0; i < count; ++i) movie.AddTag(new CTagShowFrame);
}

bool OpenMovie(CSwfMovie& movie, const std::string& path, int width, int height, float rate, long background)
{
    movie.SetHeader(width * 20, height * 20, rate, 6);
    if (!movie.Open(CPath(path.c_str()), true)) return false;
    movie.AddTag(new CTagSetBackgroundColor(uint8_t(background >> 16), uint8_t(background >> 8), uint8_t(background)));
    return true;
}

}  // namespace

uint16_t DefineSlideRect(CSwfMovie& movie, uint16_t* ids, long rgb, int width, int height)
{
    const uint16_t id = ++*ids;
    auto* shape = new CTagDefineShape;
    shape->SetCharacterId(id);
    const int w = width * 20, h = height * 20;
    shape->BuildRect(-(w >> 1), -(h >> 1), w, h, CFillStyle::MakeSolid(ToBgr(rgb)), nullptr);
    movie.AddTag(shape);
    return id;
}

bool WriteScene(const Scene& scene, const std::string& path, SceneMovie* out)
{
    SceneMovie result;
    result.path = path;
    CSwfMovie movie;
    if (!OpenMovie(movie, path, scene.width, scene.height, scene.rate, scene.background)) return false;
    uint16_t ids = 0, depths = 0;
    CUsedEffectList used;
    CTransition cut;
    std::vector<std::unique_ptr<CSlide>> slides;
    CSlide* previous = nullptr;

    auto runTransition = [&](size_t index, CSlide& slide, CSlide* from, const std::string& label) {
        SceneMark mark;
        mark.slide = int(index);
        mark.label = label;
        mark.characterId = slide.GetCharacterId();
        mark.firstFrame = movie.GetFrameCount() + 1;
        CTransition* t = scene.slides[index].transition ? scene.slides[index].transition.get() : &cut;
        t->GenerateSwf(&slide, from, &movie, &ids, &depths);
        mark.frames = movie.GetFrameCount() + 1 - mark.firstFrame;
        mark.depth = slide.GetDepth();
        movie.AddTag(new CTagFrameLabel(label.c_str()));
        return mark;
    };

    for (size_t i = 0; i < scene.slides.size(); ++i) {
        const SceneSlide& s = scene.slides[i];
        auto slide = std::make_unique<CSlide>(CSlide::kBlank, nullptr);
        slide->GetExportState().index = int(i) + 1;
        slide->SetCharacterId(DefineSlideRect(movie, &ids, s.rgb, s.width, s.height));
        SizeSlide(*slide, movie, s.width, s.height);
        SetUpSlide(*slide, movie, &depths);
        SceneMark mark = runTransition(i, *slide, previous, "slide_" + std::to_string(i + 1));

        // One sprite per effect name in a movie, placed anew by each slide.
        if (s.effect) {
            COverlayEffect* first = used.AddUnique(s.effect.get());
            const uint16_t sprite = first == s.effect.get() ? s.effect->Build(&movie, &ids, &depths) : first->GetSpriteId();
            if (sprite) {
                mark.effectDepth = ++depths;
                first->Place(&movie, mark.effectDepth);
            }
        }
        ShowFrames(movie, s.holdFrames);
        if (mark.effectDepth) movie.AddTag(new CTagRemoveObject2(mark.effectDepth));
        result.marks.push_back(mark);
        previous = slide.get();
        slides.push_back(std::move(slide));
    }
    if (scene.loop && slides.size() >= 2) {
        CSlide& first = *slides.front();
        SetUpSlide(first, movie, &depths);
        result.marks.push_back(runTransition(0, first, previous, "loop"));
        ShowFrames(movie, 1);
    }
    movie.AddTag(new CTagEnd);
    result.frameCount = movie.GetFrameCount();
    const bool ok = !movie.Failed() && movie.Close() != 0;
    if (out) *out = std::move(result);
    return ok;
}

namespace {

void ReadOutline(const CShapeWithStyle& shape, TagEvent& e)
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
        e.outline.emplace_back(x, y);
    }
}

}  // namespace

std::vector<TagEvent> ReadTagEvents(const std::string& path)
{
    std::vector<TagEvent> events;
    CSwfReader reader;
    if (!reader.Parse(CPath(path.c_str()), true, 0, true)) {
        ADD_FAILURE() << "our reader cannot read " << path;
        return events;
    }
    for (CSwfTag* tag : reader.GetTags(nullptr)) {
        TagEvent e;
        e.code = tag->GetTagCode();
        if (auto* define = dynamic_cast<CSwfDefineTag*>(tag)) {
            e.defines = true;
            e.characterId = define->GetCharacterId();
            if (auto* shape = dynamic_cast<CTagDefineShape*>(tag)) {
                if (shape->bounds) {
                    e.xmin = shape->bounds->xmin, e.ymin = shape->bounds->ymin;
                    e.xmax = shape->bounds->xmax, e.ymax = shape->bounds->ymax;
                }
                if (shape->shape) ReadOutline(*shape->shape, e);
            }
        } else if (auto* place = dynamic_cast<CTagPlaceObject2*>(tag)) {
            e.depth = place->depth;
            e.move = place->move;
            e.hasCharacter = place->hasCharacter;
            e.characterId = place->hasCharacter ? place->characterId : 0;
            e.clipDepth = place->hasClipDepth ? place->clipDepth : 0;
            if (place->matrix) {
                e.hasMatrix = true;
                e.matrix = *place->matrix;
            }
            if (place->cxform) {
                e.hasCxform = true;
                e.hasAdd = place->cxform->hasAdd;
                e.alphaMult = place->cxform->hasMult ? place->cxform->alphaMult : 256;
            }
        } else if (auto* remove = dynamic_cast<CTagRemoveObject2*>(tag)) {
            e.depth = remove->depth;
        } else if (auto* label = dynamic_cast<CTagFrameLabel*>(tag)) {
            e.label = label->label;
        }
        events.push_back(e);
    }
    reader.ClearTags(true);
    return events;
}

std::vector<TagEvent> ReadWrittenTags(const std::string& path, const char* afterLabel)
{
    std::vector<TagEvent> written;
    bool begun = !afterLabel;
    for (const TagEvent& e : ReadTagEvents(path)) {
        if (begun && e.code != swf_tag::kEnd) written.push_back(e);
        begun = begun || e.label == afterLabel;
    }
    return written;
}

Replay ReplayDisplayList(const std::string& path)
{
    Replay replay;
    std::set<uint16_t> defined;
    std::map<uint16_t, uint16_t> layers;
    int frame = 1;
    auto fault = [&](const std::string& what, int depth) {
        replay.faults.push_back("frame " + std::to_string(frame) + ": " + what + " at depth " + std::to_string(depth));
    };
    for (const TagEvent& e : ReadTagEvents(path)) {
        if (e.defines) {
            defined.insert(e.characterId);
        } else if (e.code == swf_tag::kPlaceObject2) {
            if (e.hasCharacter && !defined.count(e.characterId))
                fault("character " + std::to_string(e.characterId) + " used before its definition", e.depth);
            if (e.clipDepth && e.clipDepth <= e.depth) fault("clip depth not above its mask", e.depth);
            if (e.move) {
                if (!layers.count(e.depth)) fault("move of an empty depth", e.depth);
                if (e.hasCharacter) layers[e.depth] = e.characterId;
            } else {
                if (layers.count(e.depth)) fault("placement on a taken depth", e.depth);
                layers[e.depth] = e.characterId;
            }
        } else if (e.code == swf_tag::kRemoveObject2) {
            if (!layers.erase(e.depth)) fault("removal of an empty depth", e.depth);
        } else if (e.code == swf_tag::kFrameLabel) {
            replay.atLabel[e.label] = layers;
        } else if (e.code == swf_tag::kShowFrame) {
            ++frame;
        }
    }
    return replay;
}

void ExpectSceneReplays(const SceneMovie& movie)
{
    const Replay replay = ReplayDisplayList(movie.path);
    for (const std::string& f : replay.faults) ADD_FAILURE() << f;
    for (const SceneMark& m : movie.marks) {
        const auto at = replay.atLabel.find(m.label);
        ASSERT_NE(at, replay.atLabel.end()) << m.label;
        const std::map<uint16_t, uint16_t> only{{m.depth, m.characterId}};
        EXPECT_EQ(at->second, only) << "after the transition into " << m.label;
    }
}

namespace {

// Pixels of a PNG exactly in one of the colours; -1 when it cannot be read.
long CountColour(const std::string& pngPath, const std::vector<long>& colours)
{
    int width = 0, height = 0;
    const std::vector<uint8_t> pixels = tavrel_test::ReadPngRgb(pngPath, &width, &height);
    if (pixels.empty()) return -1;
    long count = 0;
    for (size_t i = 0; i + 2 < pixels.size(); i += 3) {
        const long rgb = (long(pixels[i]) << 16) | (long(pixels[i + 1]) << 8) | pixels[i + 2];
        for (long c : colours) count += rgb == c;
    }
    return count;
}

}  // namespace

void ExpectFrame(const std::string& swfPath, int frame, const std::vector<std::pair<std::pair<int, int>, long>>& pixels,
                 int tolerance)
{
    std::vector<PixelExpect> expects;
    for (const auto& [at, rgb] : pixels) expects.push_back({at.first, at.second, rgb, tolerance});
    ExpectShotPixels(swfPath, frame, expects);
    if (::testing::Test::HasFatalFailure() || ::testing::Test::IsSkipped()) return;
    const std::string png = swfPath + ".frame" + std::to_string(frame) + ".png";
    EXPECT_EQ(CountColour(png, {kMaskRed, kMaskBlack}), 0) << "mask colours show in frame " << frame;
}

void ExpectPlayedFrame(const std::string& swfPath, int frame,
                       const std::vector<std::pair<std::pair<int, int>, long>>& pixels, int tolerance)
{
    const std::string why = SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    const std::string png = swfPath + ".played" + std::to_string(frame) + ".png";
    std::string options = "--stop-at " + std::to_string(frame);
    for (const auto& [at, rgb] : pixels) options += " --pixel " + std::to_string(at.first) + "," + std::to_string(at.second);
    const ToolResult shot = RunSwfShot(swfPath, png, options);
    if (shot.exitCode == 3) GTEST_SKIP() << "swf-shot dependencies missing: " << shot.output;
    ASSERT_EQ(shot.exitCode, 0) << shot.output;
    for (const auto& [at, rgb] : pixels) {
        const long got = ShotPixel(shot.output, at.first, at.second);
        for (int s : {16, 8, 0})
            EXPECT_NEAR(got >> s & 0xFF, rgb >> s & 0xFF, tolerance)
                << "played frame " << frame << " at " << at.first << "," << at.second << ": " << std::hex << got;
    }
    EXPECT_EQ(CountColour(png, {kMaskRed, kMaskBlack}), 0) << "mask colours show in played frame " << frame;
}

StrayPixels PlayedFrameStray(const std::string& swfPath, int frame, long rgb, int tolerance)
{
    StrayPixels stray;
    const std::string png = swfPath + ".played" + std::to_string(frame) + ".png";
    const ToolResult shot = RunSwfShot(swfPath, png, "--stop-at " + std::to_string(frame));
    stray.exitCode = shot.exitCode;
    stray.output = shot.output;
    int width = 0, height = 0;
    const std::vector<uint8_t> pixels = shot.exitCode == 0 ? ReadPngRgb(png, &width, &height) : std::vector<uint8_t>{};
    if (pixels.empty() && shot.exitCode == 0) stray.exitCode = -1, stray.output = "unreadable " + png;
    stray.left = width, stray.top = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * 3];
            bool near = true;
            for (int c = 0; c < 3; ++c) near = near && std::abs(int(p[c]) - int(rgb >> (16 - 8 * c) & 0xFF)) <= tolerance;
            if (near) continue;
            ++stray.count;
            stray.left = std::min(stray.left, x), stray.right = std::max(stray.right, x);
            stray.top = std::min(stray.top, y), stray.bottom = std::max(stray.bottom, y);
        }
    }
    return stray;
}

void ExpectNoStray(const StrayPixels& stray, int frame, long rgb)
{
    ASSERT_EQ(stray.exitCode, 0) << stray.output;
    EXPECT_EQ(stray.count, 0) << "played frame " << frame << ": pixels not " << std::hex << rgb << std::dec
                              << " within " << stray.left << "," << stray.top << " - " << stray.right << ","
                              << stray.bottom;
}

std::vector<TagEvent> RunTransition(CTransition& t, float rate, bool withPrevious)
{
    TempDir dir;
    const std::string path = dir.file("run.swf");
    {
        CSwfMovie movie;
        if (!OpenMovie(movie, path, 320, 240, rate, 0x406080)) {
            ADD_FAILURE() << "cannot open " << path;
            return {};
        }
        uint16_t ids = 0, depths = 0;
        CSlide previous(CSlide::kBlank, nullptr);
        CSlide slide(CSlide::kBlank, nullptr);
        previous.SetCharacterId(DefineSlideRect(movie, &ids, 0x20C040, 200, 150));
        slide.SetCharacterId(DefineSlideRect(movie, &ids, 0xE0C020, 160, 120));
        SizeSlide(previous, movie, 200, 150);
        SizeSlide(slide, movie, 160, 120);
        if (withPrevious) {
            SetUpSlide(previous, movie, &depths);
            auto* place = new CTagPlaceObject2;
            place->SetCharacterId(previous.GetCharacterId());
            place->depth = previous.GetDepth();
            movie.AddTag(place);
        }
        SetUpSlide(slide, movie, &depths);
        movie.AddTag(new CTagFrameLabel("begin"));
        t.GenerateSwf(&slide, withPrevious ? &previous : nullptr, &movie, &ids, &depths);
        movie.AddTag(new CTagEnd);
        EXPECT_NE(movie.Close(), 0u);
    }
    return ReadWrittenTags(path, "begin");
}

}  // namespace tavrel_test
