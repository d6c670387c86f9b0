// Page Flip: the turning page's matrices, the pairs' places and order, and a
// whole scene replayed and played.
#include "transitions/page_flip.h"

#include <gtest/gtest.h>

#include "support/scene_harness.h"
#include "support/swf_tools.h"
#include "support/test_support.h"
#include "swf/object.h"
#include "transition_log.h"

namespace tavrel_test {
namespace {

// trunc(v × 65536 + 0.5) of the closed form k / h.
int32_t Term(double v)
{
    return static_cast<int32_t>(v * 65536.0 + 0.5);
}

// 24 frames: 12 folding, 12 unfolding. The previous slide stands at depth
// 1, the new one at 2; pairs 1 to 4 at 3/4, 5/6, 7/8 and 9/10.
TEST(PageFlip, GoldenPageMatrices)
{
    CPageFlipTransition t;
    const auto tags = LogTransition(t, LogRun{});
    const auto folding = MovesAt(tags, 8), unfolding = MovesAt(tags, 10);
    ASSERT_EQ(folding.size(), 12u);
    ASSERT_EQ(unfolding.size(), 12u);
    EXPECT_EQ(std::make_pair(folding.front().rotateSkew0, folding.front().scaleX), std::make_pair(-5460, 60075));
    EXPECT_EQ(std::make_pair(folding.back().rotateSkew0, folding.back().scaleX), std::make_pair(-65535, 0));
    EXPECT_EQ(std::make_pair(unfolding.front().rotateSkew0, unfolding.front().scaleX), std::make_pair(60075, 5461));
    EXPECT_EQ(std::make_pair(unfolding.back().rotateSkew0, unfolding.back().scaleX), std::make_pair(0, 65536));
    for (int k = 1; k <= 12; ++k) {
        const CSwfMatrix& f = folding[k - 1];
        const CSwfMatrix& u = unfolding[k - 1];
        // The sums of the steps may land a unit off the closed form.
        EXPECT_NEAR(f.rotateSkew0, Term(-k / 12.0), 1) << k;
        EXPECT_NEAR(f.scaleX, Term(1 - k / 12.0), 1) << k;
        EXPECT_NEAR(u.rotateSkew0, Term(1 - k / 12.0), 1) << k;
        EXPECT_NEAR(u.scaleX, Term(k / 12.0), 1) << k;
        for (const CSwfMatrix* m : {&f, &u}) {
            EXPECT_TRUE(m->hasScale && m->hasRotate);
            EXPECT_EQ(m->rotateSkew1, 0);
            EXPECT_EQ(m->scaleY, 65536);
            EXPECT_EQ(std::make_pair(m->translateX, m->translateY), std::make_pair(3200, 2400));
        }
    }
}

TEST(PageFlip, TagOrder)
{
    const std::string setUp = "R:1 S S P:3>4 P:4 P:5>6 P:6 P:7>8 P:8";
    const std::string finish = "P:2 R:3 R:4 R:5 R:6 R:9 R:10";
    struct Case {
        uint32_t ms;
        bool previous;
        std::string words;
    } const cases[] = {
        {167, true, setUp + " M:8 F R:7 R:8 P:9>10 P:10 M:10 F " + finish},  // n = 2
        {83, true, setUp + " R:7 R:8 P:9>10 P:10 " + finish},                // n = 1: no frame
        {0, true, setUp + " R:7 R:8 P:9>10 P:10 " + finish},
        {2000, false, "P:1"},
    };
    for (const Case& c : cases) {
        CPageFlipTransition t;
        LogRun run;
        run.ms = c.ms;
        if (!c.previous) run.previous.reset();
        EXPECT_EQ(Words(LogTransition(t, run)), c.words) << c.ms;
    }
}

// The masks stand at y = 0 on one fold line, the new slide's centre line,
// wherever the old slide stands; the copies carry the slides' scales, but
// the new slide's left half comes at scale 1.0 and its page unfolds to the
// new slide's own width.
TEST(PageFlip, PairsAndScales)
{
    CPageFlipTransition t;
    LogRun run;
    run.next = LogSlide{300, 200, 3000, 2500, 65536, 65536};
    run.previous = LogSlide{320, 240, 3400, 2000, 32768, 40000};
    const auto tags = LogTransition(t, run);
    std::vector<uint16_t> shapes;
    for (const TagEvent& e : tags)
        if (e.defines) shapes.push_back(e.characterId);
    ASSERT_EQ(shapes.size(), 2u);
    const uint16_t left = shapes[0], right = shapes[1];
    EXPECT_EQ(std::vector<int32_t>({tags[1].xmin, tags[1].ymin, tags[1].xmax, tags[1].ymax}),
              std::vector<int32_t>({-6400, 0, 0, 4800}));
    EXPECT_EQ(std::vector<int32_t>({tags[2].xmin, tags[2].xmax}), std::vector<int32_t>({0, 6400}));
    struct Pair {
        uint16_t depth, mask;
        int32_t maskX;
        uint16_t copy;  // the slide's character
        int32_t tx, ty, sx, sy;
        bool scaled;
    } const pairs[] = {
        {3, right, 3000, 2, 3000, 2500, 65536, 65536, true},
        {5, left, 3000, 1, 3400, 2000, 32768, 40000, true},
        {7, right, 3000, 1, 3400, 2000, 32768, 40000, true},
        {9, left, 3000, 2, 3000, 2500, 0, 0, false},
    };
    for (const Pair& p : pairs) {
        const TagEvent* mask = PlacedAt(tags, p.depth);
        const TagEvent* copy = PlacedAt(tags, uint16_t(p.depth + 1));
        ASSERT_TRUE(mask && copy && mask->hasMatrix && copy->hasMatrix) << p.depth;
        EXPECT_EQ(mask->characterId, p.mask);
        EXPECT_EQ(mask->clipDepth, p.depth + 1);
        EXPECT_FALSE(mask->matrix.hasScale);
        EXPECT_EQ(std::make_pair(mask->matrix.translateX, mask->matrix.translateY), std::make_pair(p.maskX, 0));
        EXPECT_EQ(copy->characterId, p.copy);
        EXPECT_EQ(std::make_pair(copy->matrix.translateX, copy->matrix.translateY), std::make_pair(p.tx, p.ty));
        EXPECT_EQ(copy->matrix.hasScale, p.scaled) << p.depth;
        if (p.scaled) {
            EXPECT_EQ(std::make_pair(copy->matrix.scaleX, copy->matrix.scaleY), std::make_pair(p.sx, p.sy));
        }
    }
    // The page folds from the previous slide's half width, then unfolds to
    // the new slide's full one, where the slide itself takes over.
    const auto folding = MovesAt(tags, 8), unfolding = MovesAt(tags, 10);
    ASSERT_EQ(folding.size(), 12u);
    ASSERT_EQ(unfolding.size(), 12u);
    EXPECT_EQ(folding.front().scaleX, Term(0.5 - 0.5 / 12));
    EXPECT_EQ(folding.front().scaleY, 40000);
    EXPECT_EQ(folding.back().scaleX, 0);
    // Folded about x = 3000: the old centre, 400 twips right of the line,
    // comes 11/12 of that close and rises by 1/12 of it in the first frame,
    // and lies on the line, 400 up, in the last.
    EXPECT_EQ(std::make_pair(folding.front().translateX, folding.front().translateY), std::make_pair(3366, 1966));
    EXPECT_EQ(std::make_pair(folding.back().translateX, folding.back().translateY), std::make_pair(3000, 1600));
    EXPECT_EQ(folding.front().rotateSkew0, Term(-0.5 / 12));
    EXPECT_EQ(unfolding.front().scaleX, 5461);
    EXPECT_EQ(unfolding.back().scaleX, 65536);
    EXPECT_EQ(std::make_pair(unfolding.back().translateX, unfolding.back().translateY), std::make_pair(3000, 2500));
}

// The scene: a full-size slide turned over to reveal a smaller one, the
// smaller one turned over to reveal a full one; twice, by the loop.
class PageFlipScene : public ::testing::Test {
protected:
    static constexpr long kBack = 0x406080, kA = 0x20C040, kB = 0xE0C020, kC = 0x8040C0;

