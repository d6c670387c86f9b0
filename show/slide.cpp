#include "show/slide.h"

#include <algorithm>
#include <cmath>

#include "media/jpeg_sections.h"
#include "media/qt_movie.h"
#include "platform/fixed_math.h"
#include "platform/quickdraw.h"
#include "show/prefs_record.h"
#include "show/slide_show.h"

namespace {

constexpr const char* kImageTypeWords[] = {"jpeg",
                                           "rgb_8",
                                           "rgb_15",
                                           "rgb_24",
                                           "jpeg_external",
                                           "jpeg_import_data",
                                           "jpeg_transparent",
                                           "rgb_8_transparent",
                                           "rgb_24_transparent"};
constexpr const char* kHAlignWords[] = {"left", "center", "right"};
constexpr const char* kVAlignWords[] = {"top", "center", "bottom"};
// Where a user finds the names a project may give.
constexpr const char* kNamesListed = " (the names are listed in docs/project-file.md)";
constexpr const char* kClickWords[] = {"get_url",       "load_movie",  "next_slide", "previous_slide",
                                       "jump_to_slide", "first_slide", "last_slide", "print"};

// Degrees brought into 0..359 whatever their size.
int ReduceDegrees(long degrees)
{
    long r = degrees % 360;
    return static_cast<int>(r < 0 ? r + 360 : r);
}

struct ChangeBatch {
    int pending = 0;
};

ChangeBatch& Batch()
{
    static ChangeBatch batch;
    return batch;
}

}  // namespace

Signal& SlideChangedSignal()
{
    static Signal signal;
    return signal;
}

void BeginSlideChanges()
{
    SlideChangedSignal().SetEnabled(0);
    Batch().pending = 0;
}

void NoteSlideChange()
{
    ++Batch().pending;
}

void EndSlideChanges(CSlide* slide, bool notify)
{
    SlideChangedSignal().SetEnabled(1);
    if (Batch().pending > 0) {
        if (notify) SlideChangedSignal().Emit(reinterpret_cast<intptr_t>(slide));
        Batch().pending = 0;
    }
}

CSlide::CSlide(int type, CSlideShow* show) : show_(show), type_(type)
{
    Reset();
}

CSlide::~CSlide() = default;

void CSlide::Reset()
{
    pan_zoom_.clear();
    image_filters_.clear();
    captions_.SetOwner(this);
    transition_in_ = std::make_unique<CTransition>();
    swf_fx_ = std::make_unique<COverlayEffect>();
    const CPrefsRecord& prefs = GetPrefsRecord();
    src_ = CPath();
    duration_ = 2000;
    image_width_ = image_height_ = picture_width_ = picture_height_ = 0;
    quality_ = prefs.default_image_quality;
    width_ = height_ = x_ = y_ = 0;
    image_type_ = kJpeg;
    h_align_ = prefs.default_image_halign;
    v_align_ = prefs.default_image_valign;
    auto_align_ = prefs.default_image_align != 0;
    scale_to_fit_ = prefs.default_image_scale_to_fit != 0;
    keep_aspect_ratio_ = prefs.default_image_keep_aspect_ratio != 0;
    click_type_ = kGetUrl;
    jump_to_ = 1;
    click_target_ = "_self";
    click_url_ = "http://";
    click_enable_ = click_popup_ = pause_after_ = load_url_on_display_ = false;
    on_display_load_url_ = "http://";
    on_display_load_target_ = "_blank";
    url_from_variable_ = crop_ = flip_vertical_ = flip_horizontal_ = selected_ = false;
    rotate_ = 0;
    adjust_bitmap_shift_ = prefs.default_image_adjust_bitmap_shift != 0;
    std::copy_n("\1\2\3\4", 4, corners_);
    if (show_) FitToShow(show_);
}

void CSlide::CopyFrom(const CSlide& o)
{
    quality_ = o.quality_;
    image_type_ = o.image_type_;
    image_width_ = o.image_width_;
    image_height_ = o.image_height_;
    picture_width_ = o.picture_width_;
    picture_height_ = o.picture_height_;
    type_ = o.type_;
    duration_ = o.duration_;
    width_ = o.width_;
    height_ = o.height_;
    x_ = o.x_;
    y_ = o.y_;
    pause_after_ = o.pause_after_;
    h_align_ = o.h_align_;
    v_align_ = o.v_align_;
    auto_align_ = o.auto_align_;
    scale_to_fit_ = o.scale_to_fit_;
    keep_aspect_ratio_ = o.keep_aspect_ratio_;
    transition_in_ = o.transition_in_->Clone();
    swf_fx_ = o.swf_fx_->Clone();
    sounds_.Assign(o.sounds_);
    captions_.Assign(o.captions_);
    for (const auto& f : o.image_filters_) image_filters_.push_back(f->Clone());
    crop_ = o.crop_;
    flip_vertical_ = o.flip_vertical_;
    flip_horizontal_ = o.flip_horizontal_;
    rotate_ = o.rotate_;
    std::copy_n(o.corners_, 4, corners_);
    crop_rect_ = o.crop_rect_;
    click_type_ = o.click_type_;
    jump_to_ = o.jump_to_;
    click_target_ = o.click_target_;
    click_url_ = o.click_url_;
    click_enable_ = o.click_enable_;
    url_from_variable_ = o.url_from_variable_;
    click_popup_ = o.click_popup_;
    for (const auto& fx : o.pan_zoom_) pan_zoom_.push_back(fx->Clone());
}

