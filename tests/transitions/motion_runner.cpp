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

LogSlide ToLog(const MotionSlide& m)
{
    return LogSlide{m.width, m.height, m.x, m.y, m.scaleX, m.scaleY};
}

}  // namespace

MotionRun RunMotion(CTransition& t, int n, const MotionSlide& slide, const MotionSlide* previous)
{
    LogRun log;
    log.rate = 1.0f;
    log.ms = uint32_t(n) * 1000;
    log.next = ToLog(slide);
    log.previous = previous ? std::optional<LogSlide>(ToLog(*previous)) : std::nullopt;
    MotionRun run;
    run.tags = LogTransition(t, log, &run.after);
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
