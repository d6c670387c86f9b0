#include "ui/gradient.h"

#include <algorithm>
#include <cmath>

#include "platform/quickdraw.h"
#include "ui/buttons.h"
#include "ui/control_events.h"
#include "ui/dialog_window.h"

namespace {

int Channel(uint32_t color, int shift)
{
    return static_cast<int>((color >> shift) & 0xFF);
}

// Per channel, truncated.
uint32_t Mix(uint32_t from, uint32_t to, double t)
{
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int a = Channel(from, shift), b = Channel(to, shift);
        int value = static_cast<int>(a + (b - a) * t);
        out |= static_cast<uint32_t>(std::clamp(value, 0, 255)) << shift;
    }
    return out;
}

bool Inside(const Rect& r, Point p)
{
    return p.h >= r.left && p.h <= r.right && p.v >= r.top && p.v <= r.bottom;
}

void PutPixel(GWorldPtr world, int h, int v, uint32_t color)
{
    uint8_t* row = world->RowAt(v);
    if (!row || h < 0 || h >= world->Width()) return;
    uint8_t* p = row + static_cast<size_t>(h) * 4;
    p[0] = 255;
    p[1] = static_cast<uint8_t>(Channel(color, 0));
    p[2] = static_cast<uint8_t>(Channel(color, 8));
    p[3] = static_cast<uint8_t>(Channel(color, 16));
}

// The marker: a pointer whose tip touches the bar, with a patch of the
// stop's colour in its body. '#' frame, '.' face, 'c' colour patch, ' ' clear.
constexpr int kMarkerWidth = 9;
constexpr int kMarkerHeight = 13;
constexpr const char* kMarkerRows[kMarkerHeight] = {
    "    #    ", "   #.#   ", "  #...#  ", " #.....# ", "#.......#", "#.ccccc.#", "#.ccccc.#",
    "#.ccccc.#", "#.ccccc.#", "#.ccccc.#", "#.ccccc.#", "#.......#", "#########",
};
const Rect kPatch = MakeRect(5, 2, 11, 7);

}  // namespace

// ---- CGradientStops

CGradientStops::CGradientStops()
{
    Assign({{0.0f, 0x000000}, {1.0f, 0xFFFFFF}});
}

int CGradientStops::IndexOf(const CGradientStop* stop) const
{
    for (size_t i = 0; i < stops_.size(); ++i)
        if (stops_[i].get() == stop) return static_cast<int>(i);
    return -1;
}

bool CGradientStops::Assign(const std::vector<CGradientStop>& stops)
{
    if (stops.size() < kMinStops || stops.size() > kMaxStops) return false;
    stops_.clear();
    for (const CGradientStop& stop : stops) {
        auto copy = std::make_unique<CGradientStop>(stop);
        copy->position = std::clamp(copy->position, 0.0f, 1.0f);
        stops_.push_back(std::move(copy));
    }
    Sort();
    return true;
}

void CGradientStops::Sort()
{
    std::stable_sort(stops_.begin(), stops_.end(),
                     [](const auto& a, const auto& b) { return a->position < b->position; });
}

uint32_t CGradientStops::ColorAt(float position) const
{
    const CGradientStop& first = *stops_.front();
    const CGradientStop& last = *stops_.back();
    if (position <= first.position) return first.color;
    if (position >= last.position) return last.color;
    for (size_t i = 1; i < stops_.size(); ++i) {
        const CGradientStop& a = *stops_[i - 1];
        const CGradientStop& b = *stops_[i];
        if (position > b.position) continue;
        // Two stops at one position: no interval to divide.
        double t = b.position > a.position ? (position - a.position) / double(b.position - a.position) : 0.0;
        return Mix(a.color, b.color, t);
    }
    return last.color;
}

CGradientStop* CGradientStops::Add(float position)
{
    if (stops_.size() >= kMaxStops) return nullptr;
    position = std::clamp(position, 0.0f, 1.0f);
    auto stop = std::make_unique<CGradientStop>();
    stop->position = position;
    stop->color = ColorAt(position);
    CGradientStop* added = stop.get();
    stops_.push_back(std::move(stop));
    Sort();
    return added;
}

CGradientStop* CGradientStops::Remove(CGradientStop* stop)
{
    int index = IndexOf(stop);
    if (index < 0 || stops_.size() <= kMinStops) return stop;
    stops_.erase(stops_.begin() + index);
    return stops_[index > 0 ? static_cast<size_t>(index - 1) : 0].get();
}

