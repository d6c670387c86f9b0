#include "swf/shapes.h"
#include "swf/tag_body.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "swf/reader_primitives.h"
#include "swf/stream.h"

namespace {

using swf_shape::kMaxEdgeDelta;

// Move-to widths are 5-bit fields: keep values within 31 signed bits.
constexpr int32_t kMaxMoveTo = (1 << 30) - 1;

int64_t Abs64(int64_t v) { return v < 0 ? -v : v; }

int WidthFor(int64_t largestMagnitude)
{
    const int n = SwfBitsNeeded(static_cast<int32_t>(std::min<int64_t>(largestMagnitude, INT32_MAX)), true);
    return std::max(n, 2);
}

// One straight edge whose deltas fit.
void WriteStraightPiece(CSwfStream& s, uint8_t kind, int32_t dx, int32_t dy)
{
    const int n = WidthFor(std::max(Abs64(dx), Abs64(dy)));
    s.WriteBits(1, 1);
    s.WriteBits(1, 1);
    s.WriteBits(n - 2, 4);
    if (kind == swf_shape::kHorizontal) {
        s.WriteBits(0, 2);
        s.WriteBits(dx, n);
    } else if (kind == swf_shape::kVertical) {
        s.WriteBits(1, 2);
        s.WriteBits(dy, n);
    } else {
        s.WriteBits(1, 1);
        s.WriteBits(dx, n);
        s.WriteBits(dy, n);
    }
}

// Splits a quadratic curve at its middle until every delta fits; points are
// relative to the curve's start, and the halves end exactly on the anchor.
void WriteCurvePieces(CSwfStream& s, int64_t cx, int64_t cy, int64_t ax, int64_t ay)
{
    const int64_t m = std::max({Abs64(cx), Abs64(cy), Abs64(ax), Abs64(ay)});
    if (m <= kMaxEdgeDelta) {
        const int n = WidthFor(m);
        s.WriteBits(1, 1);
        s.WriteBits(0, 1);
        s.WriteBits(n - 2, 4);
        s.WriteBits(int32_t(cx), n);
        s.WriteBits(int32_t(cy), n);
        s.WriteBits(int32_t(ax), n);
        s.WriteBits(int32_t(ay), n);
        return;
    }
    const int64_t endX = cx + ax, endY = cy + ay;
    const int64_t m1x = cx / 2, m1y = cy / 2;
    const int64_t m2x = (cx + endX) / 2, m2y = (cy + endY) / 2;
    const int64_t midX = (m1x + m2x) / 2, midY = (m1y + m2y) / 2;
    WriteCurvePieces(s, m1x, m1y, midX - m1x, midY - m1y);
    WriteCurvePieces(s, m2x - midX, m2y - midY, endX - m2x, endY - m2y);
}

void CheckIndex(CSwfStream& s, uint16_t index, int bits, const char* what)
{
    if (bits < 16 && index >= (1u << bits))
        s.Fail(std::string(what) + " index " + std::to_string(index) + " does not fit " + std::to_string(bits) +
               " bits");
}

void CheckCountBits(CSwfStream& s, int bits)
{
    if (bits > 15) s.Fail("style array too large for a shape's 4-bit index width");
}

}  // namespace

// ---- style change

CShapeRecordStyleChange::CShapeRecordStyleChange(uint32_t flags, CShape* owner) : owner(owner), flags(flags)
{
    if (owner) {
        fillBits = owner->numFillBits;
        lineBits = owner->numLineBits;
    }
}

void CShapeRecordStyleChange::CreateMoveTo(int32_t x, int32_t y, CShape* newOwner)
{
    moveX = x;
    moveY = y;
    owner = newOwner;
    if (owner) {
        fillBits = owner->numFillBits;
        lineBits = owner->numLineBits;
    }
    fillStyle0 = fillStyle1 = lineStyle = 0;
    FreeStyles();
}

void CShapeRecordStyleChange::SetFillStyle(uint16_t index, int which)
{
    if (which)
        fillStyle1 = index;
    else
        fillStyle0 = index;
}

void CShapeRecordStyleChange::ComputeFlags()
{
    flags = (newFillStyles || newLineStyles) ? uint32_t(swf_shape::kNewStyles) : 0u;
    if (lineStyle) flags |= swf_shape::kLineStyle;
    if (fillStyle1) flags |= swf_shape::kFillStyle1;
    if (fillStyle0) flags |= swf_shape::kFillStyle0;
    if (moveX || moveY) flags |= swf_shape::kMoveTo;
}

void CShapeRecordStyleChange::FreeStyles()
{
    newFillStyles.reset();
    newLineStyles.reset();
}

