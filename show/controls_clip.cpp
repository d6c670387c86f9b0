#include "show/controls_clip.h"

#include <cmath>
#include <memory>

#include "platform/cfstring.h"
#include "show/slide_show.h"
#include "swf/buttons.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/reader.h"
#include "swf/sprite.h"
#include "swf/stream.h"
#include "swf/template_import.h"

namespace {

// Released over the button.
constexpr uint16_t kOnRelease = swf_button_cond::kOverDownToOverUp;

// ---- the corner of a clip

void PlaceSkin(const CSlideShow& show, const CControlsSkin& skin, int* x, int* y)
{
    const int64_t W = show.GetWidth(), H = show.GetHeight(), w = skin.width, h = skin.height;
    // Centring is done in twips, halves by arithmetic shift, as the movie's
    // own integer steps place it.
    const int64_t centre = ((W * 20 >> 1) - (w * 20 >> 1)) / 20;
    const int64_t right = W - w, bottom = H - h;
    // By placement code; 0, custom, keeps the given corner.
    const int64_t xs[] = {0, 0, centre, right, 0, centre, right};
    const int64_t ys[] = {0, 0, 0, 0, bottom, bottom, bottom};
    if (skin.placement < CControlsSkin::kTopLeft || skin.placement > CControlsSkin::kBottomRight) return;
    *x = SwfClampSigned(xs[skin.placement], 32);
    *y = SwfClampSigned(ys[skin.placement], 32);
}

// ---- finding buttons in a skin

// The sprite that the named placement places.
CTagDefineSprite* FindNamedSprite(const char* name, const CSwfTagList& tags)
{
    CTagPlaceObject2* placement = FindPlacementByName(name, tags);
    if (!placement) return nullptr;
    return dynamic_cast<CTagDefineSprite*>(FindCharacterById(placement->characterId, tags));
}

// The DefineButton2 tags that the named clip places, in its timeline order.
std::vector<CTagDefineButton2*> FindButtons(const char* name, const CSwfTagList& tags, size_t wanted)
{
    std::vector<CTagDefineButton2*> found;
    CTagDefineSprite* sprite = FindNamedSprite(name, tags);
    if (!sprite) return found;
    for (CSwfTag* tag : sprite->tags) {
        if (found.size() == wanted) break;
        if (tag->GetTagCode() != swf_tag::kPlaceObject2) continue;
        CSwfTag* placed = FindCharacterById(static_cast<CTagPlaceObject2*>(tag)->characterId, tags);
        if (placed && placed->GetTagCode() == swf_tag::kDefineButton2)
            found.push_back(static_cast<CTagDefineButton2*>(placed));
    }
    return found;
}

// A Stop at the start of the clip's first and second frames, so that it
// rests on whichever frame it is sent to.
void StopOnBothFrames(const char* name, const CSwfTagList& tags)
{
    CTagDefineSprite* sprite = FindNamedSprite(name, tags);
    if (!sprite) return;
    auto stop = [] {
        auto* action = new CTagDoAction;
        action->AddAction(new CActionStop);
        return action;
    };
    auto& list = sprite->tags;
    auto frameEnd = list.begin();
    while (frameEnd != list.end() && (*frameEnd)->GetTagCode() != swf_tag::kShowFrame) ++frameEnd;
    if (frameEnd != list.end()) ++frameEnd;
    list.insert(frameEnd, stop());
    list.insert(list.begin(), stop());
}

// The two buttons of a two-frame clip, with the clip made to rest on
// either frame; none unless there are two.
std::vector<CTagDefineButton2*> TwoFrameButtons(const char* name, const CSwfTagList& tags)
{
    auto buttons = FindButtons(name, tags, 2);
    if (buttons.size() != 2) return {};
    StopOnBothFrames(name, tags);
    return buttons;
}

void SetActions(CTagDefineButton2* button, std::unique_ptr<CTagDoAction> actions)
{
    button->ClearCondActions();
    button->AddCondAction(kOnRelease, actions.release());
}

// ---- small makers of actions

std::unique_ptr<CTagDoAction> NewList(bool tracking)
{
    auto list = std::make_unique<CTagDoAction>();
    list->SetBranchTracking(tracking, true);
    return list;
}

CActionPush* PushText(const char* a, const char* b = nullptr)
{
    auto* push = new CActionPush;
    push->PushString(a);
    if (b) push->PushString(b);
    return push;
}

CActionPush* PushConstants(std::initializer_list<uint8_t> indices)
{
    auto* push = new CActionPush;
    for (uint8_t i : indices) push->PushConstant8(i);
    return push;
}

CActionPush* PushInt(int32_t value)
{
    auto* push = new CActionPush;
    push->PushInt(value);
    return push;
}

CActionConstantPool* Pool(std::initializer_list<const char*> strings)
{
    auto* pool = new CActionConstantPool;
    for (const char* s : strings) pool->Add(s);
    return pool;
}

template <class Branch>
Branch* BranchBy(int32_t offset)
{
    auto* branch = new Branch;
    branch->branchOffset = offset;
    return branch;
}

// Push "slideshow_playing"; GetVariable; Not; If; Play; EndBlock: play on
// when the show was playing.
void PlayIfPlaying(CTagDoAction& list)
{
    list.AddAction(PushText("slideshow_playing"));
    list.AddAction(new CActionGetVariable);
    list.AddAction(new CActionNot);
    list.AddAction(new CActionIf);
    list.AddAction(new CActionPlay);
    list.EndBlock();
}

// target = prefix + ("../../:")current_slide_index; then the action on it.
void OnSlideSound(CTagDoAction& list, const char* indexVariable, CSwfAction* action)
{
    list.AddAction(PushText("../../slidesound_", indexVariable));
    list.AddAction(new CActionGetVariable);
    list.AddAction(new CActionAdd2);
    list.AddAction(new CActionSetTarget2);
    list.AddAction(action);
    list.AddAction(new CActionSetTarget(""));
}

// Calls a show function from the root: Push 0.0, name; CallFunction; Pop.
void CallShowFunction(CTagDoAction& list, const char* function)
{
    list.AddAction(new CActionSetTarget("../.."));
    auto* push = new CActionPush;
    push->PushDouble(0.0);
    push->PushString(function);
    list.AddAction(push);
    list.AddAction(new CActionCallFunction);
    list.AddAction(new CActionPop);
}

bool BuildGotoLabelButton(const CSwfTagList& tags, const char* name, const std::string& label)
{
    auto buttons = FindButtons(name, tags, 1);
    if (buttons.empty()) return false;
    auto list = NewList(true);
    list->AddAction(new CActionSetTarget("../../"));
    list->AddAction(new CActionGotoLabel(label));
    PlayIfPlaying(*list);
    list->AddAction(new CActionSetTarget(""));
    SetActions(buttons[0], std::move(list));
    return true;
}

// go := prefix + (current_slide_index + 1), with the constants of the next
// button's pool; then go there, stopped.
void GoNextWith(CTagDoAction& list, uint8_t prefixConstant)
{
    list.AddAction(PushConstants({1, prefixConstant, 3}));
    list.AddAction(new CActionGetVariable);
    list.AddAction(PushInt(1));
    list.AddAction(new CActionAdd);
    list.AddAction(new CActionAdd2);
    list.AddAction(new CActionSetVariable);
    list.AddAction(PushConstants({1}));
    list.AddAction(new CActionGetVariable);
    list.AddAction(new CActionGotoFrame2(false));
}

// Sets the sound volume through a new Sound object, then shows the other
// frame of the clip.
std::unique_ptr<CTagDoAction> MuteActions(double volume, uint16_t frame)
{
    auto list = NewList(false);
    list->AddAction(Pool({"snd", "Sound", "setVolume"}));
    auto* create = new CActionPush;
    create->PushConstant8(0);
    create->PushDouble(0.0);
    create->PushConstant8(1);
    list->AddAction(create);
    list->AddAction(new CActionNewObject);
    list->AddAction(new CActionSetVariable);
    auto* call = new CActionPush;
    call->PushDouble(volume);
    call->PushInt(1);
    call->PushConstant8(0);
    list->AddAction(call);
    list->AddAction(new CActionGetVariable);
    list->AddAction(PushConstants({2}));
    list->AddAction(new CActionCallMethod);
    list->AddAction(new CActionPop);
    list->AddAction(new CActionGotoFrame(frame));
    list->AddAction(new CActionPlay);
    return list;
}

void BuildControlsButtons(const CSwfTagList& tags, const CSlideShow& show)
{
    BuildFirstSlideButton(tags);
    BuildLastSlideButton(tags, show.GetExportSlideCount());
    BuildPrevSlideButton(tags);
    BuildNextSlideButton(tags);
    BuildPlayPauseButton(tags);
}

void BuildMuteButtons(const CSwfTagList& tags, const CSlideShow&)
{
    BuildMuteButton(tags);
}

const CControlsSkin& ControlsSkinOf(const CSlideShow& show)
{
    return show.GetControlsSkin();
}
const CControlsSkin& MuteSkinOf(const CSlideShow& show)
{
    return show.GetMuteSkin();
}

const CSkinClip::Kind kControlsKind{"show_controls", "Controls",           kControlsClipDepth,  "controls",
                                    ControlsSkinOf,  CControlsClip::Place, BuildControlsButtons};
const CSkinClip::Kind kMuteKind{"mute_control", "Mute Controls",  kMuteClipDepth,  "mute control",
                                MuteSkinOf,     CMuteClip::Place, BuildMuteButtons};

}  // namespace

