// What the masked kinds share: masks of a 2000 px slide keep their 32-bit
// bounds and pass the checker, and the registry holds every kind by name.
#include <gtest/gtest.h>

#include <functional>
#include <typeinfo>

#include "support/swf_tools.h"
#include "transitions/blinds.h"
#include "transitions/clip_kind_support.h"
#include "transitions/curtain.h"
#include "transitions/sliding_bars.h"
#include "transitions/wipes.h"

namespace tavrel_test {
namespace {

using namespace clip_kinds;

template <class Kind>
std::function<std::unique_ptr<CTransition>()> With(int direction)
{
    return [direction] {
        auto t = std::make_unique<Kind>();
        t->direction = direction;
        return std::unique_ptr<CTransition>(std::move(t));
    };
}

TEST(MaskedKinds, TwoThousandPixelSlidesKeepTheirMasks)
{
    struct Case {
        const char* what;
        std::function<std::unique_ptr<CTransition>()> make;
        std::vector<int32_t> bounds;  // xmin, ymin, xmax, ymax
        std::pair<int32_t, int32_t> lastMaskAt;
    } const cases[] = {
        {"bars", With<CSlidingBarsTransition>(0), {0, 0, 40000, 200}, {0, 39800}},
        {"vertical bars", With<CSlidingBarsTransition>(6), {0, 0, 200, 40000}, {39800, 0}},
        {"slats in", With<CBlindsInTransition>(0), {0, -400, 40000, 0}, {0, 40000}},
        {"slats out", With<CBlindsOutTransition>(3), {-400, 0, 0, 40000}, {40000, 0}},
        {"wipe", With<CWipeOnTransition>(4), {-20000, -20000, 20000, 20000}, {-20000, -20000}},
        {"diamond", With<CWipeOffTransition>(9), {-80000, -80000, 80000, 80000}, {20000, 20000}},
        {"curtain", [] { return std::unique_ptr<CTransition>(std::make_unique<CCurtainTransition>()); },
         {0, 0, 20000, 40000}, {20000, 0}},
        // A picture larger than the show: edges longer than one record holds.
        {"large diamond", With<CWipeOnTransition>(11), {-400000, -400000, 400000, 400000}, {300000, 300000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KindRun run;
        run.movieWidth = run.movieHeight = 2000;
        run.slide = {2000, 2000, 0, 0};
        if (c.bounds[2] > 80000) run.slide = {10000, 10000, 0, 0};
        run.previous = run.slide;
        auto t = c.make();
        t->SetDuration(167);
        const RunResult r = RunKind(*t, run);
        EXPECT_EQ(r.frames, 2);
        const RunTag* shape = nullptr;
        const RunTag* lastMask = nullptr;
        for (const RunTag& tag : r.tags) {
            if (tag.bounds) shape = &tag;
            if (tag.IsMask()) lastMask = &tag;
        }
        ASSERT_TRUE(shape && lastMask);
        EXPECT_EQ(std::vector<int32_t>({shape->bounds->xmin, shape->bounds->ymin, shape->bounds->xmax,
                                        shape->bounds->ymax}),
                  c.bounds);
        EXPECT_EQ(std::make_pair(lastMask->matrix->translateX, lastMask->matrix->translateY), c.lastMaskAt);
        ExpectDumpAccepts(r.path, {"DefineShape", "PlaceObject2"});
    }
}

TEST(MaskedKinds, TheRegistryHoldsThemByName)
{
    CTransitionList list;
    list.CreateAll();
    const struct {
        const char* name;
        std::function<bool(const CTransition*)> is;
    } kinds[] = {
        {"Sliding Bars", [](const CTransition* t) { return dynamic_cast<const CSlidingBarsTransition*>(t); }},
        {"Blinds In", [](const CTransition* t) { return dynamic_cast<const CBlindsInTransition*>(t); }},
        {"Blinds Out", [](const CTransition* t) { return dynamic_cast<const CBlindsOutTransition*>(t); }},
        {"Curtain", [](const CTransition* t) { return dynamic_cast<const CCurtainTransition*>(t); }},
        {"Wipe On", [](const CTransition* t) { return typeid(*t) == typeid(CWipeOnTransition); }},
        {"Wipe On 2", [](const CTransition* t) { return dynamic_cast<const CWipeOn2Transition*>(t); }},
        {"Wipe Off", [](const CTransition* t) { return dynamic_cast<const CWipeOffTransition*>(t); }},
    };
    for (const auto& k : kinds) {
        const CTransition* t = list.FindByName(k.name);
        ASSERT_NE(t, nullptr) << k.name;
        EXPECT_EQ(t->GetName(), k.name);
        EXPECT_TRUE(k.is(t)) << k.name;
        EXPECT_TRUE(k.is(t->CreateInstance().get())) << k.name;
    }
}

}  // namespace
}  // namespace tavrel_test
