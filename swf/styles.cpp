#include "swf/styles.h"
#include "swf/tag_body.h"

#include <algorithm>
#include <string>

#include "swf/reader_primitives.h"
#include "swf/stream.h"

std::unique_ptr<CSwfRGB> SwfMakeBlack(bool alpha)
{
    if (alpha) return std::make_unique<CSwfRGBA>(0, 0, 0, 255);
    return std::make_unique<CSwfRGB>(0, 0, 0);
}

std::unique_ptr<CSwfRGB> SwfMakeColor(uint32_t packed, bool alpha)
{
    const uint8_t r = packed & 0xFF, g = (packed >> 8) & 0xFF, b = (packed >> 16) & 0xFF;
    if (alpha) return std::make_unique<CSwfRGBA>(r, g, b, 255);
    return std::make_unique<CSwfRGB>(r, g, b);
}

std::unique_ptr<CSwfRGB> SwfCopyColor(const CSwfRGB* colour, bool alpha)
{
    if (!colour) return nullptr;
    if (!alpha) return std::make_unique<CSwfRGB>(colour->r, colour->g, colour->b);
    const auto* rgba = dynamic_cast<const CSwfRGBA*>(colour);
    return std::make_unique<CSwfRGBA>(colour->r, colour->g, colour->b, rgba ? rgba->a : 255);
}

int SwfWriteColor(CSwfStream& stream, const CSwfRGB& colour, bool alpha)
{
    stream.WriteU8(colour.r);
    stream.WriteU8(colour.g);
    stream.WriteU8(colour.b);
    if (!alpha) return 3;
    const auto* rgba = dynamic_cast<const CSwfRGBA*>(&colour);
    stream.WriteU8(rgba ? rgba->a : 255);
    return 4;
}

void SwfWriteStyleCount(CSwfStream& stream, size_t count)
{
    if (count > 0xFFFF) {
        stream.Fail("style array holds " + std::to_string(count) + " styles, at most 65535 fit");
        count = 0xFFFF;
    }
    if (count < 0xFF) {
        stream.WriteU8(uint8_t(count));
    } else {
        stream.WriteU8(0xFF);
        stream.WriteU16(uint16_t(count));
    }
}

uint16_t SwfReadStyleCount(CSwfReader& reader)
{
    const uint8_t count = reader.ReadU8();
    return count == 0xFF ? reader.ReadU16() : count;
}

// ---- gradients

CSwfGradRecord::CSwfGradRecord(uint8_t ratio, uint32_t packed, uint8_t alpha)
    : ratio(ratio),
      colour(SwfMakeColor(packed, false)),
      alpha(alpha)
{
}

int CSwfGradRecord::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    if (!colour) colour = SwfMakeBlack(alpha);
    stream.WriteU8(ratio);
    SwfWriteColor(stream, *colour, alpha);
    return int(stream.GetPosition() - start);
}

int CSwfGradRecord::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    ratio = reader.ReadU8();
    colour = SwfMakeBlack(alpha);
    colour->Parse(reader);
    return SwfConsumed(reader, start);
}

void CSwfGradRecord::CopyFrom(const CSwfGradRecord& other)
{
    alpha = other.alpha;
    ratio = other.ratio;
    colour = SwfCopyColor(other.colour.get(), alpha);
}

int CSwfGradient::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    size_t count = records.size();
    if (count > kMaxRecords) {
        stream.Fail("gradient holds " + std::to_string(count) + " records, at most 255 fit");
        count = kMaxRecords;
    }
    stream.WriteU8(uint8_t(count));
    for (size_t i = 0; i < count; ++i) records[i]->Write(stream);
    return int(stream.GetPosition() - start);
}

int CSwfGradient::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    Clear();
    const uint8_t count = reader.ReadU8();
    for (int i = 0; i < count && reader.GetRemaining() > 0; ++i) {
        auto record = std::make_unique<CSwfGradRecord>();
        record->alpha = alpha;
        record->Parse(reader);
        records.push_back(std::move(record));
    }
    return SwfConsumed(reader, start);
}

CSwfGradRecord* CSwfGradient::Append(std::unique_ptr<CSwfGradRecord> record)
{
    records.push_back(std::move(record));
    return records.back().get();
}

void CSwfGradient::CopyFrom(const CSwfGradient& other)
{
    if (&other == this) return;
    Clear();
    alpha = other.alpha;
    for (const auto& r : other.records) {
        auto copy = std::make_unique<CSwfGradRecord>();
        copy->CopyFrom(*r);
        records.push_back(std::move(copy));
    }
}

void CSwfGradient::SetAlpha(uint8_t flag)
{
    alpha = flag;
    for (auto& r : records) r->alpha = flag;
}

// ---- fill and line styles

int CFillStyle::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    stream.WriteU8(type);
    if (type == swf_fill::kSolid) {
        // Nothing at all would shift every later field; black stands in.
        SwfWriteColor(stream, colour ? *colour : *SwfMakeBlack(alpha), alpha);
    } else if (swf_fill::IsGradient(type)) {
        CSwfMatrix identity;
        identity.SetIdentity();
        CSwfGradient empty;
        // A gradient fill without its parts would desynchronise every later
        // field; write neutral ones instead.
        (matrix ? *matrix : identity).Write(stream);
        stream.FlushBits();
        (gradient ? *gradient : empty).Write(stream);
    } else if (swf_fill::IsBitmap(type)) {
        CSwfMatrix identity;
        identity.SetIdentity();
        stream.WriteU16(bitmapId);
        (matrix ? *matrix : identity).Write(stream);
        stream.FlushBits();
    }
    return int(stream.GetPosition() - start);
}

