// The movie-level parts of an export: the stage's hit area, the click
// button, the background image, frame and shape, the playback functions
// and the start, end and loop actions.
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "foundation/cfstring.h"
#include "foundation/system_utils.h"
#include "media/jpeg_image.h"
#include "media/qt_movie.h"
#include "media/swf_bitmap.h"
#include "platform/gestalt.h"
#include "show/preloader.h"
#include "show/slide_export.h"
#include "show/slide_show.h"
#include "swf/actions.h"
#include "swf/buttons.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/sprite.h"

namespace {

constexpr uint16_t kFrameDepth = 65000;

// A bitmap fill's matrix: the bitmap's pixels at twenty twips each.
CSwfMatrix PixelMatrix()
{
    CSwfMatrix m;
    m.hasScale = true;
    m.scaleX = m.scaleY = kTwips << 16;
    return m;
}

void Place(CSwfMovie* movie, uint16_t id, uint16_t depth)
{
    movie->AddTag(NewPlacement(id, depth));
}

// The picture file as 24-bit pixels at the size DrawnPictureSize gives;
// false when it cannot be read or drawn at that size.
bool RenderPicture(const CPath& path, uint32_t givenWidth, uint32_t givenHeight, std::vector<uint8_t>& pixels,
                   int* outW, int* outH)
{
    CQTMovie picture;
    if (!picture.OpenFile(path)) return false;
    int naturalWidth = 0, naturalHeight = 0, width = 0, height = 0;
    picture.GetSize(&naturalWidth, &naturalHeight);
    if (!DrawnPictureSize(givenWidth, givenHeight, naturalWidth, naturalHeight, &width, &height)) return false;
    Rect dst;
    dst.right = int16_t(width);
    dst.bottom = int16_t(height);
    const uint32_t size = picture.RenderFrame(0, nullptr, &dst, nullptr, 24);
    if (size == 0) return false;
    pixels.assign(size, 0);
    if (picture.RenderFrame(0, pixels.data(), &dst, nullptr, 24) == 0) return false;
    *outW = width;
    *outH = height;
    return true;
}

// A JPEG bitmap of the picture with the next id; 0 when it cannot be made.
// What its decoder found damaged is said as a slide's damage is.
uint16_t AddPictureBitmap(CSwfMovie* movie, uint16_t* ids, const CPath& path, uint32_t width, uint32_t height, int quality,
                          int* outW, int* outH, std::vector<std::string>* damage)
{
    std::vector<uint8_t> pixels;
    CJpegWarnings said;
    const bool rendered = RenderPicture(path, width, height, pixels, outW, outH);
    *damage = said.Get();
    if (!rendered) return 0;
    CSwfBitmap bitmap;
    CTagDefineBitsJPEG2* tag = bitmap.MakeJpeg(pixels.data(), uint32_t(*outW), uint32_t(*outH), quality);
    if (!tag) return 0;
    tag->SetCharacterId(++*ids);
    movie->AddTag(tag);
    return *ids;
}

// A closed rectangle from its bottom-left corner: up the left, along the
// top, down the right and back along the bottom. Line style light takes
// the first two edges and dark the last two; both 0 draw no line.
void AddRectangle(CShape& shape, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t fill0, uint16_t fill1,
                  uint16_t light, uint16_t dark)
{
    CShapeRecordStyleChange* start = shape.AddMoveTo(x0, y1);
    start->fillStyle0 = fill0;
    start->fillStyle1 = fill1;
    start->lineStyle = light;
    start->SetFlags(swf_shape::kMoveTo | swf_shape::kFillStyle0 | swf_shape::kFillStyle1 |
                    (light || dark ? uint32_t(swf_shape::kLineStyle) : 0u));
    shape.AddVerticalLine(y0 - y1);
    shape.AddHorizontalLine(x1 - x0);
    if (light != dark) {
        auto change = std::make_unique<CShapeRecordStyleChange>(swf_shape::kLineStyle, &shape);
        change->lineStyle = dark;
        shape.AddRecord(std::move(change));
    }
    shape.AddVerticalLine(y1 - y0);
    shape.AddHorizontalLine(x0 - x1);
}

std::unique_ptr<CFillStyle> GradientFill(uint8_t type, const CSwfMatrix& matrix,
                                         std::initializer_list<std::pair<uint8_t, uint32_t>> stops)
{
    auto fill = std::make_unique<CFillStyle>(type, 0);
    fill->gradient = std::make_unique<CSwfGradient>();
    for (const auto& [ratio, colour] : stops) fill->gradient->Append(std::make_unique<CSwfGradRecord>(ratio, colour, 0));
    fill->matrix = std::make_unique<CSwfMatrix>(matrix);
    return fill;
}

}  // namespace

