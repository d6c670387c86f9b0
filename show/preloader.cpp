#include "show/preloader.h"

#include <string>

#include "fonts/font_manager.h"
#include "foundation/code_bundle.h"
#include "show/movie_settings.h"
#include "swf/actions.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/sprite.h"
#include "swf/template_import.h"

namespace {

constexpr char kBarName[] = "PreloadBar";
constexpr char kBarFgPath[] = "PreloadBar/BarFg";
constexpr char kBarBgPath[] = "PreloadBar/BarBg";
// Movie clip property numbers, pushed as strings.
constexpr char kPropX[] = "0", kPropY[] = "1", kPropWidth[] = "8", kPropHeight[] = "9";

template <class Action, class... Args>
std::unique_ptr<CSwfAction> Make(Args&&... args)
{
    return std::make_unique<Action>(std::forward<Args>(args)...);
}

std::unique_ptr<CActionPush> PushStrings(std::initializer_list<std::string> texts)
{
    auto push = std::make_unique<CActionPush>();
    for (const std::string& text : texts) push->PushString(text);
    return push;
}

std::unique_ptr<CTagDoAction> NewDoAction()
{
    auto tag = std::make_unique<CTagDoAction>();
    tag->SetBranchTracking(true, true);
    return tag;
}

// setProperty(target, property, value) with all three pushed as strings,
// either in one Push or one Push each.
void AddSetProperty(CTagDoAction& tag, const std::string& target, const char* property, const std::string& value,
                    bool pushEach)
{
    if (pushEach) {
        for (const std::string& text : {target, std::string(property), value}) tag.AddAction(PushStrings({text}));
    } else {
        tag.AddAction(PushStrings({target, property, value}));
    }
    tag.AddAction(Make<CActionSetProperty>());
}

// SetTarget ".."; action; SetTarget "": acts on the parent timeline.
void AddOnParent(CTagDoAction& tag, std::unique_ptr<CSwfAction> action)
{
    tag.AddAction(Make<CActionSetTarget>(".."));
    tag.AddAction(std::move(action));
    tag.AddAction(Make<CActionSetTarget>(""));
}

}  // namespace

// ---- layout

CPreloaderLayout::CPreloaderLayout()
{
    percent.text = kPreloaderPercentGlyphs;
}

void FillPreloaderLayout(CPreloaderLayout& layout, const CMovieSettings& settings, int width, int height,
                         const std::vector<uint8_t>* barTemplate)
{
    const int fontSize = settings.preload_font.GetSize();
    for (CStaticTextBuilder* text : {&layout.label, &layout.percent}) {
        text->SetFont(settings.preload_font);
        text->SetColor(settings.preload_text_color);
    }
    layout.label.text = settings.preload_text;
    layout.percent.text = kPreloaderPercentGlyphs;
    layout.label.SetX(10);
    layout.label.SetY(100);

    layout.barOn = barTemplate && !barTemplate->empty();
    layout.barTemplate = layout.barOn ? barTemplate->data() : nullptr;
    layout.barTemplateSize = layout.barOn ? barTemplate->size() : 0;
    if (layout.barOn) {
        layout.barHeight = 12;
        layout.barWidth = int32_t(width * 0.6);
        layout.barX = (width >> 1) - (layout.barWidth >> 1);
        layout.barY = (height >> 1) - 10;
        layout.label.SetX(layout.barX);
        layout.label.SetY(layout.barY - (fontSize + 8));
    } else {
        layout.barWidth = layout.barHeight = layout.barX = layout.barY = 0;
    }
    layout.percent.SetX(layout.label.x + layout.label.MeasureWidth() + 8);
    layout.percent.SetY(layout.label.y);
    layout.amount = settings.preload_amount;
    layout.labelOn = layout.percentOn = true;
}

// ---- builder

void CPreloaderBuilder::ReaderCloser::operator()(CSwfReader* reader) const
{
    reader->ClearTags(true);
    delete reader;
}