int CFillStyle::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    Clear();
    type = reader.ReadU8();
    if (type == swf_fill::kSolid) {
        colour = SwfMakeBlack(alpha);
        colour->Parse(reader);
    } else if (swf_fill::IsGradient(type)) {
        matrix = std::make_unique<CSwfMatrix>();
        matrix->Parse(reader);
        reader.AlignToByte();
        gradient = std::make_unique<CSwfGradient>();
        gradient->alpha = alpha;
        gradient->Parse(reader);
    } else if (swf_fill::IsBitmap(type)) {
        bitmapId = reader.ReadU16();
        matrix = std::make_unique<CSwfMatrix>();
        matrix->Parse(reader);
        reader.AlignToByte();
    }
    return SwfConsumed(reader, start);
}

void CFillStyle::Clear()
{
    colour.reset();
    matrix.reset();
    gradient.reset();
}

void CFillStyle::CopyFrom(const CFillStyle& other)
{
    if (&other == this) return;
    Clear();
    alpha = other.alpha;
    type = other.type;
    bitmapId = other.bitmapId;
    colour = SwfCopyColor(other.colour.get(), alpha);
    if (other.matrix) matrix = std::make_unique<CSwfMatrix>(*other.matrix);
    if (other.gradient) {
        gradient = std::make_unique<CSwfGradient>();
        gradient->CopyFrom(*other.gradient);
    }
}

void CFillStyle::SetAlpha(uint8_t flag)
{
    alpha = flag;
    if (gradient) gradient->SetAlpha(flag);
}

std::unique_ptr<CFillStyle> CFillStyle::MakeSolid(uint32_t packed, uint8_t alpha)
{
    auto style = std::make_unique<CFillStyle>(swf_fill::kSolid, alpha);
    style->colour = SwfMakeColor(packed, alpha);
    return style;
}

std::unique_ptr<CFillStyle> CFillStyle::MakeBitmap(uint16_t bitmapId, const CSwfMatrix& matrix, bool clipped,
                                                   uint8_t alpha)
{
    auto style =
        std::make_unique<CFillStyle>(clipped ? swf_fill::kClippedBitmap : swf_fill::kRepeatingBitmap, alpha);
    style->bitmapId = bitmapId;
    style->matrix = std::make_unique<CSwfMatrix>(matrix);
    return style;
}

int CLineStyle::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    stream.WriteU16(width);
    SwfWriteColor(stream, colour ? *colour : *SwfMakeBlack(alpha), alpha);
    return int(stream.GetPosition() - start);
}

int CLineStyle::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    width = reader.ReadU16();
    colour = SwfMakeBlack(alpha);
    colour->Parse(reader);
    return SwfConsumed(reader, start);
}

void CLineStyle::CopyFrom(const CLineStyle& other)
{
    if (&other == this) return;
    alpha = other.alpha;
    width = other.width;
    colour = SwfCopyColor(other.colour.get(), alpha);
}

std::unique_ptr<CLineStyle> CLineStyle::Make(uint16_t width, uint32_t packed, uint8_t alpha)
{
    auto style = std::make_unique<CLineStyle>(alpha);
    style->width = width;
    style->colour = SwfMakeColor(packed, alpha);
    return style;
}

// ---- style arrays

template <class Style>
int CSwfStyleArray<Style>::Write(CSwfStream& stream)
{
    return SwfWriteStyleList(stream, styles);
}

template <class Style>
int CSwfStyleArray<Style>::Parse(CSwfReader& reader)
{
    return SwfParseStyleList(reader, styles, [this] {
        auto style = std::make_unique<Style>();
        style->alpha = alpha ? 1 : 0;
        return style;
    });
}

template <class Style>
Style* CSwfStyleArray<Style>::Append(std::unique_ptr<Style> style)
{
    styles.push_back(std::move(style));
    return styles.back().get();
}

template <class Style>
void CSwfStyleArray<Style>::CopyFrom(const CSwfStyleArray& other)
{
    if (&other == this) return;
    Clear();
    alpha = other.alpha;
    for (const auto& s : other.styles) {
        auto copy = std::make_unique<Style>();
        copy->CopyFrom(*s);
        styles.push_back(std::move(copy));
    }
}

template <class Style>
void CSwfStyleArray<Style>::SetAlpha(uint8_t flag)
{
    alpha = flag;
    for (auto& s : styles) s->SetAlpha(flag);
}

template class CSwfStyleArray<CFillStyle>;
template class CSwfStyleArray<CLineStyle>;

void CFillStyleArray::OffsetBitmapIds(int idDelta)
{
    for (auto& s : styles)
        if (swf_fill::IsBitmap(s->type) && s->bitmapId != kSwfNoBitmapId)
            s->bitmapId = SwfOffsetId(s->bitmapId, idDelta);
}
