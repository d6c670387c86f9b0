#include "transitions/slide_transitions.h"

#include <limits>

#include "show/slide.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/records.h"
#include "transitions/clip_layers.h"

struct SlideMotionRow {
    motion::Sense sense;
    const char* name;
    const char* labels[4];
    const char* box;
    uint32_t firstId;  // label x; fields follow their labels, the box comes last
};

namespace {

enum { kX, kY, kScaleX, kScaleY };

const SlideMotionRow kRows[] = {
    {motion::Sense::kIn, "Slide In From", {"Delta X:", "Delta Y:", "Start Scale X:", "Start Scale Y:"}, "Fade In", 10049},
    {motion::Sense::kOut, "Slide Out To", {"Delta X:", "Delta Y:", "End Scale X:", "End Scale Y:"}, "Fade Out", 10040},
};

// Left and right edges of each label and field, in rows of two.
struct Columns {
    int labelLeft, labelRight, fieldLeft, fieldRight;
};
const Columns kColumns[4] = {{0, 40, 48, 88}, {96, 136, 144, 184}, {0, 70, 78, 118}, {126, 196, 204, 244}};

Rect At(int top, int left, int bottom, int right)
{
    return Rect{short(top), short(left), short(bottom), short(right)};
}

int32_t ToInt32(long v)
{
    return static_cast<int32_t>(std::clamp<long>(v, std::numeric_limits<int32_t>::min(),
                                                 std::numeric_limits<int32_t>::max()));
}

}  // namespace

CSlideMotionTransition::CSlideMotionTransition(motion::Sense sense)
    : CSensedTransition(sense), row_(kRows[sense == motion::Sense::kIn ? 0 : 1])
{
    SetName(row_.name);
    CSlideMotionTransition::SetDefaults();
}

void CSlideMotionTransition::SetDefaults()
{
    final_x = final_y = 0;
    final_sx = final_sy = 0.0;
    fade_out = 1;
}

uint32_t CSlideMotionTransition::LabelId(int field) const
{
    return row_.firstId + 2 * uint32_t(field);
}

uint32_t CSlideMotionTransition::FieldId(int field) const
{
    return LabelId(field) + 1;
}

uint32_t CSlideMotionTransition::BoxId() const
{
    return row_.firstId + 8;
}

bool CSlideMotionTransition::CopyFrom(const CTransition* other)
{
    if (!CTransition::CopyFrom(other)) return false;
    if (auto* o = dynamic_cast<const CSlideMotionTransition*>(other)) {
        final_x = o->final_x;
        final_y = o->final_y;
        final_sx = o->final_sx;
        final_sy = o->final_sy;
        fade_out = o->fade_out;
    }
    return true;
}

// Only with frames does the slide take the last frame's placement; without,
// it keeps its own: the start values would misplace it in the next
// transition, a start scale of 0 hide it there. The scales run on
// unclamped and only what is written is held at 0: a running value held
// there would overshoot the scale it heads for.
void CSlideMotionTransition::InFrames(CSlide& slide, int n, CSwfMovie* movie)
{
    CSlide::CameraPlacement& at = slide.GetCameraPlacement();
    double s = motion::Finite(final_sx), t = motion::Finite(final_sy);
    const double ds = (at.scaleX / 65536.0 - s) / n, dt = (at.scaleY / 65536.0 - t) / n;
    const int64_t ox = motion::Twips(final_x), oy = motion::Twips(final_y);
    const int64_t homeX = at.centerX, homeY = at.centerY;
    int64_t x = homeX, y = homeY;
    double shownS = s, shownT = t;
    motion::Progress a{0.0, 1.0 / n};
    for (int k = 1; k <= n; ++k) {
        s += ds;
        t += dt;
        shownS = std::max(s, 0.0);
        shownT = std::max(t, 0.0);
        x = motion::Offset(homeX, ox - motion::Along(ox, k, n));
        y = motion::Offset(homeY, oy - motion::Along(oy, k, n));
        clip_layers::Move(movie, slide.GetDepth(), motion::ScaleMatrix(shownS, shownT, int32_t(x), int32_t(y)),
                          fade_out ? motion::Alpha(a.Rise()) : nullptr);
        clip_layers::ShowFrame(movie);
    }
    // The last frame's placement: the slide's own.
    at.centerX = int32_t(x);
    at.centerY = int32_t(y);
    at.scaleX = motion::Fixed(shownS);
    at.scaleY = motion::Fixed(shownT);
}

void CSlideMotionTransition::OutFrames(CSlide& previous, uint16_t copy, int n, CSwfMovie* movie)
{
    const CSlide::CameraPlacement& at = previous.GetCameraPlacement();
    double s = at.scaleX / 65536.0, t = at.scaleY / 65536.0;
    const double ds = (s - motion::Finite(final_sx)) / n, dt = (t - motion::Finite(final_sy)) / n;
    const int64_t ox = motion::Twips(final_x), oy = motion::Twips(final_y);
    motion::Progress a{1.0, 1.0 / n};
    for (int k = 1; k <= n; ++k) {
        s -= ds;
        t -= dt;
        const int32_t x = motion::Offset(at.centerX, motion::Along(ox, k, n));
        const int32_t y = motion::Offset(at.centerY, motion::Along(oy, k, n));
        clip_layers::Move(movie, copy, motion::ScaleMatrix(std::max(s, 0.0), std::max(t, 0.0), x, y),
                          fade_out ? motion::Alpha(a.Fall()) : nullptr);
        clip_layers::ShowFrame(movie);
    }
}

