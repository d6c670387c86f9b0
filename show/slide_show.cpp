#include "show/slide_show.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "platform/files.h"
#include "platform/quickdraw.h"

namespace {

constexpr const char* kFrameWords[] = {"none",  "color_flat", "color",         "color_hilite",
                                       "metal", "pattern",    "pattern_custom"};
constexpr const char* kPlacementWords[] = {"custom",      "top_left",      "top_center",  "top_right",
                                           "bottom_left", "bottom_center", "bottom_right"};

}  // namespace

CSlideShow::CSlideShow()
{
    Reset();
}

CSlideShow::~CSlideShow()
{
    slides_.clear();
}

void CSlideShow::Reset()
{
    width_ = 320;
    height_ = 240;
    bounds_top_ = bounds_left_ = 0;
    bounds_bottom_ = 240;
    bounds_right_ = 320;
    fps_ = 12.0f;
    bg_color = 0;
    bg_image = CPath();
    bg_image_width = 320;
    bg_image_height = 240;
    bg_image_quality = 80;
    use_bg_image = false;
    bg_image_scale_to_fit = true;
    bg_image_tile = false;
    bg_frame = 0;
    bg_frame_left = bg_frame_top = bg_frame_right = bg_frame_bottom = 10;
    bg_frame_color = 0;
    bg_frame_pattern = bg_frame_custom_pattern = CPath();
    use_compression = protect = disable_print = controls = mute_control = false;
    slides_.clear();
    movie_settings_.Reset();
    captions_.Clear();
    sounds_.Reset();
    controls_skin_.Reset();
    mute_skin_.Reset();
    mute_skin_.SetPlacement(CControlsSkin::kBottomRight);
    place_ = {};
    timeline_.clear();
    font_table_.Clear();
    // The export state points into the slides just deleted.
    current_slide_ = previous_slide_ = first_written_ = last_written_ = nullptr;
    used_effects_.Clear();
}

void CSlideShow::GetControlsPos(int* x, int* y) const
{
    *x = controls_skin_.x;
    *y = controls_skin_.y;
    CControlsClip::Place(*this, x, y);
}

void CSlideShow::GetMuteControlPos(int* x, int* y) const
{
    *x = mute_skin_.x;
    *y = mute_skin_.y;
    CMuteClip::Place(*this, x, y);
}

bool CSlideShow::HasUserContent() const
{
    return !slides_.empty() || width_ != 320 || height_ != 240 || fps_ != 12.0f || movie_settings_.HasActions() ||
           captions_.HasCaptions() || sounds_.GetInclude() > 0;
}

void CSlideShow::CopyFormat(const CSlideShow& other)
{
    width_ = other.width_;
    height_ = other.height_;
    fps_ = other.fps_;
    bg_color = other.bg_color;
}

void CSlideShow::ChangeFormat(const std::function<void()>& change)
{
    auto self = reinterpret_cast<intptr_t>(this);
    ShowFormatChanging.Emit(self);
    SlideFormatChanging.Emit(self);
    change();
    Refit();
    ShowFormatChanged.Emit(self);
    SlideFormatChanged.Emit(self);
}

void CSlideShow::Refit()
{
    captions_.ApplyToAll(*this);
    for (auto& s : slides_) {
        s->FitToShow(this);
        s->ApplyAutoAlign(this);
    }
}

bool CSlideShow::SetSize(long w, long h, bool showMessage, WindowRef parent)
{
    auto fits = [](long v) { return v >= kMinSize && v <= kMaxSize; };
    if (!fits(w) || !fits(h)) {
        ShowRangeMessage(showMessage, parent, fits(w) ? 501 : 500, int(kMinSize), int(kMaxSize));
        return false;
    }
    if (uint32_t(w) == width_ && uint32_t(h) == height_) return true;
    ChangeFormat([&] {
        bg_image_width = width_ = uint32_t(w);
        bg_image_height = height_ = uint32_t(h);
    });
    return true;
}