void CShapeRecordStyleChange::CopyFrom(const CShapeRecordStyleChange& other, CShape* newOwner)
{
    if (&other == this) return;
    FreeStyles();
    moveX = other.moveX;
    moveY = other.moveY;
    fillStyle0 = other.fillStyle0;
    fillStyle1 = other.fillStyle1;
    lineStyle = other.lineStyle;
    fillBits = other.fillBits;
    lineBits = other.lineBits;
    flags = other.flags;
    owner = newOwner;
    if (other.newFillStyles) {
        newFillStyles = std::make_unique<CFillStyleArray>();
        newFillStyles->CopyFrom(*other.newFillStyles);
    }
    if (other.newLineStyles) {
        newLineStyles = std::make_unique<CLineStyleArray>();
        newLineStyles->CopyFrom(*other.newLineStyles);
    }
}

void CShapeRecordStyleChange::TakeOwnerBits()
{
    if (!owner) return;
    fillBits = owner->currentFillBits;
    lineBits = owner->currentLineBits;
}

int CShapeRecordStyleChange::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    TakeOwnerBits();
    const bool hasNew = newFillStyles || newLineStyles;
    // The new-styles flag with nothing to write would leave the reader
    // expecting arrays that are not there.
    const uint32_t written = hasNew ? (flags & 0x1F) : (flags & 0x1F & ~uint32_t(swf_shape::kNewStyles));
    stream.WriteBits(int32_t(written), 6);
    if (written & swf_shape::kMoveTo) {
        const int32_t x = std::clamp(moveX, -kMaxMoveTo, kMaxMoveTo);
        const int32_t y = std::clamp(moveY, -kMaxMoveTo, kMaxMoveTo);
        const int n = SwfBitsNeeded(std::max(std::abs(x), std::abs(y)), true);
        stream.WriteBits(n, 5);
        stream.WriteBits(x, n);
        stream.WriteBits(y, n);
    }
    if (written & swf_shape::kFillStyle0) {
        CheckIndex(stream, fillStyle0, fillBits, "fill style");
        stream.WriteBits(fillStyle0, fillBits);
    }
    if (written & swf_shape::kFillStyle1) {
        CheckIndex(stream, fillStyle1, fillBits, "fill style");
        stream.WriteBits(fillStyle1, fillBits);
    }
    if (written & swf_shape::kLineStyle) {
        CheckIndex(stream, lineStyle, lineBits, "line style");
        stream.WriteBits(lineStyle, lineBits);
    }
    if (written & swf_shape::kNewStyles) {
        if (newFillStyles) {
            newFillStyles->Write(stream);
            fillBits = SwfCountBits16(newFillStyles->GetCount());
        } else {
            stream.WriteU8(0);
        }
        if (newLineStyles) {
            newLineStyles->Write(stream);
            lineBits = SwfCountBits16(newLineStyles->GetCount());
        } else {
            stream.WriteU8(0);
        }
        CheckCountBits(stream, fillBits);
        CheckCountBits(stream, lineBits);
        if (owner) {
            owner->currentFillBits = uint8_t(fillBits);
            owner->currentLineBits = uint8_t(lineBits);
        }
        stream.WriteBits(fillBits, 4);
        stream.WriteBits(lineBits, 4);
    }
    return int(stream.GetPosition() - start);
}

int CShapeRecordStyleChange::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    fillBits = owner ? owner->currentFillBits : 15;
    lineBits = owner ? owner->currentLineBits : 15;
    if (flags & swf_shape::kMoveTo) {
        const int n = int(reader.ReadBits(5, false));
        moveX = int32_t(reader.ReadBits(n, true));
        moveY = int32_t(reader.ReadBits(n, true));
    }
    if (flags & swf_shape::kFillStyle0) fillStyle0 = uint16_t(reader.ReadBits(fillBits, false));
    if (flags & swf_shape::kFillStyle1) fillStyle1 = uint16_t(reader.ReadBits(fillBits, false));
    if (flags & swf_shape::kLineStyle) lineStyle = uint16_t(reader.ReadBits(lineBits, false));
    if (flags & swf_shape::kNewStyles) {
        const uint8_t alpha = owner ? owner->alpha : 1;
        newFillStyles = std::make_unique<CFillStyleArray>(alpha);
        newFillStyles->Parse(reader);
        newLineStyles = std::make_unique<CLineStyleArray>(alpha);
        newLineStyles->Parse(reader);
        fillBits = uint16_t(reader.ReadBits(4, false));
        lineBits = uint16_t(reader.ReadBits(4, false));
        if (owner) {
            owner->currentFillBits = uint8_t(fillBits);
            owner->currentLineBits = uint8_t(lineBits);
        }
    }
    return SwfConsumed(reader, start);
}