bool CSlideMotionTransition::CreateSettingsControls(CDialogWindow* window, ControlRef parent, const Rect* area)
{
    if (!area) return false;
    const int v = area->top, h = area->left;
    for (int i = 0; i < 4; ++i) {
        const int top = v + (i < 2 ? 0 : 24);
        const Columns& c = kColumns[i];
        labels_[i].Create(window, LabelId(i), At(top, h + c.labelLeft, top + 16, h + c.labelRight), row_.labels[i]);
        fields_[i].Create(window, FieldId(i), At(top, h + c.fieldLeft, top + 16, h + c.fieldRight), "");
        if (parent) fields_[i].EmbedIn(parent);
        fields_[i].SetFilterMode(i < 2 ? kFilterSignedInt : kFilterUnsignedDecimal);
        fields_[i].SetCommitHandler(OnFieldsCommitted, this);
    }
    fadeBox_.Create(window, BoxId(), At(v + 48, h + 50, v + 64, h + 150), row_.box);
    if (parent) fadeBox_.EmbedIn(parent);
    OnCreateControls(window, area);
    UpdateSettingsControls();
    for (int i = 0; i < 4; ++i) {
        labels_[i].Show(true);
        fields_[i].Show(true);
    }
    fadeBox_.Show(true);
    return true;
}

bool CSlideMotionTransition::DisposeSettingsControls()
{
    ReadSettingsControls(this);
    OnDisposeControls();
    for (int i = 0; i < 4; ++i) {
        labels_[i].Dispose();
        fields_[i].Dispose();
    }
    fadeBox_.Dispose();
    return true;
}

void CSlideMotionTransition::UpdateSettingsControls()
{
    if (!fadeBox_.GetControlRef()) return;
    fields_[kX].SetInt(final_x, true);
    fields_[kY].SetInt(final_y, true);
    fields_[kScaleX].SetDouble(final_sx, 0, 2, true);
    fields_[kScaleY].SetDouble(final_sy, 0, 2, true);
    fadeBox_.SetValue(fade_out != 0, true);
}

void CSlideMotionTransition::ReadFinalX()
{
    if (fields_[kX].GetControlRef()) final_x = ToInt32(fields_[kX].GetInt());
}

void CSlideMotionTransition::ReadFinalY()
{
    if (fields_[kY].GetControlRef()) final_y = ToInt32(fields_[kY].GetInt());
}

// Committed from a field, the scales keep single precision.
void CSlideMotionTransition::ReadFinalScaleX()
{
    if (fields_[kScaleX].GetControlRef()) final_sx = motion::Single(fields_[kScaleX].GetDouble());
}

void CSlideMotionTransition::ReadFinalScaleY()
{
    if (fields_[kScaleY].GetControlRef()) final_sy = motion::Single(fields_[kScaleY].GetDouble());
}

void CSlideMotionTransition::ReadFade()
{
    if (fadeBox_.GetControlRef()) fade_out = fadeBox_.GetValue() ? 1 : 0;
}

void CSlideMotionTransition::OnFieldsCommitted(CEditText*, void* context)
{
    auto* self = static_cast<CSlideMotionTransition*>(context);
    self->ReadFinalX();
    self->ReadFinalY();
    self->ReadFinalScaleX();
    self->ReadFinalScaleY();
    self->changed.Emit(reinterpret_cast<intptr_t>(static_cast<CTransition*>(self)));
}

bool CSlideMotionTransition::OnControlChanged(uint32_t controlId)
{
    if (controlId != BoxId()) return false;
    ReadFade();
    ReadFinalX();
    ReadFinalY();
    ReadFinalScaleX();
    ReadFinalScaleY();
    return true;
}

bool CSlideMotionTransition::ReadSettingsControls(CTransition* target) const
{
    auto* t = dynamic_cast<CSlideMotionTransition*>(target);
    if (!t || !fadeBox_.GetControlRef()) return false;
    bool changedAny = false;
    auto take = [&changedAny](auto& field, auto value) {
        if (field == value) return;
        field = value;
        changedAny = true;
    };
    // Read here, the scales keep the field's full double.
    take(t->final_x, ToInt32(fields_[kX].GetInt()));
    take(t->final_y, ToInt32(fields_[kY].GetInt()));
    take(t->final_sx, motion::Finite(fields_[kScaleX].GetDouble()));
    take(t->final_sy, motion::Finite(fields_[kScaleY].GetDouble()));
    take(t->fade_out, fadeBox_.GetValue() ? 1 : 0);
    return changedAny;
}

bool CSlideMotionTransition::ReadXmlAttributes(const CElementReader& reader)
{
    // Offsets past 32 bits are held at the ends, scales that are no finite
    // number read as 0; either is said.
    auto offset = [&reader](const char* name, int32_t* field) {
        long v;
        if (!reader.Int(name, &v)) return;
        *field = ToInt32(v);
        if (*field != v) reader.ReadAs(name, std::to_string(*field));
    };
    auto scale = [&reader](const char* name, double* field) {
        double v;
        if (!reader.Double(name, &v)) return;
        *field = motion::Finite(v);
        if (*field != v) reader.ReadAs(name, *field);
    };
    offset("final_x", &final_x);
    offset("final_y", &final_y);
    scale("final_sx", &final_sx);
    scale("final_sy", &final_sy);
    bool fade;
    if (reader.Bool("fade_out", &fade)) fade_out = fade ? 1 : 0;
    return true;
}

bool CSlideMotionTransition::WriteXmlAttributes(CXMLOutputFile& out) const
{
    out.Write("\" final_x=\"").WriteInt(final_x);
    out.Write("\" final_y=\"").WriteInt(final_y);
    out.Write("\" final_sx=\"").WriteFloat(motion::Single(final_sx));
    out.Write("\" final_sy=\"").WriteFloat(motion::Single(final_sy));
    out.Write("\" fade_out=\"").WriteBool(fade_out != 0);
    return true;
}