std::vector<uint32_t> CGradientStops::Ramp(int n) const
{
    n = std::max(n, 1);
    std::vector<uint32_t> ramp(static_cast<size_t>(n), stops_.front()->color);
    // A stop at 1.0 would sit one past the end.
    auto entryOf = [n](float position) { return std::clamp(static_cast<int>(position * n + 0.5f), 0, n - 1); };
    int previous = entryOf(stops_.front()->position);
    for (int j = 0; j <= previous; ++j) ramp[static_cast<size_t>(j)] = stops_.front()->color;
    for (size_t i = 1; i < stops_.size(); ++i) {
        const CGradientStop& a = *stops_[i - 1];
        const CGradientStop& b = *stops_[i];
        int from = entryOf(a.position), to = entryOf(b.position);
        // Stops sharing an entry: the later one's colour wins.
        for (int j = from; j <= to; ++j) {
            double t = to > from ? double(j - from) / (to - from) : 1.0;
            ramp[static_cast<size_t>(j)] = Mix(a.color, b.color, t);
        }
        previous = to;
    }
    for (int j = previous; j < n; ++j) ramp[static_cast<size_t>(j)] = stops_.back()->color;
    ramp.front() = stops_.front()->color;
    ramp.back() = stops_.back()->color;
    return ramp;
}

// ---- CGradientControl

CGradientControl::CGradientControl() = default;

CGradientControl::~CGradientControl()
{
    RemoveInstalledHandler(&handlerUPP_, &handlerRef_);
    if (drawUPP_ && IsValidControlHandle(GetControlRef())) {
        ControlUserPaneDrawUPP none = nullptr;
        SetControlData(GetControlRef(), 0, kControlUserPaneDrawProcTag, sizeof none, &none);
    }
    if (drawUPP_) DisposeControlUserPaneDrawUPP(drawUPP_);
    ReleaseWorlds();
}

void CGradientControl::ReleaseWorlds()
{
    for (GWorldPtr* world : {&background_, &composite_, &marker_, &markerMask_, &work_}) {
        if (*world) DisposeGWorld(*world);
        *world = nullptr;
    }
}

bool CGradientControl::Create(CDialogWindow* owner, OSType signature, const Rect& bounds, const char* title)
{
    if (!CControl::Create(owner, signature, bounds, title) || !owner || !owner->GetWindow()) return false;
    const int w = RectWidth(bounds), h = RectHeight(bounds);
    if (w <= 0 || h <= 0) return false;
    Rect whole = MakeRect(bounds.top, bounds.left, bounds.top + h + 16, bounds.left + w + 84);
    ControlRef control = nullptr;
    OSStatus status = CreateUserPaneControl(owner->GetWindow(), &whole, 0, &control);
    if (!FinishCreate(status, control, owner, signature)) return false;
    if (Setup(bounds)) return true;
    Dispose();
    return false;
}

bool CGradientControl::OnAttach()
{
    Rect bounds;
    return GetControlBounds(GetControlRef(), &bounds) && Setup(bounds);
}

bool CGradientControl::Setup(const Rect& r)
{
    const int w = RectWidth(r), h = RectHeight(r);
    if (w <= 0 || h <= 0) return false;
    preview_ = MakeRect(2, 2, 26, 34);
    bar_ = MakeRect(2, 42, 2 + h, 42 + w);
    colorBox_ = MakeRect(2, w + 50, 26, w + 82);
    whole_ = MakeRect(0, 0, h + 16, w + 84);
    SetControlReference(GetControlRef(), reinterpret_cast<SRefCon>(static_cast<CControl*>(this)));
    barWidth_ = static_cast<float>(w);
    origin_ = Point{r.top, r.left};
    ReleaseWorlds();
    const Rect markerRect = MakeRect(0, 0, kMarkerHeight, kMarkerWidth);
    if (NewGWorld(&background_, 32, whole_) != 0 || NewGWorld(&composite_, 32, whole_) != 0 ||
        NewGWorld(&work_, 32, MakeRect(0, 0, 130, 130)) != 0 || NewGWorld(&marker_, 32, markerRect) != 0 ||
        NewGWorld(&markerMask_, 1, markerRect) != 0 || !background_ || !composite_ || !work_ || !marker_ ||
        !markerMask_) {
        ReleaseWorlds();
        return false;
    }
    DrawBackground();
    BuildMarker();
    if (!drawUPP_) {
        drawUPP_ = NewControlUserPaneDrawUPP(DrawProc);
        SetControlData(GetControlRef(), 0, kControlUserPaneDrawProcTag, sizeof drawUPP_, &drawUPP_);
    }
    static const EventTypeSpec kHit = {kEventClassControl, kEventControlHit};
    if (!handlerRef_ && !InstallControlHandler(GetControlRef(), HitProc, &kHit, 1, this, &handlerUPP_, &handlerRef_))
        return false;
    selected_ = stops_.GetAt(0);
    showSelected_ = true;
    Redraw(kAll);
    return true;
}