bool CSlideShow::SetFps(double fps, bool showMessage, WindowRef parent)
{
    // NaN fails both tests.
    if (!(fps >= kMinFps && fps <= kMaxFps)) {
        ShowRangeMessage(showMessage, parent, 502, int(kMinFps), int(kMaxFps));
        return false;
    }
    fps_ = static_cast<float>(fps);
    return true;
}

bool CSlideShow::SetBgImageQuality(long q, bool showMessage, WindowRef parent)
{
    if (!CheckRange(q, 1, 100, showMessage, parent, 504)) return false;
    bg_image_quality = uint32_t(q);
    return true;
}

int CSlideShow::SetBounds(int left, int top, int right, int bottom)
{
    if (left == 0 && right == 0) return kNoWidth;
    // The edges are stored in 16 bits: a wider value would wrap.
    auto fits = [](int v) { return v >= INT16_MIN && v <= INT16_MAX; };
    if (right <= left || !fits(left) || !fits(right)) return kBadWidth;
    if (top == 0 && bottom == 0) return kNoHeight;
    if (bottom <= top || !fits(top) || !fits(bottom)) return kBadHeight;
    if (left == bounds_left_ && top == bounds_top_ && right == bounds_right_ && bottom == bounds_bottom_)
        return kBoundsOk;
    ChangeFormat([&] {
        bounds_left_ = int16_t(left);
        bounds_top_ = int16_t(top);
        bounds_right_ = int16_t(right);
        bounds_bottom_ = int16_t(bottom);
    });
    return kBoundsOk;
}

void CSlideShow::DrawBackground() const
{
    GWorldPtr port = GetGWorld();
    if (!port) return;
    RGBColor saved = port->ForeColor();
    // bg_color holds red in its low byte; each byte widens to 16 bits.
    auto channel = [this](int shift) { return uint16_t(((bg_color >> shift) & 0xFF) * 0x101); };
    RGBColor color{channel(0), channel(8), channel(16)};
    Rect r{0, 0, int16_t(std::min<uint32_t>(height_, 32767)), int16_t(std::min<uint32_t>(width_, 32767))};
    RGBForeColor(&color);
    PaintRect(&r);
    RGBForeColor(&saved);
}

uint32_t CSlideShow::GetTotalTime() const
{
    uint64_t total = 0;
    for (const auto& s : slides_) total += s->GetTotalDuration();
    return static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
}

bool CSlideShow::HasTextEffectCaptions() const
{
    auto has = [](const CCaptionList& list) {
        for (int i = 0; i < list.GetCount(); ++i)
            if (list.Get(i)->GetType() == CCaption::kLfx) return true;
        return false;
    };
    if (has(captions_)) return true;
    return std::any_of(slides_.begin(), slides_.end(), [&](const auto& s) { return has(s->GetCaptions()); });
}

bool CSlideShow::UsesLockPreloader() const
{
    return movie_settings_.preload && movie_settings_.preload_creator != 0;
}

bool CSlideShow::HasPopupSlides() const
{
    return std::any_of(slides_.begin(), slides_.end(),
                       [](const auto& s) { return s->GetClickEnabled() && s->GetClickPopup(); });
}

// ---------------------------------------------------------------- slide list

CSlide* CSlideShow::GetSlide(int i) const
{
    return i < 0 || i >= GetSlideCount() ? nullptr : slides_[i].get();
}

int CSlideShow::IndexOfSlide(const CSlide* slide) const
{
    for (int i = 0; i < GetSlideCount(); ++i)
        if (slides_[i].get() == slide) return i;
    return -1;
}

CSlide* CSlideShow::GetNextSlide(const CSlide* slide) const
{
    int i = IndexOfSlide(slide);
    return i < 0 ? nullptr : GetSlide((i + 1) % GetSlideCount());
}