bool DrawnPictureSize(uint32_t width, uint32_t height, int naturalWidth, int naturalHeight, int* outWidth,
                      int* outHeight)
{
    const bool own = width == 0 || height == 0;
    const int64_t w = own ? naturalWidth : int64_t(width), h = own ? naturalHeight : int64_t(height);
    if (w <= 0 || h <= 0 || w > kMaxDrawnPictureSide || h > kMaxDrawnPictureSide) return false;
    *outWidth = int(w);
    *outHeight = int(h);
    return true;
}

void CSlideShow::BuildHitAreaShape(CSwfMovie* movie, uint16_t* ids)
{
    auto* shape = new CTagDefineShape;
    shape->SetCharacterId(++*ids);
    hit_area_shape_id_ = *ids;
    shape->BuildRect(0, 0, int32_t(GetWidth()) * kTwips, int32_t(GetHeight()) * kTwips, CFillStyle::MakeSolid(0),
                     nullptr);
    movie->AddTag(shape);
}

void CSlideShow::BuildPlaybackFunctions(CTagDoAction* action) const
{
    auto* pool = new CActionConstantPool;
    pool->Add("slideshow_playing");
    action->AddAction(pool);
    auto addFunction = [action](const char* name, bool playing) {
        std::vector<std::unique_ptr<CSwfAction>> body;
        auto* push = new CActionPush;
        push->PushConstant8(0);
        push->PushBool(playing ? 1 : 0);
        body.emplace_back(push);
        body.emplace_back(new CActionSetVariable);
        body.emplace_back(new CActionSetTarget("show_controls/playpause_btn"));
        body.emplace_back(new CActionGotoFrame(playing ? 1 : 0));
        body.emplace_back(new CActionPlay);
        body.emplace_back(new CActionSetTarget(""));
        if (playing)
            body.emplace_back(new CActionPlay);
        else
            body.emplace_back(new CActionStop);
        auto* function = new CActionDefineFunction(name);
        for (const auto& a : body) function->codeSize = uint16_t(function->codeSize + a->GetSize());
        action->AddAction(function);
        for (auto& a : body) action->AddAction(std::move(a));
    };
    addFunction("slideshow_play", true);
    addFunction("slideshow_pause", false);
    action->AddAction(new CActionPush("slideshow_playing"));
    action->AddAction(new CActionPush("1"));
    action->AddAction(new CActionSetVariable);
}

bool CSlideShow::BuildStartAction(CSwfMovie* movie, CTagDoAction* action)
{
    const CMovieSettings& settings = movie_settings_;
    if (settings.start_action == 2) {
        action->AddAction(new CActionStop);
        return true;
    }
    if (settings.start_action != 1 || settings.pause_time <= 0) return false;
    ++frames_before_first_;
    movie->AddTag(new CTagShowFrame);
    // The wait loops to the frame before its own, never back into a
    // preloader the movie may begin with.
    const uint16_t waitFrame = movie->GetFrameCount();
    action->AddAction(new CActionGetTime);
    action->AddAction(new CActionPush(std::to_string(settings.pause_time).c_str()));
    action->AddAction(new CActionLess);
    action->AddAction(new CActionNot);
    action->AddAction(new CActionIf);
    action->AddAction(new CActionGotoFrame(uint16_t(waitFrame - 1)));
    action->AddAction(new CActionPlay);
    action->EndBlock();
    return true;
}