void CGradientControl::DrawBackground()
{
    PortSaver saver;
    SetGWorld(background_);
    const RGBColor face{0xDDDD, 0xDDDD, 0xDDDD}, dark{0x7777, 0x7777, 0x7777}, light{0xFFFF, 0xFFFF, 0xFFFF};
    RGBBackColor(&face);
    EraseRect(&whole_);
    // Two lines each side, just outside the box: sunken.
    for (const Rect& box : {preview_, bar_, colorBox_}) {
        for (int i = 1; i <= 2; ++i) {
            RGBForeColor(&dark);
            MoveTo(static_cast<short>(box.left - i), static_cast<short>(box.bottom + i - 1));
            LineTo(static_cast<short>(box.left - i), static_cast<short>(box.top - i));
            LineTo(static_cast<short>(box.right + i - 1), static_cast<short>(box.top - i));
            RGBForeColor(&light);
            LineTo(static_cast<short>(box.right + i - 1), static_cast<short>(box.bottom + i - 1));
            LineTo(static_cast<short>(box.left - i + 1), static_cast<short>(box.bottom + i - 1));
        }
    }
}

void CGradientControl::BuildMarker()
{
    const RGBColor frame{0x3333, 0x3333, 0x3333}, faceColor{0xEEEE, 0xEEEE, 0xEEEE};
    const RGBColor white{0xFFFF, 0xFFFF, 0xFFFF}, black{0, 0, 0};
    for (int v = 0; v < kMarkerHeight; ++v) {
        for (int h = 0; h < kMarkerWidth; ++h) {
            char c = kMarkerRows[v][h];
            marker_->SetCPixel(h, v, c == '#' ? frame : faceColor);
            markerMask_->SetCPixel(h, v, c == ' ' ? white : black);
        }
    }
}

Rect CGradientControl::MarkerRect(const CGradientStop& stop) const
{
    int left = bar_.left + static_cast<int>(stop.position * barWidth_ + 0.5f - 3) - 2;
    int top = bar_.bottom + 1;
    return MakeRect(top, left, top + kMarkerHeight, left + kMarkerWidth);
}

void CGradientControl::RenderLinear(const Rect& rect)
{
    const int width = RectWidth(rect);
    std::vector<uint32_t> ramp = stops_.Ramp(static_cast<int>(width * 1.0));
    for (int v = rect.top; v < rect.bottom; ++v)
        for (int x = 0; x < width; ++x) PutPixel(composite_, rect.left + x, v, ramp[static_cast<size_t>(x)]);
}

void CGradientControl::RenderRadial(const Rect& rect)
{
    const int n = std::max(1, static_cast<int>(RectWidth(rect) * 0.5));
    std::vector<uint32_t> ramp = stops_.Ramp(n);
    const double cx = rect.left + RectWidth(rect) / 2.0, cy = rect.top + RectHeight(rect) / 2.0;
    for (int v = rect.top; v < rect.bottom; ++v) {
        for (int h = rect.left; h < rect.right; ++h) {
            int entry = std::min(n - 1, static_cast<int>(std::hypot(h - cx, v - cy) + 0.5));
            PutPixel(composite_, h, v, ramp[static_cast<size_t>(entry)]);
        }
    }
}

void CGradientControl::Redraw(unsigned parts)
{
    if (!composite_ || !background_) return;
    std::copy_n(background_->GetPixBaseAddr(), background_->GetPixRowBytes() * background_->Height(),
                composite_->GetPixBaseAddr());
    if (parts & kBar) RenderLinear(bar_);
    if (parts & kPreview) {
        if (stops_.IsLinear())
            RenderLinear(preview_);
        else
            RenderRadial(preview_);
    }
    PortSaver saver;
    SetGWorld(composite_);
    if (parts & kMarkers) {
        const Rect source = MakeRect(0, 0, kMarkerHeight, kMarkerWidth);
        for (size_t i = 0; i < stops_.GetCount(); ++i) {
            const CGradientStop& stop = *stops_.GetAt(i);
            if (&stop == selected_ && !showSelected_) continue;
            Rect at = MarkerRect(stop);
            CopyMask(GetPortBitMapForCopyBits(marker_), GetPortBitMapForCopyBits(markerMask_),
                     GetPortBitMapForCopyBits(composite_), &source, &source, &at);
            Rect patch =
                MakeRect(at.top + kPatch.top, at.left + kPatch.left, at.top + kPatch.bottom, at.left + kPatch.right);
            RGBColor rgb;
            ColorToRGBColor(stop.color, &rgb);
            RGBForeColor(&rgb);
            PaintRect(&patch);
        }
    }
    if (selected_) {
        RGBColor rgb;
        ColorToRGBColor(selected_->color, &rgb);
        RGBForeColor(&rgb);
        PaintRect(&colorBox_);
    }
    WindowRef window = GetOwnerWindow();
    if (!window) return;
    Rect target = whole_;
    target.top = static_cast<int16_t>(target.top + origin_.v);
    target.bottom = static_cast<int16_t>(target.bottom + origin_.v);
    target.left = static_cast<int16_t>(target.left + origin_.h);
    target.right = static_cast<int16_t>(target.right + origin_.h);
    SetPortWindowPort(window);
    CopyBits(GetPortBitMapForCopyBits(composite_), GetPortBitMapForCopyBits(GetWindowPort(window)), &whole_, &target,
             srcCopy, nullptr);
}