bool CSlide::LoadImage(const CPath& path, CSlideShow* show, bool reset)
{
    show_ = show;
    DropWorkingPicture();
    if (type_ == kImage) {
        int w = 0, h = 0;
        if (!ReadImageSize(path, &w, &h)) return false;
        if (reset) {
            Reset();
            if (!scale_to_fit_) {
                width_ = w;
                height_ = h;
            }
            crop_rect_ = {0, 0, static_cast<int16_t>(std::min(h, 32767)), static_cast<int16_t>(std::min(w, 32767))};
        }
        image_width_ = w;
        image_height_ = h;
        picture_missing_ = false;
        src_.MakePosix(path);
        // At least a pixel a side, however thin the picture.
        if (w > 256) {
            h = std::max(1, RoundToInt(double(image_height_) * 256 / image_width_));
            w = 256;
        }
        if (h > 256) {
            w = std::max(1, RoundToInt(double(image_width_) * 256 / image_height_));
            h = 256;
        }
        picture_width_ = w;
        picture_height_ = h;
        FitToShow(show);
        ApplyAutoAlign(show);
        if (!reset) {
            // The stored edits come back in their normal form; a quarter
            // turn swaps the picture's sides.
            NormalizeOrientation();
            if (rotate_ == 90 || rotate_ == 270) {
                std::swap(picture_width_, picture_height_);
                FitToShow(show);
                ApplyAutoAlign(show);
            }
        }
        if (reset && GetPrefsRecord().read_exif_data) ApplyExifOrientation(path);
        return true;
    }
    int sw = show ? static_cast<int>(show->GetWidth()) : 320;
    int sh = show ? static_cast<int>(show->GetHeight()) : 240;
    image_width_ = picture_width_ = sw;
    image_height_ = picture_height_ = sh;
    FitToShow(show);
    src_ = CPath();
    crop_rect_ = {0, 0, static_cast<int16_t>(sh), static_cast<int16_t>(sw)};
    return true;
}

// ---------------------------------------------------------------- geometry

void CSlide::ComputeFitSize(const CSlideShow* show, bool scaleToFit, bool keepAspect, int* w, int* h) const
{
    if (!show) return;
    long S = show->GetWidth(), T = show->GetHeight();
    if (type_ != kImage) {
        *w = static_cast<int>(S);
        *h = static_cast<int>(T);
        return;
    }
    if (!scaleToFit) {
        *w = width_;
        *h = height_;
        return;
    }
    // The picture's own size as displayed, never the working copy's: at
    // 256 pixels a side a long thin picture's short side rounds far off, or
    // to nothing.
    int rw = 0, rh = 0;
    GetRotatedImageSize(&rw, &rh);
    long sw = crop_ ? long(crop_rect_.right) - crop_rect_.left : rw;
    long sh = crop_ ? long(crop_rect_.bottom) - crop_rect_.top : rh;
    // No picture yet, or an empty crop: nothing to keep the aspect of.
    if (!keepAspect || sw <= 0 || sh <= 0) {
        *w = static_cast<int>(S);
        *h = static_cast<int>(T);
        return;
    }
    long fw = sw, fh = sh;
    if (fw != S) {
        fh = RoundToInt(double(S) * sh / sw);
        fw = S;
    }
    if (fh > T) {
        fw = fh ? RoundToInt(double(fw) * T / fh) : S;
        fh = T;
    }
    // A side that rounds to nothing would leave the picture out.
    *w = static_cast<int>(std::max(fw, 1L));
    *h = static_cast<int>(std::max(fh, 1L));
}

void CSlide::FitToShow(const CSlideShow* show)
{
    if (!show) return;
    int w = width_, h = height_;
    ComputeFitSize(show, scale_to_fit_, keep_aspect_ratio_, &w, &h);
    SetSize(w, h);
}

