#include "swf/sounds.h"

#include <algorithm>

#include "swf/reader_primitives.h"
#include "swf/stream.h"
#include "swf/tag_body.h"

namespace {

void SetField(uint8_t& byte, int value, int shift, int width)
{
    const uint8_t mask = uint8_t(((1u << width) - 1u) << shift);
    byte = uint8_t((byte & ~mask) | ((uint32_t(value) << shift) & mask));
}

}  // namespace

void SwfSetSoundFormat(uint8_t& formatByte, int format) { SetField(formatByte, format, 4, 4); }
void SwfSetSoundRate(uint8_t& formatByte, int rate) { SetField(formatByte, rate, 2, 2); }
void SwfSetSoundSize(uint8_t& formatByte, int size) { SetField(formatByte, size, 1, 1); }
void SwfSetSoundType(uint8_t& formatByte, int type) { SetField(formatByte, type, 0, 1); }

// --- CSwfSoundInfo ---

void CSwfSoundInfo::Clear()
{
    flags = 0;
    inPoint = 0;
    outPoint = 0;
    loopCount = 0;
    envelope.clear();
}

void CSwfSoundInfo::SetSyncNoMultiple(bool on) { flags = on ? (flags | kSyncNoMultiple) : (flags & ~kSyncNoMultiple); }
void CSwfSoundInfo::SetHasLoops(bool on) { flags = on ? (flags | kHasLoops) : (flags & ~kHasLoops); }

int CSwfSoundInfo::Write(CSwfStream& stream) const
{
    const uint32_t start = stream.GetPosition();
    stream.WriteU8(flags);
    if (HasInPoint()) stream.WriteU32(inPoint);
    if (HasOutPoint()) stream.WriteU32(outPoint);
    if (HasLoops()) stream.WriteU16(loopCount);
    if (HasEnvelope()) {
        size_t count = envelope.size();
        if (count > kMaxEnvelopePoints) {
            stream.Fail("sound envelope has more than 255 points");
            count = kMaxEnvelopePoints;
        }
        stream.WriteU8(uint8_t(count));
        for (size_t i = 0; i < count; ++i) {
            stream.WriteU32(envelope[i].position);
            stream.WriteU16(envelope[i].leftLevel);
            stream.WriteU16(envelope[i].rightLevel);
        }
    }
    return static_cast<int>(stream.GetPosition() - start);
}

int CSwfSoundInfo::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    Clear();
    flags = reader.ReadU8();
    if (HasInPoint()) inPoint = reader.ReadU32();
    if (HasOutPoint()) outPoint = reader.ReadU32();
    if (HasLoops()) loopCount = reader.ReadU16();
    if (HasEnvelope()) {
        const int count = reader.ReadU8();
        for (int i = 0; i < count && reader.GetRemaining() > 0; ++i) {
            EnvelopePoint p;
            p.position = reader.ReadU32();
            p.leftLevel = reader.ReadU16();
            p.rightLevel = reader.ReadU16();
            envelope.push_back(p);
        }
    }
    return SwfConsumed(reader, start);
}

// --- CTagDefineSound ---

bool CTagDefineSound::WriteHead(CSwfStream& stream)
{
    const uint64_t bodyLength = uint64_t(data.size()) + 7;
    if (!SwfWriteLargeTagHeader(stream, *this, bodyLength, false)) return false;
    stream.WriteU16(characterId);
    stream.WriteU8(formatByte);
    stream.WriteU32(sampleCount);
    return true;
}

int CTagDefineSound::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    stream.Reserve(size_t(stream.GetSize()) + data.size() + 12);
    if (!WriteHead(stream)) return 0;
    stream.AppendBytes(data);
    return static_cast<int>(stream.GetPosition() - start);
}

int CTagDefineSound::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint32_t length = reader.GetTagLength();
    characterId = reader.ReadU16();
    formatByte = reader.ReadU8();
    sampleCount = reader.ReadU32();
    data.clear();
    if (length > 7) SwfReadBytes(reader, length - 7, data);
    return SwfConsumed(reader, start);
}

void CTagDefineSound::OffsetIds(int idDelta, int, int) { characterId = SwfOffsetId(characterId, idDelta); }

// --- CTagStartSound ---

int CTagStartSound::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteU16(soundId);
    info.Write(body);
    return WriteWithBody(stream, body);
}

int CTagStartSound::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    soundId = reader.ReadU16();
    info.Parse(reader);
    return SwfConsumed(reader, start);
}

void CTagStartSound::OffsetIds(int idDelta, int, int) { soundId = SwfOffsetId(soundId, idDelta); }

// --- CTagSoundStreamHead ---

int CTagSoundStreamHead::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    const bool mp3 = IsMp3();
    stream.WriteTagHeader(*this, mp3 ? 6 : 4, false);
    stream.WriteU8(playbackByte & 0x0F);
    stream.WriteU8(streamByte);
    stream.WriteU16(sampleCount);
    if (mp3) stream.WriteS16(latencySeek);
    return static_cast<int>(stream.GetPosition() - start);
}

int CTagSoundStreamHead::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint32_t length = reader.GetTagLength();
    playbackByte = reader.ReadU8();
    streamByte = reader.ReadU8();
    sampleCount = reader.ReadU16();
    // Older writers left the latency seek out of MP3 heads; read it only when
    // the body holds it.
    latencySeek = (IsMp3() && length >= 6) ? static_cast<int16_t>(reader.ReadU16()) : 0;
    return SwfConsumed(reader, start);
}

void CTagSoundStreamHead::OffsetIds(int idDelta, int, int) { characterId = SwfOffsetId(characterId, idDelta); }

// --- CTagSoundStreamBlock ---

int CTagSoundStreamBlock::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    if (!SwfWriteLargeTagHeader(stream, *this, data.size(), false)) return 0;
    stream.Reserve(size_t(stream.GetSize()) + data.size());
    stream.AppendBytes(data);
    return static_cast<int>(stream.GetPosition() - start);
}

int CTagSoundStreamBlock::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    data.clear();
    SwfReadBytes(reader, reader.GetTagLength(), data);
    return SwfConsumed(reader, start);
}
