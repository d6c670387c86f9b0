#include "transitions/window_transition.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>

#include "show/slide.h"
#include "show/slide_export.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "transitions/clip_layers.h"
#include "transitions/direction_setting.h"
#include "transitions/motion_steps.h"
#include "transitions/rotation.h"

namespace {

const char* const kTypeWords[] = {"square_close", "square_open", "rectangle_close", "rectangle_open",
                                  "circle_close", "circle_open", "star_close",      "star_open",
                                  "star12_close", "star12_open", "diamond_close",   "diamond_open"};
const char* const kTypeItems[] = {"Square Close",  "Square Open",  "Rectangle Close", "Rectangle Open",
                                  "Circle Close",  "Circle Open",  "Star Close",      "Star Open",
                                  "Star-12 Close", "Star-12 Open", "Diamond Close",   "Diamond Open"};

// Design steps of the stars, from the top point clockwise on screen; each
// design closes on itself.
const int kStar5[][2] = {{800, 1620},  {1800, 260},  {-1300, 1280},  {320, 1800},  {-1620, -860},
                         {-1620, 860}, {320, -1800}, {-1300, -1280}, {1800, -260}, {800, -1620}};
const int kStar12[][2] = {{640, 2560},   {1840, -1900},  {-740, 2540},  {2540, -720},  {-1900, 1820},  {2580, 660},
                          {-2580, 640},  {1900, 1840},   {-2540, -740}, {740, 2540},   {-1840, -1900}, {-640, 2580},
                          {-660, -2580}, {-1820, 1900},  {720, -2640},  {-2540, 840},  {1900, -1840},  {-2560, -640},
                          {2560, -660},  {-1900, -1820}, {2540, 720},   {-720, -2540}, {1820, 1900},   {660, -2560}};

// A number of turns a float holds; false for none (NaN, infinite, too large).
bool ToSpins(double v, float* out)
{
    if (!std::isfinite(v) || std::fabs(v) > double(FLT_MAX)) return false;
    *out = float(v);
    return true;
}

// A star from its design steps scaled by k. Each step is truncated on its
// own, so the last one is what brings the pen back to the start.
template <size_t N>
CShapeWithStyle* Star(int32_t top, double k, const int (&steps)[N][2])
{
    CShapeWithStyle* shape = clip_layers::StartOutline(0, top);
    int64_t x = 0, y = 0;
    for (size_t i = 0; i + 1 < N; ++i) {
        const int32_t dx = motion::Saturated(k * steps[i][0]), dy = motion::Saturated(k * steps[i][1]);
        shape->AddLine(dx, dy);
        x += dx;
        y += dy;
    }
    shape->AddLine(motion::Saturated(double(-x)), motion::Saturated(double(-y)));
    shape->AddEnd();
    return shape;
}

// The window's turn, when it spins: frame k of n ends on a whole number
// of turns at the last frame.
struct Turning {
    float spins;
    bool clockwise;
    unsigned n;
    double At(unsigned k) const { return (clockwise ? 1.0 : -1.0) * TurnAt(spins, true, k, n); }
};

CSwfMatrix* FrameMatrix(double s, const Turning* turning, unsigned k, int32_t x, int32_t y)
{
    if (turning) return RotationMatrix(turning->At(k), s, s, x, y);
    auto* m = clip_layers::Translation(x, y);
    m->hasScale = true;
    m->scaleX = m->scaleY = motion::Fixed(s);
    // Written with its (empty) rotate part, as the spinning frames are.
    m->SetRotateSkew(0, false, true);
    m->SetRotateSkew(0, true, true);
    return m;
}

}  // namespace

CWindowTransition::CWindowTransition()
{
    SetName("Window");
    CWindowTransition::SetDefaults();
}

CWindowTransition::~CWindowTransition() = default;

void CWindowTransition::SetDefaults()
{
    type = kSquareClose;
    spins = 1.8f;
    spin = false;
    clockwise = true;
}

