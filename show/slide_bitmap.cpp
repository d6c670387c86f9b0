#include "show/slide_bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "media/image.h"
#include "media/image_filter.h"
#include "media/progress.h"
#include "media/qt_movie.h"
#include "media/swf_bitmap.h"
#include "show/slide.h"
#include "show/slide_export.h"
#include "show/slide_show.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/sprite.h"

namespace {

bool IsQuarterTurn(int degrees)
{
    return degrees == 90 || degrees == 270;
}

// A fill-matrix scale as 16.16, rounded.
int32_t Fixed(double scale)
{
    return static_cast<int32_t>(scale * 65536 + 0.5);
}

// The frame rendered at w × h from src (the whole picture when null) as a
// 24- or 32-bit image; null when it cannot be rendered.
std::unique_ptr<CImage> Render(CQTMovie& picture, int w, int h, const Rect* src, int bits)
{
    if (w <= 0 || h <= 0 || w > 32767 || h > 32767) return nullptr;
    Rect dst{0, 0, int16_t(h), int16_t(w)};
    const uint32_t size = picture.RenderFrame(0, nullptr, &dst, src, bits);
    if (size == 0) return nullptr;
    std::vector<uint8_t> buffer(size);
    if (picture.RenderFrame(0, buffer.data(), &dst, src, bits) != size) return nullptr;
    auto image = std::make_unique<CImage>();
    if (!image->Create(uint32_t(w), uint32_t(h), uint16_t(bits), buffer.data(), true)) return nullptr;
    return image;
}

// The slide's mirrors and turn, in the order the edits are normalised to.
void Orient(const CSlide& slide, CImage& image)
{
    if (slide.GetFlipVertical()) image.FlipVertical();
    if (slide.GetFlipHorizontal()) image.FlipHorizontal();
    if (slide.GetRotate()) image.Rotate(slide.GetRotate());
}

// One alpha byte a pixel at the display size, oriented as the picture is;
// filters do not act on it. Empty when it cannot be made.
std::vector<uint8_t> RenderMask(const CSlide& slide, CQTMovie& picture, const Rect* crop, int naturalW, int naturalH)
{
    const int w = crop ? crop->right - crop->left : naturalW;
    const int h = crop ? crop->bottom - crop->top : naturalH;
    std::unique_ptr<CImage> rgba = Render(picture, w, h, crop, 32);
    if (!rgba) return {};
    Orient(slide, *rgba);
    rgba->Resize(uint32_t(slide.GetWidth()), uint32_t(slide.GetHeight()));
    if (rgba->width != uint32_t(slide.GetWidth()) || rgba->height != uint32_t(slide.GetHeight())) return {};
    std::vector<uint8_t> mask(size_t(rgba->width) * rgba->height);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = rgba->pixels[i * 4 + 3];
    return mask;
}

// The clip into which a jpeg_external slide loads its file when the movie
// plays; the file is not read into the movie.
CTagDefineSprite* MakeExternalJpegSprite(const CSlide& slide, uint16_t targetSprite)
{
    const int index = slide.GetExportState().index;
    char name[32];
    std::snprintf(name, sizeof name, "jpegtarget_%d", index);
    auto* sprite = new CTagDefineSprite;
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(targetSprite);
    place->depth = 1;
    place->name = name;
    place->hasName = true;
    auto* matrix = new CSwfMatrix;
    matrix->hasScale = true;
    const int iw = std::max(slide.GetImageWidth(), 1), ih = std::max(slide.GetImageHeight(), 1);
    matrix->scaleX = Fixed(double(slide.GetWidth()) / iw);
    matrix->scaleY = Fixed(double(slide.GetHeight()) / ih);
    place->SetMatrix(matrix);
    sprite->AddTag(place);
    auto* load = new CTagDoAction;
    load->AddAction(new CActionPush(slide.GetSrc().GetFullPath().c_str()));
    load->AddAction(new CActionPush(name));
    load->AddAction(new CActionGetURL2(0x40));
    load->AddAction(new CActionStop);
    sprite->AddTag(load);
    sprite->AddTag(new CTagShowFrame);
    return sprite;
}

// A rectangle of W × H twips centred on the origin, filled by style `fill`
// of the shape's styles; the pen starts at the bottom-right corner.
void AddCentredRect(CShapeWithStyle& shape, int32_t W, int32_t H, uint16_t fill)
{
    CShapeRecordStyleChange* move = shape.AddMoveTo(W >> 1, H >> 1);
    move->fillStyle1 = fill;
    move->SetFlags(swf_shape::kMoveTo | swf_shape::kFillStyle1);
    shape.AddHorizontalLine(-W);
    shape.AddVerticalLine(-H);
    shape.AddHorizontalLine(W);
    shape.AddVerticalLine(H);
    shape.AddEnd();
}

std::unique_ptr<CFillStyle> BitmapFill(uint16_t bitmapId, double sx, double sy, int32_t W, int32_t H)
{
    CSwfMatrix m;
    m.hasScale = true;
    m.scaleX = Fixed(sx);
    m.scaleY = Fixed(sy);
    m.translateX = -(W >> 1);
    m.translateY = -(H >> 1);
    return CFillStyle::MakeBitmap(bitmapId, m, true);
}

}  // namespace

