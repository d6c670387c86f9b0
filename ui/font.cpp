#include "ui/font.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstring>

#include "foundation/cfstring.h"
#include "foundation/system.h"

namespace {

// Fixed to whole units, halves rounded up, as the toolbox rounds.
int RoundFixed(Fixed value)
{
    return int((int64_t(value) + 0x8000) >> 16);
}

constexpr size_t kMaxNameBytes = 255;

// Bounds width plus both side bearings: the rounded advance, as the toolbox sums it.
int OutlineExtent(const GlyphOutlineMetrics& m)
{
    const int boundsWidth = RectWidth(m.bounds);
    const int leftSideBearing = RoundFixed(m.leftSideBearing);
    const int rightSideBearing = RoundFixed(m.advance) - leftSideBearing - boundsWidth;
    return boundsWidth + leftSideBearing + rightSideBearing;
}

// Family names become plain ASCII when that leaves anything; otherwise they
// stay as they are.
std::string PlainName(const std::string& name)
{
    std::string ascii;
    for (unsigned char c : name)
        if (c >= 0x20 && c < 0x7F) ascii += char(c);
    std::string out = ascii.empty() || ascii.size() > 254 ? name : ascii;
    if (out.size() > kMaxNameBytes) out.resize(kMaxNameBytes);
    return out;
}

}  // namespace

UniChar16 FontCharacterUnit(uint8_t character)
{
    const char text[2] = {char(character), 0};
    CFStringRef s = CCFString::Create(text);
    if (!s) return 0;
    const UniChar16 unit = CFStringGetLength(s) > 0 ? CFStringGetCharacterAtIndex(s, 0) : 0;
    CFRelease(s);
    return unit;
}

CFont::CFont()
{
    static const Rect kOnePixel{0, 0, 1, 1};
    port_ = GWorld::Create(kOnePixel, 32);
    Apply();
}

void CFont::Resolve() const
{
    if (!systemPending_) return;
    systemPending_ = false;
    family_ = GetSysFont();
    TakeFamilyName();
    Apply();
}

CFont::CFont(const CFont& other) : CFont()
{
    Assign(other);
}

CFont& CFont::operator=(const CFont& other)
{
    if (this != &other) Assign(other);
    return *this;
}

CFont::~CFont()
{
    DisposeGWorld(port_);
}

bool CFont::IsSame(const CFont& other) const
{
    return GetFontID() == other.GetFontID() && style_ == other.style_;
}

void CFont::Assign(const CFont& other)
{
    size_ = other.size_;
    systemPending_ = other.systemPending_;
    family_ = other.family_;
    name_ = other.name_;
    style_ = other.style_;
    Apply();
}

int CFont::FindFamily(const std::string& name)
{
    // The classic names are looked up after the installed ones.
    return FMGetFontFamilyFromName(name);
}

bool CFont::SetName(const char* name)
{
    if (!name) return false;
    const int family = FindFamily(name);
    if (family == 0) return false;
    systemPending_ = false;
    family_ = family;
    name_ = PlainName(name);
    Apply();
    return true;
}

void CFont::ToFontRecord(uint8_t record[kFontRecordSize]) const
{
    std::memset(record, 0, kFontRecordSize);
    auto size = static_cast<uint32_t>(size_);
    for (int i = 0; i < 4; ++i) record[i] = uint8_t(size >> (24 - 8 * i));
    record[18] = uint8_t(style_ >> 8);
    record[19] = uint8_t(style_);
}

bool CFont::FromFontRecord(const char* name, const uint8_t* record, size_t length)
{
    if (!record || length < 4) return false;
    if (name && *name) SetName(name);
    size_ = int32_t(uint32_t(record[0]) << 24 | uint32_t(record[1]) << 16 | uint32_t(record[2]) << 8 | record[3]);
    if (length >= 20) style_ = uint16_t(record[18] << 8 | record[19]);
    Apply();
    return true;
}

void CFont::SetFontID(int family)
{
    systemPending_ = false;
    family_ = family;
    TakeFamilyName();
    Apply();
}

void CFont::SetSize(int points)
{
    size_ = points;
    Apply();
}

void CFont::SetStyle(uint16_t style)
{
    style_ = style;
    Apply();
}

void CFont::SetBold(bool on)
{
    SetStyle(on ? (style_ | qd_style::kBold) : (style_ & ~qd_style::kBold));
}

void CFont::SetItalic(bool on)
{
    SetStyle(on ? (style_ | qd_style::kItalic) : (style_ & ~qd_style::kItalic));
}

