// The filters' settings controls: a label, number field and slider per
// parameter (a pop-up for the noise type), laid out from the origin the
// settings dialog passes, below its preview.
#include <cmath>

#include "media/image_filters.h"
#include "ui/dialog_window.h"

namespace {

constexpr int kRowGrowth = 100;  // one parameter's rows
constexpr int kTwoRowGrowth = 120;

Rect At(int top, int left, int bottom, int right)
{
    return Rect{static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(bottom),
                static_cast<int16_t>(right)};
}

// A field's Return, Enter or Tab acts as a hit on it.
void CommitField(CEditText* field, void* context)
{
    static_cast<CImageFilter*>(context)->HandleControl(field->GetSignature(), nullptr);
}

const ValueControlSpec kRadiusSpec{"Threshold:", 0, CRadiusFilter::kMaxRadius};
constexpr int kLevel = CBrightnessContrastFilter::kMaxLevel;
const ValueControlSpec kBrightnessSpec{"Brightness:", -kLevel, kLevel, FieldFit::kClamp, kFilterSignedInt};
const ValueControlSpec kContrastSpec{"Contrast:", -kLevel, kLevel, FieldFit::kClamp, kFilterSignedInt};

const char* const kNoiseItems[CAddNoiseFilter::kTypeCount] = {
    "Uniform", "Gaussian", "Multiplicative Gaussian", "Impulse", "Laplacian", "Poisson"};

}  // namespace

bool CFilterValueControls::Create(CDialogWindow* window, int top, int left, int firstId, const ValueControlSpec& spec,
                                  int value, CEditText::CommitHandler commit, void* context)
{
    firstId_ = firstId;
    bool ok = label_.Create(window, OSType(firstId), At(top, left, top + 16, left + 58), spec.label);
    ok = field_.Create(window, OSType(firstId + 2), At(top, left + 133, top + 16, left + 162), "") && ok;
    field_.SetFilterMode(spec.fieldMode);
    field_.SetCommitHandler(commit, context);
    field_.SetInt(value, true);
    ok = slider_.Create(window, OSType(firstId + 1), At(top + 24, left, top + 36, left + 208), "") && ok;
    slider_.SetRange(spec.minimum, spec.maximum, true);
    slider_.SetValue(value, true);
    return ok;
}

void CFilterValueControls::Dispose()
{
    label_.Dispose();
    field_.Dispose();
    slider_.Dispose();
}

bool CFilterValueControls::Handle(UInt32 id, const ValueControlSpec& spec, const std::function<void(int)>& store,
                                  const std::function<int()>& read)
{
    if (firstId_ == 0) return false;
    if (id == UInt32(firstId_ + 1)) {
        store(slider_.GetValue());
        field_.SetInt(read(), true);
        return true;
    }
    if (id != UInt32(firstId_ + 2)) return false;
    const long typed = field_.GetInt();
    if (typed < spec.minimum) {
        field_.SetInt(spec.minimum, true);
        store(spec.minimum);
    } else if (typed > spec.maximum) {
        const long fitted = spec.fit == FieldFit::kWrap ? typed % (long(spec.maximum) + 1) : spec.maximum;
        field_.SetInt(fitted, true);
        store(static_cast<int>(fitted));
    } else {
        store(static_cast<int>(typed));
    }
    slider_.SetValue(read(), true);
    return true;
}

bool CIntParameterFilter::CreateControls(CDialogWindow* window, const Rect& area)
{
    if (!spec_.label) return true;
    GrowWindow(window, kRowGrowth);
    return controls_.Create(window, area.top, area.left, kLabelId, spec_, value_, CommitField, this);
}

bool CIntParameterFilter::DisposeControls()
{
    controls_.Dispose();
    return true;
}

bool CIntParameterFilter::HandleControl(UInt32 commandId, EventRef*)
{
    return controls_.Handle(
        commandId, spec_, [this](int v) { SetValue(v); }, [this] { return value_; });
}

bool CRadiusFilter::CreateControls(CDialogWindow* window, const Rect& area)
{
    GrowWindow(window, kRowGrowth);
    return controls_.Create(window, area.top, area.left, kLabelId, kRadiusSpec, static_cast<int>(radius_),
                            CommitField, this);
}

bool CRadiusFilter::DisposeControls()
{
    controls_.Dispose();
    return true;
}

bool CRadiusFilter::HandleControl(UInt32 commandId, EventRef*)
{
    return controls_.Handle(
        commandId, kRadiusSpec, [this](int v) { SetRadius(v); }, [this] { return static_cast<int>(radius_); });
}

bool CBrightnessContrastFilter::CreateControls(CDialogWindow* window, const Rect& area)
{
    GrowWindow(window, kTwoRowGrowth);
    bool ok = brightnessControls_.Create(window, area.top, area.left, kLabelId, kBrightnessSpec, brightness_,
                                         CommitField, this);
    return contrastControls_.Create(window, area.top + 56, area.left, kLabelId + 3, kContrastSpec, contrast_,
                                    CommitField, this) &&
           ok;
}

bool CBrightnessContrastFilter::DisposeControls()
{
    brightnessControls_.Dispose();
    contrastControls_.Dispose();
    return true;
}

bool CBrightnessContrastFilter::HandleControl(UInt32 commandId, EventRef*)
{
    return brightnessControls_.Handle(
               commandId, kBrightnessSpec, [this](int v) { SetBrightness(v); }, [this] { return brightness_; }) ||
           contrastControls_.Handle(
               commandId, kContrastSpec, [this](int v) { SetContrast(v); }, [this] { return contrast_; });
}

bool CAddNoiseFilter::CreateControls(CDialogWindow* window, const Rect& area)
{
    GrowWindow(window, kRowGrowth);
    const int top = area.top, left = area.left;
    bool ok = controls_.label.Create(window, OSType(kLabelId), At(top, left, top + 16, left + 58), "Type:");
    ok = controls_.popup.Create(window, OSType(kValueId), At(top, left + 62, top + 16, left + 212), "") && ok;
    controls_.popup.RemoveAllItems();
    for (const char* item : kNoiseItems) controls_.popup.AddItem(item);
    // The pop-up opens on Gaussian whatever the type: choosing an item is what
    // sets it.
    controls_.popup.SetValue(kGaussian);
    return ok;
}

bool CAddNoiseFilter::DisposeControls()
{
    controls_.label.Dispose();
    controls_.popup.Dispose();
    return true;
}

bool CAddNoiseFilter::HandleControl(UInt32 commandId, EventRef*)
{
    if (commandId != UInt32(kValueId)) return false;
    const int index = controls_.popup.GetValue(nullptr, 0);
    if (index >= 0) SetType(index);
    return true;
}