bool CSlideShow::BuildPreloader(CSwfMovie* movie, uint16_t* ids, uint16_t* depths)
{
    if (movie_settings_.preload_creator != 0) {
        int frames = int(frames_before_first_);
        const bool done = BuildLockPreloader(lock_bundle_path_, movie_settings_, *movie, ids, depths, &frames);
        frames_before_first_ = uint32_t(std::max(frames, 0));
        return done;
    }
    ResourceHandle bar;
    const bool hasBar =
        LoadMainResource(FourCC(kPreloaderBarResType), kPreloaderBarResId, &bar, nullptr) && bar;
    CPreloaderLayout layout;
    FillPreloaderLayout(layout, movie_settings_, int(GetWidth()), int(GetHeight()), hasBar ? bar.get() : nullptr);
    CPreloaderBuilder builder;
    const uint16_t depth = builder.Build(&layout, movie, ids, depths);
    if (depth == 0) return false;
    preloader_depth_ = depth;
    ++frames_before_first_;
    movie->AddTag(new CTagShowFrame);
    movie->AddTag(new CTagRemoveObject2(depth));
    return true;
}

bool CSlideShow::BuildClickButton(CSwfMovie* movie, uint16_t* ids, uint16_t* depths)
{
    const CMovieSettings& settings = movie_settings_;
    if (!settings.click_enabled) return false;
    auto* button = new CTagDefineButton2;
    button->SetCharacterId(++*ids);
    auto* record = new CSwfButtonRecord(swf_button_state::kHitTest, hit_area_shape_id_, 1);
    record->matrix = std::make_unique<CSwfMatrix>();
    record->matrix->SetIdentity();
    record->cxform = std::make_unique<CSwfCxformWithAlpha>();
    record->cxform->Reset();
    button->AddRecord(record);
    auto* actions = new CTagDoAction;
    if (settings.click_action == 0) {
        actions->AddAction(new CActionGetURL(settings.click_url, settings.click_target));
    } else {
        actions->AddAction(new CActionPush(settings.click_url.c_str()));
        actions->AddAction(new CActionPush(""));
        actions->AddAction(new CActionGetURL2(0x40));
    }
    button->AddCondAction(swf_button_cond::kOverDownToOverUp, actions);
    movie->AddTag(button);
    Place(movie, *ids, ++*depths);
    return true;
}

bool CSlideShow::BuildBgImage(CSwfMovie* movie, uint16_t* ids, uint16_t* depths)
{
    if (!use_bg_image || !CPath(bg_image.GetFullPath()).Exists()) return false;
    int w = 0, h = 0;
    std::vector<std::string> damage;
    const uint16_t bitmap = AddPictureBitmap(movie, ids, CPath(bg_image.GetFullPath()), bg_image_width,
                                             bg_image_height, int(bg_image_quality), &w, &h, &damage);
    if (!bitmap) return false;
    for (std::string& text : damage) picture_warnings_.push_back({0, std::move(text), false, false, "bg_image"});
    auto* shape = new CTagDefineShape;
    shape->SetCharacterId(++*ids);
    const int32_t right = bg_image_tile ? int32_t(GetWidth()) * kTwips : w * kTwips;
    const int32_t bottom = bg_image_tile ? int32_t(GetHeight()) * kTwips : h * kTwips;
    // A tiled picture covers the movie, and its bounds say so.
    shape->BuildRect(0, 0, right, bottom, CFillStyle::MakeBitmap(bitmap, PixelMatrix(), !bg_image_tile), nullptr);
    movie->AddTag(shape);
    Place(movie, *ids, ++*depths);
    return true;
}

