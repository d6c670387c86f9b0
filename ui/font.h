#pragma once
// A font as the program describes it: family, name, size and QuickDraw style,
// with a port of its own so that it can be measured anywhere.
//
// The font button and the font dialog that let a user choose one live in
// ui/font_chooser.h.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/font_catalog.h"
#include "platform/gworld.h"

class CFont {
public:
    // The system font, 12 points, plain.
    CFont();
    CFont(const CFont& other);
    CFont& operator=(const CFont& other);
    virtual ~CFont();

    // Same family and style; the size is not compared.
    bool IsSame(const CFont& other) const;
    // Copies size, family, name and style.
    void Assign(const CFont& other);
    // Takes family and name, size and style where they differ; true when
    // anything changed.
    bool Update(const CFont& other);
    // The names of the set style bits, one blank apart ("Bold Italic"), or
    // "Regular"; at most bufferSize - 1 bytes and a terminator.
    void GetStyleName(char* buffer, size_t bufferSize = 256) const;

    // The family of an installed name (classic Mac names included); false,
    // with nothing changed, when no family has it.
    bool SetName(const char* name);
    // The family SetName takes for the name; 0 when none is installed.
    static int FindFamily(const std::string& name);
    void SetFontID(int family);
    int GetFontID() const
    {
        Resolve();
        return family_;
    }
    const char* GetName() const
    {
        Resolve();
        return name_.c_str();
    }
    int GetSize() const { return size_; }
    void SetSize(int points);
    uint16_t GetStyle() const { return style_; }
    void SetStyle(uint16_t style);
    bool IsBold() const { return style_ & qd_style::kBold; }
    void SetBold(bool on);
    bool IsItalic() const { return style_ & qd_style::kItalic; }
    void SetItalic(bool on);

    // The 28-byte record kept beside a font's name in files: big-endian
    // size at byte 0, style word at byte 16, all else zero.
    static constexpr size_t kFontRecordSize = 28;
    // The sizes a font can have, in points.
    static constexpr int kMinSize = 1, kMaxSize = 32767;
    static bool IsSizeInRange(long points) { return points >= kMinSize && points <= kMaxSize; }
    void ToFontRecord(uint8_t record[kFontRecordSize]) const;
    // Takes the size from bytes 0-3 and the style from bytes 18-19, each only
    // when the record reaches it (a short record sets what it holds), and
    // the family from name when it is installed. False when the record is
    // too short to hold even the size.
    bool FromFontRecord(const char* name, const uint8_t* record, size_t length);

    // Font measures at the font's size, rounded to whole pixels.
    int GetAscent() const;
    int GetDescent() const;
    int GetLeading() const;
    int GetHeight() const;
    // The same in 1/1024 of the height; 0 for a font without height.
    int GetAscentRatio() const;
    int GetDescentRatio() const;
    int GetLeadingRatio() const;
    int GetHeightRatio() const;

    // A character's advance in pixels at the font's size (0 when it cannot
    // be measured at all).
    int MeasureText(uint8_t character) const;
    // MeasureText in 1/1024 of the size; 0 at size 0.
    int GetTextWidth(uint8_t character) const;
    // The outline's extent (bounds and both side bearings) in 1/1024 of the
    // size; 0 when the character has no outline metrics or the size is 0.
    int GetOutlineExtentPerPoint(uint8_t character) const;

private:
    // The system font is looked up when first needed: finding it starts the
    // font catalogue, which a show without text never needs.
    void Resolve() const;
    void Apply() const;
    void TakeFamilyName() const;
    FMetricRec Metrics() const;
    bool Outline(uint8_t character, GlyphOutlineMetrics& out) const;
    int Ratio(int value) const;
    int PerPoint(int value) const;

    GWorldPtr port_ = nullptr;
    int size_ = 12;
    mutable bool systemPending_ = true;  // family_ and name_ not looked up yet
    mutable int family_ = 0;
    mutable std::string name_;
    uint16_t style_ = 0;
};

// The UTF-16 unit of a byte in the application's text encoding (0 when none).
UniChar16 FontCharacterUnit(uint8_t character);

// ---- Choosing fonts

// Whether the font button opens the system Font Panel (true at start) or
// the program's own font dialog.
void SetUseFontPanel(bool use);
bool GetUseFontPanel();
// The Font Panel is used when asked for and the system has one (10.2 on).
bool IsFontPanelInUse();

// A family's name as menus and lists show it: plain ASCII when that leaves
// any of it; empty for an unknown family.
std::string FontFamilyDisplayName(int family);
