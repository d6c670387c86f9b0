// The cut and the fades: their frames to the alpha, the frame count of
// every registered kind, Color Fade's swatch, and whole movies replayed and
// played.
#include "transitions/fade_transitions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>

#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/object.h"
#include "ui/controls_fixture.h"
#include "support/toolbox_log.h"

namespace tavrel_test {
namespace {

// One word per tag: P:depth placed, M:depth/alpha moved, R:depth removed,
// S a shape defined, F a frame.
std::string Words(const std::vector<TagEvent>& events)
{
    std::string out;
    for (const TagEvent& e : events) {
        std::string w;
        if (e.code == swf_tag::kShowFrame)
            w = "F";
        else if (e.defines)
            w = "S";
        else if (e.code == swf_tag::kRemoveObject2)
            w = "R:" + std::to_string(e.depth);
        else if (e.code == swf_tag::kPlaceObject2)
            w = (e.move ? "M:" : "P:") + std::to_string(e.depth) + (e.hasCxform ? "/" + std::to_string(e.alphaMult) : "");
        else
            w = std::to_string(e.code);
        out += (out.empty() ? "" : " ") + w;
    }
    return out;
}

// "M:d/a F" for each alpha.
std::string Frames(int depth, const std::vector<int>& alphas)
{
    std::string out;
    for (int a : alphas) out += (out.empty() ? "" : " ") + ("M:" + std::to_string(depth) + "/" + std::to_string(a) + " F");
    return out;
}

const std::vector<int> kFadeIn24 = {11,  21,  32,  43,  53,  64,  75,  85,  96,  107, 117, 128,
                                    139, 149, 160, 171, 181, 192, 203, 213, 224, 235, 245, 256};

std::vector<int> Reversed(std::vector<int> v, int last)
{
    std::reverse(v.begin(), v.end());
    v.erase(v.begin());
    v.push_back(last);
    return v;
}

// The new slide stands at depth 2 over the previous one at depth 1 (at 1 when first).
TEST(Fades, GoldenFrames)
{
    CFadeInTransition fadeIn;
    CFadeOutTransition fadeOut;
    CCrossFadeTransition cross;
    CColorFadeTransition color;
    CTransition none("None", 2000), off("None", 2000);
    off.SetGenerate(false);
    const std::vector<int> rising6 = {43, 85, 128, 171, 213, 256}, falling6 = {213, 171, 128, 85, 43, 0};
    const std::string colorTwelve = "S P:3/0 " + Frames(3, rising6) + " P:2 R:1 " + Frames(3, falling6) + " R:3";
    std::string crossFrames;
    for (size_t k = 0; k < 24; ++k)
        crossFrames += "M:2/" + std::to_string(kFadeIn24[k]) + " M:1/" +
                       std::to_string(k == 23 ? 0 : kFadeIn24[22 - k]) + " F ";
    struct Case {
        CTransition* t;
        uint32_t ms;
        bool previous;
        std::string words;
    } const cases[] = {
        {&none, 2000, true, "P:2 R:1"},
        {&none, 2000, false, "P:1"},  // first slide: depth 1
        {&off, 2000, true, ""},
        {&fadeIn, 2000, true, "P:2 " + Frames(2, kFadeIn24) + " R:1"},
        {&fadeIn, 40, true, "P:2 R:1"},
        {&fadeOut, 2000, true, "P:2 R:1 P:3 " + Frames(3, Reversed(kFadeIn24, 0)) + " R:3"},
        {&fadeOut, 2000, false, "P:1"},
        {&fadeOut, 40, true, "P:2 R:1 P:3 R:3"},
        {&cross, 2000, true, "P:2 " + crossFrames + "R:1"},
        {&cross, 40, true, "P:2 R:1"},
        {&color, 1000, true, colorTwelve},
        {&color, 1100, true, colorTwelve},  // n = 13: the same 12 frames
        {&color, 40, true, "S P:3/0 P:2 R:1 R:3"},
    };
    for (const Case& c : cases) {
        c.t->SetDuration(c.ms);
        const auto events = RunTransition(*c.t, 12.0f, c.previous);
        EXPECT_EQ(Words(events), c.words) << c.t->GetName() << " " << c.ms;
        // Colour Fade's transforms carry add terms, the others multiply only.
        for (const TagEvent& e : events) {
            if (!e.hasCxform) continue;
            EXPECT_EQ(e.hasAdd, c.t == &color) << c.t->GetName();
        }
    }
}

// ShowFrames of each kind for a duration of n frames.
unsigned RuleFrames(const std::string& name, unsigned n, bool previous)
{
    static const std::set<std::string> kNeedPrevious = {
        "Fade Out", "Blur Out", "Zoom Out", "Spin Out", "Slide Out To", "Cross Scale", "Blinds Out",
        "Wipe Off", "Window", "Slide Open", "Slide Triangle Open", "Page Flip"};
    if (name == "None") return 0;
    if (!previous && kNeedPrevious.count(name)) return 0;
    if (name == "Color Fade" || name == "Page Flip") return n / 2 * 2;
    if (name == "Circular Sweep On") return n / 4 * 4;
    if (name == "Push") return std::max(n, 1u);
    return n;
}

TEST(Fades, EveryRegisteredKindWritesItsRulesFrames)
{
    CTransitionList list;
    list.CreateAll();
    ASSERT_GT(list.GetCount(), 0);
    for (int i = 0; i < list.GetCount(); ++i) {
        CTransition& t = *list.Get(i);
        for (uint32_t ms : {0u, 40u, 42u, 1000u, 2050u})
            for (float rate : {1.0f, 1.5f, 12.0f, 25.5f, 120.0f})
                for (bool previous : {false, true}) {
                    t.SetDuration(ms);
                    const unsigned n = t.DurationFrames(rate);
                    int frames = 0;
                    for (const TagEvent& e : RunTransition(t, rate, previous)) frames += e.code == swf_tag::kShowFrame;
                    EXPECT_EQ(unsigned(frames), RuleFrames(t.GetName(), n, previous))
                        << t.GetName() << " " << ms << " ms at " << rate << (previous ? " after a slide" : " first");
                    // The export counts its movie with this before writing it.
                    EXPECT_EQ(t.CountFrames(rate, previous), unsigned(frames))
                        << t.GetName() << " counted, " << ms << " ms at " << rate
                        << (previous ? " after a slide" : " first");
                }
    }
}

using ColorFadeControls = ControlsTest;

TEST_F(ColorFadeControls, SwatchPicksTheColour)
{
    NoteWindow window;
    ASSERT_TRUE(OpenNew(window));
    CColorFadeTransition t;
    t.fadeColor = 0x0000FF;  // red
    const Rect area{123, 169, 234, 424};
    ASSERT_TRUE(t.CreateSettingsControls(&window, nullptr, &area));
    // The swatch shows the colour: a solid fill over its face at 218..250, 131..147.
    EXPECT_EQ(WindowPixel(window.GetWindow(), 230, 140), 0xFF0000u);

    user_.PickColor({0, 0, 0xFFFF}).Click(FakeUser::Front(), 230, 140).Play();
    EXPECT_EQ(window.Count("command " + LoggingWindow::Code(CColorFadeTransition::kSwatchId)), 1);
    EXPECT_FALSE(t.OnControlChanged(CColorFadeTransition::kLabelId));
    EXPECT_EQ(t.fadeColor, 0x0000FFu);
    EXPECT_TRUE(t.OnControlChanged(CColorFadeTransition::kSwatchId));
    EXPECT_EQ(t.fadeColor, 0xFF0000u);  // blue sits in bits 16-23

    CColorFadeTransition other;
    EXPECT_TRUE(t.ReadSettingsControls(&other));
    EXPECT_EQ(other.fadeColor, 0xFF0000u);
    EXPECT_FALSE(t.ReadSettingsControls(&other));

    // Leaving keeps the swatch's colour and takes the controls away.
    user_.PickColor({0xFFFF, 0xFFFF, 0}).Click(FakeUser::Front(), 230, 140).Play();
    EXPECT_TRUE(t.DisposeSettingsControls());
    EXPECT_EQ(t.fadeColor, 0x00FFFFu);
    EXPECT_EQ(platform::PromptLog().front().title, "Choose a color");
}

// A scene of the fades between slides of distinct sizes and colours.
class FadeScene : public ::testing::Test {
protected:
    static constexpr long kBack = 0x406080, kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;

