#include "swf/morph.h"

#include <algorithm>

#include "swf/reader_primitives.h"
#include "swf/stream.h"
#include "swf/tag_body.h"

namespace {

std::unique_ptr<CSwfRGBA> ParseColor(CSwfReader& reader)
{
    auto colour = std::make_unique<CSwfRGBA>(0, 0, 0, 255);
    colour->Parse(reader);
    return colour;
}

// A missing colour or matrix would shift every later field; neutral values stand in.
void WriteColor(CSwfStream& stream, CSwfRGBA* colour)
{
    CSwfRGBA black(0, 0, 0, 255);
    (colour ? *colour : black).Write(stream);
}

void WriteMatrix(CSwfStream& stream, CSwfMatrix* matrix)
{
    CSwfMatrix identity;
    identity.SetIdentity();
    (matrix ? *matrix : identity).Write(stream);
    stream.FlushBits();
}

std::unique_ptr<CSwfMatrix> ParseMatrix(CSwfReader& reader)
{
    auto matrix = std::make_unique<CSwfMatrix>();
    matrix->Parse(reader);
    reader.AlignToByte();
    return matrix;
}

void WriteRect(CSwfStream& stream, CSwfRect* rect)
{
    CSwfRect none;
    (rect ? *rect : none).Write(stream);
    stream.FlushBits();
}

template <class Object>
void WriteOrEmpty(CSwfStream& stream, Object* object)
{
    Object empty;
    (object ? *object : empty).Write(stream);
    stream.FlushBits();
}

}  // namespace

int CMorphGradRecord::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    stream.WriteU8(startRatio);
    WriteColor(stream, startColor.get());
    stream.WriteU8(endRatio);
    WriteColor(stream, endColor.get());
    return int(stream.GetPosition() - start);
}

int CMorphGradRecord::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    startRatio = reader.ReadU8();
    startColor = ParseColor(reader);
    endRatio = reader.ReadU8();
    endColor = ParseColor(reader);
    return SwfConsumed(reader, start);
}

int CMorphGradient::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    size_t count = records.size();
    if (count > 255) {
        stream.Fail("morph gradient holds more than 255 records");
        count = 255;
    }
    stream.WriteU8(uint8_t(count));
    for (size_t i = 0; i < count; ++i) records[i]->Write(stream);
    return int(stream.GetPosition() - start);
}

int CMorphGradient::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    records.clear();
    const uint8_t count = reader.ReadU8();
    for (int i = 0; i < count && reader.GetRemaining() > 0; ++i) {
        auto record = std::make_unique<CMorphGradRecord>();
        record->Parse(reader);
        records.push_back(std::move(record));
    }
    return SwfConsumed(reader, start);
}

int CMorphFillStyle::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    stream.WriteU8(type);
    if (type == swf_fill::kSolid) {
        WriteColor(stream, startColor.get());
        WriteColor(stream, endColor.get());
    } else if (swf_fill::IsGradient(type)) {
        WriteMatrix(stream, startMatrix.get());
        WriteMatrix(stream, endMatrix.get());
        WriteOrEmpty(stream, gradient.get());
    } else if (swf_fill::IsBitmap(type)) {
        stream.WriteU16(bitmapId);
        WriteMatrix(stream, startMatrix.get());
        WriteMatrix(stream, endMatrix.get());
    }
    return int(stream.GetPosition() - start);
}

int CMorphFillStyle::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    type = reader.ReadU8();
    if (type == swf_fill::kSolid) {
        startColor = ParseColor(reader);
        endColor = ParseColor(reader);
    } else if (swf_fill::IsGradient(type)) {
        startMatrix = ParseMatrix(reader);
        endMatrix = ParseMatrix(reader);
        gradient = std::make_unique<CMorphGradient>();
        gradient->Parse(reader);
        reader.AlignToByte();
    } else if (swf_fill::IsBitmap(type)) {
        bitmapId = reader.ReadU16();
        startMatrix = ParseMatrix(reader);
        endMatrix = ParseMatrix(reader);
    }
    return SwfConsumed(reader, start);
}

