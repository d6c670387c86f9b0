#pragma once
// The image filter family's common ground: the base class with its change
// signal and XML form, the registry of prototypes, and the pixel routines
// the filters share. Every filter rewrites a 24-bit picture in place.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "foundation/signal.h"
#include "media/image.h"
#include "platform/qd_types.h"
#include "platform/toolbox_types.h"

class CDialogWindow;
class CXMLAttributes;
class CXMLNode;
class CXMLOutputFile;

class CImageFilter {
public:
    // Control ids shared by the filters' settings controls.
    enum { kLabelId = 1000, kValueId = 1001, kFieldId = 1002 };

    CImageFilter() = default;
    virtual ~CImageFilter() = default;
    CImageFilter& operator=(const CImageFilter&) = delete;

    // A copy of the same class and parameters, with no callbacks.
    virtual std::unique_ptr<CImageFilter> Clone() const;
    virtual bool Apply(CImage& image);
    virtual bool CreateControls(CDialogWindow* window, const Rect& area);
    virtual bool DisposeControls();
    virtual bool HandleControl(UInt32 commandId, EventRef* event);
    virtual int DialogHook(CDialogWindow* dialog, intptr_t argument);
    virtual int ReservedHook();
    // Reads the filter's own attributes; fields are assigned as they stand.
    virtual bool ReadAttributes(const CXMLNode& element, const CXMLAttributes& attributes);
    // Writes `" key="value` for each own attribute.
    virtual bool WriteAttributes(CXMLOutputFile& writer) const;
    // The own attributes that hold numbers (integer: whole numbers), so a
    // reader that reports can say what their text held besides the number,
    // and a value outside the range the controls offer (low to high; any
    // value when they are equal), which the filter keeps as read.
    struct NumberAttribute {
        const char* name;
        bool integer;
        double low = 0, high = 0;
    };
    virtual std::vector<NumberAttribute> GetNumberAttributes() const { return {}; }
    // The own attributes that hold a word of a list (matched exactly); an
    // unknown word leaves the setting as it was, code (its index in words).
    struct WordAttribute {
        const char* name;
        std::span<const char* const> words;
        int code = -1;
    };
    virtual std::vector<WordAttribute> GetWordAttributes() const { return {}; }

    void SetName(const char* name) { name_ = name ? name : ""; }
    const std::string& GetName() const { return name_; }
    bool ReadXML(const CXMLNode& element);
    bool WriteXML(CXMLOutputFile& writer) const;
    static void GrowWindow(CDialogWindow* window, int delta);

    // Emitted with the filter's address whenever a setter changes a value.
    Signal& GetChangeSignal() { return changed_; }

protected:
    // The copy keeps name and parameters; the signal starts empty.
    CImageFilter(const CImageFilter& other) : name_(other.name_) {}

    // Stores the value and announces it; nothing when it is unchanged.
    template <class T>
    void Store(T& field, T value)
    {
        if (field == value) return;
        field = value;
        changed_.Emit(reinterpret_cast<intptr_t>(this));
    }

private:
    Signal changed_;
    std::string name_;
};

// Each filter class gets its Clone from its copy constructor.
template <class Derived, class Base = CImageFilter>
class CImageFilterOf : public Base {
public:
    std::unique_ptr<CImageFilter> Clone() const override
    {
        return std::unique_ptr<CImageFilter>(new Derived(static_cast<const Derived&>(*this)));
    }

protected:
    using Base::Base;
    CImageFilterOf() = default;
    CImageFilterOf(const CImageFilterOf&) = default;
};

// Leaves every picture as it is.
class CIdentityFilter : public CImageFilter {
public:
    bool Apply(CImage& image) override;
};

// A list of filters with an id; list 0 holds one prototype of each
// registered filter, in descending name order.
class CImageFilterList {
public:
    // A new list in the process-wide registry; null when the id is taken.
    static CImageFilterList* Register(int id);
    static CImageFilterList* FindById(int id);

    void Clear();
    // Inserts before the first member whose name does not sort after it.
    bool Add(std::unique_ptr<CImageFilter> filter);
    // One new instance of each registered filter.
    void CreatePrototypes();
    // A clone of the prototype named by the element, with its attributes
    // read; null when the name is missing or matches none.
    std::unique_ptr<CImageFilter> ReadXML(const CXMLNode& element) const;

    int GetId() const { return id_; }
    size_t GetCount() const { return filters_.size(); }
    CImageFilter* GetAt(size_t index) const { return index < filters_.size() ? filters_[index].get() : nullptr; }

private:
    explicit CImageFilterList(int id) : id_(id) {}

    std::vector<std::unique_ptr<CImageFilter>> filters_;
    int id_;
};

// The filter kinds: every class of the family with how to make one. Only
// the registered ones become prototypes (and so can be read from a project).
struct ImageFilterKind {
    bool registered;
    std::unique_ptr<CImageFilter> (*create)();
};
const std::vector<ImageFilterKind>& ImageFilterKinds();

// Pixel routines. Pictures are 24-bit, rows top-down and packed.

// 0.299 R + 0.587 G + 0.114 B, rounded.
int PixelIntensity(const uint8_t* rgb);
// False, out untouched, outside the picture (negatives wrap and fail too).
bool GetPixel24(const CImage& image, uint32_t x, uint32_t y, uint8_t* out);
// w × h cells of 4 bytes (R, G, B, unused) from (x, y); cells outside the
// picture repeat the nearest edge pixel. Null when the block cannot be had.
std::unique_ptr<uint8_t[]> ExtractPixelBlock(const CImage& image, int64_t x, int64_t y, uint32_t w, uint32_t h);
// Bilinear fetch at a real position.
void GetPixelInterpolated(const CImage& image, double x, double y, uint8_t* out);
// Odd width of a Gaussian window: 2 ceil(radius) + 1, or from sigma alone
// when radius is not positive.
int GetGaussianKernelWidth(double radius, double sigma);
// The value with noise of the given type (0 uniform .. 5 Poisson) added,
// drawn from rand().
uint8_t GenerateNoise(uint8_t value, int type);
// Convolution with an odd order × order kernel; false, picture unchanged,
// when the order is even or larger than the picture.
bool ConvolveImage(CImage& image, int order, const double* kernel);
