#include "swf/bitmaps.h"

#include <algorithm>

#include "swf/reader_primitives.h"
#include "swf/stream.h"
#include "swf/tag_body.h"

namespace {

// The length a bitmap parse works with: the one the tag was given, else the
// length of the tag header the reader has just read.
uint32_t BodyLength(uint32_t given, const CSwfReader& reader) { return given ? given : reader.GetTagLength(); }

// Reads JPEG bytes until `markers` end-of-image pairs (0xFF 0xD9) have been
// read, the pairs included. The byte after each 0xFF is taken with it and is
// not itself the start of a pair. Stops at the end of the data.
void ReadUntilEndOfImage(CSwfReader& reader, int markers, std::vector<uint8_t>& out)
{
    int seen = 0;
    while (seen < markers && reader.GetRemaining() > 0) {
        const uint8_t b = reader.ReadU8();
        out.push_back(b);
        if (b != 0xFF || reader.GetRemaining() == 0) continue;
        const uint8_t next = reader.ReadU8();
        out.push_back(next);
        if (next == 0xD9) ++seen;
    }
}

// id (u16) followed by the data block: DefineBits and DefineBitsJPEG2.
int WriteIdAndData(CSwfStream& stream, const CSwfTag& tag, uint16_t id, const std::vector<uint8_t>& data)
{
    const uint32_t start = stream.GetPosition();
    if (!SwfWriteLargeTagHeader(stream, tag, uint64_t(data.size()) + 2, false)) return 0;
    stream.Reserve(size_t(stream.GetSize()) + data.size() + 2);
    stream.WriteU16(id);
    stream.AppendBytes(data);
    return static_cast<int>(stream.GetPosition() - start);
}

int ParseIdAndData(CSwfReader& reader, uint32_t bodyLength, int markers, uint16_t& id, std::vector<uint8_t>& data)
{
    const uint32_t start = reader.GetPosition();
    data.clear();
    id = reader.ReadU16();
    if (bodyLength == 0)
        ReadUntilEndOfImage(reader, markers, data);
    else if (bodyLength > 2)
        SwfReadBytes(reader, bodyLength - 2, data);
    return SwfConsumed(reader, start);
}

}  // namespace

// --- CTagDefineBits ---

int CTagDefineBits::Write(CSwfStream& stream) { return WriteIdAndData(stream, *this, characterId, data); }

int CTagDefineBits::Parse(CSwfReader& reader)
{
    return ParseIdAndData(reader, BodyLength(bodyLength, reader), 1, characterId, data);
}

void CTagDefineBits::OffsetIds(int idDelta, int, int) { characterId = SwfOffsetId(characterId, idDelta); }

void CTagDefineBits::CopyFrom(const CTagDefineBits& other)
{
    if (&other == this) return;
    characterId = other.characterId;
    data = other.data;
}

void CTagDefineBits::SetData(uint16_t id, const std::vector<uint8_t>& bytes)
{
    characterId = id;
    data = bytes;
}

// --- CTagJPEGTables ---

int CTagJPEGTables::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    if (!SwfWriteLargeTagHeader(stream, *this, data.size(), false)) return 0;
    stream.AppendBytes(data);
    return static_cast<int>(stream.GetPosition() - start);
}

int CTagJPEGTables::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    data.clear();
    SwfReadBytes(reader, BodyLength(bodyLength, reader), data);
    return SwfConsumed(reader, start);
}

// --- CTagDefineBitsJPEG2 ---

CTagDefineBitsJPEG2::CTagDefineBitsJPEG2(uint16_t id, const uint8_t* bytes, size_t length)
{
    characterId = id;
    if (bytes && length) data.assign(bytes, bytes + length);
}

int CTagDefineBitsJPEG2::Write(CSwfStream& stream) { return WriteIdAndData(stream, *this, characterId, data); }

int CTagDefineBitsJPEG2::Parse(CSwfReader& reader)
{
    return ParseIdAndData(reader, BodyLength(bodyLength, reader), 2, characterId, data);
}