void CFont::Apply() const
{
    // Until the family is looked up the port keeps its own, replaced then.
    if (!port_) return;
    if (!systemPending_) port_->SetTextFont(family_);
    port_->SetTextSize(size_);
    port_->SetTextFace(style_);
}

void CFont::TakeFamilyName() const
{
    std::string name;
    if (FMGetFontFamilyName(FMFontFamily(family_), name)) name_ = PlainName(name);
}

FMetricRec CFont::Metrics() const
{
    FMetricRec m;
    Resolve();
    if (!port_) return m;
    PortSaver saver;
    SetGWorld(port_);
    FontMetrics(&m);
    return m;
}

bool CFont::Outline(uint8_t character, GlyphOutlineMetrics& out) const
{
    Resolve();
    if (!port_) return false;
    PortSaver saver;
    SetGWorld(port_);
    return OutlineMetrics(FontCharacterUnit(character), &out);
}

int CFont::GetAscent() const
{
    return RoundFixed(Metrics().ascent);
}
int CFont::GetDescent() const
{
    return RoundFixed(Metrics().descent);
}
int CFont::GetLeading() const
{
    return RoundFixed(Metrics().leading);
}

int CFont::GetHeight() const
{
    const FMetricRec m = Metrics();
    return RoundFixed(Fixed(int64_t(m.ascent) + m.descent));
}

int CFont::Ratio(int value) const
{
    const int height = GetHeight();
    if (height == -1) return value * -1024;
    if (height == 0) return 0;
    return int(int64_t(value) * 1024 / height);
}

int CFont::GetAscentRatio() const
{
    return Ratio(GetAscent());
}
int CFont::GetDescentRatio() const
{
    return Ratio(GetDescent());
}
int CFont::GetLeadingRatio() const
{
    return Ratio(GetLeading());
}
int CFont::GetHeightRatio() const
{
    return Ratio(GetAscent() + GetDescent());
}

int CFont::PerPoint(int value) const
{
    if (size_ == -1) return -(value * 1024);
    if (size_ == 0) return 0;
    return int(int64_t(value) * 1024 / size_);
}

int CFont::MeasureText(uint8_t character) const
{
    GlyphOutlineMetrics m;
    if (Outline(character, m)) return OutlineExtent(m);
    // The layout engine's ideal advance, as for a font without outline metrics.
    auto font = platform::FontInstance::Create(FMFontFamily(GetFontID()), style_, Long2Fix(size_));
    float advance = 0;
    if (!font || !font->GetIdealAdvance(FontCharacterUnit(character), advance)) return 0;
    return int(advance);
}

int CFont::GetTextWidth(uint8_t character) const
{
    return PerPoint(MeasureText(character));
}

int CFont::GetOutlineExtentPerPoint(uint8_t character) const
{
    GlyphOutlineMetrics m;
    return Outline(character, m) ? PerPoint(OutlineExtent(m)) : 0;
}

// ---- Choosing fonts

namespace {

bool g_useFontPanel = true;

}  // namespace

bool CFont::Update(const CFont& other)
{
    bool changed = false;
    const bool bothSystem = systemPending_ && other.systemPending_;
    if (!bothSystem && (GetFontID() != other.GetFontID() || name_ != other.GetName())) {
        systemPending_ = false;
        family_ = other.family_;
        name_ = other.name_;
        changed = true;
    }
    if (size_ != other.size_) {
        size_ = other.size_;
        changed = true;
    }
    if (style_ != other.style_) {
        style_ = other.style_;
        changed = true;
    }
    if (changed) Apply();
    return changed;
}

void CFont::GetStyleName(char* buffer, size_t bufferSize) const
{
    if (!buffer || bufferSize == 0) return;
    static const char* const kBitNames[] = {"Bold", "Italic", "Underline", "Outline", "Shadow", "Condense", "Extend"};
    std::string text;
    for (size_t bit = 0; bit < std::size(kBitNames); ++bit) {
        if (!(style_ & (1u << bit))) continue;
        if (!text.empty()) text += ' ';
        text += kBitNames[bit];
    }
    if (text.empty()) text = "Regular";
    const size_t n = std::min(text.size(), bufferSize - 1);
    text.copy(buffer, n);
    buffer[n] = 0;
}

void SetUseFontPanel(bool use)
{
    g_useFontPanel = use;
}

bool GetUseFontPanel()
{
    return g_useFontPanel;
}

bool IsFontPanelInUse()
{
    return System::GetVersion() > 0x101F && GetUseFontPanel();
}

std::string FontFamilyDisplayName(int family)
{
    std::string name;
    if (!FMGetFontFamilyName(FMFontFamily(family), name)) return {};
    return PlainName(name);
}