bool BuildFirstSlideButton(const CSwfTagList& tags)
{
    return BuildGotoLabelButton(tags, "first_slide_btn", "slide_1");
}

bool BuildLastSlideButton(const CSwfTagList& tags, int slideCount)
{
    return BuildGotoLabelButton(tags, "last_slide_btn", "slide_" + std::to_string(slideCount));
}

bool BuildPrevSlideButton(const CSwfTagList& tags)
{
    auto buttons = FindButtons("prev_slide_btn", tags, 1);
    if (buttons.empty()) return false;
    auto list = NewList(true);
    list->AddAction(new CActionSetTarget("../../"));
    list->AddAction(PushText("go"));
    list->AddAction(PushText("slidepre_"));
    list->AddAction(PushText("current_slide_index"));
    list->AddAction(new CActionGetVariable);
    list->AddAction(PushInt(1));
    list->AddAction(new CActionSubtract);
    list->AddAction(new CActionAdd2);
    list->AddAction(new CActionSetVariable);
    list->AddAction(PushText("go"));
    list->AddAction(new CActionGetVariable);
    list->AddAction(new CActionGotoFrame2(false));
    PlayIfPlaying(*list);
    list->AddAction(new CActionSetTarget(""));
    SetActions(buttons[0], std::move(list));
    return true;
}