CSlide* CSlideShow::GetPrevSlide(const CSlide* slide) const
{
    int i = IndexOfSlide(slide);
    return i < 0 ? nullptr : GetSlide(i == 0 ? GetSlideCount() - 1 : i - 1);
}

CSlide* CSlideShow::GetLastSelectedSlide() const
{
    for (int i = GetSlideCount() - 1; i >= 0; --i)
        if (slides_[i]->IsSelected()) return slides_[i].get();
    return nullptr;
}

bool CSlideShow::InsertSlide(std::unique_ptr<CSlide> slide, bool afterSelection)
{
    if (!slide) return false;
    Changed(slide.get(), afterSelection);
    if (!afterSelection) {
        slide->SetShow(this);
        slides_.push_back(std::move(slide));
        return true;
    }
    return InsertSlideAt(std::move(slide), IndexOfSlide(GetLastSelectedSlide()) + 1);
}

bool CSlideShow::InsertSlideAt(std::unique_ptr<CSlide> slide, int index)
{
    if (!slide) return false;
    Changed(slide.get(), index);
    slide->SetShow(this);
    int at = index < 0 ? 0 : std::min(index, GetSlideCount());
    slides_.insert(slides_.begin() + at, std::move(slide));
    return true;
}

bool CSlideShow::DeleteSlide(int index)
{
    if (index < 0 || index >= GetSlideCount()) return false;
    slides_.erase(slides_.begin() + index);
    return true;
}

int CSlideShow::DeleteSelectedSlides()
{
    int highest = -1;
    for (int i = GetSlideCount() - 1; i >= 0; --i) {
        if (!slides_[i]->IsSelected()) continue;
        if (highest < 0) highest = i;
        slides_.erase(slides_.begin() + i);
    }
    if (highest < 0) return -1;
    return highest < GetSlideCount() ? highest : GetSlideCount() - 1;
}

// ---------------------------------------------------------------- XML

bool CSlideShow::WriteXml(CXMLOutputFile& out) const
{
    out.Write("<slide_show");
    CAttrWriter w(out);
    w.UInt("width", width_)
        .UInt("height", height_)
        .Double("fps", fps_)
        .Bool("use_compression", use_compression)
        .Bool("protect", protect)
        .Bool("disable_print", disable_print)
        .Int("show_bounds_left", bounds_left_)
        .Int("show_bounds_right", bounds_right_)
        .Int("show_bounds_top", bounds_top_)
        .Int("show_bounds_bottom", bounds_bottom_)
        .UInt("bg_color", bg_color)
        .Bool("use_bg_image", use_bg_image)
        .Path("bg_image", bg_image)
        .UInt("bg_image_quality", bg_image_quality)
        .UInt("bg_image_width", bg_image_width)
        .UInt("bg_image_height", bg_image_height)
        .Bool("bg_image_scale_to_fit", bg_image_scale_to_fit)
        .Bool("bg_image_tile", bg_image_tile)
        .Word("bg_frame", kFrameWords, bg_frame)
        .UInt("bg_frame_color", bg_frame_color)
        .Path("bg_frame_pattern", bg_frame_pattern)
        .Path("bg_frame_custom_pattern", bg_frame_custom_pattern)
        .UInt("bg_frame_left", bg_frame_left)
        .UInt("bg_frame_right", bg_frame_right)
        .UInt("bg_frame_top", bg_frame_top)
        .UInt("bg_frame_bottom", bg_frame_bottom)
        .Bool("controls", controls);
    auto skin = [&](const CControlsSkin& s, const char* x, const char* y, const char* wi, const char* he,
                    const char* set, const char* align) {
        w.Int(x, s.x).Int(y, s.y).Int(wi, s.width).Int(he, s.height).Text(set, s.fileName);
        w.Word(align, kPlacementWords, s.placement);
    };
    skin(controls_skin_, "controls_x", "controls_y", "controls_width", "controls_height", "control_set",
         "control_align");
    w.Bool("mute_control", mute_control);
    skin(mute_skin_, "mute_control_x", "mute_control_y", "mute_control_width", "mute_control_height",
         "mute_control_set", "mute_control_align");
    out.Write(">\n<slides>\n");
    for (const auto& s : slides_) s->WriteXml(out);
    out.Write("</slides>\n");
    movie_settings_.WriteXml(out);
    captions_.WriteXml(out);
    sounds_.WriteXml(out);
    out.Write("</slide_show>\n");
    return true;
}