// ---- edges

int CShapeRecordStraightEdge::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    const int32_t x = kind == swf_shape::kVertical ? 0 : dx;
    const int32_t y = kind == swf_shape::kHorizontal ? 0 : dy;
    const int64_t m = std::max(Abs64(x), Abs64(y));
    if (m <= kMaxEdgeDelta) {
        WriteStraightPiece(stream, kind, x, y);
    } else {
        // Equal pieces that sum exactly to the whole edge.
        const int64_t pieces = (m + kMaxEdgeDelta - 1) / kMaxEdgeDelta;
        int64_t doneX = 0, doneY = 0;
        for (int64_t i = 1; i <= pieces; ++i) {
            const int64_t toX = int64_t(x) * i / pieces, toY = int64_t(y) * i / pieces;
            WriteStraightPiece(stream, kind, int32_t(toX - doneX), int32_t(toY - doneY));
            doneX = toX;
            doneY = toY;
        }
    }
    return int(stream.GetPosition() - start);
}

int CShapeRecordStraightEdge::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    numBits = uint8_t(reader.ReadBits(4, false));
    const int n = numBits + 2;
    dx = dy = 0;
    if (reader.ReadBits(1, false)) {
        kind = swf_shape::kGeneral;
        dx = int32_t(reader.ReadBits(n, true));
        dy = int32_t(reader.ReadBits(n, true));
    } else if (reader.ReadBits(1, false)) {
        kind = swf_shape::kVertical;
        dy = int32_t(reader.ReadBits(n, true));
    } else {
        kind = swf_shape::kHorizontal;
        dx = int32_t(reader.ReadBits(n, true));
    }
    return SwfConsumed(reader, start);
}

void CShapeRecordStraightEdge::CopyFrom(const CShapeRecordStraightEdge& other)
{
    kind = other.kind;
    dx = other.dx;
    dy = other.dy;
    numBits = 0;
}

void CShapeRecordCurvedEdge::Set(int32_t cdx, int32_t cdy, int32_t adx, int32_t ady)
{
    controlDx = cdx;
    controlDy = cdy;
    anchorDx = adx;
    anchorDy = ady;
}

int CShapeRecordCurvedEdge::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    WriteCurvePieces(stream, controlDx, controlDy, anchorDx, anchorDy);
    return int(stream.GetPosition() - start);
}

int CShapeRecordCurvedEdge::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    numBits = uint8_t(reader.ReadBits(4, false));
    const int n = numBits + 2;
    controlDx = int32_t(reader.ReadBits(n, true));
    controlDy = int32_t(reader.ReadBits(n, true));
    anchorDx = int32_t(reader.ReadBits(n, true));
    anchorDy = int32_t(reader.ReadBits(n, true));
    return SwfConsumed(reader, start);
}

void CShapeRecordCurvedEdge::CopyFrom(const CShapeRecordCurvedEdge& other)
{
    Set(other.controlDx, other.controlDy, other.anchorDx, other.anchorDy);
    numBits = 0;
}

int CShapeRecordEnd::Write(CSwfStream& stream)
{
    stream.WriteBits(0, 6);
    return 1;
}

// ---- shape

void CShape::SetBits(uint8_t fillBits, uint8_t lineBits)
{
    SetFillBits(fillBits);
    SetLineBits(lineBits);
}

int CShape::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    currentFillBits = numFillBits;
    currentLineBits = numLineBits;
    if (numFillBits > 15 || numLineBits > 15) stream.Fail("shape index width above 15 bits");
    stream.WriteBits(numFillBits, 4);
    stream.WriteBits(numLineBits, 4);
    for (auto& r : records) r->Write(stream);
    // Without its end record a shape would run on into the following data.
    if (records.empty() || records.back()->GetType() != swf_shape::kEnd) stream.WriteBits(0, 6);
    return int(stream.GetPosition() - start);
}

int CShape::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    ClearRecords();
    numFillBits = currentFillBits = uint8_t(reader.ReadBits(4, false));
    numLineBits = currentLineBits = uint8_t(reader.ReadBits(4, false));
    for (;;) {
        std::unique_ptr<CShapeRecord> record;
        if (reader.ReadBits(1, false)) {
            if (reader.ReadBits(1, false))
                record = std::make_unique<CShapeRecordStraightEdge>();
            else
                record = std::make_unique<CShapeRecordCurvedEdge>();
        } else {
            const uint32_t flags = reader.ReadBits(5, false);
            if (flags == 0) break;
            record = std::make_unique<CShapeRecordStyleChange>(flags, this);
        }
        record->Parse(reader);
        records.push_back(std::move(record));
    }
    records.push_back(std::make_unique<CShapeRecordEnd>());
    reader.AlignToByte();
    currentFillBits = numFillBits;
    currentLineBits = numLineBits;
    return SwfConsumed(reader, start);
}

