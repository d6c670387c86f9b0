#include "swf/reader_primitives.h"

#include <algorithm>
#include <cctype>

#include "swf/stream.h"

void CSwfReader::Reset()
{
    data.clear();
    position = 0;
    bitPosition = 0;
    tagLength = 0;
    hasAbsolutePaths = false;
    limit = UINT64_MAX;
    ResetLoadState();
}

bool CSwfReader::LoadStream(CSwfStream& stream)
{
    return LoadBytes(stream.GetBuffer(), stream.GetVersion());
}

bool CSwfReader::LoadBytes(const std::vector<uint8_t>& bytes, uint8_t version)
{
    Reset();
    data = bytes;
    movieVersion = version;
    return true;
}

void CSwfReader::Seek(uint32_t pos) { position = pos; }

void CSwfReader::Skip(int count)
{
    const int64_t next = int64_t(position) + count;
    position = next < 0 ? 0 : next > UINT32_MAX ? UINT32_MAX : uint32_t(next);
}

void CSwfReader::AlignToByte()
{
    if (bitPosition > 0) {
        bitPosition = 0;
        ++position;
    }
}

uint64_t CSwfReader::GetDataEnd() const { return std::min<uint64_t>(data.size(), limit); }

uint64_t CSwfReader::GetRemaining() const
{
    const uint64_t end = GetDataEnd();
    return position < end ? end - position : 0;
}

uint32_t CSwfReader::ReadBits(int count, bool isSigned)
{
    if (count <= 0) return 0;
    // A byte's worth of bits at a time: shapes and matrices are mostly bit
    // fields, so this is the reader's hottest loop. Past the end, bits read 0.
    const uint64_t end = std::min<uint64_t>(data.size(), limit);
    uint32_t result = 0;
    for (int left = count; left > 0;) {
        if (bitPosition == 8) {
            bitPosition = 0;
            ++position;
        }
        const int take = std::min(left, 8 - bitPosition);
        const uint32_t byte = position < end ? data[position] : 0;
        result = (result << take) | ((byte >> (8 - bitPosition - take)) & ((1u << take) - 1));
        bitPosition += take;
        left -= take;
    }
    if (isSigned && count < 32 && (result >> (count - 1)) & 1u) result |= ~uint32_t(0) << count;
    return result;
}

uint8_t CSwfReader::PeekU8()
{
    const uint64_t at = uint64_t(position) + (bitPosition > 0 ? 1 : 0);
    return at < GetDataEnd() ? data[at] : 0;
}

// The file reader has fixed-size reads of its own, so these use this
// reader's bounds directly rather than through the virtual calls.
uint8_t CSwfReader::ReadU8()
{
    CSwfReader::AlignToByte();
    if (position >= CSwfReader::GetDataEnd()) return 0;
    return data[position++];
}

uint16_t CSwfReader::ReadU16()
{
    CSwfReader::AlignToByte();
    if (CSwfReader::GetRemaining() < 2) return 0;
    const uint16_t v = uint16_t(data[position] | (data[position + 1] << 8));
    position += 2;
    return v;
}

uint32_t CSwfReader::ReadU32()
{
    CSwfReader::AlignToByte();
    if (CSwfReader::GetRemaining() < 4) return 0;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | data[position + i];
    position += 4;
    return v;
}

void CSwfReader::ReadString(std::string& out, uint32_t count, bool markAbsolute)
{
    out.clear();
    AlignToByte();
    if (count == 0) {
        while (GetRemaining() > 0) {
            const uint8_t c = ReadU8();
            if (c == 0) break;
            out.push_back(char(c));
        }
    } else {
        for (uint32_t i = 0; i < count && GetRemaining() > 0; ++i) out.push_back(char(ReadU8()));
    }
    if (markAbsolute && !out.empty()) {
        bool rootPrefix = out.size() > 4;
        static const char kRoot[] = "_root";
        for (size_t i = 0; rootPrefix && i < 5; ++i)
            rootPrefix = i < out.size() && std::tolower(static_cast<unsigned char>(out[i])) == kRoot[i];
        if (out[0] == '/' || rootPrefix) hasAbsolutePaths = true;
    }
    if (!out.empty() && out.back() == '\0') out.pop_back();
}

bool CSwfReader::ReadTagHeader(int& code, uint32_t& length)
{
    AlignToByte();
    if (GetRemaining() < 2) {
        code = 0;
        length = 0;
        tagLength = 0;
        return false;
    }
    const uint16_t word = ReadU16();
    code = word >> 6;
    length = word & 0x3F;
    if (length == 0x3F) length = ReadU32();
    tagLength = length;
    return true;
}

uint8_t SwfCountBits16(uint16_t value)
{
    uint8_t n = 0;
    while (value) {
        ++n;
        value >>= 1;
    }
    return n;
}
