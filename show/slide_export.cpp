#include "show/slide_export.h"

#include <cstdio>
#include <memory>
#include <string>

#include "media/progress.h"
#include "show/camera_fx.h"
#include "show/caption_export.h"
#include "media/swf_sound.h"
#include "show/prefs_record.h"
#include "show/slide.h"
#include "show/slide_bitmap.h"
#include "show/slide_show.h"
#include "swf/actions.h"
#include "swf/buttons.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/sprite.h"

namespace {

std::string Numbered(const char* format, int n)
{
    char text[32];
    std::snprintf(text, sizeof text, format, n);
    return text;
}

// Transitions and effects advance the counters themselves: a movie that
// passed the last usable id or depth cannot be completed.
bool CountersFit(CSwfMovie& movie, const uint16_t* ids, const uint16_t* depths)
{
    if (CountersInRange(*ids, *depths)) return true;
    movie.Fail("the movie has more characters or layers than it can number");
    return false;
}

void AddDoAction(CSwfMovie& movie, std::initializer_list<CSwfAction*> actions)
{
    auto* doAction = new CTagDoAction;
    for (CSwfAction* a : actions) doAction->AddAction(a);
    movie.AddTag(doAction);
}

// Playback controls show the slide number; both labels set it.
void AddIndexAction(CSwfMovie& movie, const CSlideShow& show, int index)
{
    if (!show.controls) return;
    AddDoAction(movie, {new CActionPush("current_slide_index"), new CActionPush(std::to_string(index).c_str()),
                        new CActionSetVariable});
}

// Captions are placed and removed with placement recording, so that their
// depths are renumbered above the slides when the movie is complete.
void AddRecorded(CSwfMovie& movie, CSwfTag* tag)
{
    movie.SetRecordPlacements(true);
    movie.AddTag(tag);
    movie.SetRecordPlacements(false);
}

void RemovePlacedDepths(CSlide& slide, CSwfMovie& movie)
{
    for (const CSlide::PlacedDepth& placed : slide.GetExportState().placedDepths) {
        auto* remove = new CTagRemoveObject2(placed.depth);
        if (placed.recorded)
            AddRecorded(movie, remove);
        else
            movie.AddTag(remove);
    }
}

// Completes the placement with the character and the next depth and adds
// it; the depth, or 0 when the depths ran out.
uint16_t PlaceAtNextDepth(CSwfMovie& movie, uint16_t* depths, uint16_t id, CTagPlaceObject2* place)
{
    const uint16_t depth = NextExportValue(depths, &movie);
    if (!depth) {
        delete place;
        return 0;
    }
    place->SetCharacterId(id);
    place->depth = depth;
    movie.AddTag(place);
    return depth;
}

CTagDoAction* BuildClickActions(CSlide& slide, int index, const CSlideShow& show)
{
    const int slideCount = show.GetExportSlideCount();
    auto* d = new CTagDoAction;
    const std::string& url = slide.GetClickUrl();
    auto gotoAndPlay = [d](const std::string& label) {
        d->AddAction(new CActionGotoLabel(label));
        d->AddAction(new CActionPlay);
    };
    switch (slide.GetClickType()) {
        case CSlide::kGetUrl:
            if (slide.GetClickOption()) {
                d->AddAction(new CActionPush(url.c_str()));
                d->AddAction(new CActionGetVariable);
                d->AddAction(new CActionPush(slide.GetClickTarget().c_str()));
                d->AddAction(new CActionGetURL2(0x40));
            } else if (slide.GetClickPopup()) {
                d->AddAction(new CActionGetURL(slide.GetPopup().BuildUrl(url), ""));
            } else {
                d->AddAction(new CActionGetURL(url, slide.GetClickTarget()));
            }
            break;
        case CSlide::kLoadMovie:
            d->AddAction(new CActionPush(url.c_str()));
            d->AddAction(new CActionPush(""));
            d->AddAction(new CActionGetURL2(0x40));
            break;
        case CSlide::kNextSlide:
            gotoAndPlay(Numbered("slidepre_%d", index + 1 > slideCount ? 1 : index + 1));
            break;
        case CSlide::kPreviousSlide:
            gotoAndPlay(Numbered("slide_%d", index - 1 < 1 ? slideCount : index - 1));
            break;
        case CSlide::kJumpToSlide:
            gotoAndPlay(Numbered("slide_%d", show.GetExportSlideNumber(slide.GetJumpTo())));
            break;
        case CSlide::kFirstSlide:
            gotoAndPlay("slide_1");
            break;
        case CSlide::kLastSlide:
            gotoAndPlay(Numbered("slide_%d", slideCount));
            break;
        case CSlide::kPrint: {
            auto* push = new CActionPush;
            push->PushString("printasbitmap:#bmovie");
            push->PushString(Numbered("sld_%d", index));
            d->AddAction(push);
            d->AddAction(new CActionGetURL2(0x40));
            break;
        }
        default:
            break;
    }
    return d;
}

// An invisible button over the slide's rectangle that runs its click action.
bool ExportSlideClick(CSlide& slide, int index, CSwfMovie& movie, CSlideShow& show, uint16_t* ids, uint16_t* depths)
{
    if (!slide.GetClickEnabled()) return true;
    // A jump to a slide the movie lacks would name a label it lacks: the
    // slide takes no click.
    if (slide.GetClickType() == CSlide::kJumpToSlide && !show.GetExportSlideNumber(slide.GetJumpTo())) return true;
    const uint16_t id = NextExportValue(ids, &movie);
    if (!id) return false;
    auto* button = new CTagDefineButton2;
    button->SetCharacterId(id);
    button->AddCondAction(swf_button_cond::kOverDownToOverUp, BuildClickActions(slide, index, show));
    auto* record = new CSwfButtonRecord(swf_button_state::kHitTest, show.GetHitAreaShapeId(), 1);
    record->matrix = std::make_unique<CSwfMatrix>();
    record->matrix->hasScale = true;
    record->matrix->scaleX = int32_t(double(slide.GetWidth()) / show.GetWidth() * 65536 + 0.5);
    record->matrix->scaleY = int32_t(double(slide.GetHeight()) / show.GetHeight() * 65536 + 0.5);
    record->matrix->translateX = slide.GetX() * 20;
    record->matrix->translateY = slide.GetY() * 20;
    button->AddRecord(record);
    movie.AddTag(button);

    auto* place = new CTagPlaceObject2;
    place->SetMatrix(new CSwfMatrix);
    const uint16_t depth = PlaceAtNextDepth(movie, depths, id, place);
    if (!depth) return false;
    slide.GetExportState().placedDepths.push_back({depth, false});
    return true;
}

// The slide's sound as a stream inside a clip of its own, which waits on
// its first frame until the sound's start time tells it to play.
bool ExportSlideSound(CSlide& slide, int index, CSwfMovie& movie, uint16_t* ids, uint16_t* depths)
{
    CSoundList& sounds = slide.GetSounds();
    if (sounds.GetPlayUntilNextSound()) {
        AddDoAction(movie, {new CActionSetTarget(Numbered("slidesound_%d", index - 1)), new CActionStop,
                            new CActionSetTarget("")});
    }
    if (!sounds.HasInclude()) return true;
    const CSoundItem* item = sounds.Get(0);
    if (!item) return false;
    // A sound whose file went missing was said by the reader.
    if (!item->HasFile()) return true;
    CSwfSoundFormat format = item->GetExportFormat(movie.GetFrameRate());
    CSlideShow* show = slide.GetShow();
    CSwfSoundBuilder builder;
    std::unique_ptr<CTagSoundStreamHead> head(
        builder.MakeStreamHead(item->GetSrc(), format, show ? show->GetProgressSink() : nullptr));
    // The show numbers the slide once it is written.
    if (show) show->NoteSoundOutcome(-1, *item, builder, head != nullptr);
    if (!head) return false;
    // The clip takes the blocks over.
    builder.SetNoDelete(true);
    const uint16_t id = NextExportValue(ids, &movie);
    if (!id) {
        for (CTagSoundStreamBlock* block : builder.GetBlocks()) delete block;
        return false;
    }
    auto* sprite = new CTagDefineSprite;
    sprite->SetCharacterId(id);
    auto* wait = new CTagDoAction;
    wait->AddAction(new CActionStop);
    sprite->AddTag(wait);
    sprite->AddTag(new CTagShowFrame);
    sprite->AddTag(head.release());
    for (CTagSoundStreamBlock* block : builder.GetBlocks()) {
        sprite->AddTag(block);
        sprite->AddTag(new CTagShowFrame);
    }
    auto* end = new CTagDoAction;
    if (sounds.Get(0)->GetLoop()) {
        end->AddAction(new CActionGotoFrame(1));
        end->AddAction(new CActionPlay);
    } else {
        end->AddAction(new CActionStop);
    }
    sprite->AddTag(end);
    // A frame's actions run only once the frame is shown.
    sprite->AddTag(new CTagShowFrame);
    movie.AddTag(sprite);

    auto* place = new CTagPlaceObject2;
    place->name = Numbered("slidesound_%d", index);
    place->hasName = true;
    return PlaceAtNextDepth(movie, depths, id, place) != 0;
}

void ExportSlideCaptions(CSlide& slide, CSlideShow& show, CSwfMovie& movie, int frame, long rel)
{
    CSlide::ExportState& own = slide.GetExportState();
    CCaptionList& captions = slide.GetCaptions();
    for (int i = 0; i < captions.GetCount(); ++i) {
        const CCaption* caption = captions.Get(i);
        if (long(show.MsToFrames(caption->GetStartTime())) != rel) continue;
        // Slide and show captions take their depths from the one depth
        // counter, so no two share a depth once recorded depths are renumbered.
        std::unique_ptr<CTagPlaceObject2> place =
            ExportCaption(*caption, show, show.GetFontTable(), movie, *own.idCounter, *own.depthCounter);
        if (!place) continue;
        if (!CountersFit(movie, own.idCounter, own.depthCounter)) return;
        const uint16_t placed = place->depth;
        AddRecorded(movie, place.release());
        if (caption->GetShowTillNext()) {
            own.placedDepths.push_back({placed, true});
            continue;
        }
        // Removed its duration after the frame that placed it.
        const uint32_t after = show.MsToFrames(caption->GetDuration());
        const long placedAt = long(frame) - long(show.GetFramesBeforeFirstSlide());
        if (after == 0 || placedAt < 0)
            AddRecorded(movie, new CTagRemoveObject2(placed));
        else
            show.AddRemoveRecord(placed, uint32_t(placedAt) + after);
    }
}

// Bitmap, labels, character and transition: steps shared by the slide and
// its loop-back.
static_assert(int64_t(CSlide::kMaxPosition) * 20 + int64_t(CSlide::kMaxSize) * 10 <= kSwfMatrixMax,
              "a slide's place must fit a SWF matrix");

void SetCameraCentre(CSlide& slide)
{
    slide.ResetTransform();
    CSlide::CameraPlacement& camera = slide.GetCameraPlacement();
    camera.centerX = ClampToSwfMatrix(double(slide.GetX()) * 20 + ((slide.GetWidth() * 20) >> 1));
    camera.centerY = ClampToSwfMatrix(double(slide.GetY()) * 20 + ((slide.GetHeight() * 20) >> 1));
}

void BeginExport(CSlide& slide, CSwfMovie* movie, int index, CSlideShow* show, uint16_t* ids, uint16_t* depths)
{
    CSlide::ExportState& state = slide.GetExportState();
    state.movie = movie;
    state.idCounter = ids;
    state.depthCounter = depths;
    state.index = index;
    state.startFrame = 65535;
    state.placedDepths.clear();
    slide.SetShow(show);
    slide.ResetTransform();
    slide.SetAdjustBitmapShift(GetPrefsRecord().default_image_adjust_bitmap_shift != 0);
}

}  // namespace