void CSlide::ComputeAlignedPos(const CSlideShow* show, int hAlign, int vAlign, int* x, int* y) const
{
    if (!show) return;
    int S = static_cast<int>(show->GetWidth()), T = static_cast<int>(show->GetHeight());
    if (auto_align_) {
        if (hAlign == 0)
            *x = 0;
        else if (hAlign == 1)
            *x = (S >> 1) - (width_ >> 1);
        else if (hAlign == 2)
            *x = S - width_;
        if (vAlign == 0)
            *y = 0;
        else if (vAlign == 1)
            *y = (T >> 1) - (height_ >> 1);
        else if (vAlign == 2)
            *y = T - height_;
    } else {
        *x = x_;
        *y = y_;
    }
    *x += show->GetBoundsLeft();
    *y += show->GetBoundsTop();
}

void CSlide::ApplyAutoAlign(const CSlideShow* show)
{
    if (!auto_align_ || !show) return;
    ComputeAlignedPos(show, h_align_, v_align_, &x_, &y_);
}

void CSlide::SetAutoAlign(bool on)
{
    auto_align_ = on;
    if (on) ApplyAutoAlign(show_);
}

void CSlide::GetRotatedImageSize(int* w, int* h) const
{
    bool quarter = rotate_ == 90 || rotate_ == 270 || rotate_ == -90 || rotate_ == -270;
    *w = quarter ? image_height_ : image_width_;
    *h = quarter ? image_width_ : image_height_;
}

int CSlide::GetWidthTwips() const
{
    return ClampToSwfMatrix(double(width_) * 20 * camera_.scaleX / 65536);
}

int CSlide::GetHeightTwips() const
{
    return ClampToSwfMatrix(double(height_) * 20 * camera_.scaleY / 65536);
}

int CSlide::GetLeftTwips() const
{
    return ClampToSwfMatrix(double(camera_.centerX) - (GetWidthTwips() >> 1));
}

int CSlide::GetTopTwips() const
{
    return ClampToSwfMatrix(double(camera_.centerY) - (GetHeightTwips() >> 1));
}

uint32_t CSlide::GetTotalDuration() const
{
    uint64_t total = duration_;
    if (!transition_in_->IsNone()) total += transition_in_->GetDuration();
    for (const auto& fx : pan_zoom_) total += fx->GetDuration();
    return static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
}

// ---------------------------------------------------------------- setters

bool CSlide::SetWidth(int v, bool showMessage, WindowRef parent)
{
    if (!CheckRange(v, 0, kMaxSize, showMessage, parent, 512)) return false;
    if (v != width_) NoteSlideChange();
    width_ = v;
    return true;
}

bool CSlide::SetHeight(int v, bool showMessage, WindowRef parent)
{
    if (!CheckRange(v, 0, kMaxSize, showMessage, parent, 513)) return false;
    if (v != height_) NoteSlideChange();
    height_ = v;
    return true;
}

bool CSlide::SetSize(int w, int h)
{
    BeginSlideChanges();
    bool ok = SetWidth(w);
    ok = SetHeight(h) && ok;
    EndSlideChanges(this, ok);
    return ok;
}

bool CSlide::SetX(long v, bool showMessage, WindowRef parent)
{
    if (!CheckRange(v, -kMaxPosition, kMaxPosition, showMessage, parent, 514)) return false;
    x_ = static_cast<int>(v);
    return true;
}

bool CSlide::SetY(long v, bool showMessage, WindowRef parent)
{
    if (!CheckRange(v, -kMaxPosition, kMaxPosition, showMessage, parent, 515)) return false;
    y_ = static_cast<int>(v);
    return true;
}

bool CSlide::SetQuality(int v, bool showMessage, WindowRef parent)
{
    if (!CheckRange(v, kMinQuality, kMaxQuality, showMessage, parent, 503)) return false;
    quality_ = v;
    return true;
}

bool CSlide::SetDuration(uint32_t v, bool showMessage, WindowRef parent)
{
    if (!CheckTime(v, showMessage, parent, 516)) return false;
    duration_ = v;
    return true;
}

bool CSlide::SetTransitionIn(std::unique_ptr<CTransition> t)
{
    if (!t) return false;
    transition_in_ = std::move(t);
    return true;
}

bool CSlide::SetSwfFx(std::unique_ptr<COverlayEffect> fx)
{
    if (!fx) return false;
    swf_fx_ = std::move(fx);
    return true;
}

int CSlide::InsertCameraFx(std::unique_ptr<CCameraFx> fx, int index)
{
    if (!fx) return -1;
    if (index < GetCameraFxCount()) {
        int at = std::max(index, 0);
        pan_zoom_.insert(pan_zoom_.begin() + at, std::move(fx));
        return at;
    }
    pan_zoom_.push_back(std::move(fx));
    return GetCameraFxCount() - 1;
}