bool CSlideShow::ReadXml(const CXMLNode& element, CReadContext* context)
{
    CReadContext own;
    if (!context) context = &own;
    context->folders.Clear();
    CElementReader r(element, context);
    if (r.HasAttributes()) {
        place_ = r.Place();
        r.Bool("use_compression", &use_compression);
        r.Bool("protect", &protect);
        r.Bool("disable_print", &disable_print);
        long v;
        if (r.Int("height", &v) && !SetHeight(v)) r.OutOfRange("height", kMinSize, kMaxSize, height_);
        if (r.Int("width", &v) && !SetWidth(v)) r.OutOfRange("width", kMinSize, kMaxSize, width_);
        bounds_left_ = bounds_top_ = 0;
        bounds_right_ = int16_t(width_);
        bounds_bottom_ = int16_t(height_);
        double fps;
        if (r.Double("fps", &fps) && !SetFps(fps)) r.OutOfRange("fps", kMinFps, kMaxFps, fps_);
        // An empty span falls back to the whole show on that axis.
        auto readSpan = [&r](const char* low, const char* high, auto* from, auto* to, int size, const char* why) {
            r.NumberIn(low, from);
            r.NumberIn(high, to);
            if (*to - *from <= 0) {
                // Named by what the file wrote: the far edge, else the near one.
                r.Refused(r.Has(high) || !r.Has(low) ? high : low, why, ("0 to " + std::to_string(size) + " kept").c_str());
                *from = 0;
                *to = int16_t(size);
            }
        };
        readSpan("show_bounds_left", "show_bounds_right", &bounds_left_, &bounds_right_, width_, "bounds without width");
        readSpan("show_bounds_top", "show_bounds_bottom", &bounds_top_, &bounds_bottom_, height_,
                 "bounds without height");
        r.Colour("bg_color", &bg_color);
        r.Bool("use_bg_image", &use_bg_image);
        r.Path("bg_image", &bg_image);
        // A JPEG quality, as a slide's.
        long quality = long(bg_image_quality);
        if (r.NumberIn("bg_image_quality", CSlide::kMinQuality, CSlide::kMaxQuality, &quality))
            bg_image_quality = uint32_t(quality);
        r.NumberIn("bg_image_width", &bg_image_width);
        r.NumberIn("bg_image_height", &bg_image_height);
        r.Bool("bg_image_scale_to_fit", &bg_image_scale_to_fit);
        r.Bool("bg_image_tile", &bg_image_tile);
        int frame = static_cast<int>(bg_frame);
        if (r.Word("bg_frame", kFrameWords, true, &frame)) bg_frame = uint32_t(frame);
        r.Colour("bg_frame_color", &bg_frame_color);
        r.Path("bg_frame_pattern", &bg_frame_pattern);
        r.Path("bg_frame_custom_pattern", &bg_frame_custom_pattern);
        r.NumberIn("bg_frame_left", &bg_frame_left);
        r.NumberIn("bg_frame_right", &bg_frame_right);
        r.NumberIn("bg_frame_top", &bg_frame_top);
        r.NumberIn("bg_frame_bottom", &bg_frame_bottom);
        auto skin = [&](CControlsSkin& s, const char* flagName, bool* flag, const char* set, const char* align,
                        const char* x, const char* y, const char* wi, const char* he) {
            r.Bool(flagName, flag);
            r.Text(set, &s.fileName);
            r.Word(align, kPlacementWords, true, &s.placement);
            r.NumberIn(x, &s.x);
            r.NumberIn(y, &s.y);
            r.NumberIn(wi, &s.width);
            r.NumberIn(he, &s.height);
        };
        skin(controls_skin_, "controls", &controls, "control_set", "control_align", "controls_x", "controls_y",
             "controls_width", "controls_height");
        skin(mute_skin_, "mute_control", &mute_control, "mute_control_set", "mute_control_align", "mute_control_x",
             "mute_control_y", "mute_control_width", "mute_control_height");
        // Slides already in the show (a second element, or a show read
        // over another) follow the bounds just set, as with SetBounds.
        Refit();
    }
    ReadChildElements(element, [&](const CXMLNode& child, const std::string& name) {
        if (name == "slides")
            ReadSlidesXml(child, context);
        else if (name == "swf_data")
            movie_settings_.ReadXml(child, context);
        else if (name == "caption_data")
            captions_.ReadXml(child, context);
        else if (name == "sound_data")
            sounds_.ReadXml(child, context);
        else
            return false;
        return true;
    });
    context->folders.Clear();
    return true;
}

