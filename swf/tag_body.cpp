#include "swf/tag_body.h"

#include <algorithm>

#include "swf/object.h"
#include "swf/reader_primitives.h"
#include "swf/stream.h"

void SwfReadBytes(CSwfReader& reader, uint64_t count, std::vector<uint8_t>& out)
{
    reader.AlignToByte();
    const uint64_t n = std::min<uint64_t>(count, reader.GetRemaining());
    out.reserve(out.size() + n);
    for (uint64_t i = 0; i < n; ++i) out.push_back(reader.ReadU8());
}

uint64_t SwfBodyLeft(const CSwfReader& reader, uint32_t start, uint64_t bodyLength)
{
    const uint64_t consumed = uint64_t(reader.GetPosition()) - std::min(start, reader.GetPosition());
    return consumed >= bodyLength ? 0 : bodyLength - consumed;
}

bool SwfWriteLargeTagHeader(CSwfStream& stream, const CSwfTag& tag, uint64_t bodyLength, bool forceLong)
{
    if (bodyLength > UINT32_MAX) {
        stream.Fail("tag body longer than a SWF tag can hold");
        return false;
    }
    stream.WriteTagHeader(tag, static_cast<uint32_t>(bodyLength), forceLong);
    return true;
}

int SwfConsumed(const CSwfReader& reader, uint32_t start) { return static_cast<int>(reader.GetPosition() - start); }

uint16_t SwfOffsetId(uint16_t id, int delta) { return SwfClampU16(int64_t(id) + delta); }

uint64_t SwfBodyEnd(const CSwfReader& reader, uint32_t start)
{
    // A length from the file never reaches past the data that is there.
    const uint64_t end = uint64_t(start) + (reader.GetTagLength() ? reader.GetTagLength() : reader.GetRemaining());
    return std::min(end, reader.GetDataEnd());
}

uint64_t SwfLeftInBody(const CSwfReader& reader, uint64_t end)
{
    const uint64_t left = end > reader.GetPosition() ? end - reader.GetPosition() : 0;
    return std::min(left, reader.GetRemaining());
}
