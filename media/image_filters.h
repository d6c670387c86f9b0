#pragma once
// The image filters: each a small class over the shared loops of
// filter_loops.h and the pixel routines of image_filter.h.
#include <functional>

#include "media/image_filter.h"
#include "ui/popup_edit.h"
#include "ui/simple_controls.h"

// What a parameter's number field does with a typed value outside its
// range: clamp it, or (an angle) wrap values past the maximum around.
enum class FieldFit { kClamp, kWrap };

struct ValueControlSpec {
    const char* label = nullptr;  // null: the filter has no controls
    int minimum = 0;
    int maximum = 0;
    FieldFit fit = FieldFit::kClamp;
    SInt32 fieldMode = kFilterUnsignedInt;
};

// A parameter's label, number field and slider, with ids firstId (label),
// firstId + 1 (slider) and firstId + 2 (field). The platform controls exist
// only between Create and Dispose; a copy starts without any.
class CFilterValueControls {
public:
    CFilterValueControls() = default;
    CFilterValueControls(const CFilterValueControls&) : CFilterValueControls() {}
    CFilterValueControls& operator=(const CFilterValueControls&) = delete;

    bool Create(CDialogWindow* window, int top, int left, int firstId, const ValueControlSpec& spec, int value,
                CEditText::CommitHandler commit, void* context);
    void Dispose();
    // A hit on the slider or the field: stores the new value through store
    // and shows what read gives back. False when the id is not theirs.
    bool Handle(UInt32 id, const ValueControlSpec& spec, const std::function<void(int)>& store,
                const std::function<int()>& read);

private:
    int firstId_ = 0;
    CStaticText label_;
    CEditText field_;
    CSlider slider_;
};

// A filter with one integer parameter, saved under `key` (not saved when
// the key is null).
class CIntParameterFilter : public CImageFilter {
public:
    int GetValue() const { return value_; }
    void SetValue(int value) { Store(value_, value); }
    bool ReadAttributes(const CXMLNode& element, const CXMLAttributes& attributes) override;
    bool WriteAttributes(CXMLOutputFile& writer) const override;
    std::vector<NumberAttribute> GetNumberAttributes() const override
    {
        if (!key_) return {};
        // An angle past the controls' range is still an angle.
        if (spec_.fit == FieldFit::kWrap) return {{key_, true}};
        return {{key_, true, double(spec_.minimum), double(spec_.maximum)}};
    }
    bool CreateControls(CDialogWindow* window, const Rect& area) override;
    bool DisposeControls() override;
    bool HandleControl(UInt32 commandId, EventRef* event) override;

protected:
    CIntParameterFilter(const char* key, int value, const ValueControlSpec& spec)
        : value_(value), key_(key), spec_(spec)
    {
    }
    CIntParameterFilter(const CIntParameterFilter&) = default;

    int value_;

private:
    const char* key_;
    ValueControlSpec spec_;
    CFilterValueControls controls_;
};

// A filter with a real radius, saved as `radius`.
class CRadiusFilter : public CImageFilter {
public:
    double GetRadius() const { return radius_; }
    void SetRadius(double radius) { Store(radius_, radius); }
    bool ReadAttributes(const CXMLNode& element, const CXMLAttributes& attributes) override;
    bool WriteAttributes(CXMLOutputFile& writer) const override;
    // The controls show and set the radius in whole steps of 0..kMaxRadius.
    static constexpr int kMaxRadius = 10;
    std::vector<NumberAttribute> GetNumberAttributes() const override { return {{"radius", false, 0, kMaxRadius}}; }
    bool CreateControls(CDialogWindow* window, const Rect& area) override;
    bool DisposeControls() override;
    bool HandleControl(UInt32 commandId, EventRef* event) override;

protected:
    CRadiusFilter() = default;
    CRadiusFilter(const CRadiusFilter&) = default;

    double radius_ = 5.0;

private:
    CFilterValueControls controls_;
};