bool CSlideShow::ReadSlidesXml(const CXMLNode& element, CReadContext* context)
{
    CReadContext own;
    if (!context) context = &own;
    bool cancelled = false;
    // Every element inside is a slide, whatever its name.
    ReadChildElements(element, [&](const CXMLNode& child, const std::string& name) {
        context->NoteSlide(child);
        // Slides after a cancel are not read; the cancel was said. The
        // caller's own cancel stops the read too: it says it.
        if (!cancelled && context->cancelRequested && context->cancelRequested()) cancelled = true;
        if (cancelled) {
            child.MarkRead(true);
            return true;
        }
        SayReadAs(child, name, "slide", "a slide", context);
        auto slide = std::make_unique<CSlide>(CSlide::kImage, this);
        slide->ReadXml(child, context);
        CPath path = slide->GetSrc();
        // A folder, FIFO or device there is no missing file: the export says its kind.
        if (slide->GetType() == CSlide::kImage && (path.IsEmpty() || !path.Exists())) {
            CPath found;
            if (!context->folders.Find(path, &found)) {
                CRelocation answer = context->GetRelocator().RelocateImage(path);
                switch (answer.action) {
                    case CRelocation::kRelocate:
                        if (!answer.path.IsEmpty()) {
                            found = answer.path;
                            context->folders.Add(found);
                        }
                        break;
                    case CRelocation::kReplace:
                        found = answer.path;
                        break;
                    case CRelocation::kCancel:
                        cancelled = true;
                        break;
                    case CRelocation::kDrop:
                        break;
                }
            }
            if (found.IsEmpty() && !cancelled && context->keepMissing) {
                slide->SetPictureMissing(true);
                context->Issue(child, "src", ProjectFileName(path),
                               context->movieFollows ? "image file missing: slide left out of the movie"
                                                     : "image file missing: slide kept as stored");
                InsertSlide(std::move(slide), false);
                return true;
            }
            if (found.IsEmpty()) {
                context->Issue(child, "src", ProjectFileName(path),
                               cancelled ? "image file missing: reading of slides cancelled"
                                         : "image file missing: slide dropped");
                // What the slide held goes with it: this line says so.
                child.MarkRead(true);
                return true;
            }
            path = found;
        }
        // A picture whose size cannot be read keeps the slide as the file
        // gave it: dropping it would lose the slide at the next save.
        if (!slide->LoadImage(path, this, false)) {
            slide->SetSrc(path);
            if (!context->movieFollows)
                context->Issue(child, "src", ProjectFileName(path), "picture cannot be read: slide kept as stored");
        }
        InsertSlide(std::move(slide), false);
        return true;
    });
    return !cancelled;
}