bool CSlide::RemoveCameraFx(int index)
{
    if (index < 0 || index >= GetCameraFxCount()) return false;
    pan_zoom_.erase(pan_zoom_.begin() + index);
    return true;
}

CCameraFx* CSlide::GetCameraFx(int index) const
{
    return index < 0 || index >= GetCameraFxCount() ? nullptr : pan_zoom_[index].get();
}

bool CSlide::AddFilter(std::unique_ptr<CImageFilter> filter)
{
    if (!filter) return false;
    DropWorkingPicture();
    image_filters_.push_back(std::move(filter));
    return true;
}

void CSlide::ClearFilters()
{
    DropWorkingPicture();
    image_filters_.clear();
}

const CImageFilter* CSlide::GetFilter(int i) const
{
    return i < 0 || i >= GetFilterCount() ? nullptr : image_filters_[i].get();
}

bool CSlide::AddCaption(std::unique_ptr<CCaption> caption)
{
    if (!caption) return false;
    caption->SetOwner(this);
    return captions_.Add(std::move(caption));
}

// ---------------------------------------------------------------- edits

bool CSlide::SetCropRect(SlideRect r)
{
    bool adjusted = false;
    if (r.right < r.left) {
        std::swap(r.left, r.right);
        adjusted = true;
    }
    if (r.bottom < r.top) {
        std::swap(r.top, r.bottom);
        adjusted = true;
    }
    int W, H;
    GetRotatedImageSize(&W, &H);
    if (r.left < 0) r.left = 0, adjusted = true;
    if (r.top < 0) r.top = 0, adjusted = true;
    if (r.right > W) r.right = static_cast<int16_t>(std::min(W, 32767)), adjusted = true;
    if (r.bottom > H) r.bottom = static_cast<int16_t>(std::min(H, 32767)), adjusted = true;
    if (!(r == crop_rect_)) {
        crop_rect_ = r;
        FitToShow(show_);
    }
    return adjusted;
}

void CSlide::SetCrop(bool on)
{
    if (on == crop_) return;
    crop_ = on;
    FitToShow(show_);
}

void CSlide::SetFlipVerticalFlag(bool on)
{
    if (on == flip_vertical_) return;
    DropWorkingPicture();
    flip_vertical_ = on;
    uint8_t c[4] = {corners_[3], corners_[2], corners_[1], corners_[0]};
    std::copy_n(c, 4, corners_);
}

void CSlide::SetFlipHorizontalFlag(bool on)
{
    if (on == flip_horizontal_) return;
    DropWorkingPicture();
    flip_horizontal_ = on;
    uint8_t c[4] = {corners_[1], corners_[0], corners_[3], corners_[2]};
    std::copy_n(c, 4, corners_);
}

void CSlide::RotateCorners(int degrees)
{
    DropWorkingPicture();
    int d = ReduceDegrees(degrees);
    const uint8_t* o = corners_;
    uint8_t c[4];
    if (d == 90)
        c[0] = o[3], c[1] = o[0], c[2] = o[1], c[3] = o[2];
    else if (d == 180)
        c[0] = o[2], c[1] = o[3], c[2] = o[0], c[3] = o[1];
    else if (d == 270)
        c[0] = o[1], c[1] = o[2], c[2] = o[3], c[3] = o[0];
    else
        return;
    std::copy_n(c, 4, corners_);
}

void CSlide::SetRotation(int degrees)
{
    rotate_ = ReduceDegrees(degrees);
    RotateCorners(degrees);
}

void CSlide::FlipVertical(bool adjustCrop)
{
    SetFlipVerticalFlag(!flip_vertical_);
    if (adjustCrop) {
        int W, H;
        GetRotatedImageSize(&W, &H);
        int height = crop_rect_.bottom - crop_rect_.top;
        crop_rect_.top = static_cast<int16_t>(H - crop_rect_.bottom);
        crop_rect_.bottom = static_cast<int16_t>(crop_rect_.top + height);
    }
}

void CSlide::FlipHorizontal(bool adjustCrop)
{
    SetFlipHorizontalFlag(!flip_horizontal_);
    if (adjustCrop) {
        int W, H;
        GetRotatedImageSize(&W, &H);
        int width = crop_rect_.right - crop_rect_.left;
        crop_rect_.left = static_cast<int16_t>(W - crop_rect_.right);
        crop_rect_.right = static_cast<int16_t>(crop_rect_.left + width);
    }
}

void CSlide::SwapDisplayAndPictureSizes()
{
    std::swap(width_, height_);
    std::swap(picture_width_, picture_height_);
}