void CPreloaderBuilder::Init()
{
    layout = nullptr;
    fonts = nullptr;
    clip = nullptr;
    movie = nullptr;
    barReader.reset();
    barMaxId = 0;
    error.clear();
}

void CPreloaderBuilder::LoadBarTemplate()
{
    barReader.reset();
    barMaxId = 0;
    if (!layout->barOn) return;
    std::unique_ptr<CSwfReader, ReaderCloser> reader(new CSwfReader());
    CSwfTag::ResetParsedIdRange();
    // A template that cannot be read is no bar, as a missing one is.
    if (!reader->OpenMemory(layout->barTemplate, layout->barTemplateSize, true, 0, true)) return;
    uint16_t maxDepth = 0;
    GetMaxIds(reader->GetTags(nullptr), barMaxId, maxDepth);
    barReader = std::move(reader);
}

bool CPreloaderBuilder::CheckRoom()
{
    // Ids are taken by pre-increment: fonts, the clip, the texts and the
    // bar's block of barMaxId + 1. Counted wide, so that nothing wraps.
    const uint64_t ids = uint64_t(nextId) + fonts->GetFonts().size() + 1 + (layout->labelOn ? 1 : 0) +
                         (layout->percentOn ? 1 : 0) + (barReader ? uint64_t(barMaxId) + 1 : 0);
    if (ids > 0xFFFF) {
        error = "the movie has too many characters for the preloader";
        return false;
    }
    if (nextDepth >= 0xFFFF) {
        error = "the movie has no depth left for the preloader";
        return false;
    }
    return true;
}

void CPreloaderBuilder::AddToClip(CSwfTag* tag)
{
    if (!clip->AddTag(tag)) delete tag;
}

uint16_t CPreloaderBuilder::Build(CPreloaderLayout* layoutIn, CSwfMovie* movieIn, uint16_t* nextIdInOut,
                                  uint16_t* nextDepthInOut)
{
    Init();
    if (!layoutIn || !movieIn || !nextIdInOut || !nextDepthInOut) {
        error = "nothing to build the preloader into";
        return 0;
    }
    layout = layoutIn;
    movie = movieIn;
    nextId = *nextIdInOut;
    nextDepth = *nextDepthInOut;
    nextClipDepth = 0;
    labelTextId = percentTextId = 0;

    CSwfFontManager fontTable;
    fonts = &fontTable;
    if (layout->labelOn) fonts->FindFont(layout->label.font, layout->label.text.c_str(), 0);
    if (layout->percentOn) fonts->FindFont(layout->percent.font, kPreloaderPercentGlyphs, 0);
    LoadBarTemplate();
    if (!CheckRoom()) {
        barReader.reset();
        fonts = nullptr;
        return 0;
    }

    BuildFonts();
    auto sprite = std::make_unique<CTagDefineSprite>();
    sprite->SetCharacterId(++nextId);
    const uint16_t depth = ++nextDepth;
    clip = sprite.get();
    BuildLabelText();
    BuildPercentText();
    BuildBarSprite();
    PlaceLabel();
    PlacePercent();
    BuildScript();

    const uint16_t clipId = clip->GetCharacterId();
    movie->AddTag(sprite.release());
    clip = nullptr;
    auto place = std::make_unique<CTagPlaceObject2>();
    place->SetCharacterId(clipId);
    place->depth = depth;
    place->SetMatrix(new CSwfMatrix());
    movie->AddTag(place.release());

    fonts = nullptr;
    *nextIdInOut = nextId;
    *nextDepthInOut = nextDepth;
    return depth;
}

void CPreloaderBuilder::BuildFonts()
{
    fonts->BuildFontTags(*movie, nextId);
}

void CPreloaderBuilder::BuildLabelText()
{
    if (!layout->labelOn) return;
    // A font that cannot be embedded gives no text, and nothing is placed.
    if (fonts->EmbedFont(layout->label.font, *movie) == 0) return;
    std::unique_ptr<CTagDefineText2> text = layout->label.Build(*fonts, *movie, nextId);
    if (!text) return;
    labelTextId = text->GetCharacterId();
    movie->AddTag(text.release());
}