int CMorphLineStyle::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    stream.WriteU16(startWidth);
    stream.WriteU16(endWidth);
    WriteColor(stream, startColor.get());
    WriteColor(stream, endColor.get());
    return int(stream.GetPosition() - start);
}

int CMorphLineStyle::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    startWidth = reader.ReadU16();
    endWidth = reader.ReadU16();
    startColor = ParseColor(reader);
    endColor = ParseColor(reader);
    return SwfConsumed(reader, start);
}

template <class Style>
int CMorphStyleArray<Style>::Write(CSwfStream& stream)
{
    return SwfWriteStyleList(stream, styles);
}

template <class Style>
int CMorphStyleArray<Style>::Parse(CSwfReader& reader)
{
    return SwfParseStyleList(reader, styles, [] { return std::make_unique<Style>(); });
}

template class CMorphStyleArray<CMorphFillStyle>;
template class CMorphStyleArray<CMorphLineStyle>;

int CTagDefineMorphShape::Write(CSwfStream& stream)
{
    CSwfStream head(4);
    head.WriteU16(characterId);
    WriteRect(head, startBounds.get());
    WriteRect(head, endBounds.get());

    CSwfStream styles(4);
    WriteOrEmpty(styles, fillStyles.get());
    WriteOrEmpty(styles, lineStyles.get());
    if (startEdges) startEdges->alpha = 1;
    WriteOrEmpty(styles, startEdges.get());

    head.WriteU32(styles.GetSize());
    head.AppendStream(styles);
    if (endEdges) endEdges->alpha = 1;
    WriteOrEmpty(head, endEdges.get());
    return WriteWithBody(stream, head);
}

int CTagDefineMorphShape::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint64_t tagEnd = SwfBodyEnd(reader, start);
    Clear();
    characterId = reader.ReadU16();
    startBounds = std::make_unique<CSwfRect>();
    startBounds->Parse(reader);
    reader.AlignToByte();
    endBounds = std::make_unique<CSwfRect>();
    endBounds->Parse(reader);
    reader.AlignToByte();
    offset = reader.ReadU32();
    const uint64_t endEdgesAt = uint64_t(reader.GetPosition()) + offset;
    fillStyles = std::make_unique<CMorphFillStyleArray>();
    fillStyles->Parse(reader);
    lineStyles = std::make_unique<CMorphLineStyleArray>();
    lineStyles->Parse(reader);
    startEdges = std::make_unique<CShape>();
    startEdges->alpha = 1;
    startEdges->Parse(reader);
    reader.AlignToByte();
    // The offset is the writer's word on where the end edges begin; trust it
    // only inside the tag.
    if (endEdgesAt != reader.GetPosition() && endEdgesAt <= tagEnd) reader.Seek(uint32_t(endEdgesAt));
    endEdges = std::make_unique<CShape>();
    endEdges->alpha = 1;
    endEdges->Parse(reader);
    return SwfConsumed(reader, start);
}

void CTagDefineMorphShape::OffsetIds(int idDelta, int, int)
{
    characterId = SwfOffsetId(characterId, idDelta);
    if (fillStyles)
        for (auto& s : fillStyles->styles)
            if (swf_fill::IsBitmap(s->type) && s->bitmapId != kSwfNoBitmapId)
                s->bitmapId = SwfOffsetId(s->bitmapId, idDelta);
    if (startEdges) startEdges->OffsetBitmapIds(idDelta);
    if (endEdges) endEdges->OffsetBitmapIds(idDelta);
}

void CTagDefineMorphShape::Clear()
{
    startEdges.reset();
    endEdges.reset();
    startBounds.reset();
    endBounds.reset();
    fillStyles.reset();
    lineStyles.reset();
}
