#include "motion_runner.h"

#include <gtest/gtest.h>

#include <ostream>

#include "foundation/path.h"
#include "platform/cfstring.h"
#include "platform/toolbox_controls.h"
#include "platform/toolbox_windows.h"
#include "support/test_support.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/object.h"

namespace tavrel_test {

std::vector<TagEvent> MotionRun::MovesAt(uint16_t depth) const
{
    std::vector<TagEvent> out;
    for (const TagEvent& t : tags)
        if (t.code == swf_tag::kPlaceObject2 && t.move && t.depth == depth) out.push_back(t);
    return out;
}

namespace {

void SetUp(CSlide& s, const MotionSlide& m, uint16_t id, uint16_t depth)
{
    s.SetCharacterId(id);
    s.SetWidth(m.width);
    s.SetHeight(m.height);
    s.ResetTransform();
    s.GetCameraPlacement() = {m.x, m.y, m.scaleX, m.scaleY};
    s.SetDepth(depth);
}

}  // namespace

MotionRun RunMotion(CTransition& t, int n, const MotionSlide& slide, const MotionSlide* previous)
{
    MotionRun run;
    TempDir dir;
    const std::string path = dir.file("motion.swf");
    t.SetDuration(long(n) * 1000);
    {
        CSwfMovie movie;
        movie.SetHeader(320 * 20, 240 * 20, 1.0f, 6);
        if (!movie.Open(CPath(path.c_str()), true)) {
            ADD_FAILURE() << "cannot open " << path;
            return run;
        }
        uint16_t ids = 0, depths = 0;
        CSlide old(CSlide::kBlank, nullptr), fresh(CSlide::kBlank, nullptr);
        if (previous) {
            SetUp(old, *previous, DefineSlideRect(movie, &ids, 0x20C040, previous->width, previous->height), ++depths);
            auto* place = new CTagPlaceObject2;
            place->SetCharacterId(old.GetCharacterId());
            place->depth = old.GetDepth();
            movie.AddTag(place);
        }
        SetUp(fresh, slide, DefineSlideRect(movie, &ids, 0xE0C020, slide.width, slide.height), ++depths);
        movie.AddTag(new CTagFrameLabel("begin"));
        t.GenerateSwf(&fresh, previous ? &old : nullptr, &movie, &ids, &depths);
        run.after = fresh.GetCameraPlacement();
        movie.AddTag(new CTagEnd);
        EXPECT_NE(movie.Close(), 0u);
    }
    bool begun = false;
    for (const TagEvent& e : ReadTagEvents(path)) {
        if (begun && e.code != swf_tag::kEnd) run.tags.push_back(e);
        begun = begun || e.label == "begin";
    }
    return run;
}

std::ostream& operator<<(std::ostream& os, const ScaleFrame& f)
{
    return os << "(" << f.scaleX << ", " << f.scaleY << ", " << f.x << ", " << f.y << " / " << f.alpha << ")";
}

std::vector<ScaleFrame> ScaleFrames(const std::vector<TagEvent>& moves)
{
    std::vector<ScaleFrame> out;
    for (const TagEvent& m : moves) {
        EXPECT_TRUE(m.matrix.hasScale && !m.matrix.hasRotate);
        out.push_back({m.matrix.scaleX, m.matrix.scaleY, m.matrix.translateX, m.matrix.translateY,
                       m.hasCxform ? m.alphaMult : -1});
    }
    return out;
}

std::string Words(const MotionRun& run)
{
    std::string out;
    for (const TagEvent& e : run.tags) {
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

void ExpectWords(const std::vector<WordsCase>& cases, const MotionSlide& slide, const MotionSlide& old)
{
    for (const WordsCase& c : cases) {
        const MotionRun run = RunMotion(*c.t, c.n, slide, c.previous ? &old : nullptr);
        EXPECT_EQ(Words(run), c.words) << c.t->GetName() << " n = " << c.n << (c.previous ? "" : ", first");
        // Alpha goes through SetAlpha, with its add terms.
        for (const TagEvent& tag : run.tags) EXPECT_TRUE(!tag.hasCxform || tag.hasAdd) << c.t->GetName();
    }
}

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

void ReadAttributes(CTransition& t, const std::string& attributes)
{
    ReadXmlInto("<transition name=\"" + t.GetName() + "\" " + attributes + " />", t);
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

void MotionControls::TypeInto(uint32_t id, const std::string& text)
{
    user_.ClickControl(FakeUser::Front(), OSType(id), 20000).Do([id] {
        ControlRef field = ControlOf(FrontWindow(), id);
        SetControlData(field, 0, kControlEditTextTextTag, 0, "");
        ControlEditTextSelectionRec none{0, 0};
        SetControlData(field, 0, kControlEditTextSelectionTag, sizeof none, &none);
    });
    user_.Type(text).PressKey(36, '\r').Play();
}

void MotionControls::Open(NoteWindow& window, CTransition& t)
{
    ASSERT_TRUE(OpenNew(window));
    t.changed.Connect(Callback::BindMember(this, &MotionControls::Note));
    const Rect area{123, 169, 234, 424};
    ASSERT_TRUE(t.CreateSettingsControls(&window, nullptr, &area));
}

long Mix(long a, long b, double wa)
{
    long out = 0;
    for (int s : {16, 8, 0}) out |= long((a >> s & 0xFF) * wa + (b >> s & 0xFF) * (1 - wa) + 0.5) << s;
    return out;
}

}  // namespace tavrel_test