void CShape::CopyFrom(const CShape& other)
{
    if (&other == this) return;
    ClearRecords();
    numFillBits = other.numFillBits;
    numLineBits = other.numLineBits;
    currentFillBits = other.currentFillBits;
    currentLineBits = other.currentLineBits;
    alpha = other.alpha;
    for (const auto& r : other.records) {
        switch (r->GetType()) {
        case swf_shape::kStyleChange: {
            auto copy = std::make_unique<CShapeRecordStyleChange>();
            copy->CopyFrom(static_cast<const CShapeRecordStyleChange&>(*r), this);
            records.push_back(std::move(copy));
            break;
        }
        case swf_shape::kStraightEdge: {
            auto copy = std::make_unique<CShapeRecordStraightEdge>();
            copy->CopyFrom(static_cast<const CShapeRecordStraightEdge&>(*r));
            records.push_back(std::move(copy));
            break;
        }
        case swf_shape::kCurvedEdge: {
            auto copy = std::make_unique<CShapeRecordCurvedEdge>();
            copy->CopyFrom(static_cast<const CShapeRecordCurvedEdge&>(*r));
            records.push_back(std::move(copy));
            break;
        }
        case swf_shape::kEnd:
            records.push_back(std::make_unique<CShapeRecordEnd>());
            break;
        default:
            break;
        }
    }
}

CShapeRecordStyleChange* CShape::AddMoveTo(int32_t x, int32_t y)
{
    auto record = std::make_unique<CShapeRecordStyleChange>(swf_shape::kMoveTo, this);
    record->moveX = x;
    record->moveY = y;
    return AddRecord(std::move(record));
}

void CShape::AddHorizontalLine(int32_t dx)
{
    AddRecord(std::make_unique<CShapeRecordStraightEdge>(dx, 0, swf_shape::kHorizontal));
}

void CShape::AddVerticalLine(int32_t dy)
{
    AddRecord(std::make_unique<CShapeRecordStraightEdge>(0, dy, swf_shape::kVertical));
}

void CShape::AddLine(int32_t dx, int32_t dy)
{
    AddRecord(std::make_unique<CShapeRecordStraightEdge>(dx, dy, swf_shape::kGeneral));
}

void CShape::AddCurve(int32_t controlDx, int32_t controlDy, int32_t anchorDx, int32_t anchorDy)
{
    AddRecord(std::make_unique<CShapeRecordCurvedEdge>(controlDx, controlDy, anchorDx, anchorDy));
}

void CShape::AddEnd() { AddRecord(std::make_unique<CShapeRecordEnd>()); }

void CShape::SetAlpha(uint8_t flag)
{
    alpha = flag;
    for (auto& r : records) {
        if (r->GetType() != swf_shape::kStyleChange) continue;
        auto& change = static_cast<CShapeRecordStyleChange&>(*r);
        if (change.newFillStyles) change.newFillStyles->SetAlpha(flag);
        if (change.newLineStyles) change.newLineStyles->SetAlpha(flag);
    }
}

void CShape::OffsetBitmapIds(int idDelta)
{
    for (auto& r : records) {
        if (r->GetType() != swf_shape::kStyleChange) continue;
        auto& change = static_cast<CShapeRecordStyleChange&>(*r);
        if (change.newFillStyles) change.newFillStyles->OffsetBitmapIds(idDelta);
    }
}

// ---- shape with style

CShapeWithStyle::CShapeWithStyle(const CShapeWithStyle& other) : CShape()
{
    if (other.fillStyles) {
        fillStyles = std::make_unique<CFillStyleArray>();
        fillStyles->CopyFrom(*other.fillStyles);
    }
    if (other.lineStyles) {
        lineStyles = std::make_unique<CLineStyleArray>();
        lineStyles->CopyFrom(*other.lineStyles);
    }
    CShape::CopyFrom(other);
}

void CShapeWithStyle::Clear()
{
    ClearRecords();
    fillStyles.reset();
    lineStyles.reset();
}

void CShapeWithStyle::SetAlpha(uint8_t flag)
{
    CShape::SetAlpha(flag);
    if (fillStyles) fillStyles->SetAlpha(flag);
    if (lineStyles) lineStyles->SetAlpha(flag);
}

