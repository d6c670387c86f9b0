#pragma once
// Fill styles, line styles, gradients and the count-prefixed style arrays of
// SWF shapes. The alpha flag says whether colours are RGBA (DefineShape3) or
// RGB; it decides the colour kind created by Parse and copies, and the form in
// which colours are written, so a shape never mixes 3- and 4-byte colours.
#include <cstdint>
#include <memory>
#include <vector>

#include "swf/object.h"
#include "swf/reader_primitives.h"
#include "swf/records.h"
#include "swf/stream.h"
#include "swf/tag_body.h"

class CSwfReader;
class CSwfStream;

namespace swf_fill {
enum : uint8_t {
    kSolid = 0x00,
    kLinearGradient = 0x10,
    kRadialGradient = 0x12,
    kRepeatingBitmap = 0x40,
    kClippedBitmap = 0x41,
    kLastBitmap = 0x43,
};
inline bool IsGradient(uint8_t type) { return type == kLinearGradient || type == kRadialGradient; }
inline bool IsBitmap(uint8_t type) { return type >= kRepeatingBitmap && type <= kLastBitmap; }
}  // namespace swf_fill

// Bitmap id that stands for "no bitmap" and is never renumbered.
constexpr uint16_t kSwfNoBitmapId = 65535;

// Black of the kind the flag asks for: RGBA 0,0,0,255 or RGB 0,0,0.
std::unique_ptr<CSwfRGB> SwfMakeBlack(bool alpha);
// 0x00BBGGRR as RGB, or as opaque RGBA when alpha is set.
std::unique_ptr<CSwfRGB> SwfMakeColor(uint32_t packed, bool alpha);
// A copy of the colour in the kind the flag asks for; an RGB source gains an
// opaque alpha. Null for null.
std::unique_ptr<CSwfRGB> SwfCopyColor(const CSwfRGB* colour, bool alpha);
// Writes the colour as RGBA (4 bytes) or RGB (3 bytes) whatever its object kind.
int SwfWriteColor(CSwfStream& stream, const CSwfRGB& colour, bool alpha);
// Count of a style array: one byte below 255, else 0xFF and a U16.
void SwfWriteStyleCount(CSwfStream& stream, size_t count);
uint16_t SwfReadStyleCount(CSwfReader& reader);

// Count and styles of a style array (shape or morph styles alike).
template <class Style>
int SwfWriteStyleList(CSwfStream& stream, const std::vector<std::unique_ptr<Style>>& styles);
// Replaces the list with the styles read; makeStyle creates each new style.
// The count comes from the file, so reading stops where the data does.
template <class Style, class Make>
int SwfParseStyleList(CSwfReader& reader, std::vector<std::unique_ptr<Style>>& styles, Make makeStyle);

class CSwfGradRecord : public CSwfObject {
public:
    CSwfGradRecord() = default;
    // colour is 0x00BBGGRR.
    CSwfGradRecord(uint8_t ratio, uint32_t colour, uint8_t alpha);

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void DeleteColor() { colour.reset(); }
    void CopyFrom(const CSwfGradRecord& other);

    uint8_t ratio = 0;
    std::unique_ptr<CSwfRGB> colour;
    uint8_t alpha = 0;
};

class CSwfGradient : public CSwfObject {
public:
    // At most this many records fit the count byte.
    static constexpr size_t kMaxRecords = 255;

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void Clear() { records.clear(); }
    CSwfGradRecord* Append(std::unique_ptr<CSwfGradRecord> record);
    void CopyFrom(const CSwfGradient& other);
    void SetAlpha(uint8_t flag);

    uint8_t alpha = 0;
    std::vector<std::unique_ptr<CSwfGradRecord>> records;
};

class CFillStyle : public CSwfObject {
public:
    CFillStyle() = default;
    CFillStyle(uint8_t type, uint8_t alpha) : alpha(alpha), type(type) {}

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void Clear();
    void CopyFrom(const CFillStyle& other);
    void SetAlpha(uint8_t flag);

    // A solid fill of colour 0x00BBGGRR (opaque when alpha is set).
    static std::unique_ptr<CFillStyle> MakeSolid(uint32_t colour, uint8_t alpha = 0);
    // A bitmap fill of the bitmap with that id, placed by the matrix.
    static std::unique_ptr<CFillStyle> MakeBitmap(uint16_t bitmapId, const CSwfMatrix& matrix, bool clipped,
                                                  uint8_t alpha = 0);

    uint8_t alpha = 0;
    uint8_t type = swf_fill::kSolid;
    std::unique_ptr<CSwfRGB> colour;
    std::unique_ptr<CSwfGradient> gradient;
    std::unique_ptr<CSwfMatrix> matrix;
    uint16_t bitmapId = 0;
};

class CLineStyle : public CSwfObject {
public:
    explicit CLineStyle(uint8_t alpha = 0) : alpha(alpha) {}

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void Clear() { colour.reset(); }
    void CopyFrom(const CLineStyle& other);
    void SetAlpha(uint8_t flag) { alpha = flag; }

    static std::unique_ptr<CLineStyle> Make(uint16_t width, uint32_t colour, uint8_t alpha = 0);

    uint16_t width = 0;
    std::unique_ptr<CSwfRGB> colour;
    uint8_t alpha = 0;
};

// The two style arrays. The count is the number of styles held, so it cannot
// disagree with the list.
template <class Style>
class CSwfStyleArray : public CSwfObject {
public:
    explicit CSwfStyleArray(uint8_t alpha = 0) : alpha(alpha) {}

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void Clear() { styles.clear(); }
    uint16_t GetCount() const { return static_cast<uint16_t>(styles.size()); }
    // The array owns the style; returns it for further setting.
    Style* Append(std::unique_ptr<Style> style);
    void CopyFrom(const CSwfStyleArray& other);
    void SetAlpha(uint8_t flag);

    uint8_t alpha = 0;
    std::vector<std::unique_ptr<Style>> styles;
};

class CFillStyleArray : public CSwfStyleArray<CFillStyle> {
public:
    using CSwfStyleArray::CSwfStyleArray;
    // Renumbers bitmap fills after their bitmaps got new ids; 65535 stays.
    void OffsetBitmapIds(int idDelta);
};

class CLineStyleArray : public CSwfStyleArray<CLineStyle> {
public:
    using CSwfStyleArray::CSwfStyleArray;
};

template <class Style>
int SwfWriteStyleList(CSwfStream& stream, const std::vector<std::unique_ptr<Style>>& styles)
{
    const uint32_t start = stream.GetPosition();
    SwfWriteStyleCount(stream, styles.size());
    const size_t count = styles.size() < 0xFFFF ? styles.size() : 0xFFFF;
    for (size_t i = 0; i < count; ++i) styles[i]->Write(stream);
    return int(stream.GetPosition() - start);
}

template <class Style, class Make>
int SwfParseStyleList(CSwfReader& reader, std::vector<std::unique_ptr<Style>>& styles, Make makeStyle)
{
    const uint32_t start = reader.GetPosition();
    styles.clear();
    const uint16_t count = SwfReadStyleCount(reader);
    for (int i = 0; i < count && reader.GetRemaining() > 0; ++i) {
        std::unique_ptr<Style> style = makeStyle();
        style->Parse(reader);
        styles.push_back(std::move(style));
    }
    return int(reader.GetPosition() - start);
}