void CPreloaderBuilder::BuildPercentText()
{
    if (!layout->percentOn) return;
    if (fonts->EmbedFont(layout->percent.font, *movie) == 0) return;
    std::unique_ptr<CTagDefineEditText> field = layout->percent.BuildEditText(*fonts, *movie, nextId);
    if (!field) return;
    field->SetCharacterId(++nextId);
    field->initialText = "0%";
    field->variableName = "text";
    const uint32_t rgb = layout->percent.font.color;
    field->textColor = std::make_unique<CSwfRGBA>(uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16), 255);
    field->flags |= swf_edit::kHasText | swf_edit::kHasTextColor;
    percentTextId = field->GetCharacterId();
    movie->AddTag(field.release());
}

void CPreloaderBuilder::BuildBarSprite()
{
    if (!barReader) return;
    const CSwfTagList& tags = barReader->GetTags(nullptr);
    CTagPlaceObject2* bar = FindPlacementByName(kBarName, tags);
    CSwfTag* character = bar && bar->hasCharacter ? FindCharacterById(bar->characterId, tags) : nullptr;
    if (!character) {
        barReader.reset();
        return;
    }

    auto setup = NewDoAction();
    AddSetProperty(*setup, kBarName, kPropWidth, std::to_string(layout->barWidth), true);
    AddSetProperty(*setup, kBarName, kPropHeight, std::to_string(layout->barHeight), true);
    AddSetProperty(*setup, kBarName, kPropX, std::to_string(layout->barX), true);
    AddSetProperty(*setup, kBarName, kPropY, std::to_string(layout->barY), true);
    AddSetProperty(*setup, kBarFgPath, kPropWidth, "0", true);
    AddToClip(setup.release());

    CSwfTagList collected;
    if (auto* sprite = dynamic_cast<CTagDefineSprite*>(character)) {
        CSwfTemplate clipTemplate;
        clipTemplate.Load(sprite, tags);
        clipTemplate.CopyCharacters(collected, true);
    } else {
        CSwfSymbolDependencies dependencies;
        dependencies.CollectForCharacter(character, tags);
        collected = dependencies.tagList;
    }
    const int idOffset = int(nextId) + 1;
    for (CSwfTag* tag : collected) {
        tag->OffsetIds(idOffset, int(nextDepth) + 1, 0);
        movie->AddTag(tag, true);
    }
    bar->OffsetIds(idOffset, 0, 0);
    auto copy = std::make_unique<CTagPlaceObject2>();
    copy->CopyFrom(*bar);
    copy->hasClipActions = false;
    copy->depth = ++nextClipDepth;
    AddToClip(copy.release());
    nextId = uint16_t(nextId + barMaxId + 1);
    barReader.reset();
}

void CPreloaderBuilder::PlaceLabel()
{
    if (!layout->labelOn || labelTextId == 0) return;
    AddToClip(NewPlacement(labelTextId, ++nextClipDepth));
}

void CPreloaderBuilder::PlacePercent()
{
    if (!layout->percentOn || percentTextId == 0) return;
    CTagPlaceObject2* place =
        NewPlacement(percentTextId, ++nextClipDepth, layout->percent.x * kTwips,
                     layout->percent.y * kTwips + layout->percent.font.GetSize() * 10);
    place->name = "pl";
    place->hasName = true;
    AddToClip(place);
}