uint32_t SlideDisplayFrames(double frameRate, uint32_t durationMs)
{
    const double frames = frameRate * durationMs / 1000;
    if (!(frames > 0)) return 0;
    return frames >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(frames);
}

uint16_t NextExportValue(uint16_t* counter, CSwfMovie* movie)
{
    if (!counter) return 0;
    if (*counter >= CSlideShow::kMaxExportId) {
        if (movie) movie->Fail("the movie has more characters or layers than it can number");
        return 0;
    }
    return ++*counter;
}

void PlaceSlide(CSlide* slide, CSwfMovie* movie, CSwfCxformWithAlpha* cxform)
{
    if (!slide || !movie) return;
    CTagPlaceObject2* place = NewPlacement(slide->GetCharacterId(), slide->GetDepth(),
                                           slide->GetCameraPlacement().centerX, slide->GetCameraPlacement().centerY);
    if (cxform) place->SetCxform(new CSwfCxformWithAlpha(*cxform));
    if (slide->GetClickType() == CSlide::kPrint) {
        place->name = Numbered("sld_%d", slide->GetExportState().index);
        place->hasName = true;
    }
    movie->AddTag(place);
}

bool ExportSlideFrames(CSlide* slide, CSwfMovie* movie, int index, CSlideShow* show, uint16_t* idCounter,
                       uint16_t* depthCounter)
{
    if (!slide || !movie || !show || !idCounter || !depthCounter) return false;
    BeginExport(*slide, movie, index, show, idCounter, depthCounter);
    const bool image = slide->GetType() == CSlide::kImage;
    if (image && !ExportSlideBitmap(*slide, *movie, idCounter, show->GetProgressSink(), false)) return false;
    SetCameraCentre(*slide);

    movie->AddTag(new CTagFrameLabel(Numbered("slidepre_%d", index).c_str()));
    AddIndexAction(*movie, *show, index);
    if (!ExportSlideShape(*slide, *movie, idCounter, false)) return false;
    const uint16_t depth = NextExportValue(depthCounter, movie);
    if (!depth) return false;
    slide->SetDepth(depth);
    slide->GetTransitionIn().GenerateSwf(slide, show->GetPreviousSlide(), movie, idCounter, depthCounter);
    if (!CountersFit(*movie, idCounter, depthCounter)) return false;
    movie->AddTag(new CTagFrameLabel(Numbered("slide_%d", index).c_str()));
    AddIndexAction(*movie, *show, index);

    // One sprite per effect name in a movie; each slide places it anew.
    COverlayEffect& effect = slide->GetSwfFx();
    COverlayEffect* used = show->GetUsedEffects().AddUnique(&effect);
    const uint16_t sprite = used == &effect ? effect.Build(movie, idCounter, depthCounter) : used->GetSpriteId();
    if (!CountersFit(*movie, idCounter, depthCounter)) return false;
    if (sprite) {
        const uint16_t fxDepth = NextExportValue(depthCounter, movie);
        if (!fxDepth) return false;
        slide->GetExportState().placedDepths.push_back({fxDepth, false});
        used->Place(movie, fxDepth);
    }

    slide->GetExportState().startFrame = movie->GetFrameCount();
    if (!ExportSlideClick(*slide, index, *movie, *show, idCounter, depthCounter)) return false;
    const uint32_t frames = SlideDisplayFrames(movie->GetFrameRate(), slide->GetDuration());
    for (uint32_t i = 0; i < frames && !movie->Failed(); ++i) movie->AddTag(new CTagShowFrame);
    if (image) {
        for (int i = 0; i < slide->GetCameraFxCount(); ++i) slide->GetCameraFx(i)->BuildSwf(*slide, *movie);
    }
    if (slide->GetPauseAfter()) {
        auto* pause = new CTagDoAction;
        pause->AddAction(new CActionStop);
        if (show->controls) {
            auto* push = new CActionPush;
            push->PushDouble(0.0);
            push->PushString("slideshow_pause");
            pause->AddAction(push);
            pause->AddAction(new CActionCallFunction);
            pause->AddAction(new CActionPop);
        }
        movie->AddTag(pause);
        movie->AddTag(new CTagShowFrame);
    }
    RemovePlacedDepths(*slide, *movie);
    return !movie->Failed();
}