bool CWindowTransition::CopyFrom(const CTransition* other)
{
    if (!CTransition::CopyFrom(other)) return false;
    if (auto* o = dynamic_cast<const CWindowTransition*>(other)) {
        type = o->type;
        spins = o->spins;
        spin = o->spin;
        clockwise = o->clockwise;
    }
    return true;
}

uint16_t CWindowTransition::DefineWindowShape(const CSlide& slide, CSwfMovie* movie, uint16_t* characterIdCounter) const
{
    const int32_t w = motion::Saturated(double(slide.GetWidth()) * 40);
    const int32_t h = motion::Saturated(double(slide.GetHeight()) * 40);
    const int32_t w2 = w >> 1, h2 = h >> 1;
    switch (type) {
        case kRectangleClose:
        case kRectangleOpen:
            return clip_layers::DefineMaskShape({-h2, -w2, h2, w2}, movie, characterIdCounter);
        case kCircleClose:
        case kCircleOpen: {
            const float q = float(double(w) * w + double(h) * h);
            const int32_t r = motion::Saturated(double(std::sqrt(q)) + 0.5) >> 1;
            CShapeWithStyle* circle = clip_layers::StartOutline(0, -r);
            circle->AddCurve(r, 0, 0, r);
            circle->AddCurve(0, r, -r, 0);
            circle->AddCurve(-r, 0, 0, -r);
            circle->AddCurve(0, -r, r, 0);
            circle->AddEnd();
            return clip_layers::DefineOutlineShape({-r, -r, r, r}, circle, movie, characterIdCounter);
        }
        case kStarClose:
        case kStarOpen: {
            const double k = std::max(w / 2500.0, h / 2200.0);
            const int32_t sw2 = motion::Saturated(k * 5200) >> 1, sh2 = motion::Saturated(k * 4960) >> 1;
            return clip_layers::DefineOutlineShape({-sh2, -sw2, sh2, sw2}, Star(-sh2, k, kStar5), movie,
                                                   characterIdCounter);
        }
        case kStar12Close:
        case kStar12Open: {
            const double k = std::max(w, h) / 5000.0;
            const int32_t s2 = motion::Saturated(k * 10000) >> 1;
            return clip_layers::DefineOutlineShape({-s2, -s2, s2, s2}, Star(-s2, k, kStar12), movie,
                                                   characterIdCounter);
        }
        case kDiamondClose:
        case kDiamondOpen: {
            CShapeWithStyle* diamond = clip_layers::StartOutline(0, -h2);
            diamond->AddLine(w2, h2);
            diamond->AddLine(-w2, h2);
            diamond->AddLine(-w2, -h2);
            diamond->AddLine(w2, -h2);
            diamond->AddEnd();
            return clip_layers::DefineOutlineShape({-h2, -w2, h2, w2}, diamond, movie, characterIdCounter);
        }
        default: {  // the square, also for a type outside the table
            const int32_t half = std::max(w, h) >> 1;
            return clip_layers::DefineMaskShape({-half, -half, half, half}, movie, characterIdCounter);
        }
    }
}

bool CWindowTransition::GenerateSwf(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                                    uint16_t* depthCounter)
{
    if (!slide || !movie) return true;
    if ((type & 1) == 0) return GenerateClose(slide, previous, movie, characterIdCounter, depthCounter);

    // The window takes the slide's own depth; the slide moves above it.
    const uint16_t id = DefineWindowShape(*slide, movie, characterIdCounter);
    const uint16_t window = slide->GetDepth();
    const uint16_t above = id ? NextExportValue(depthCounter, movie) : 0;
    if (!above) {
        PlaceNext(slide, movie, nullptr);
        RemovePrevious(previous, movie);
        return true;
    }
    const int32_t x = slide->GetCameraPlacement().centerX, y = slide->GetCameraPlacement().centerY;
    clip_layers::PlaceClipMask(movie, id, window, above, clip_layers::Translation(x, y));
    slide->SetDepth(above);
    PlaceNext(slide, movie, nullptr);

    const unsigned n = DurationFrames(movie->GetFrameRate());
    const Turning turning{spins, clockwise, n};
    double t = 0.0;
    for (unsigned k = 1; k <= n; ++k) {
        t = std::min(t + 1.0 / n, 1.0);
        clip_layers::Move(movie, window, FrameMatrix(t, spin ? &turning : nullptr, k, x, y));
        clip_layers::ShowFrame(movie);
    }
    RemovePrevious(previous, movie);
    clip_layers::RemoveDepths(movie, {window});
    return true;
}