uint16_t CSlideShow::BuildFrameShape(int kind, CSwfMovie* movie, uint16_t* ids)
{
    const int32_t W = int32_t(GetWidth()) * kTwips, H = int32_t(GetHeight()) * kTwips;
    std::unique_ptr<CFillStyle> fill;
    std::unique_ptr<CLineStyleArray> lines;
    switch (kind) {
    case 1:
        fill = CFillStyle::MakeSolid(bg_frame_color);
        break;
    case 2: {
        fill = CFillStyle::MakeSolid(bg_frame_color);
        uint32_t dark = bg_frame_color, light = bg_frame_color;
        AdjustColorBrightness(&dark, -80);
        AdjustColorBrightness(&light, 80);
        lines = std::make_unique<CLineStyleArray>();
        lines->Append(CLineStyle::Make(60, dark));
        lines->Append(CLineStyle::Make(60, light));
        break;
    }
    case 3: {
        CSwfMatrix m;
        m.hasScale = true;
        m.scaleX = m.scaleY = 0x8000;
        m.translateX = W / 32768;
        m.translateY = H / 32768;
        fill = GradientFill(swf_fill::kRadialGradient, m, {{0, 0xFFFFFF}, {166, bg_frame_color}});
        break;
    }
    case 4: {
        CSwfMatrix m;
        m.hasScale = true;
        m.scaleX = int32_t(int64_t(W) * 65536 / 32768);
        m.scaleY = int32_t(int64_t(H) * 65536 / 32768);
        m.translateX = W / 2;
        fill = GradientFill(swf_fill::kLinearGradient, m,
                            {{0, 0x666666}, {127, 0xFFFFFF}, {128, 0xFFFFFF}, {255, 0x666666}});
        break;
    }
    case 5:
    case 6: {
        const CPath path((kind == 5 ? bg_frame_pattern : bg_frame_custom_pattern).GetFullPath());
        if (path.IsEmpty() || !path.Exists()) return 0;
        int w = 0, h = 0;
        std::vector<std::string> damage;
        const uint16_t bitmap = AddPictureBitmap(movie, ids, path, 0, 0, 80, &w, &h, &damage);
        if (!bitmap) return 0;
        const char* attribute = kind == 5 ? "bg_frame_pattern" : "bg_frame_custom_pattern";
        for (std::string& text : damage) picture_warnings_.push_back({0, std::move(text), false, false, attribute});
        fill = CFillStyle::MakeBitmap(bitmap, PixelMatrix(), false);
        break;
    }
    default:
        return 0;
    }
    auto* tag = new CTagDefineShape;
    tag->SetCharacterId(++*ids);
    tag->bounds = std::make_unique<CSwfRect>();
    tag->bounds->Set(0, 0, W, H, false);
    tag->shape = std::make_unique<CShapeWithStyle>();
    CShapeWithStyle& shape = *tag->shape;
    shape.fillStyles = std::make_unique<CFillStyleArray>();
    shape.fillStyles->Append(std::move(fill));
    const uint16_t dark = lines ? 1 : 0, light = lines ? 2 : 0;
    shape.lineStyles = std::move(lines);
    // Both rectangles run the same way, so the ring lies right of the outer
    // one's edges and left of the inner one's.
    // Widths read from a file may pass the movie; the frame then fills it.
    auto inset = [](uint32_t pixels, int32_t side) { return int32_t(std::min<int64_t>(int64_t(pixels) * kTwips, side)); };
    const int32_t x0 = inset(bg_frame_left, W), y0 = inset(bg_frame_top, H);
    const int32_t x1 = W - inset(bg_frame_right, W), y1 = H - inset(bg_frame_bottom, H);
    AddRectangle(shape, 0, 0, W, H, 0, 1, light, dark);
    AddRectangle(shape, x0, y0, x1, y1, 1, 0, light, dark);
    shape.AddEnd();
    movie->AddTag(tag);
    return *ids;
}

bool CSlideShow::BuildBgFrame(CSwfMovie* movie, uint16_t* ids)
{
    const uint16_t id = BuildFrameShape(int(bg_frame), movie, ids);
    if (!id) return false;
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(id);
    place->depth = kFrameDepth;
    movie->SetRecordPlacements(true);
    movie->AddTag(place);
    movie->SetRecordPlacements(false);
    return true;
}