void ExportFrameEvents(CSlide* slide, int frame)
{
    if (!slide) return;
    CSlide::ExportState& own = slide->GetExportState();
    CSlideShow* show = slide->GetShow();
    CSwfMovie* movie = own.movie;
    const long rel = long(frame) - long(own.startFrame);
    if (!show || !movie || rel < 0) return;
    const bool first = rel == 0;
    if (first && slide->GetLoadUrlOnDisplay())
        AddDoAction(*movie, {new CActionGetURL(slide->GetOnDisplayLoadUrl(), slide->GetOnDisplayLoadTarget())});
    CSoundList& sounds = slide->GetSounds();
    if (const CSoundItem* item = sounds.Get(0)) {
        if (first) ExportSlideSound(*slide, own.index, *movie, own.idCounter, own.depthCounter);
        if (rel == long(show->MsToFrames(item->GetStartTime())) && sounds.HasInclude()) {
            char target[64];
            std::snprintf(target, sizeof target, "slidesound_%d", own.index);
            AddDoAction(*movie, {new CActionSetTarget(target), new CActionGotoFrame(1), new CActionPlay,
                                 new CActionSetTarget("")});
        }
    }
    ExportSlideCaptions(*slide, *show, *movie, frame, rel);
}

void PrepareCaptionFonts(CSlide* slide, CSwfFontManager* fonts)
{
    if (!slide || !fonts || !slide->GetShow()) return;
    const CCaptionList& captions = slide->GetCaptions();
    for (int i = 0; i < captions.GetCount(); ++i) PrepareCaptionExport(*captions.Get(i), *slide->GetShow(), *fonts);
}