void CPreloaderBuilder::BuildScript()
{
    // Frame 1: size the bar and stop the main timeline.
    auto sizeBar = NewDoAction();
    AddSetProperty(*sizeBar, kBarName, kPropWidth, std::to_string(layout->barWidth), false);
    AddSetProperty(*sizeBar, kBarName, kPropHeight, std::to_string(layout->barHeight), false);
    AddToClip(sizeBar.release());
    auto stopMain = NewDoAction();
    AddOnParent(*stopMain, Make<CActionStop>());
    AddToClip(stopMain.release());
    AddToClip(new CTagShowFrame());

    // Frame 2: percentLoaded := int(loaded / total × 100), shown in the
    // field and the bar; at the amount, on to the last frame.
    auto progress = NewDoAction();
    auto pool = std::make_unique<CActionConstantPool>();
    for (const char* s : {"percentLoaded", "_root", "getBytesLoaded", "getBytesTotal"}) pool->Add(s);
    progress->AddAction(std::move(pool));
    auto callOnRoot = [&progress](uint8_t method, bool withTarget) {
        auto push = std::make_unique<CActionPush>();
        if (withTarget) push->PushConstant8(0);
        push->PushDouble(0.0);
        push->PushConstant8(1);
        progress->AddAction(std::move(push));
        progress->AddAction(Make<CActionGetVariable>());
        auto name = std::make_unique<CActionPush>();
        name->PushConstant8(method);
        progress->AddAction(std::move(name));
        progress->AddAction(Make<CActionCallMethod>());
    };
    callOnRoot(2, true);
    callOnRoot(3, false);
    progress->AddAction(Make<CActionDivide>());
    progress->AddAction(std::make_unique<CActionPush>(int32_t(100)));
    progress->AddAction(Make<CActionMultiply>());
    progress->AddAction(Make<CActionToInteger>());
    progress->AddAction(Make<CActionSetVariable>());
    if (layout->percentOn) {
        progress->AddAction(PushStrings({"pl:text", "percentLoaded"}));
        progress->AddAction(Make<CActionGetVariable>());
        progress->AddAction(PushStrings({"%"}));
        progress->AddAction(Make<CActionStringAdd>());
        progress->AddAction(Make<CActionSetVariable>());
    }
    if (layout->barOn) {
        progress->AddAction(PushStrings({kBarFgPath, kPropWidth, kBarBgPath, kPropWidth}));
        progress->AddAction(Make<CActionGetProperty>());
        progress->AddAction(PushStrings({"percentLoaded"}));
        progress->AddAction(Make<CActionGetVariable>());
        progress->AddAction(PushStrings({"100"}));
        progress->AddAction(Make<CActionDivide>());
        progress->AddAction(Make<CActionMultiply>());
        progress->AddAction(Make<CActionSetProperty>());
    }
    progress->AddAction(PushStrings({"percentLoaded"}));
    progress->AddAction(Make<CActionGetVariable>());
    progress->AddAction(PushStrings({std::to_string(layout->amount)}));
    progress->AddAction(Make<CActionLess>());
    progress->AddAction(Make<CActionNot>());
    progress->AddAction(Make<CActionNot>());
    progress->AddAction(Make<CActionIf>());
    progress->AddAction(Make<CActionGotoFrame>(uint16_t(3)));
    progress->AddAction(Make<CActionPlay>());
    progress->EndBlock();
    AddToClip(progress.release());
    AddToClip(new CTagShowFrame());

    // Frame 3: back to frame 2 until the amount is reached.
    auto loop = NewDoAction();
    loop->AddAction(Make<CActionPreviousFrame>());
    loop->AddAction(Make<CActionPlay>());
    AddToClip(loop.release());
    AddToClip(new CTagShowFrame());

    // Frame 4: the main timeline plays on; the clip stops.
    auto release = NewDoAction();
    AddOnParent(*release, Make<CActionPlay>());
    release->AddAction(Make<CActionStop>());
    AddToClip(release.release());
    AddToClip(new CTagShowFrame());
}

// ---- the SWF-protection bundle's preloader

bool BuildLockPreloader(const CPath& bundlePath, const CMovieSettings& settings, CSwfMovie& movie, uint16_t* nextId,
                        uint16_t* nextDepth, int* framesBeforeFirstSlide)
{
    CLockBundle bundle;
    if (!bundle.Load(bundlePath)) return false;
    const CPath& src = settings.preload_import_src;
    const std::string source = src.IsEmpty() ? std::string() : src.GetFullPath();
    return bundle.Process(source.c_str(), &movie, nextId, nextDepth, framesBeforeFirstSlide);
}