void CSlideShow::BuildBackgroundShape(CSwfMovie* movie, uint16_t* ids)
{
    auto* shape = new CTagDefineShape3;
    shape->SetCharacterId(++*ids);
    background_shape_id_ = *ids;
    const int32_t w = int32_t(GetWidth()) * kTwips / 2, h = int32_t(GetHeight()) * kTwips / 2;
    auto fill = CFillStyle::MakeSolid(bg_color, 1);
    static_cast<CSwfRGBA*>(fill->colour.get())->a = use_bg_image ? 0 : 255;
    shape->BuildRect(-w, -h, 2 * w, 2 * h, std::move(fill), nullptr);
    movie->AddTag(shape);
}

std::unique_ptr<CTagDefineSprite> CSlideShow::MakeExternalJpegSprite() const
{
    for (const auto& slide : slides_) {
        if (slide->GetType() == CSlide::kImage && slide->GetImageType() == CSlide::kJpegExternal) {
            auto sprite = std::make_unique<CTagDefineSprite>();
            sprite->AddTag(new CTagShowFrame);
            return sprite;
        }
    }
    return nullptr;
}

bool CSlideShow::BuildEndAction(CTagDoAction* action) const
{
    const CMovieSettings& settings = movie_settings_;
    if (!settings.end_enabled) return false;
    if (settings.end_action == 0) {
        action->AddAction(new CActionGetURL(settings.end_url, settings.end_target));
        return true;
    }
    action->AddAction(new CActionPush(settings.end_action == 1 ? settings.end_url.c_str() : ""));
    action->AddAction(new CActionPush(""));
    action->AddAction(new CActionGetURL2(0x40));
    return true;
}

bool CSlideShow::BuildLoopActions(CTagDoAction* action, CSwfMovie* movie, uint16_t* ids, uint16_t* depths)
{
    auto addPause = [action] {
        auto* push = new CActionPush;
        push->PushDouble(0.0);
        push->PushString("slideshow_pause");
        action->AddAction(push);
        action->AddAction(new CActionCallFunction);
        action->AddAction(new CActionPop);
    };
    // The loop goes back to the first slide written, through its label when
    // a transition from the last slide leads into it, else to its frame.
    char firstLabel[32];
    std::snprintf(firstLabel, sizeof firstLabel, "slide_%d", first_written_index_);
    const uint16_t firstFrame = uint16_t(frames_before_first_);
    const int slides = written_count_;
    const int mode = movie_settings_.loop_mode;
    if (mode == 0) {
        action->AddAction(new CActionStop);
        if (controls) addPause();
        return true;
    }
    if (mode == 1) {
        action->AddAction(new CActionPush("showloop"));
        action->AddAction(new CActionPush("showloop"));
        action->AddAction(new CActionGetVariable);
        action->AddAction(new CActionPush("1"));
        action->AddAction(new CActionAdd);
        action->AddAction(new CActionSetVariable);
        action->AddAction(new CActionPush("showloop"));
        action->AddAction(new CActionGetVariable);
        action->AddAction(new CActionPush(std::to_string(movie_settings_.loop_count).c_str()));
        action->AddAction(new CActionLess);
        action->AddAction(new CActionNot);
        action->SetBranchTracking(false, true);
        auto* skip = new CActionIf;
        action->AddAction(skip);
        if (slides > 1) {
            ExportLoopTransition(first_written_, movie, this, ids, depths);
            auto* go = new CActionGotoLabel(firstLabel);
            skip->branchOffset = go->GetSize() + 1 + 5;
            action->AddAction(go);
        } else {
            skip->branchOffset = 5 + 1 + 5;
            action->AddAction(new CActionGotoFrame(firstFrame));
        }
        action->AddAction(new CActionPlay);
        auto* jump = new CActionJump;
        jump->branchOffset = controls ? 32 : 1;
        action->AddAction(jump);
        action->AddAction(new CActionStop);
        if (controls) addPause();
        return true;
    }
    if (slides > 1) {
        ExportLoopTransition(first_written_, movie, this, ids, depths);
        action->AddAction(new CActionGotoLabel(firstLabel));
    } else if (slides == 1) {
        action->AddAction(new CActionGotoFrame(firstFrame));
    } else {
        return false;
    }
    action->AddAction(new CActionPlay);
    return true;
}
