#include "transitions/clip_kind_support.h"

#include <gtest/gtest.h>

#include "foundation/cfstring.h"
#include "foundation/path.h"
#include "platform/toolbox_controls.h"
#include "platform/toolbox_menus.h"
#include "platform/toolbox_windows.h"
#include "support/fake_user.h"
#include "support/swf_tools.h"
#include "transitions/transition_log.h"
#include "ui/dialog_window.h"
#include "show/slide.h"
#include "support/test_support.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/reader.h"
#include "swf/shapes.h"
#include "swf/styles.h"

namespace tavrel_test {
namespace clip_kinds {

bool RunTag::IsFrame() const
{
    return code == swf_tag::kShowFrame;
}

namespace {

uint16_t DefineRect(CSwfMovie& movie, uint16_t* ids, uint32_t bgr, const SlideSpec& s)
{
    const uint16_t id = ++*ids;
    auto* shape = new CTagDefineShape;
    shape->SetCharacterId(id);
    const int w = s.width * 20, h = s.height * 20;
    shape->BuildRect(-(w >> 1), -(h >> 1), w, h, CFillStyle::MakeSolid(bgr), nullptr);
    movie.AddTag(shape);
    return id;
}

// As the compiler sets a slide up before its transition.
void SetUp(CSlide& slide, const SlideSpec& s, uint16_t* depths)
{
    slide.SetSize(s.width, s.height);
    slide.SetX(s.x);
    slide.SetY(s.y);
    slide.ResetTransform();
    CSlide::CameraPlacement& at = slide.GetCameraPlacement();
    at.centerX = s.x * 20 + ((s.width * 20) >> 1);
    at.centerY = s.y * 20 + ((s.height * 20) >> 1);
    at.scaleX = at.scaleY = s.scale;
    slide.SetDepth(++*depths);
}

}  // namespace

RunResult RunKind(CTransition& t, const KindRun& run)
{
    RunResult result;
    result.dir = std::make_shared<TempDir>();
    result.path = result.dir->file("run.swf");
    {
        CSwfMovie movie;
        movie.SetHeader(run.movieWidth * 20, run.movieHeight * 20, run.rate, 6);
        if (!movie.Open(CPath(result.path.c_str()), true)) {
            ADD_FAILURE() << "cannot open " << result.path;
            return result;
        }
        movie.AddTag(new CTagSetBackgroundColor(0x40, 0x60, 0x80));
        uint16_t ids = 0, depths = run.depthCounter;
        CSlide previous(CSlide::kBlank, nullptr), slide(CSlide::kBlank, nullptr);
        if (run.previous) {
            previous.SetCharacterId(DefineRect(movie, &ids, 0x40C020, *run.previous));
            SetUp(previous, *run.previous, &depths);
            auto* place = new CTagPlaceObject2;
            place->SetCharacterId(previous.GetCharacterId());
            place->depth = previous.GetDepth();
            place->SetMatrix(new CSwfMatrix);
            place->matrix->translateX = previous.GetCameraPlacement().centerX;
            place->matrix->translateY = previous.GetCameraPlacement().centerY;
            movie.AddTag(place);
            result.previousDepth = previous.GetDepth();
        }
        slide.SetCharacterId(DefineRect(movie, &ids, 0x20C0E0, run.slide));
        SetUp(slide, run.slide, &depths);
        result.slideDepthBefore = slide.GetDepth();
        movie.AddTag(new CTagFrameLabel("begin"));
        t.GenerateSwf(&slide, run.previous ? &previous : nullptr, &movie, &ids, &depths);
        result.slideDepthAfter = slide.GetDepth();
        result.depthCounter = depths;
        movie.AddTag(new CTagShowFrame);
        movie.AddTag(new CTagEnd);
        EXPECT_FALSE(movie.Failed());
        EXPECT_NE(movie.Close(), 0u);
    }

    CSwfReader reader;
    if (!reader.Parse(CPath(result.path.c_str()), true, 0, true)) {
        ADD_FAILURE() << "our reader cannot read " << result.path;
        return result;
    }
    bool begun = false;
    std::vector<RunTag> all;
    for (CSwfTag* tag : reader.GetTags(nullptr)) {
        RunTag r;
        r.code = tag->GetTagCode();
        if (auto* shape = dynamic_cast<CTagDefineShape*>(tag)) {
            r.characterId = shape->GetCharacterId();
            if (shape->bounds) r.bounds = *shape->bounds;
        } else if (auto* place = dynamic_cast<CTagPlaceObject2*>(tag)) {
            r.depth = place->depth;
            r.move = place->move;
            r.hasCharacter = place->hasCharacter;
            r.characterId = place->hasCharacter ? place->characterId : 0;
            r.clipDepth = place->hasClipDepth ? place->clipDepth : 0;
            if (place->matrix) r.matrix = *place->matrix;
            if (place->cxform) r.cxform = *place->cxform;
        } else if (auto* remove = dynamic_cast<CTagRemoveObject2*>(tag)) {
            r.depth = remove->depth;
        }
        if (begun) all.push_back(r);
        if (auto* label = dynamic_cast<CTagFrameLabel*>(tag)) begun = begun || label->label == "begin";
    }
    reader.ClearTags(true);
    // Drop the closing frame and End written after the run.
    if (all.size() >= 2) all.resize(all.size() - 2);
    result.tags = std::move(all);
    for (const RunTag& r : result.tags) result.frames += r.IsFrame();
    return result;
}

std::string Outline(const std::vector<RunTag>& tags)
{
    std::string out;
    for (const RunTag& r : tags) {
        std::string w;
        if (r.IsFrame())
            w = "F";
        else if (r.code == swf_tag::kRemoveObject2)
            w = "R:" + std::to_string(r.depth);
        else if (r.code == swf_tag::kPlaceObject2)
            w = (r.move ? "M:" : "P:") + std::to_string(r.depth) + (r.clipDepth ? "c" + std::to_string(r.clipDepth) : "");
        else
            w = "S";
        out += (out.empty() ? "" : " ") + w;
    }
    return out;
}

std::vector<std::vector<RunTag>> SplitFrames(const std::vector<RunTag>& tags)
{
    std::vector<std::vector<RunTag>> parts(1);
    bool setup = true;
    for (const RunTag& r : tags) {
        // The setup ends at the first move or frame.
        if (setup && (r.move || r.IsFrame())) {
            setup = false;
            parts.emplace_back();
        }
        if (r.IsFrame())
            parts.emplace_back();
        else
            parts.back().push_back(r);
    }
    return parts;
}

namespace {

std::string Element(const CTransition& t, const std::string& word)
{
    return "<transition name=\"" + t.GetName() + "\" duration=\"" + std::to_string(t.GetDuration()) + "\" direction=\"" + word + "\" />\n";
}

}  // namespace

void ExpectDirectionWords(const std::function<std::unique_ptr<CTransition>()>& make,
                          const std::function<int&(CTransition&)>& direction, const std::vector<std::string>& words)
{
    for (int i = 0; i < int(words.size()); ++i) {
        auto t = make();
        direction(*t) = i;
        const std::string xml = tavrel_test::WrittenXml(*t);
        EXPECT_EQ(xml, Element(*t, words[i])) << i;
        auto back = make();
        direction(*back) = i == 0 ? 1 : 0;
        tavrel_test::ReadXmlInto(xml, *back);
        EXPECT_EQ(direction(*back), i) << words[i];

        // A word read case-sensitively: its capitalised form, or none, keeps the field.
        std::string capital = words[i];
        capital[0] = char(capital[0] - 'a' + 'A');
        for (const std::string& other : {capital, std::string("sideways"), std::string()}) {
            tavrel_test::ReadXmlInto(Element(*back, other), *back);
            EXPECT_EQ(direction(*back), i) << other;
        }
        tavrel_test::ReadXmlInto("<transition name=\"x\" duration=\"5\" />\n", *back);
        EXPECT_EQ(direction(*back), i);
        EXPECT_EQ(back->GetDuration(), 5u);
    }
    for (int outside : {-1, int(words.size())}) {
        auto t = make();
        direction(*t) = outside;
        EXPECT_EQ(tavrel_test::WrittenXml(*t), Element(*t, "")) << outside;
    }
}

namespace {

ControlRef ControlOf(CDialogWindow& window, uint32_t id)
{
    const ControlID cid{OSType(id), window.GetControlIdNumber()};
    ControlRef control = nullptr;
    return GetControlByID(window.GetWindow(), &cid, &control) == noErr ? control : nullptr;
}

// A static text's text.
std::string TextOf(ControlRef control)
{
    long size = 0;
    if (GetControlDataSize(control, 0, kControlStaticTextTextTag, &size) != noErr || size <= 0) return "";
    std::string text(size_t(size), '\0');
    if (GetControlData(control, 0, kControlStaticTextTextTag, size, text.data(), nullptr) != noErr) return "";
    return text;
}

std::vector<std::string> ItemsOf(ControlRef popup)
{
    std::vector<std::string> items;
    MenuRef menu = nullptr;
    if (GetControlData(popup, 0, kControlPopupButtonMenuHandleTag, sizeof menu, &menu, nullptr) != noErr || !menu)
        return items;
    for (UInt16 i = 1; i <= CountMenuItems(menu); ++i) {
        unsigned char text[256];
        GetMenuItemText(menu, i, text);
        items.emplace_back(reinterpret_cast<const char*>(text + 1), text[0]);
    }
    return items;
}

bool SameRect(const Rect& a, const Rect& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

}  // namespace

void ExpectDirectionControls(const std::function<std::unique_ptr<CTransition>()>& make,
                             const std::function<int&(CTransition&)>& direction, const DirectionControls& expected,
                             CDialogWindow& window, FakeUser& user)
{
    auto t = make();
    direction(*t) = 1;
    // The effects pane's settings area.
    const Rect area{123, 169, 234, 424};
    ControlRef pane = nullptr;
    ASSERT_EQ(CreateUserPaneControl(window.GetWindow(), &area, 0, &pane), noErr);
    ASSERT_TRUE(t->CreateSettingsControls(&window, pane, &area));
    ControlRef label = ControlOf(window, expected.labelId), popup = ControlOf(window, expected.popupId);
    ASSERT_TRUE(label && popup);
    // Only the pop-up lives in the pane.
    ControlRef parent = nullptr;
    EXPECT_EQ(GetSuperControl(popup, &parent), noErr);
    EXPECT_EQ(parent, pane);
    GetSuperControl(label, &parent);
    EXPECT_NE(parent, pane);
    Rect r{};
    EXPECT_TRUE(SameRect(*GetControlBounds(label, &r), Rect{123, 169, 139, 223}));
    EXPECT_TRUE(SameRect(*GetControlBounds(popup, &r), Rect{123, 231, 139, 431}));
    EXPECT_EQ(TextOf(label), expected.label);
    EXPECT_EQ(ItemsOf(popup), expected.items);
    EXPECT_EQ(GetControl32BitValue(popup), 2) << "the pop-up shows the field";

    // Each item chosen by the user becomes the direction.
    for (int item = int(expected.items.size()); item >= 1; --item) {
        user.ChoosePopupItem(item).Click(FakeUser::Front(), 300, 130).Play();
        EXPECT_FALSE(t->OnControlChanged(expected.labelId));
        EXPECT_EQ(direction(*t), item == int(expected.items.size()) ? 1 : item);
        EXPECT_TRUE(t->OnControlChanged(expected.popupId));
        EXPECT_EQ(direction(*t), item - 1);
    }
    auto other = make();
    direction(*other) = 3;
    EXPECT_TRUE(t->ReadSettingsControls(other.get()));
    EXPECT_EQ(direction(*other), 0);
    EXPECT_FALSE(t->ReadSettingsControls(other.get()));

    // Leaving takes the pop-up's last choice and the controls away.
    user.ChoosePopupItem(3).Click(FakeUser::Front(), 300, 130).Play();
    EXPECT_TRUE(t->DisposeSettingsControls());
    EXPECT_EQ(direction(*t), 2);
    EXPECT_EQ(ControlOf(window, expected.labelId), nullptr);
    EXPECT_EQ(ControlOf(window, expected.popupId), nullptr);
}

void ExpectReplaysTwice(const std::function<std::unique_ptr<CTransition>()>& make)
{
    Scene scene;
    for (auto [rgb, w, h] : {std::tuple{0x20C040L, 200, 160}, std::tuple{0xE0C020L, 400, 250},
                             std::tuple{0x8040C0L, 310, 90}})
        scene.slides.push_back(SceneSlide{rgb, w, h, make(), nullptr, 1});
    TempDir dir;
    SceneMovie first, second;
    ASSERT_TRUE(WriteScene(scene, dir.file("a.swf"), &first));
    ExpectSceneReplays(first);
    ASSERT_TRUE(WriteScene(scene, dir.file("b.swf"), &second));
    EXPECT_EQ(ReadFile(first.path), ReadFile(second.path)) << "the second export differs";
}

SceneMovie WritePlayedScene(const TempDir& dir, std::vector<FullFrameSlide> slides)
{
    Scene scene;
    scene.loop = false;
    for (FullFrameSlide& s : slides) scene.slides.push_back(SceneSlide{s.rgb, 320, 240, std::move(s.transition), nullptr, 1});
    SceneMovie movie;
    EXPECT_TRUE(WriteScene(scene, dir.file("played.swf"), &movie));
    ExpectSceneReplays(movie);
    ExpectDumpAccepts(movie.path, {"PlaceObject2", "RemoveObject2", "DefineShape"});
    return movie;
}

}  // namespace clip_kinds
}  // namespace tavrel_test
