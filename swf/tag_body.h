#pragma once
// Helpers for tags that carry large opaque byte blocks (bitmaps, sounds,
// video): lengths from files are never trusted, and a body too long for the
// 32-bit tag length fails the stream instead of wrapping.
#include <cstdint>
#include <vector>

class CSwfReader;
class CSwfStream;
class CSwfTag;

// Appends up to count bytes to out, stopping at the end of the data.
void SwfReadBytes(CSwfReader& reader, uint64_t count, std::vector<uint8_t>& out);

// Bytes of a body of bodyLength bytes that begins at start and are still
// unread at the reader's position (0 when the position is past the body).
uint64_t SwfBodyLeft(const CSwfReader& reader, uint32_t start, uint64_t bodyLength);

// Writes the tag header for bodyLength; false (stream failed, nothing
// written) when the length cannot be represented.
bool SwfWriteLargeTagHeader(CSwfStream& stream, const CSwfTag& tag, uint64_t bodyLength, bool forceLong);

// Bytes a parse consumed since start.
int SwfConsumed(const CSwfReader& reader, uint32_t start);

// Renumbers a 16-bit id or depth; it saturates like the display-list tags,
// since a wrapped id would point at another character.
uint16_t SwfOffsetId(uint16_t id, int delta);

// End of the body that starts at start; a reader without a tag length reads to its end.
uint64_t SwfBodyEnd(const CSwfReader& reader, uint32_t start);

// Bytes left before the end of the body.
uint64_t SwfLeftInBody(const CSwfReader& reader, uint64_t end);