bool MapCropToPicture(const CSlide& slide, int pictureWidth, int pictureHeight, Rect* out)
{
    if (!slide.GetCrop()) return false;
    const SlideRect r = slide.GetCropRect();
    int W = 0, H = 0;
    slide.GetRotatedImageSize(&W, &H);
    const long cw = long(r.right) - r.left, ch = long(r.bottom) - r.top;
    long left = r.left, top = r.top;
    const bool flipH = slide.GetFlipHorizontal(), flipV = slide.GetFlipVertical();
    switch (slide.GetRotate()) {
        case 90:
            top = W - r.right;
            left = r.top;
            if (flipH) left = H - (left + ch);
            break;
        case 180:
            top = H - r.bottom;
            left = W - r.right;
            break;
        case 270:
            left = H - r.bottom;
            top = r.left;
            if (flipH) left = H - (left + ch);
            break;
        default:
            if (flipV) top = H - r.bottom;
            if (flipH) left = W - r.right;
            break;
    }
    const bool quarter = IsQuarterTurn(slide.GetRotate());
    long right = left + (quarter ? ch : cw), bottom = top + (quarter ? cw : ch);
    // A crop read from a file may reach past the picture: only the part on
    // the picture can be rendered.
    left = std::max(left, 0L);
    top = std::max(top, 0L);
    right = std::min(right, long(pictureWidth));
    bottom = std::min(bottom, long(pictureHeight));
    if (right <= left || bottom <= top) return false;
    *out = Rect{int16_t(top), int16_t(left), int16_t(bottom), int16_t(right)};
    return true;
}

bool CanOpenSlidePicture(const CSlide& slide)
{
    // A sound, or a movie of sound alone, opens but has no picture.
    CQTMovie picture;
    return picture.OpenFile(slide.GetSrc()) && picture.HasVideoTrack();
}

bool ExportSlideBitmap(CSlide& slide, CSwfMovie& movie, uint16_t* ids, CProgressDialog* sink, bool strip)
{
    CQTMovie picture;
    if (!picture.OpenFile(slide.GetSrc())) return false;
    slide.NormalizeOrientation();
    const int width = slide.GetWidth(), height = slide.GetHeight();
    const bool quarter = IsQuarterTurn(slide.GetRotate());
    int naturalW = 0, naturalH = 0;
    picture.GetSize(&naturalW, &naturalH);
    Rect crop{};
    const bool cropped = MapCropToPicture(slide, naturalW, naturalH, &crop);

    std::unique_ptr<CImage> image =
        Render(picture, quarter ? height : width, quarter ? width : height, cropped ? &crop : nullptr, 24);
    if (!image) return false;
    if (!strip && sink) sink->SetDetail("Filtering image...");
    for (int i = 0; i < slide.GetFilterCount(); ++i) {
        if (!strip && sink && sink->IsCancelled()) break;
        slide.GetFilter(i)->Apply(*image);
    }
    Orient(slide, *image);
    if (!strip && sink) sink->SetDetail("Writing image...");

    const int type = slide.GetImageType();
    CSlide::ExportState& state = slide.GetExportState();
    state.bitmapFromFile = false;
    std::vector<uint8_t> mask;
    if (type == CSlide::kJpegTransparent || type == CSlide::kRgb8Transparent || type == CSlide::kRgb24Transparent) {
        mask = RenderMask(slide, picture, cropped ? &crop : nullptr, naturalW, naturalH);
        if (mask.empty()) return false;
    }
    const uint8_t* px = image->pixels;
    const auto w = uint32_t(width), h = uint32_t(height);
    const int quality = slide.GetQuality();
    CSwfBitmap bitmap;
    CSwfDefineTag* tag = nullptr;
    switch (type) {
        case CSlide::kJpeg:
            tag = bitmap.MakeJpeg(px, w, h, quality);
            break;
        case CSlide::kRgb8:
            tag = bitmap.MakeLossless(px, w, h, 8);
            break;
        case CSlide::kRgb15:
            tag = bitmap.MakeLossless(px, w, h, 15);
            break;
        case CSlide::kRgb24:
            tag = strip ? static_cast<CSwfDefineTag*>(bitmap.MakeLossless(px, w, h, 24))
                        : bitmap.MakeLosslessAlpha(px, nullptr, w, h, 24);
            break;
        case CSlide::kJpegExternal: {
            CSlideShow* show = slide.GetShow();
            tag = MakeExternalJpegSprite(slide, show ? show->GetExternalJpegSpriteId() : 0);
            break;
        }
        case CSlide::kJpegImportData:
            state.bitmapId = 0;
            tag = bitmap.MakeJpegFromFile(slide.GetSrc(), w, h);
            state.bitmapFromFile = tag != nullptr;
            // A file that holds no JPEG data of its own (a PNG, say) would
            // leave the slide empty: its picture is encoded instead.
            if (!tag) tag = bitmap.MakeJpeg(px, w, h, quality);
            break;
        case CSlide::kJpegTransparent:
            tag = bitmap.MakeJpegWithAlpha(px, mask.data(), w, h, quality);
            break;
        case CSlide::kRgb8Transparent:
            tag = bitmap.MakeLosslessAlpha(px, mask.data(), w, h, 8);
            break;
        case CSlide::kRgb24Transparent:
            tag = bitmap.MakeLosslessAlpha(px, mask.data(), w, h, 24);
            break;
        default:
            return true;  // an unknown kind writes no bitmap
    }
    if (!tag) return false;
    const uint16_t id = NextExportValue(ids, &movie);
    if (!id) {
        delete tag;
        return false;
    }
    tag->SetCharacterId(id);
    state.bitmapId = id;
    return movie.AddTag(tag) > 0;
}