bool BuildNextSlideButton(const CSwfTagList& tags)
{
    auto buttons = FindButtons("next_slide_btn", tags, 1);
    if (buttons.empty()) return false;
    auto list = NewList(false);
    list->AddAction(Pool({"slideshow_playing", "go", "slidepre_", "current_slide_index", "slide_"}));
    list->AddAction(new CActionSetTarget("../../"));
    list->AddAction(PushConstants({0}));
    list->AddAction(new CActionGetVariable);
    list->AddAction(new CActionNot);
    // Paused: go to the next slide's first frame and play its transition;
    // playing: go to its label and stay.
    list->AddAction(BranchBy<CActionIf>(37));
    GoNextWith(*list, 2);
    list->AddAction(new CActionPlay);
    list->AddAction(BranchBy<CActionJump>(31));
    GoNextWith(*list, 4);
    list->AddAction(new CActionSetTarget(""));
    OnSlideSound(*list, "../../:current_slide_index", new CActionStop);
    SetActions(buttons[0], std::move(list));
    return true;
}

bool BuildPlayPauseButton(const CSwfTagList& tags)
{
    auto buttons = TwoFrameButtons("playpause_btn", tags);
    if (buttons.empty()) return false;
    auto pause = NewList(false);
    CallShowFunction(*pause, "slideshow_pause");
    OnSlideSound(*pause, "current_slide_index", new CActionStop);
    SetActions(buttons[0], std::move(pause));
    auto play = NewList(false);
    CallShowFunction(*play, "slideshow_play");
    play->AddAction(new CActionSetTarget(""));
    OnSlideSound(*play, "../../:current_slide_index", new CActionPlay);
    SetActions(buttons[1], std::move(play));
    return true;
}