class CAddNoiseFilter : public CImageFilterOf<CAddNoiseFilter> {
public:
    enum { kUniform, kGaussian, kMultiplicativeGaussian, kImpulse, kLaplacian, kPoisson, kTypeCount };
    CAddNoiseFilter() { SetName("Add Noise"); }
    int GetType() const { return type_; }
    // Types outside 0..5 are refused.
    void SetType(int type);
    // The words of the types in the file, by type.
    static constexpr const char* kTypeWords[kTypeCount] = {"uniform",  "gaussian",  "mult_gaussian",
                                                          "impulse", "laplacian", "poisson"};
    std::vector<WordAttribute> GetWordAttributes() const override { return {{"type", kTypeWords, type_}}; }
    bool Apply(CImage& image) override;
    bool ReadAttributes(const CXMLNode& element, const CXMLAttributes& attributes) override;
    bool WriteAttributes(CXMLOutputFile& writer) const override;
    bool CreateControls(CDialogWindow* window, const Rect& area) override;
    bool DisposeControls() override;
    bool HandleControl(UInt32 commandId, EventRef* event) override;

private:
    // Controls belong to one window at a time: a copy starts without any.
    struct Controls {
        Controls() = default;
        Controls(const Controls&) {}
        CStaticText label;
        CPopupMenu popup;
    };
    int type_ = kGaussian;
    Controls controls_;
};

class CBlackWhiteFilter : public CImageFilterOf<CBlackWhiteFilter, CIntParameterFilter> {
public:
    CBlackWhiteFilter();
    int GetThreshold() const { return value_; }
    void SetThreshold(int threshold) { SetValue(threshold); }
    bool Apply(CImage& image) override;
};

class CBlurFilter : public CImageFilterOf<CBlurFilter> {
public:
    CBlurFilter() { SetName("Blur"); }
    bool Apply(CImage& image) override;
};

class CBrightnessContrastFilter : public CImageFilterOf<CBrightnessContrastFilter> {
public:
    CBrightnessContrastFilter() { SetName("Brightness/Contrast"); }
    // Both settings run from -kMaxLevel to kMaxLevel in the controls.
    static constexpr int kMaxLevel = 100;
    int GetBrightness() const { return brightness_; }
    int GetContrast() const { return contrast_; }
    void SetBrightness(int brightness) { Store(brightness_, brightness); }
    void SetContrast(int contrast) { Store(contrast_, contrast); }
    bool Apply(CImage& image) override;
    bool ReadAttributes(const CXMLNode& element, const CXMLAttributes& attributes) override;
    bool WriteAttributes(CXMLOutputFile& writer) const override;
    std::vector<NumberAttribute> GetNumberAttributes() const override
    {
        return {{"brightness", true, -kMaxLevel, kMaxLevel}, {"contrast", true, -kMaxLevel, kMaxLevel}};
    }
    bool CreateControls(CDialogWindow* window, const Rect& area) override;
    bool DisposeControls() override;
    bool HandleControl(UInt32 commandId, EventRef* event) override;

private:
    int brightness_ = 0;
    int contrast_ = 0;
    CFilterValueControls brightnessControls_;
    CFilterValueControls contrastControls_;
};

class CDeinterlaceFilter : public CImageFilterOf<CDeinterlaceFilter> {
public:
    CDeinterlaceFilter() { SetName("Deinterlace"); }
    bool Apply(CImage& image) override;

private:
    static constexpr int kCombThreshold = 400;
};

class CDespeckleFilter : public CImageFilterOf<CDespeckleFilter> {
public:
    CDespeckleFilter() { SetName("Despeckle"); }
    bool Apply(CImage& image) override;
};

class CEdgeFilter : public CImageFilterOf<CEdgeFilter, CRadiusFilter> {
public:
    CEdgeFilter();
    bool Apply(CImage& image) override;
};

class CEmbossFilter : public CImageFilterOf<CEmbossFilter> {
public:
    CEmbossFilter() { SetName("Emboss"); }
    bool Apply(CImage& image) override;
};