bool ExportLoopTransition(CSlide* first, CSwfMovie* movie, CSlideShow* show, uint16_t* ids, uint16_t* depths)
{
    if (!first || !movie || !show || !ids || !depths) return true;
    CSlide::ExportState& state = first->GetExportState();
    state.movie = movie;
    state.idCounter = ids;
    state.depthCounter = depths;
    first->SetShow(show);
    SetCameraCentre(*first);
    // The last slide written, which a skipped slide never becomes.
    CSlide* last = show->GetLastWrittenSlide();
    if (!last) last = show->GetLastSlide();
    const uint16_t kept = first->GetDepth();
    const uint16_t depth = NextExportValue(depths, movie);
    if (depth) {
        first->SetDepth(depth);
        first->GetTransitionIn().GenerateSwf(first, last, movie, ids, depths);
        first->SetDepth(kept);
        CountersFit(*movie, ids, depths);
    }
    AddIndexAction(*movie, *show, 1);
    return true;
}

bool ExportSlideImages(CSlide* slide, CSwfMovie* movie, int index, uint16_t* ids)
{
    if (!slide || !movie || !ids) return false;
    CSlide::ExportState& state = slide->GetExportState();
    state.movie = movie;
    state.idCounter = ids;
    state.index = index;
    if (slide->GetType() == CSlide::kImage && !ExportSlideBitmap(*slide, *movie, ids, nullptr, true)) return false;
    SetCameraCentre(*slide);
    return ExportSlideShape(*slide, *movie, ids, true);
}

bool CountersInRange(uint16_t ids, uint16_t depths)
{
    return ids <= CSlideShow::kMaxExportId && depths <= CSlideShow::kMaxExportId;
}