void CSlide::Rotate(int degrees, bool adjustCrop)
{
    int d = ReduceDegrees(degrees);
    if (d % 90 != 0 || d == 0) return;
    int W, H;
    GetRotatedImageSize(&W, &H);
    rotate_ = (rotate_ + d) % 360;
    RotateCorners(d);
    if (adjustCrop) {
        SlideRect r = crop_rect_, n;
        if (d == 90) {
            n.left = int16_t(H - r.bottom), n.top = r.left, n.right = int16_t(H - r.top), n.bottom = r.right;
        } else if (d == 180) {
            n.left = int16_t(W - r.right), n.top = int16_t(H - r.bottom);
            n.right = int16_t(W - r.left), n.bottom = int16_t(H - r.top);
        } else {
            n.left = r.top, n.top = int16_t(W - r.right), n.right = r.bottom, n.bottom = int16_t(W - r.left);
        }
        if (d != 180) SwapDisplayAndPictureSizes();
        int nw, nh;
        GetRotatedImageSize(&nw, &nh);
        n.left = std::max<int16_t>(n.left, 0);
        n.top = std::max<int16_t>(n.top, 0);
        n.right = static_cast<int16_t>(std::min<int>(n.right, nw));
        n.bottom = static_cast<int16_t>(std::min<int>(n.bottom, nh));
        crop_rect_ = n;
    }
    FitToShow(show_);
    ApplyAutoAlign(show_);
}

void CSlide::NormalizeOrientation()
{
    uint8_t o[4];
    std::copy_n(corners_, 4, o);
    rotate_ = 0;
    flip_vertical_ = flip_horizontal_ = false;
    std::copy_n("\1\2\3\4", 4, corners_);
    struct Form {
        uint8_t order[4];
        bool flipH, flipV;
        int rotate;
    };
    static const Form kForms[] = {
        {{4, 1, 2, 3}, false, false, 90}, {{3, 4, 1, 2}, false, false, 180}, {{2, 3, 4, 1}, false, false, 270},
        {{2, 1, 4, 3}, true, false, 0},   {{4, 3, 2, 1}, false, true, 0},    {{1, 4, 3, 2}, true, false, 270},
        {{3, 2, 1, 4}, true, false, 90},
    };
    for (const Form& f : kForms) {
        if (!std::equal(o, o + 4, f.order)) continue;
        SetFlipHorizontalFlag(f.flipH);
        SetFlipVerticalFlag(f.flipV);
        rotate_ = f.rotate;
        RotateCorners(f.rotate);
        return;
    }
}

void CSlide::ResetImageEdits()
{
    DropWorkingPicture();
    image_filters_.clear();
    std::copy_n("\1\2\3\4", 4, corners_);
    flip_vertical_ = flip_horizontal_ = false;
    if (rotate_ == 90 || rotate_ == 270) SwapDisplayAndPictureSizes();
    crop_rect_ = {0, 0, static_cast<int16_t>(std::min(image_height_, 32767)),
                  static_cast<int16_t>(std::min(image_width_, 32767))};
    rotate_ = 0;
    FitToShow(show_);
    ApplyAutoAlign(show_);
}

// ---------------------------------------------------------------- picture

void CSlide::ApplyExifOrientation(const CPath& path)
{
    CImageExifInfo exif;
    switch (exif.Load(path)) {
        case 2:
            FlipHorizontal(true);
            break;
        case 3:
            Rotate(180, true);
            break;
        case 4:
            FlipVertical(true);
            break;
        case 6:
            Rotate(90, true);
            break;
        case 8:
            Rotate(270, true);
            break;
        default:
            break;  // 1 is upright; 5 and 7 stay as they are
    }
}

const CImage* CSlide::GetWorkingPicture()
{
    if (working_) return working_.get();
    auto picture = std::make_unique<CImage>();
    if (type_ != kImage) {
        if (!picture->Create(64, 64, 24, nullptr, false)) return nullptr;
        std::fill_n(picture->pixels, picture->size, uint8_t(0));
        working_ = std::move(picture);
        return working_.get();
    }
    NormalizeOrientation();
    bool quarter = rotate_ == 90 || rotate_ == 270;
    int pw = quarter ? picture_height_ : picture_width_, ph = quarter ? picture_width_ : picture_height_;
    // The file is drawn straight at the working size, before any turn, over
    // black where it is transparent.
    CQTMovie movie;
    if (pw <= 0 || ph <= 0 || pw > 32767 || ph > 32767 || !movie.OpenFile(src_)) return nullptr;
    movie.SetSize(pw, ph);
    std::unique_ptr<GWorld> world(GWorld::Create(Rect{0, 0, int16_t(ph), int16_t(pw)}, 32));
    if (!world || !movie.DrawToPort(world.get(), nullptr) || !picture->FromGWorld(world.get())) return nullptr;
    for (const auto& f : image_filters_) f->Apply(*picture);
    if (flip_vertical_) picture->FlipVertical();
    if (flip_horizontal_) picture->FlipHorizontal();
    if (rotate_) picture->Rotate(rotate_);
    working_ = std::move(picture);
    return working_.get();
}

