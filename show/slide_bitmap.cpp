#include "show/slide_bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "media/image.h"
#include "media/image_filter.h"
#include "media/image_scale.h"
#include "media/jpeg_image.h"
#include "media/picture_scratch.h"
#include "media/picture_file.h"
#include "media/progress.h"
#include "media/qt_movie.h"
#include "media/swf_bitmap.h"
#include "show/imported_jpeg_fill.h"
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

// The frame rendered at w × h from src (the whole picture when null) into
// image as 24 or 32 bits, in the block it has when that is of this size;
// false when it cannot be rendered.
bool Render(CQTMovie& picture, int w, int h, const Rect* src, int bits, CImage& image)
{
    if (w <= 0 || h <= 0 || w > 32767 || h > 32767) return false;
    Rect dst{0, 0, int16_t(h), int16_t(w)};
    const uint32_t size = picture.RenderFrame(0, nullptr, &dst, src, bits);
    if (size == 0) return false;
    const bool fits = image.pixels && image.size == size && image.width == uint32_t(w) &&
                      image.height == uint32_t(h) && image.bitsPerPixel == bits;
    if (!fits && !image.Create(uint32_t(w), uint32_t(h), uint16_t(bits), nullptr, false)) return false;
    return picture.RenderFrame(0, image.pixels, &dst, src, bits) == size;
}

// Stands in, black, for a picture the export counted on that fails to
// decode after all; the slide's export state says so.
bool BlackPicture(CSlide& slide, int w, int h, CImage& image)
{
    if (!image.Create(uint32_t(w), uint32_t(h), 24, nullptr, false)) return false;
    std::memset(image.pixels, 0, image.size);
    slide.GetExportState().drawnBlack = true;
    return true;
}

// The slide's mirrors and turn, in the order the edits are normalised to.
void Orient(const CSlide& slide, CImage& image)
{
    if (slide.GetFlipVertical()) image.FlipVertical();
    if (slide.GetFlipHorizontal()) image.FlipHorizontal();
    if (slide.GetRotate()) image.Rotate(slide.GetRotate());
}

bool IsTransparentKind(int type)
{
    return type == CSlide::kJpegTransparent || type == CSlide::kRgb8Transparent || type == CSlide::kRgb24Transparent;
}

// The picture's colour at the render size (24 bits, into image) and its
// alpha at the display size (one byte a pixel, into mask, oriented as the
// picture is; filters do not act on it), from one decode. The mask is what
// a render of its own would give: the crop at its own size, mirrored and
// turned, then scaled to the display size. The colour is that same crop
// scaled to the render size, as the movie's frame call scales it. A
// picture without alpha is opaque everywhere, decoded for its colour only.
// False when the picture cannot be rendered (image untouched, mask empty)
// or the mask cannot be made (mask empty).
bool RenderWithMask(const CSlide& slide, CQTMovie& picture, const Rect* crop, int renderW, int renderH, CImage& image,
                    std::vector<uint8_t>& mask)
{
    mask.clear();
    if (renderW <= 0 || renderH <= 0 || renderW > 32767 || renderH > 32767) return false;
    const size_t displayPixels = size_t(slide.GetWidth()) * size_t(slide.GetHeight());
    ImageDescription description;
    if (!picture.GetVideoDescription(&description) || description.depth != 32) {
        if (!Render(picture, renderW, renderH, crop, 24, image)) return false;
        mask.assign(displayPixels, 255);
        return true;
    }
    int naturalW = 0, naturalH = 0;
    picture.GetSize(&naturalW, &naturalH);
    const int w = crop ? crop->right - crop->left : naturalW;
    const int h = crop ? crop->bottom - crop->top : naturalH;
    CImage rgba;
    if (!Render(picture, w, h, crop, 32, rgba)) return false;
    std::unique_ptr<uint8_t[]> scaled;
    if (w != renderW || h != renderH) {
        scaled.reset(ScaleImagePixels(rgba.pixels, Rect{0, 0, int16_t(h), int16_t(w)},
                                      Rect{0, 0, int16_t(renderH), int16_t(renderW)}, 32));
        if (!scaled) return false;
    }
    const bool fits = image.pixels && image.width == uint32_t(renderW) && image.height == uint32_t(renderH) &&
                      image.bitsPerPixel == 24;
    if (!fits && !image.Create(uint32_t(renderW), uint32_t(renderH), 24, nullptr, false)) return false;
    const uint8_t* from = scaled ? scaled.get() : rgba.pixels;
    for (size_t i = 0; i < size_t(renderW) * size_t(renderH); ++i) std::memcpy(image.pixels + i * 3, from + i * 4, 3);
    Orient(slide, rgba);
    rgba.Resize(uint32_t(slide.GetWidth()), uint32_t(slide.GetHeight()));
    if (rgba.width != uint32_t(slide.GetWidth()) || rgba.height != uint32_t(slide.GetHeight())) return true;
    mask.resize(displayPixels);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = rgba.pixels[i * 4 + 3];
    return true;
}

