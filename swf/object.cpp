#include "swf/object.h"

#include <algorithm>

#include "swf/reader_primitives.h"
#include "swf/stream.h"
#include "swf/tag_body.h"

namespace {
uint16_t g_maxParsedId = 0;
}

int CSwfObject::Parse(CSwfReader&) { return 0; }
int CSwfObject::Write(CSwfStream&) { return 0; }

void CSwfTag::OffsetIds(int, int, int) {}

void CSwfTag::ResetParsedIdRange() { g_maxParsedId = 0; }
uint16_t CSwfTag::GetMaxParsedId() { return g_maxParsedId; }
void CSwfTag::NoteParsedId(uint16_t id) { g_maxParsedId = std::max(g_maxParsedId, id); }

int CSwfTag::WriteWithBody(CSwfStream& out, CSwfStream& body, bool forceLong) const
{
    const uint32_t start = out.GetPosition();
    const std::vector<uint8_t>& bytes = body.GetBuffer();
    out.WriteTagHeader(*this, static_cast<uint32_t>(bytes.size()), forceLong);
    out.AppendStream(body);
    return static_cast<int>(out.GetPosition() - start);
}

int CSwfTag::WriteU16Fields(CSwfStream& out, std::initializer_list<uint16_t> fields) const
{
    CSwfStream body(4);
    for (uint16_t f : fields) body.WriteU16(f);
    return WriteWithBody(out, body);
}

int CTagRaw::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    data.clear();
    // Never trust the announced length beyond the bytes actually present.
    data.reserve(std::min<uint64_t>(length, reader.GetRemaining()));
    for (uint32_t i = 0; i < length && reader.GetRemaining() > 0; ++i) data.push_back(reader.ReadU8());
    return static_cast<int>(reader.GetPosition() - start);
}

int CTagRaw::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.AppendBytes(data);
    return WriteWithBody(stream, body);
}

bool CTagRaw::DefinesLeadingId(int code)
{
    switch (code) {
    case 75:  // DefineFont3
    case 83:  // DefineShape4
    case 84:  // DefineMorphShape2
    case 87:  // DefineBinaryData
    case 90:  // DefineBitsJPEG4
    case 91:  // DefineFont4
        return true;
    default:
        return false;
    }
}

bool CTagRaw::RefersByLeadingId(int code)
{
    return code == 73 /* DefineFontAlignZones */ || code == 78 /* DefineScalingGrid */ ||
           code == 88 /* DefineFontName */;
}

void CTagRaw::OffsetIds(int idDelta, int, int)
{
    if (data.size() < 2 || !(DefinesLeadingId(code) || RefersByLeadingId(code))) return;
    const uint16_t id = SwfOffsetId(uint16_t(data[0] | data[1] << 8), idDelta);
    data[0] = uint8_t(id);
    data[1] = uint8_t(id >> 8);
}