namespace {

// A 32-bit world holding the picture; null when it cannot be made.
std::unique_ptr<GWorld> WorldOf(CImage& image)
{
    Rect bounds{0, 0, int16_t(std::min<uint32_t>(image.height, 32767)),
                int16_t(std::min<uint32_t>(image.width, 32767))};
    std::unique_ptr<GWorld> world(GWorld::Create(bounds, 32));
    if (world) image.ToGWorld(world.get(), 0, 0);
    return world;
}

}  // namespace

bool CSlide::CopyPictureToImage(CImage& out, int w, int h)
{
    if (!GetWorkingPicture() || w <= 0 || h <= 0 || w > 32767 || h > 32767) return false;
    std::unique_ptr<GWorld> source = WorldOf(*working_);
    std::unique_ptr<GWorld> scaled(GWorld::Create(Rect{0, 0, int16_t(h), int16_t(w)}, 32));
    if (!source || !scaled) return false;
    CopyBits(source.get(), scaled.get(), &source->GetPortBounds(), &scaled->GetPortBounds(), srcCopy, nullptr);
    return out.FromGWorld(scaled.get());
}

void CSlide::DrawThumbnail(GWorldPtr port, const Rect* dest, bool fit, bool useCrop)
{
    if (!port || !dest || RectWidth(*dest) <= 0 || RectHeight(*dest) <= 0) return;
    if (type_ != kImage) {
        PortSaver saver;
        SetGWorld(port);
        RGBColor saved = port->ForeColor(), black{0, 0, 0};
        RGBForeColor(&black);
        PaintRect(dest);
        RGBForeColor(&saved);
        return;
    }
    if (!GetWorkingPicture()) return;
    const CImage* picture = working_.get();
    std::unique_ptr<GWorld> world = WorldOf(*working_);
    if (!world) return;
    Rect src = world->GetPortBounds();
    if (useCrop && crop_) {
        int W, H;
        GetRotatedImageSize(&W, &H);
        if (W <= 0 || H <= 0) return;
        double sx = double(picture->width) / W, sy = double(picture->height) / H;
        src = Rect{int16_t(crop_rect_.top * sy + 0.5), int16_t(crop_rect_.left * sx + 0.5),
                   int16_t(crop_rect_.bottom * sy + 0.5), int16_t(crop_rect_.right * sx + 0.5)};
    }
    int srcW = RectWidth(src), srcH = RectHeight(src);
    // An empty source (a zero-width crop) has no aspect to keep and nothing to show.
    if (srcW <= 0 || srcH <= 0) return;
    Rect to = *dest;
    if (fit) {
        int dw = RectWidth(*dest), dh = RectHeight(*dest);
        // From the source's own size, so that a crop keeps its aspect too.
        int w = srcW, h = srcH;
        if (w != dw) {
            h = RoundToInt(double(dw) * srcH / srcW);
            w = dw;
        }
        if (h > dh) {
            w = RoundToInt(double(dh) * srcW / srcH);
            h = dh;
        }
        int left = dest->left + ((dw - w) >> 1), top = dest->top + ((dh - h) >> 1);
        to = Rect{int16_t(top), int16_t(left), int16_t(top + h), int16_t(left + w)};
    }
    CopyBits(world.get(), port, &src, &to, srcCopy, nullptr);
}

// ---------------------------------------------------------------- XML