class CFadeEdgeFilter : public CImageFilterOf<CFadeEdgeFilter> {
public:
    CFadeEdgeFilter() { SetName("Fade Edge"); }
    bool Apply(CImage& image) override;

private:
    int edgeSize_ = 20;
    uint32_t fadeColor_ = 255;  // red in the low byte
};

// Fast and Gaussian Blur are the same stack blur under two names.
class CFastBlurFilter : public CImageFilterOf<CFastBlurFilter, CRadiusFilter> {
public:
    CFastBlurFilter() { SetName("Fast Blur"); }
    bool Apply(CImage& image) override;
};

class CGaussianBlurFilter : public CImageFilterOf<CGaussianBlurFilter, CRadiusFilter> {
public:
    CGaussianBlurFilter() { SetName("Gaussian Blur"); }
    bool Apply(CImage& image) override;
};

class CGrayscaleFilter : public CImageFilterOf<CGrayscaleFilter> {
public:
    CGrayscaleFilter() { SetName("Grayscale"); }
    bool Apply(CImage& image) override;
};

class CImplodeFilter : public CImageFilterOf<CImplodeFilter, CIntParameterFilter> {
public:
    CImplodeFilter();
    int GetAmount() const { return value_; }
    void SetAmount(int amount) { SetValue(amount); }
    bool Apply(CImage& image) override;
};

class CMedianFilter : public CImageFilterOf<CMedianFilter, CIntParameterFilter> {
public:
    CMedianFilter();
    int GetThreshold() const { return value_; }
    void SetThreshold(int threshold) { SetValue(threshold); }
    bool Apply(CImage& image) override;
};

// The threshold is kept and edited, but the blur itself is fixed.
class CMotionBlurFilter : public CImageFilterOf<CMotionBlurFilter, CIntParameterFilter> {
public:
    CMotionBlurFilter();
    int GetThreshold() const { return value_; }
    void SetThreshold(int threshold) { SetValue(threshold); }
    bool Apply(CImage& image) override;
    // The sample offsets along the blur's direction, nearest first.
    static void GetOffsets(std::vector<int>* dx, std::vector<int>* dy);
};

class COilPaintFilter : public CImageFilterOf<COilPaintFilter, CIntParameterFilter> {
public:
    COilPaintFilter();
    int GetThreshold() const { return value_; }
    void SetThreshold(int threshold) { SetValue(threshold); }
    bool Apply(CImage& image) override;
};

class CRaiseBordersFilter : public CImageFilterOf<CRaiseBordersFilter, CIntParameterFilter> {
public:
    CRaiseBordersFilter();
    int GetWidth() const { return value_; }
    void SetWidth(int width) { SetValue(width); }
    bool Apply(CImage& image) override;
};

class CReduceNoiseFilter : public CImageFilterOf<CReduceNoiseFilter> {
public:
    CReduceNoiseFilter() { SetName("Reduce Noise"); }
    bool Apply(CImage& image) override;
};

class CSepiaFilter : public CImageFilterOf<CSepiaFilter> {
public:
    CSepiaFilter() { SetName("Sepia"); }
    bool Apply(CImage& image) override;
};

// Gray relief lit from a fixed direction.
class CShadeFilter : public CImageFilterOf<CShadeFilter> {
public:
    CShadeFilter() { SetName("Shade"); }
    bool Apply(CImage& image) override;

private:
    int azimuth_ = 10;
    int elevation_ = 20;
};

class CSharpenFilter : public CImageFilterOf<CSharpenFilter> {
public:
    CSharpenFilter() { SetName("Sharpen"); }
    bool Apply(CImage& image) override;
};

class CSolarizeFilter : public CImageFilterOf<CSolarizeFilter> {
public:
    CSolarizeFilter() { SetName("Solarize"); }
    bool Apply(CImage& image) override;
};

class CSwirlFilter : public CImageFilterOf<CSwirlFilter, CIntParameterFilter> {
public:
    CSwirlFilter();
    int GetAngle() const { return value_; }
    // Stored modulo 360.
    void SetAngle(int angle) { SetValue(angle % 360); }
    bool Apply(CImage& image) override;
};