// The clip into which a jpeg_external slide loads its file when the movie
// plays; the file is not read into the movie. The clip is placed so that the
// loaded picture shows the slide's turns and mirrors; with a mask (a shape
// of the box), only the crop shows.
CTagDefineSprite* MakeExternalJpegSprite(const CSlide& slide, uint16_t targetSprite, uint16_t maskShape)
{
    const int index = slide.GetExportState().index;
    char name[32];
    std::snprintf(name, sizeof name, "jpegtarget_%d", index);
    auto* sprite = new CTagDefineSprite;
    if (maskShape) {
        auto* mask = new CTagPlaceObject2;
        mask->SetCharacterId(maskShape);
        mask->depth = 1;
        mask->clipDepth = 2;
        mask->hasClipDepth = true;
        sprite->AddTag(mask);
    }
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(targetSprite);
    place->depth = maskShape ? 2 : 1;
    place->name = name;
    place->hasName = true;
    auto* matrix = new CSwfMatrix;
    if (!ExternalJpegMatrix(slide, matrix)) {
        matrix->hasScale = true;
        const int iw = std::max(slide.GetImageWidth(), 1), ih = std::max(slide.GetImageHeight(), 1);
        matrix->scaleX = Fixed(double(slide.GetWidth()) / iw);
        matrix->scaleY = Fixed(double(slide.GetHeight()) / ih);
    }
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

// The mask of a cropped jpeg_external slide: its box, from the origin of the
// clip that holds the loaded picture. Returns its id; 0 when the ids ran out.
uint16_t AddExternalJpegMask(const CSlide& slide, CSwfMovie& movie, uint16_t* ids)
{
    const uint16_t id = NextExportValue(ids, &movie);
    if (!id) return 0;
    auto* shape = new CTagDefineShape;
    shape->SetCharacterId(id);
    shape->BuildRect(0, 0, slide.GetWidth() * 20, slide.GetHeight() * 20, CFillStyle::MakeSolid(0), nullptr);
    return movie.AddTag(shape) > 0 ? id : 0;
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

// Numbers the slide's bitmap tag with the next id, its own from now on,
// and adds it to the movie; false (the tag gone) when the ids ran out.
bool AddSlideBitmap(CSlide& slide, CSwfMovie& movie, uint16_t* ids, CSwfDefineTag* tag)
{
    const uint16_t id = NextExportValue(ids, &movie);
    if (!id) {
        delete tag;
        return false;
    }
    tag->SetCharacterId(id);
    slide.GetExportState().bitmapId = id;
    return movie.AddTag(tag) > 0;
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

bool RenderSlidePicture(CSlide& slide, CQTMovie& picture, CImage& image, std::vector<uint8_t>& mask)
{
    slide.NormalizeOrientation();
    const bool quarter = IsQuarterTurn(slide.GetRotate());
    const int renderW = quarter ? slide.GetHeight() : slide.GetWidth();
    const int renderH = quarter ? slide.GetWidth() : slide.GetHeight();
    int naturalW = 0, naturalH = 0;
    picture.GetSize(&naturalW, &naturalH);
    Rect crop{};
    const Rect* source = MapCropToPicture(slide, naturalW, naturalH, &crop) ? &crop : nullptr;
    return IsTransparentKind(slide.GetImageType()) ? RenderWithMask(slide, picture, source, renderW, renderH, image, mask)
                                                   : Render(picture, renderW, renderH, source, 24, image);
}

std::string SlidePictureBasis(CSlide& slide)
{
    slide.NormalizeOrientation();
    const SlideRect crop = slide.GetCropRect();
    std::string basis = std::to_string(slide.GetWidth()) + "x" + std::to_string(slide.GetHeight()) + " " +
                        std::to_string(slide.GetRotate()) + (slide.GetFlipHorizontal() ? "h" : "") +
                        (slide.GetFlipVertical() ? "v" : "") + (IsTransparentKind(slide.GetImageType()) ? " alpha" : "");
    if (slide.GetCrop())
        basis += " crop " + std::to_string(crop.left) + "," + std::to_string(crop.top) + "," +
                 std::to_string(crop.right) + "," + std::to_string(crop.bottom);
    return basis;
}

std::string SlideJpegBasis(CSlide& slide)
{
    return SlidePictureBasis(slide) + " jpeg " + std::to_string(slide.GetQuality());
}

bool IsPlainJpegSlide(const CSlide& slide)
{
    return slide.GetImageType() == CSlide::kJpeg && slide.GetFilterCount() == 0;
}

bool EncodeSlideJpeg(CSlide& slide, CImage& image, CSwfBitmap& bitmap, std::vector<uint8_t>* bytes)
{
    Orient(slide, image);
    std::unique_ptr<CTagDefineBitsJPEG2> tag(
        bitmap.MakeJpeg(image.pixels, uint32_t(slide.GetWidth()), uint32_t(slide.GetHeight()), slide.GetQuality()));
    bitmap.Clear();
    if (!tag) return false;
    bytes->swap(tag->data);
    return true;
}

bool ExportSlideBitmap(CSlide& slide, CSwfMovie& movie, uint16_t* ids, CProgressDialog* sink, bool strip)
{
    // The running export's buffers, or this slide's own.
    CPictureScratch own;
    CPictureScratch* kept = slide.GetShow() ? slide.GetShow()->GetPictureScratch() : nullptr;
    CPictureScratch& scratch = kept ? *kept : own;
    CQTMovie picture;
    picture.KeepBuffersIn(&scratch);
    const bool mustWrite = slide.GetExportState().mustWrite;
    const bool opened = picture.OpenFile(slide.GetSrc());
    if (!opened && !mustWrite) return false;
    if (!opened) slide.GetExportState().unreadable = PictureTooLargeToRead(slide.GetSrc());
    slide.NormalizeOrientation();
    const int width = slide.GetWidth(), height = slide.GetHeight();
    const bool quarter = IsQuarterTurn(slide.GetRotate());

    const int type = slide.GetImageType();
    CSlide::ExportState& state = slide.GetExportState();
    state.bitmapFromFile = false;
    CSwfBitmap& bitmap = scratch.bitmap;
    const auto w = uint32_t(width), h = uint32_t(height);
    // An imported JPEG keeps its file's stream where its edits go in the
    // fill (turns, mirrors, crop), not where filters change its pixels.
    auto fileStream = [&]() -> CSwfDefineTag* {
        CSwfMatrix fill;
        if (type != CSlide::kJpegImportData || slide.GetFilterCount() != 0 || !ImportedJpegFill(slide, &fill))
            return nullptr;
        return bitmap.MakeJpegFromFile(slide.GetSrc(), w, h);
    };
    // Taken before any pixels: where it goes in, its pixels are not needed.
    std::unique_ptr<CSwfDefineTag> stream(opened ? fileStream() : nullptr);
    // Read through all the same, so a damaged file is said as for any slide;
    // one that does not decode at all goes in, and is said, as damaged.
    if (stream && !picture.DrawsFirstFrame() && picture.IsPicture() && !picture.GetLastError().empty())
        CJpegWarnings::AddToCurrent(picture.GetLastError());

    CImage& image = scratch.frame;
    const int renderW = quarter ? height : width, renderH = quarter ? width : height;
    std::vector<uint8_t> mask;
    // A movie's frame the export's plan drew where it judged it, encoded
    // there where nothing but the JPEG's encoder was left to do.
    CSlideShow* show = slide.GetShow();
    std::vector<std::string> said;
    std::vector<uint8_t> encoded;
    if (!stream && opened && show && IsPlainJpegSlide(slide) && show->TakePlannedJpeg(slide, encoded, said)) {
        for (const std::string& warning : said) CJpegWarnings::AddToCurrent(warning);
        if (!strip && sink) sink->SetDetail("Filtering image...");
        if (!strip && sink) sink->SetDetail("Writing image...");
        auto* tag = new CTagDefineBitsJPEG2;
        tag->data.swap(encoded);
        bitmap.tag = tag;
        bitmap.width = w;
        bitmap.height = h;
        return AddSlideBitmap(slide, movie, ids, tag);
    }
    const bool planned = !stream && opened && show && show->TakePlannedPicture(slide, image, mask, said);
    for (const std::string& warning : said) CJpegWarnings::AddToCurrent(warning);
    const bool rendered = stream != nullptr || planned || RenderSlidePicture(slide, picture, image, mask);
    if (!rendered && !(mustWrite && BlackPicture(slide, renderW, renderH, image))) return false;
    if (!strip && sink) sink->SetDetail("Filtering image...");
    for (int i = 0; i < slide.GetFilterCount(); ++i) {
        if (!strip && sink && sink->IsCancelled()) break;
        slide.GetFilter(i)->Apply(image);
    }
    if (!stream) Orient(slide, image);
    if (!strip && sink) sink->SetDetail("Writing image...");

    if (IsTransparentKind(type)) {
        if (mask.empty() && state.drawnBlack) mask.assign(size_t(width) * height, 255);
        if (mask.empty()) return false;
    }
    const uint8_t* px = image.pixels;
    const int quality = slide.GetQuality();
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
            uint16_t cropMask = 0;
            if (ExternalJpegCrop(slide) && !(cropMask = AddExternalJpegMask(slide, movie, ids))) return false;
            tag = MakeExternalJpegSprite(slide, show ? show->GetExternalJpegSpriteId() : 0, cropMask);
            break;
        }
        case CSlide::kJpegImportData: {
            state.bitmapId = 0;
            tag = stream ? stream.release() : opened ? nullptr : fileStream();
            state.bitmapFromFile = tag != nullptr;
            // A file that holds no JPEG data of its own (a PNG, say) would
            // leave the slide empty: its picture is encoded instead.
            if (!tag) tag = bitmap.MakeJpeg(px, w, h, quality);
            break;
        }
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
    return tag && AddSlideBitmap(slide, movie, ids, tag);
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

    CSwfMatrix fileFill;
    const bool fromFile = type == CSlide::kJpegImportData && state.bitmapFromFile && ImportedJpegFill(slide, &fileFill);
    double sx = 20.0, sy = 20.0;
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
    shape->shape->fillStyles->Append(fromFile ? CFillStyle::MakeBitmap(state.bitmapId, fileFill, true)
                                              : BitmapFill(state.bitmapId, sx, sy, W, H));
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