    void Write(uint32_t ms, bool loop = true)
    {
        Scene scene;
        scene.loop = loop;
        const struct {
            long rgb;
            int w, h;
        } slides[] = {{kA, 320, 240}, {kB, 240, 180}, {kC, 320, 240}};
        for (const auto& s : slides) {
            auto t = std::make_unique<CPageFlipTransition>();
            t->SetDuration(ms);
            scene.slides.push_back(SceneSlide{s.rgb, s.w, s.h, std::move(t), nullptr, 2});
        }
        ASSERT_TRUE(WriteScene(scene, dir_.file("flip.swf"), &movie_));
    }

    TempDir dir_;
    SceneMovie movie_;
};

TEST_F(PageFlipScene, ReplaysCleanAtEveryLength)
{
    for (uint32_t ms : {2000u, 250u, 83u, 0u}) {
        Write(ms);
        SCOPED_TRACE(ms);
        ExpectSceneReplays(movie_);
    }
}

TEST_F(PageFlipScene, PassesTheCheckersAndPlays)
{
    Write(2000, false);
    ExpectDumpAccepts(movie_.path, {"PlaceObject2", "RemoveObject2", "DefineShape"});
    // Into the small kB over the full kA, then into the full kC over kB.
    const SceneMark& small = movie_.marks[1];
    const SceneMark& full = movie_.marks[2];
    ASSERT_EQ(small.frames, 24);
    // Frame h: the page folded flat; right half new, left half old.
    ExpectFrame(movie_.path, full.firstFrame + 11,
                {{{100, 120}, kB}, {{20, 120}, kBack}, {{220, 120}, kC}, {{300, 10}, kC}});
    // After the end only the new slide.
    ExpectFrame(movie_.path, small.firstFrame + small.frames,
                {{{160, 120}, kB}, {{100, 120}, kB}, {{20, 120}, kBack}, {{300, 10}, kBack}});
}

}  // namespace
}  // namespace tavrel_test