bool CSlide::ReadXml(const CXMLNode& element, const CReadContext* context)
{
    CElementReader r(element, context);
    place_ = r.Place();
    if (r.HasAttributes()) {
        std::string text;
        if (r.Text("type", &text)) {
            if (text == "image")
                type_ = kImage;
            else if (text == "blank")
                type_ = kBlank;
            else
                r.UnknownWord("type", text, type_ == kImage ? "image" : "blank");
        }
        CPath path;
        if (r.Path("src", &path)) src_ = path;
        // Stored as given: the picture's load fits and aligns them again
        // when the slide asks for it.
        long v;
        if (r.Int("width", &v) && !SetWidth(static_cast<int>(std::clamp<long>(v, INT32_MIN, INT32_MAX))))
            r.OutOfRange("width", 0, kMaxSize, width_);
        if (r.Int("height", &v) && !SetHeight(static_cast<int>(std::clamp<long>(v, INT32_MIN, INT32_MAX))))
            r.OutOfRange("height", 0, kMaxSize, height_);
        // Past the range, the nearer end: a slide placed far off the stage
        // stays off it.
        for (const auto& [name, set] : {std::pair{"x", &CSlide::SetX}, std::pair{"y", &CSlide::SetY}}) {
            if (!r.Int(name, &v) || (this->*set)(v, false, nullptr)) continue;
            const long nearer = std::clamp<long>(v, -kMaxPosition, kMaxPosition);
            (this->*set)(nearer, false, nullptr);
            r.Refused(name, ("out of range (" + std::to_string(-kMaxPosition) + " to " + std::to_string(kMaxPosition) + ")").c_str(),
                      (std::to_string(nearer) + " used").c_str());
        }
        if (r.Int("quality", &v) && !SetQuality(static_cast<int>(std::clamp<long>(v, INT32_MIN, INT32_MAX))))
            r.OutOfRange("quality", kMinQuality, kMaxQuality, quality_);
        r.Word("image_type", kImageTypeWords, false, &image_type_);
        // Stored as read, past the editor's range too: a show too long for
        // one movie is the export's to refuse, and the file keeps its value.
        r.NumberIn("duration", &duration_);
        r.Bool("scale_to_fit", &scale_to_fit_);
        r.Bool("keep_aspect_ratio", &keep_aspect_ratio_);
        r.Bool("auto_align", &auto_align_);
        r.Word("h_align", kHAlignWords, false, &h_align_);
        r.Word("v_align", kVAlignWords, false, &v_align_);
        r.Bool("crop", &crop_);
        r.NumberIn("crop_left", &crop_rect_.left);
        r.NumberIn("crop_top", &crop_rect_.top);
        r.NumberIn("crop_right", &crop_rect_.right);
        r.NumberIn("crop_bottom", &crop_rect_.bottom);
        bool flag;
        if (r.Bool("flip_vertical", &flag) && flag) FlipVertical(false);
        if (r.Bool("flip_horizontal", &flag) && flag) FlipHorizontal(false);
        if (r.Int("rotate", &v)) {
            int d = ReduceDegrees(v);
            if (d % 90 != 0)
                r.Refused("rotate", "not a quarter turn", "the picture is not turned");
            else
                Rotate(d, false);
        }
    }
    bool transitionRead = false;
    ReadChildElements(element, [&](const CXMLNode& child, const std::string& name) {
        if (name == "transition_in") {
            // A later element replaces the transition an earlier one gave.
            if (transitionRead)
                CElementReader(child, context).Issue("", "", "second transition_in: it replaces the first");
            transitionRead = true;
            // The first element inside names the transition; later ones are not read.
            bool done = false;
            ReadChildElements(child, [&](const CXMLNode& t, const std::string&) {
                if (done) {
                    CElementReader(t, context)
                        .Issue("", "", "only the first element in transition_in is read: passed over");
                    t.MarkRead(true);
                    return true;
                }
                done = true;
                auto transition = CTransitionList::CreateFromXml(t, context);
                if (transition) {
                    SetTransitionIn(std::move(transition));
                    return true;
                }
                CElementReader tr(t, context);
                std::string unknown;
                tr.Text("name", &unknown);
                tr.Issue("name", unknown,
                         ("unknown transition: read as \"" + transition_in_->GetName() + "\"" + kNamesListed).c_str());
                // Its settings go with it.
                t.MarkRead(true);
                return true;
            });
        } else if (name == "swf_fx") {
            CElementReader fx(child, context);
            std::string effect;
            if (fx.Text("name", &effect)) {
                auto found = COverlayEffectList::FindByName(effect);
                if (found)
                    SetSwfFx(std::move(found));
                else if (effect != swf_fx_->GetName())
                    fx.Issue("name", effect,
                             ("unknown overlay effect: read as \"" + swf_fx_->GetName() + "\"" + kNamesListed).c_str());
            }
        } else if (name == "caption_data") {
            captions_.ReadXml(child, context);
        } else if (name == "sound_data") {
            sounds_.ReadXml(child, const_cast<CReadContext*>(context));
        } else if (name == "popup_data") {
            popup_.ReadXml(child, context);
        } else if (name == "click_actions") {
            CElementReader c(child, context);
            if (click_place_.Line() == 0 || c.Has("jump_to")) click_place_ = c.Place();
            c.Bool("enable", &click_enable_);
            c.Word("type", kClickWords, true, &click_type_);
            c.Text("url", &click_url_);
            c.Text("target", &click_target_);
            c.NumberIn("jump_to", &jump_to_);
            c.Bool("popup", &click_popup_);
            c.Bool("pause_after", &pause_after_);
            c.Bool("load_url_on_display", &load_url_on_display_);
            c.Text("on_display_load_url", &on_display_load_url_);
            c.Text("on_display_load_target", &on_display_load_target_);
        } else if (name == "image_filters") {
            ReadChildElements(child, [&](const CXMLNode& f, const std::string& filterElement) {
                SayReadAs(f, filterElement, "filter", "a filter", context);
                auto filter = ReadSlideFilter(f);
                if (filter) {
                    // The filter reads its settings itself, as they stand;
                    // what their text holds besides, and a value its
                    // controls do not offer, is said here.
                    const CElementReader settings(f, context);
                    for (const CImageFilter::NumberAttribute& a : filter->GetNumberAttributes()) {
                        long whole;
                        double real;
                        if (a.integer ? !settings.Int(a.name, &whole) : !settings.Double(a.name, &real)) continue;
                        if (a.integer) real = double(std::clamp<long>(whole, INT32_MIN, INT32_MAX));
                        // The filter holds its whole numbers in 32 bits, at the nearest end.
                        if (a.integer && real != double(whole)) {
                            settings.ReadAs(a.name, std::to_string(long(real)));
                            continue;
                        }
                        if (a.low == a.high || (real >= a.low && real <= a.high)) continue;
                        if (a.integer)
                            settings.OutOfRange(a.name, long(a.low), long(a.high), long(real));
                        else
                            settings.OutOfRange(a.name, a.low, a.high, real);
                    }
                    for (const CImageFilter::WordAttribute& a : filter->GetWordAttributes()) {
                        int code = a.code;
                        settings.Word(a.name, a.words, false, &code);
                    }
                    AddFilter(std::move(filter));
                    return true;
                }
                if (context) {
                    std::string filterName;
                    CElementReader(f, context).Text("name", &filterName);
                    context->Issue(f, "name", filterName,
                                   (std::string("unknown filter: left out") + kNamesListed).c_str());
                }
                f.MarkRead(true);
                return true;
            });
        } else if (name == "pan_zoom") {
            ReadChildElements(child, [&](const CXMLNode& f, const std::string& moveElement) {
                SayReadAs(f, moveElement, "camera_fx", "a camera move", context);
                // Every move is a pan and zoom, whatever its name.
                CElementReader(f, context).Skip("name");
                auto fx = std::make_unique<CPanZoomFx>(0, 0, 1.0, 0);
                fx->ReadXml(f, context);
                InsertCameraFx(std::move(fx), 1048575);
                return true;
            });
        } else {
            return false;
        }
        return true;
    });
    return true;
}