CGradientStop* CGradientControl::AddStop(float position)
{
    CGradientStop* stop = stops_.Add(position);
    if (stop) {
        selected_ = stop;
        showSelected_ = true;
    }
    return stop;
}

bool CGradientControl::SetStops(const std::vector<CGradientStop>& stops, int kind)
{
    if (!stops_.Assign(stops)) return false;
    stops_.SetKind(kind);
    selected_ = stops_.GetAt(0);
    showSelected_ = true;
    Redraw(kAll);
    return true;
}

Point CGradientControl::ToControl(Point global) const
{
    Rect content{};
    GetWindowBounds(GetOwnerWindow(), kWindowContentRgn, &content);
    return Point{static_cast<int16_t>(global.v - content.top - origin_.v),
                 static_cast<int16_t>(global.h - content.left - origin_.h)};
}

bool CGradientControl::HandleClick(Point point)
{
    if (!composite_) return false;
    Point local = ToControl(point);
    const bool inStrip =
        local.v >= bar_.bottom + 1 && local.v <= bar_.bottom + 14 && local.h >= whole_.left && local.h <= whole_.right;
    if (inStrip) {
        for (size_t i = 0; i < stops_.GetCount(); ++i) {
            CGradientStop* stop = stops_.GetAt(i);
            if (Inside(MarkerRect(*stop), local)) {
                selected_ = stop;
                showSelected_ = true;
                DragStop(stop);
                return true;
            }
        }
        float position = std::clamp((local.h - bar_.left) / barWidth_, 0.0f, 1.0f);
        AddStop(position);
        Redraw(kAll);
        return true;
    }
    if (Inside(colorBox_, local)) {
        PickColor();
        return true;
    }
    return false;
}

void CGradientControl::DragStop(CGradientStop* stop)
{
    PortSaver saver;
    WindowRef window = GetOwnerWindow();
    SetPortWindowPort(window);
    bool off = false;
    for (;;) {
        Point where;
        MouseTrackingResult result = kMouseTrackingMouseUp;
        if (StillDown())
            TrackMouseLocation(GetWindowPort(window), &where, &result);
        else
            GetMouse(&where);
        const int h = where.h - origin_.h, v = where.v - origin_.v;
        stop->position = std::clamp((h - bar_.left) / barWidth_, 0.0f, 1.0f);
        stops_.Sort();
        off = v > bar_.bottom + 18;
        showSelected_ = !off;
        if (result == kMouseTrackingMouseUp) break;
        Redraw(kAll);
        SetPortWindowPort(window);
    }
    if (off) selected_ = stops_.Remove(stop);
    showSelected_ = true;
    Redraw(kAll);
}

void CGradientControl::PickColor()
{
    if (!selected_) return;
    static const unsigned char kPrompt[] = "\016Choose a color";
    RGBColor start, chosen;
    start.red = static_cast<uint16_t>(Channel(selected_->color, 0) * 65535 / 255);
    start.green = static_cast<uint16_t>(Channel(selected_->color, 8) * 65535 / 255);
    start.blue = static_cast<uint16_t>(Channel(selected_->color, 16) * 65535 / 255);
    if (!::GetColor(Point{}, kPrompt, &start, &chosen)) return;
    auto narrow = [](uint16_t c) { return std::min<uint32_t>(255, c * 255u / 65535u); };
    selected_->color = narrow(chosen.red) | narrow(chosen.green) << 8 | narrow(chosen.blue) << 16;
    Redraw(kAll);
}

void CGradientControl::DrawProc(ControlRef control, SInt16)
{
    auto* base = reinterpret_cast<CControl*>(GetControlReference(control));
    if (auto* self = dynamic_cast<CGradientControl*>(base)) self->Redraw(kAll);
}

OSStatus CGradientControl::HitProc(EventHandlerCallRef call, EventRef event, void* userData)
{
    auto* self = static_cast<CGradientControl*>(userData);
    if (self && self->GetOwnerWindow()) {
        PortSaver saver;
        SetPortWindowPort(self->GetOwnerWindow());
        Point local;
        GetMouse(&local);
        Rect content{};
        GetWindowBounds(self->GetOwnerWindow(), kWindowContentRgn, &content);
        if (self->HandleClick(
                Point{static_cast<int16_t>(local.v + content.top), static_cast<int16_t>(local.h + content.left)}))
            return noErr;
    }
    return CallNextEventHandler(call, event);
}
