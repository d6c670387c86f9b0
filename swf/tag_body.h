#pragma once
// Limits of the tag body being parsed, for tags whose fields run to the end
// of the body or whose tables point into it.
#include <cstdint>

#include "swf/reader_primitives.h"

// End of the body that starts at start; a reader without a tag length reads to its end.
inline uint64_t SwfBodyEnd(const CSwfReader& reader, uint32_t start)
{
    return uint64_t(start) + (reader.GetTagLength() ? reader.GetTagLength() : reader.GetRemaining());
}

// Bytes left before the end of the body.
inline uint64_t SwfLeftInBody(const CSwfReader& reader, uint64_t end)
{
    return end > reader.GetPosition() ? end - reader.GetPosition() : 0;
}