    static SceneSlide Slide(long rgb, int w, int h, std::unique_ptr<CTransition> t, uint32_t ms)
    {
        if (t) t->SetDuration(ms);
        return SceneSlide{rgb, w, h, std::move(t), nullptr, 2};
    }

    void Write()
    {
        Scene scene;
        scene.slides.push_back(Slide(kA, 200, 160, std::make_unique<CFadeInTransition>(), 1000));
        scene.slides.push_back(Slide(kB, 280, 200, std::make_unique<CFadeInTransition>(), 2000));
        auto color = std::make_unique<CColorFadeTransition>();
        color->fadeColor = 0xFF8020;  // 0x2080FF on screen
        scene.slides.push_back(Slide(kC, 120, 100, std::move(color), 1000));
        scene.slides.push_back(Slide(kA, 300, 220, std::make_unique<CFadeOutTransition>(), 1000));
        scene.slides.push_back(Slide(kB, 100, 80, std::make_unique<CCrossFadeTransition>(), 1000));
        scene.slides.push_back(Slide(kC, 240, 180, nullptr, 0));
        ASSERT_TRUE(WriteScene(scene, dir_.file("fades.swf"), &movie_));
    }

    TempDir dir_;
    SceneMovie movie_;
};

TEST_F(FadeScene, ReplaysCleanAndPassesTheCheckers)
{
    Write();
    ExpectSceneReplays(movie_);
    ExpectDumpAccepts(movie_.path, {"PlaceObject2", "RemoveObject2", "DefineShape"});
}

TEST_F(FadeScene, PlaysAsItShould)
{
    Write();
    const std::pair<int, int> centre{160, 120}, corner{5, 5};
    const SceneMark& into2 = movie_.marks[1];  // Fade In of kB over kA, 24 frames
    const SceneMark& into3 = movie_.marks[2];  // Color Fade, 6 + 6 frames
    auto blend = [](long a, long b) {
        long out = 0;
        for (int s : {16, 8, 0}) out |= (((a >> s & 0xFF) + (b >> s & 0xFF)) / 2) << s;
        return out;
    };
    ExpectFrame(movie_.path, into2.firstFrame + 11, {{centre, blend(kA, kB)}, {corner, kBack}}, 4);
    ExpectFrame(movie_.path, into3.firstFrame + 5, {{centre, 0x2080FF}, {corner, 0x2080FF}});
    // After each transition only the new slide: background where only the old was.
    ExpectFrame(movie_.path, into2.firstFrame + into2.frames, {{centre, kB}, {corner, kBack}});
    const SceneMark& into4 = movie_.marks[3];
    ExpectFrame(movie_.path, into4.firstFrame + into4.frames, {{centre, kA}, {corner, kBack}});
    const SceneMark& into5 = movie_.marks[4];  // Cross Fade from the large kA to the small kB
    ExpectFrame(movie_.path, into5.firstFrame + into5.frames, {{centre, kB}, {{30, 30}, kBack}});
    const SceneMark& into6 = movie_.marks[5];  // a cut from the small kB to kC
    ExpectFrame(movie_.path, into6.firstFrame, {{centre, kC}, {{55, 40}, kC}, {corner, kBack}});
}

}  // namespace
}  // namespace tavrel_test