bool CWindowTransition::GenerateClose(CSlide* slide, CSlide* previous, CSwfMovie* movie, uint16_t* characterIdCounter,
                                      uint16_t* depthCounter)
{
    PlaceNext(slide, movie, nullptr);
    RemovePrevious(previous, movie);
    if (!previous) return true;
    // The window is sized from the previous slide and shrinks over a copy of it.
    const uint16_t id = DefineWindowShape(*previous, movie, characterIdCounter);
    const uint16_t window = id ? NextExportValue(depthCounter, movie) : 0;
    if (!window) return true;
    clip_layers::PlaceClipMask(movie, id, window, uint16_t(window + 1), clip_layers::SlideMatrix(*previous, true));
    const uint16_t copy = PlaceSlideAtNextDepth(previous, movie, depthCounter);

    const unsigned n = DurationFrames(movie->GetFrameRate());
    const int32_t x = previous->GetCameraPlacement().centerX, y = previous->GetCameraPlacement().centerY;
    const Turning turning{spins, clockwise, n};
    double s = previous->GetCameraPlacement().scaleX / 65536.0;
    const double ds = n ? s / n : 0.0;
    for (unsigned k = 1; k <= n; ++k) {
        s = std::max(s - ds, 0.0);
        clip_layers::Move(movie, window, FrameMatrix(s, spin ? &turning : nullptr, k, x, y));
        clip_layers::ShowFrame(movie);
    }
    clip_layers::RemoveDepths(movie, {window, copy});
    return true;
}

bool CWindowTransition::CreateSettingsControls(CDialogWindow* window, ControlRef parent, const Rect* area)
{
    if (!area) return false;
    const short v = area->top, h = area->left;
    auto box = [&](int top, int left, int bottom, int right) {
        return Rect{short(v + top), short(h + left), short(v + bottom), short(h + right)};
    };
    auto embed = [&](CControl& control) {
        if (parent) control.EmbedIn(parent);
    };
    shapeLabel_.Create(window, kShapeLabelId, box(0, 0, 16, 41), "Shape:");
    shapePopup_.Create(window, kShapePopupId, box(0, 46, 16, 171), "");
    embed(shapePopup_);
    spinBox_.Create(window, kSpinId, box(25, 0, 39, 49), "Spin");
    embed(spinBox_);
    spinsField_.Create(window, kSpinsFieldId, box(26, 54, 42, 86), "");
    embed(spinsField_);
    turnsLabel_.Create(window, kTurnsLabelId, box(26, 92, 42, 125), "times");
    counterClockwiseBox_.Create(window, kCounterClockwiseId, box(25, 133, 41, 258), "Counter-Clockwise");
    embed(counterClockwiseBox_);
    for (const char* item : kTypeItems) shapePopup_.AddItem(item);
    spinsField_.SetFilterMode(kFilterUnsignedDecimal);
    spinsField_.SetCommitHandler(&CWindowTransition::OnSpinsEntered, this);
    OnCreateControls(window, area);
    UpdateSettingsControls();
    for (CControl* c : std::initializer_list<CControl*>{&shapeLabel_, &shapePopup_, &spinBox_, &turnsLabel_,
                                                        &spinsField_, &counterClockwiseBox_})
        c->Show(true);
    return true;
}

