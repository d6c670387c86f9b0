#include "transitions/spin_transitions.h"

#include <cmath>

#include "show/slide.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/records.h"
#include "transitions/clip_layers.h"
#include "transitions/rotation.h"

struct SpinKindRow {
    motion::Sense sense;
    const char* name;
    uint32_t labelId, fieldId, boxId;
};

namespace {

const SpinKindRow kRows[] = {
    {motion::Sense::kIn, "Spin In", 10020, 10021, 10022},
    {motion::Sense::kOut, "Spin Out", 10023, 10024, 10025},
};

Rect At(int top, int left, int bottom, int right)
{
    return Rect{short(top), short(left), short(bottom), short(right)};
}

// A number typed or read, in single precision; NaN or an infinity turns
// the slide not at all.
float Turns(double v)
{
    return motion::Single(motion::Finite(v));
}

}  // namespace

CSpinTransition::CSpinTransition(motion::Sense sense) : CSensedTransition(sense), row_(kRows[sense == motion::Sense::kIn ? 0 : 1])
{
    SetName(row_.name);
    CSpinTransition::SetDefaults();
}

void CSpinTransition::SetDefaults()
{
    spins = 1.8f;
    clockwise = 1;
}

uint32_t CSpinTransition::LabelId() const
{
    return row_.labelId;
}

uint32_t CSpinTransition::FieldId() const
{
    return row_.fieldId;
}

uint32_t CSpinTransition::BoxId() const
{
    return row_.boxId;
}

bool CSpinTransition::CopyFrom(const CTransition* other)
{
    if (!CTransition::CopyFrom(other)) return false;
    if (auto* o = dynamic_cast<const CSpinTransition*>(other)) {
        spins = o->spins;
        clockwise = o->clockwise;
    }
    return true;
}

// The slide grows from nothing and turns through the whole turn, starting
// behind by the part beyond whole turns so that it ends upright.
void CSpinTransition::InFrames(CSlide& slide, int n, CSwfMovie* movie)
{
    const double sense = clockwise ? 1.0 : -1.0;
    motion::Progress t{0.0, 1.0 / n};
    const CSlide::CameraPlacement& at = slide.GetCameraPlacement();
    for (int k = 1; k <= n; ++k) {
        const double scale = t.Rise();
        const double theta = sense * TurnAt(spins, true, k, n);
        clip_layers::Move(movie, slide.GetDepth(), RotationMatrix(theta, scale, scale, at.centerX, at.centerY));
        clip_layers::ShowFrame(movie);
    }
}

// The old slide shrinks from its own scale and turns through the whole
// turn, with no alignment.
void CSpinTransition::OutFrames(CSlide& previous, uint16_t copy, int n, CSwfMovie* movie)
{
    const CSlide::CameraPlacement& at = previous.GetCameraPlacement();
    const double kx = at.scaleX / 65536.0, ky = at.scaleY / 65536.0;
    motion::Progress sx{kx, kx / n}, sy{ky, ky / n};
    const double sense = clockwise ? 1.0 : -1.0;
    for (int k = 1; k <= n; ++k) {
        const double x = sx.Fall(), y = sy.Fall();
        const double theta = sense * TurnAt(spins, false, k, n);
        clip_layers::Move(movie, copy, RotationMatrix(theta, x, y, at.centerX, at.centerY));
        clip_layers::ShowFrame(movie);
    }
}

bool CSpinTransition::CreateSettingsControls(CDialogWindow* window, ControlRef parent, const Rect* area)
{
    if (!area) return false;
    const int v = area->top, h = area->left;
    spinsLabel_.Create(window, row_.labelId, At(v + 8, h, v + 24, h + 33), "Spins:");
    spinsField_.Create(window, row_.fieldId, At(v + 8, h + 38, v + 24, h + 80), "");
    if (parent) spinsField_.EmbedIn(parent);
    spinsField_.SetFilterMode(kFilterUnsignedDecimal);
    spinsField_.SetCommitHandler(OnSpinsCommitted, this);
    directionBox_.Create(window, row_.boxId, At(v + 30, h + 16, v + 44, h + 159), "Counter-Clockwise");
    if (parent) directionBox_.EmbedIn(parent);
    OnCreateControls(window, area);
    UpdateSettingsControls();
    spinsLabel_.Show(true);
    spinsField_.Show(true);
    directionBox_.Show(true);
    return true;
}

bool CSpinTransition::DisposeSettingsControls()
{
    ReadSettingsControls(this);
    OnDisposeControls();
    spinsLabel_.Dispose();
    spinsField_.Dispose();
    directionBox_.Dispose();
    return true;
}

void CSpinTransition::UpdateSettingsControls()
{
    if (!spinsField_.GetControlRef()) return;
    spinsField_.SetDouble(spins, 0, 2, true);
    directionBox_.SetValue(clockwise == 0, true);
}

void CSpinTransition::ReadSpins()
{
    if (!spinsField_.GetControlRef()) return;
    const float v = Turns(spinsField_.GetDouble());
    if (v != spins) spins = v;
}

void CSpinTransition::ReadClockwise()
{
    if (directionBox_.GetControlRef()) clockwise = directionBox_.GetValue() ? 0 : 1;
}

void CSpinTransition::OnSpinsCommitted(CEditText*, void* context)
{
    auto* self = static_cast<CSpinTransition*>(context);
    self->ReadSpins();
    self->changed.Emit(reinterpret_cast<intptr_t>(static_cast<CTransition*>(self)));
}

bool CSpinTransition::OnControlChanged(uint32_t controlId)
{
    if (controlId != row_.boxId) return false;
    // Toggling the sense takes the field's number over too.
    ReadClockwise();
    ReadSpins();
    return true;
}

bool CSpinTransition::ReadSettingsControls(CTransition* target) const
{
    auto* t = dynamic_cast<CSpinTransition*>(target);
    if (!t || !spinsField_.GetControlRef()) return false;
    bool changedAny = false;
    // Compared in double: a number single precision cannot hold, such as
    // 1.8, reads as a change every time.
    const double v = spinsField_.GetDouble();
    if (double(t->spins) != v) {
        t->spins = Turns(v);
        changedAny = true;
    }
    const int c = directionBox_.GetValue() ? 0 : 1;
    if (c != t->clockwise) {
        t->clockwise = c;
        changedAny = true;
    }
    return changedAny;
}

bool CSpinTransition::ReadXmlAttributes(const CElementReader& reader)
{
    double turns;
    if (reader.Double("spins", &turns)) {
        spins = Turns(turns);
        if (!std::isfinite(turns) || std::fabs(turns) > std::numeric_limits<float>::max())
            reader.ReadAs("spins", spins);
    }
    bool sense;
    if (reader.Bool("clockwise", &sense)) clockwise = sense ? 1 : 0;
    return true;
}

bool CSpinTransition::WriteXmlAttributes(CXMLOutputFile& out) const
{
    out.Write("\" spins=\"").WriteDouble(spins);
    out.Write("\" clockwise=\"").WriteBool(clockwise != 0);
    return true;
}