bool CSlide::WriteXml(CXMLOutputFile& out)
{
    out.Write("<slide");
    CAttrWriter w(out);
    w.Raw("type", type_ == kImage ? "image" : "blank")
        .Path("src", type_ == kImage ? src_ : CPath())
        .Int("width", width_)
        .Int("height", height_)
        .Int("x", x_)
        .Int("y", y_)
        .Int("quality", quality_)
        .Word("image_type", kImageTypeWords, image_type_)
        .UInt("duration", duration_)
        .Bool("scale_to_fit", scale_to_fit_)
        .Bool("keep_aspect_ratio", keep_aspect_ratio_)
        .Bool("auto_align", auto_align_)
        .Word("h_align", kHAlignWords, h_align_)
        .Word("v_align", kVAlignWords, v_align_);
    NormalizeOrientation();
    w.Bool("crop", crop_)
        .Int("crop_left", crop_rect_.left)
        .Int("crop_top", crop_rect_.top)
        .Int("crop_right", crop_rect_.right)
        .Int("crop_bottom", crop_rect_.bottom)
        .Bool("flip_vertical", flip_vertical_)
        .Bool("flip_horizontal", flip_horizontal_)
        .Int("rotate", rotate_);
    out.Write(" >\n<transition_in>\n");
    transition_in_->WriteXml(out);
    out.Write("</transition_in>\n<swf_fx");
    CAttrWriter(out).Text("name", swf_fx_->GetName());
    out.Write(" />\n<image_filters>\n");
    for (const auto& f : image_filters_) f->WriteXML(out);
    out.Write("</image_filters>\n<click_actions");
    CAttrWriter(out)
        .Bool("enable", click_enable_)
        .Word("type", kClickWords, click_type_)
        .Text("url", click_url_)
        .Text("target", click_target_)
        .Int("jump_to", jump_to_)
        .Bool("popup", click_popup_)
        .Bool("pause_after", pause_after_)
        .Bool("load_url_on_display", load_url_on_display_)
        .Text("on_display_load_url", on_display_load_url_)
        .Text("on_display_load_target", on_display_load_target_);
    out.Write(" />\n<pan_zoom>\n");
    for (const auto& fx : pan_zoom_) fx->WriteXml(out);
    out.Write("</pan_zoom>\n");
    captions_.WriteXml(out);
    sounds_.WriteXml(out);
    popup_.WriteXml(out);
    out.Write("</slide>\n");
    return true;
}