int CShapeWithStyle::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    int fillBits = 0, lineBits = 0;
    if (fillStyles && fillStyles->GetCount() > 0) {
        fillStyles->Write(stream);
        fillBits = SwfCountBits16(fillStyles->GetCount());
    } else {
        stream.WriteU8(0);
    }
    if (lineStyles && lineStyles->GetCount() > 0) {
        lineStyles->Write(stream);
        lineBits = SwfCountBits16(lineStyles->GetCount());
    } else {
        stream.WriteU8(0);
    }
    CheckCountBits(stream, fillBits);
    CheckCountBits(stream, lineBits);
    // Wider indices than the styles need, as a drawing may be laid down
    // with, are kept; narrower ones could not hold the styles.
    fillBits = std::max<int>(fillBits, std::min<int>(numFillBits, 15));
    lineBits = std::max<int>(lineBits, std::min<int>(numLineBits, 15));
    SetBits(uint8_t(std::min(fillBits, 15)), uint8_t(std::min(lineBits, 15)));
    CShape::Write(stream);
    return int(stream.GetPosition() - start);
}

int CShapeWithStyle::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    Clear();
    fillStyles = std::make_unique<CFillStyleArray>(alpha);
    fillStyles->Parse(reader);
    lineStyles = std::make_unique<CLineStyleArray>(alpha);
    lineStyles->Parse(reader);
    CShape::Parse(reader);
    return SwfConsumed(reader, start);
}

// ---- shape tags

int CTagDefineShape::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteU16(characterId);
    CSwfRect none;
    (bounds ? *bounds : none).Write(body);
    CShapeWithStyle empty;
    CShapeWithStyle& s = shape ? *shape : empty;
    // Colours take the tag's form: RGBA only in DefineShape3.
    s.SetAlpha(GetTagCode() == swf_tag::kDefineShape3 ? 1 : 0);
    s.Write(body);
    body.FlushBits();
    return WriteWithBody(stream, body);
}

int CTagDefineShape::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    Clear();
    characterId = reader.ReadU16();
    bounds = std::make_unique<CSwfRect>();
    bounds->Parse(reader);
    shape = std::make_unique<CShapeWithStyle>();
    shape->alpha = GetTagCode() == swf_tag::kDefineShape3 ? 1 : 0;
    shape->Parse(reader);
    return SwfConsumed(reader, start);
}

void CTagDefineShape::OffsetIds(int idDelta, int, int)
{
    characterId = SwfOffsetId(characterId, idDelta);
    if (!shape) return;
    if (shape->fillStyles) shape->fillStyles->OffsetBitmapIds(idDelta);
    shape->OffsetBitmapIds(idDelta);
}

void CTagDefineShape::Clear()
{
    bounds.reset();
    shape.reset();
}

void CTagDefineShape::CopyFrom(const CTagDefineShape& other)
{
    if (&other == this) return;
    Clear();
    characterId = other.characterId;
    if (other.bounds) bounds = std::make_unique<CSwfRect>(*other.bounds);
    if (other.shape) shape = std::make_unique<CShapeWithStyle>(*other.shape);
}

void CTagDefineShape::BuildRect(int32_t x, int32_t y, int32_t width, int32_t height,
                                std::unique_ptr<CFillStyle> fillStyle, std::unique_ptr<CLineStyle> lineStyle)
{
    bounds = std::make_unique<CSwfRect>();
    bounds->Set(x, y, x + width, y + height, false);
    shape = std::make_unique<CShapeWithStyle>();
    const bool fill = fillStyle != nullptr, line = lineStyle != nullptr;
    if (fill) {
        shape->fillStyles = std::make_unique<CFillStyleArray>();
        shape->fillStyles->Append(std::move(fillStyle));
    }
    if (line) {
        shape->lineStyles = std::make_unique<CLineStyleArray>();
        shape->lineStyles->Append(std::move(lineStyle));
    }
    CShapeRecordStyleChange* move = shape->AddMoveTo(x, y);
    if (fill) move->fillStyle1 = 1;
    if (line) move->lineStyle = 1;
    uint32_t flags = swf_shape::kMoveTo;
    if (fill) flags |= swf_shape::kFillStyle1;
    if (line) flags |= swf_shape::kLineStyle;
    move->SetFlags(flags);
    shape->AddHorizontalLine(width);
    shape->AddVerticalLine(height);
    shape->AddHorizontalLine(-width);
    shape->AddVerticalLine(-height);
    shape->AddEnd();
}