bool BuildMuteButton(const CSwfTagList& tags)
{
    auto buttons = TwoFrameButtons("mute_btn", tags);
    if (buttons.empty()) return false;
    SetActions(buttons[0], MuteActions(0.0, 1));
    SetActions(buttons[1], MuteActions(100.0, 0));
    return true;
}

void CControlsClip::Place(const CSlideShow& show, int* x, int* y)
{
    PlaceSkin(show, show.GetControlsSkin(), x, y);
}

void CMuteClip::Place(const CSlideShow& show, int* x, int* y)
{
    PlaceSkin(show, show.GetMuteSkin(), x, y);
}

CControlsClip::CControlsClip() : CSkinClip(kControlsKind) {}

CMuteClip::CMuteClip() : CSkinClip(kMuteKind) {}

bool CSkinClip::Build(CSlideShow& showToBuild, CSwfMovie& movie, uint16_t* nextId)
{
    show = &showToBuild;
    error.clear();
    CControlsSkin skin = kind.skin(*show);
    // A skin named by a project file is found in the program's skins.
    if (skin.path.IsEmpty()) skin.LocateInFolder(kind.folder);
    CSwfReader reader;
    struct ClearOnExit {
        CSwfReader& reader;
        ~ClearOnExit() { reader.ClearTags(true); }
    } clear{reader};
    // The name is the show's text, said as a terminal shows it.
    const std::string name = platform::MacRomanForTerminal(skin.fileName, false);
    if (skin.path.IsEmpty() || !reader.Parse(skin.path, true, 0, true)) {
        // The movie goes on without the clip, as without a skin.
        error = skin.fileName.empty() && skin.path.IsEmpty()
                    ? std::string("no ") + kind.what + " skin is chosen"
                    : std::string("the skin \"") + name + "\" cannot be read";
        return true;
    }
    const CSwfTagList& tags = reader.GetTags(nullptr);
    CTagPlaceObject2* placement = FindPlacementByName(kind.clipName, tags);
    auto* clip = placement ? dynamic_cast<CTagDefineSprite*>(FindCharacterById(placement->characterId, tags)) : nullptr;
    if (!clip) {
        error = std::string("the skin has no clip named ") + kind.clipName;
        return true;
    }
    CSwfTemplate import;
    if (!import.Load(clip, tags)) {
        error = import.error;
        return true;
    }
    CSwfTagList characters;
    import.CopyCharacters(characters, true);
    kind.buildButtons(tags, *show);

    uint16_t maxId = 0, maxDepth = 0;
    GetMaxIds(tags, maxId, maxDepth);
    const uint32_t n = *nextId;
    if (n + maxId + 10 > 0xFFFF) {
        error = "the skin's characters do not fit in the movie's 65535 ids";
        return false;
    }
    for (CSwfTag* tag : characters) {
        tag->OffsetIds(int(n + 1), 0, 0);
        movie.AddTag(tag, true);
    }
    *nextId = uint16_t(n + maxId + 10);

    placement->SetCharacterId(clip->characterId);
    placement->depth = kind.depth;
    int x = skin.x, y = skin.y;
    kind.place(*show, &x, &y);
    auto matrix = std::make_unique<CSwfMatrix>();
    // The clip is drawn about its centre.
    matrix->translateX = SwfClampSigned(int64_t(x) * 20 + int64_t(skin.width) * 20 / 2, 31);
    matrix->translateY = SwfClampSigned(int64_t(y) * 20 + int64_t(skin.height) * 20 / 2, 31);
    const double sx = skin.GetScaleX(), sy = skin.GetScaleY();
    if (sx != 1.0 || sy != 1.0) {
        matrix->hasScale = true;
        matrix->scaleX = SwfClampSigned(int64_t(std::trunc(sx * 65536 + 0.5)), 31);
        matrix->scaleY = SwfClampSigned(int64_t(std::trunc(sy * 65536 + 0.5)), 31);
    }
    placement->SetMatrix(matrix.release());
    movie.SetRecordPlacements(true);
    movie.AddTag(placement, true);
    movie.SetRecordPlacements(false);
    return true;
}