void CTagDefineBitsJPEG2::OffsetIds(int idDelta, int, int) { characterId = SwfOffsetId(characterId, idDelta); }

void CTagDefineBitsJPEG2::SetData(uint16_t id, const std::vector<uint8_t>& bytes)
{
    characterId = id;
    data = bytes;
}

// --- CTagDefineBitsJPEG3 ---

CTagDefineBitsJPEG3::CTagDefineBitsJPEG3(uint16_t id, const uint8_t* jpegBytes, size_t jpegLength,
                                         const uint8_t* alphaBytes, size_t alphaLength)
    : CTagDefineBitsJPEG2(id, jpegBytes, jpegLength)
{
    alphaDataOffset = static_cast<uint32_t>(data.size());
    if (alphaBytes && alphaLength) alphaData.assign(alphaBytes, alphaBytes + alphaLength);
}

void CTagDefineBitsJPEG3::SetData(uint16_t id, const std::vector<uint8_t>& bytes)
{
    CTagDefineBitsJPEG2::SetData(id, bytes);
    alphaDataOffset = static_cast<uint32_t>(data.size());
}

int CTagDefineBitsJPEG3::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    if (data.size() > UINT32_MAX) {
        stream.Fail("JPEG data longer than a SWF tag can hold");
        return 0;
    }
    const uint64_t bodyLength = 6 + uint64_t(data.size()) + alphaData.size();
    if (!SwfWriteLargeTagHeader(stream, *this, bodyLength, false)) return 0;
    alphaDataOffset = static_cast<uint32_t>(data.size());
    stream.Reserve(size_t(stream.GetSize()) + size_t(bodyLength));
    stream.WriteU16(characterId);
    stream.WriteU32(alphaDataOffset);
    stream.AppendBytes(data);
    stream.AppendBytes(alphaData);
    return static_cast<int>(stream.GetPosition() - start);
}

int CTagDefineBitsJPEG3::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint64_t length = BodyLength(bodyLength, reader);
    data.clear();
    alphaData.clear();
    characterId = reader.ReadU16();
    alphaDataOffset = reader.ReadU32();
    // An offset pointing past the body is cut to the body, never trusted.
    SwfReadBytes(reader, std::min<uint64_t>(alphaDataOffset, SwfBodyLeft(reader, start, length)), data);
    SwfReadBytes(reader, SwfBodyLeft(reader, start, length), alphaData);
    return SwfConsumed(reader, start);
}

// --- CTagDefineBitsLossless ---

void CTagDefineBitsLossless::ClearData()
{
    data.clear();
    colorTableSize = 0;
}

void CTagDefineBitsLossless::SetData(const uint8_t* bytes, size_t length)
{
    data.clear();
    if (bytes && length) data.assign(bytes, bytes + length);
}

int CTagDefineBitsLossless::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    const uint64_t bodyLength = 7 + (HasColorTable() ? 1 : 0) + uint64_t(data.size());
    if (!SwfWriteLargeTagHeader(stream, *this, bodyLength, true)) return 0;
    stream.Reserve(size_t(stream.GetSize()) + size_t(bodyLength));
    stream.WriteU16(characterId);
    stream.WriteU8(format);
    stream.WriteU16(width);
    stream.WriteU16(height);
    if (HasColorTable()) stream.WriteU8(colorTableSize);
    stream.AppendBytes(data);
    return static_cast<int>(stream.GetPosition() - start);
}

int CTagDefineBitsLossless::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint32_t length = reader.GetTagLength();
    data.clear();
    characterId = reader.ReadU16();
    format = reader.ReadU8();
    width = reader.ReadU16();
    height = reader.ReadU16();
    colorTableSize = HasColorTable() ? reader.ReadU8() : 0;
    SwfReadBytes(reader, SwfBodyLeft(reader, start, length), data);
    return SwfConsumed(reader, start);
}

void CTagDefineBitsLossless::OffsetIds(int idDelta, int, int) { characterId = SwfOffsetId(characterId, idDelta); }