bool CWindowTransition::DisposeSettingsControls()
{
    ReadSettingsControls(this);
    OnDisposeControls();
    shapeLabel_.Dispose();
    shapePopup_.Dispose();
    spinBox_.Dispose();
    spinsField_.Dispose();
    turnsLabel_.Dispose();
    counterClockwiseBox_.Dispose();
    return true;
}

void CWindowTransition::UpdateSettingsControls()
{
    if (!shapePopup_.GetControlRef()) return;
    shapePopup_.SetValue(type);
    spinBox_.SetValue(spin, true);
    spinsField_.SetDouble(spins, 0, 2, true);
    counterClockwiseBox_.SetValue(!clockwise, true);
    OnSpinChanged();
}

void CWindowTransition::OnSpinChanged()
{
    if (!spinBox_.GetControlRef()) return;
    spin = spinBox_.GetValue();
    spinsField_.Enable(spin);
    turnsLabel_.Enable(spin);
    counterClockwiseBox_.Enable(spin);
}

void CWindowTransition::OnShapeChanged()
{
    const int v = shapePopup_.GetControlRef() ? shapePopup_.GetValue(nullptr, 0) : -1;
    if (v >= 0) type = v;
}

void CWindowTransition::ReadCounterClockwise()
{
    if (counterClockwiseBox_.GetControlRef()) clockwise = !counterClockwiseBox_.GetValue();
}

void CWindowTransition::ReadSpins()
{
    if (!spinsField_.GetControlRef()) return;
    const double v = spinsField_.GetDouble();
    if (v != double(spins)) ToSpins(v, &spins);
}

void CWindowTransition::OnSpinsEntered(CEditText*, void* context)
{
    auto* self = static_cast<CWindowTransition*>(context);
    if (!self) return;
    self->ReadSpins();
    self->changed.Emit(reinterpret_cast<intptr_t>(self));
}

bool CWindowTransition::ReadSettingsControls(CTransition* target) const
{
    auto* t = dynamic_cast<CWindowTransition*>(target);
    if (!t || !shapePopup_.GetControlRef()) return false;
    bool changed = false;
    const int index = shapePopup_.GetValue(nullptr, 0);
    if (index >= 0 && index != t->type) {
        t->type = index;
        changed = true;
    }
    const bool on = spinBox_.GetValue();
    if (on != t->spin) {
        t->spin = on;
        changed = true;
    }
    const double v = spinsField_.GetDouble();
    if (v != double(t->spins) && ToSpins(v, &t->spins)) changed = true;
    const bool cw = !counterClockwiseBox_.GetValue();
    if (cw != t->clockwise) {
        t->clockwise = cw;
        changed = true;
    }
    return changed;
}

bool CWindowTransition::OnControlChanged(uint32_t controlId)
{
    switch (controlId) {
        case kSpinId:
            OnSpinChanged();
            return true;
        case kShapePopupId:
            OnShapeChanged();
            return true;
        case kCounterClockwiseId:
            ReadCounterClockwise();
            ReadSpins();
            return true;
        default:
            return false;
    }
}

bool CWindowTransition::ReadXmlAttributes(const CElementReader& reader)
{
    ReadWordAttribute(reader, "type", kTypeWords, kTypeCount, &type);
    // Absent attributes keep the prototype's settings.
    reader.Bool("spin", &spin);
    double turns;
    if (reader.Double("spins", &turns) && !ToSpins(turns, &spins)) reader.OutOfRange("spins", -FLT_MAX, FLT_MAX, spins);
    reader.Bool("clockwise", &clockwise);
    return true;
}

bool CWindowTransition::WriteXmlAttributes(CXMLOutputFile& out) const
{
    out.Write("\" type=\"").Write(type >= 0 && type < kTypeCount ? kTypeWords[type] : "");
    out.Write("\" spin=\"").WriteBool(spin);
    out.Write("\" spins=\"").WriteDouble(spins);
    out.Write("\" clockwise=\"").WriteBool(clockwise);
    return true;
}
