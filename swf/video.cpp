#include "swf/video.h"

#include "swf/reader_primitives.h"
#include "swf/stream.h"
#include "swf/tag_body.h"

int CTagDefineVideoStream::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteU16(characterId);
    body.WriteU16(static_cast<uint16_t>(numFrames));
    body.WriteU16(width);
    body.WriteU16(height);
    body.WriteU8(videoFlags);
    body.WriteU8(codecId);
    return WriteWithBody(stream, body);
}

int CTagDefineVideoStream::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    characterId = reader.ReadU16();
    numFrames = reader.ReadU16();
    width = reader.ReadU16();
    height = reader.ReadU16();
    videoFlags = reader.ReadU8();
    codecId = reader.ReadU8();
    return SwfConsumed(reader, start);
}

void CTagDefineVideoStream::OffsetIds(int idDelta, int, int) { characterId = SwfOffsetId(characterId, idDelta); }

int CTagVideoFrame::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    if (!SwfWriteLargeTagHeader(stream, *this, uint64_t(data.size()) + 4, false)) return 0;
    stream.Reserve(size_t(stream.GetSize()) + data.size() + 4);
    stream.WriteU16(streamId);
    stream.WriteU16(frameNum);
    stream.AppendBytes(data);
    return static_cast<int>(stream.GetPosition() - start);
}

int CTagVideoFrame::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    if (length == 0) length = reader.GetTagLength();
    data.clear();
    streamId = reader.ReadU16();
    frameNum = reader.ReadU16();
    SwfReadBytes(reader, SwfBodyLeft(reader, start, length), data);
    return SwfConsumed(reader, start);
}

void CTagVideoFrame::OffsetIds(int idDelta, int, int) { streamId = SwfOffsetId(streamId, idDelta); }