bool ExportSlideShape(CSlide& slide, CSwfMovie& movie, uint16_t* ids, bool strip)
{
    CSlide::ExportState& state = slide.GetExportState();
    CSlideShow* show = slide.GetShow();
    if (slide.GetType() != CSlide::kImage) {
        state.characterId = show ? show->GetBackgroundShapeId() : 0;
        return true;
    }
    int w = slide.GetWidth(), h = slide.GetHeight();
    slide.ComputeFitSize(show, slide.GetScaleToFit(), slide.GetKeepAspectRatio(), &w, &h);
    const int32_t W = w * 20, H = h * 20;
    const int type = slide.GetImageType();

    if (type == CSlide::kJpegExternal) {
        const uint16_t id = NextExportValue(ids, &movie);
        if (!id) return false;
        auto* sprite = new CTagDefineSprite;
        sprite->SetCharacterId(id);
        auto* place = new CTagPlaceObject2;
        place->SetCharacterId(state.bitmapId);
        place->depth = 1;
        auto* m = new CSwfMatrix;
        m->translateX = -(W >> 1);
        m->translateY = -(H >> 1);
        place->SetMatrix(m);
        sprite->AddTag(place);
        sprite->AddTag(new CTagShowFrame);
        state.characterId = id;
        return movie.AddTag(sprite) > 0;
    }

    double sx = 20.0, sy = 20.0;
    if (type == CSlide::kJpegImportData && state.bitmapFromFile) {
        sx = double(slide.GetWidth()) / std::max(slide.GetImageWidth(), 1) * 20;
        sy = double(slide.GetHeight()) / std::max(slide.GetImageHeight(), 1) * 20;
    }
    if (slide.GetAdjustBitmapShift()) {
        sx *= 0.999;
        sy *= 0.999;
    }
    const uint16_t shapeId = NextExportValue(ids, &movie);
    if (!shapeId) return false;
    std::unique_ptr<CTagDefineShape> shape =
        strip ? std::make_unique<CTagDefineShape2>() : std::make_unique<CTagDefineShape>();
    shape->SetCharacterId(shapeId);
    shape->bounds = std::make_unique<CSwfRect>();
    shape->bounds->Set(-(W >> 1), -(H >> 1), W >> 1, H >> 1, false);
    shape->shape = std::make_unique<CShapeWithStyle>();
    shape->shape->fillStyles = std::make_unique<CFillStyleArray>();
    uint16_t fill = 1;
    if (type == CSlide::kRgb24Transparent && !strip) {
        shape->shape->fillStyles->Append(BitmapFill(kSwfNoBitmapId, 20.0, 20.0, W, H));
        fill = 2;
    }
    shape->shape->fillStyles->Append(BitmapFill(state.bitmapId, sx, sy, W, H));
    AddCentredRect(*shape->shape, W, H, fill);
    if (movie.AddTag(shape.release()) <= 0) return false;
    state.characterId = shapeId;

    if (slide.GetClickType() != CSlide::kPrint) return true;
    // Printing finds the frames to print by the "#p" label inside the clip.
    const uint16_t spriteId = NextExportValue(ids, &movie);
    if (!spriteId) return false;
    auto* sprite = new CTagDefineSprite;
    sprite->SetCharacterId(spriteId);
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(shapeId);
    place->depth = 1;
    sprite->AddTag(place);
    sprite->AddTag(new CTagFrameLabel("#p"));
    sprite->AddTag(new CTagShowFrame);
    state.characterId = spriteId;
    return movie.AddTag(sprite) > 0;
}

uint16_t CSlide::BuildBitmapShape(CSwfMovie* movie, uint16_t* ids)
{
    if (!movie || !ids) return 0;
    const uint16_t id = NextExportValue(ids, movie);
    if (!id) return 0;
    const int32_t W = width_ * 20, H = height_ * 20;
    auto* shape = new CTagDefineShape;
    shape->SetCharacterId(id);
    shape->bounds = std::make_unique<CSwfRect>();
    shape->bounds->Set(-(W >> 1), -(H >> 1), W >> 1, H >> 1, false);
    shape->shape = std::make_unique<CShapeWithStyle>();
    shape->shape->fillStyles = std::make_unique<CFillStyleArray>();
    shape->shape->fillStyles->Append(BitmapFill(export_.bitmapId, 20.0, 20.0, W, H));
    AddCentredRect(*shape->shape, W, H, 1);
    movie->AddTag(shape);
    return id;
}
