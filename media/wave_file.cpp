#include "media/wave_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "av/sound_media.h"

namespace {

uint16_t Le16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Four printable characters, as chunk ids are.
bool IsChunkId(const uint8_t* p)
{
    return std::all_of(p, p + 4, [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

// Offset of the chunk "id" among the chunks from byte 12 on, whose header
// and the following need bytes lie inside the buffer; -1 when there is
// none. Chunks are walked by their sizes, so bytes inside one (a comment
// that says "data") are never taken for a chunk.
long FindChunk(const uint8_t* buffer, size_t size, const char* id, size_t need)
{
    size_t at = 12;
    while (at <= size && size - at >= 8) {
        if (std::memcmp(buffer + at, id, 4) == 0) return size - at - 4 >= need ? long(at) : -1;
        const uint64_t length = Le32(buffer + at + 4);
        uint64_t next = at + 8 + length;
        // Chunks start on even offsets, but some writers leave out the pad
        // byte after an odd-sized chunk: the next header tells.
        const bool unpadded = next + 9 <= size && IsChunkId(buffer + next) && !IsChunkId(buffer + next + 1);
        if ((length & 1) && !unpadded) ++next;
        if (next > size) return -1;
        at = size_t(next);
    }
    return -1;
}

}  // namespace

void CWaveFile::Free()
{
    std::free(buffer);
    buffer = nullptr;
    data = nullptr;
    fileSize = dataLength = 0;
}

bool CWaveFile::Load(const CPath& path)
{
    FILE* file = path.Fopen("rb");
    if (!file) return false;
    Free();
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    bool ok = size >= 0 && size <= long(UINT32_MAX) && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        buffer = static_cast<uint8_t*>(std::malloc(size_t(size) + 1));
        ok = buffer && std::fread(buffer, 1, size_t(size), file) == size_t(size);
    }
    std::fclose(file);
    if (!ok) {
        Free();
        return false;
    }
    fileSize = dataLength = uint32_t(size);
    data = buffer;
    return Parse();
}

bool CWaveFile::LoadFromMemory(const uint8_t* bytes, size_t size)
{
    Free();
    if (size > UINT32_MAX) return false;
    buffer = static_cast<uint8_t*>(std::malloc(size + 1));
    if (!buffer) return false;
    if (size) std::memcpy(buffer, bytes, size);
    fileSize = dataLength = uint32_t(size);
    data = buffer;
    return Parse();
}

bool CWaveFile::Parse()
{
    const size_t size = fileSize;
    if (size < 4 || std::memcmp(buffer, "RIFF", 4) != 0) return false;
    // chunk size 4, format tag 2, channels 2, rate 4, byte rate 4, block align 2, bits 2
    const long fmt = FindChunk(buffer, size, "fmt ", 20);
    if (fmt < 0) return false;
    const uint8_t* f = buffer + fmt + 4;
    channels = Le16(f + 6);
    sampleRate = Le32(f + 8);
    bitsPerSample = Le16(f + 18);
    // A header no sound has is refused as the sound readers refuse it; a
    // sample size is stated by PCM and float data (tags 1 and 3) only.
    const uint16_t tag = Le16(f + 4);
    if (!platform::SoundFormatFault(sampleRate, channels, tag == 1 || tag == 3 ? bitsPerSample : -1).empty())
        return false;
    const long found = FindChunk(buffer, size, "data", 4);
    if (found < 0) return false;
    const size_t start = size_t(found) + 8;
    // The length field may promise more than the file holds, or nothing.
    const uint32_t announced = Le32(buffer + found + 4);
    dataLength = uint32_t(platform::SizeClaimsNothing(announced) ? size - start
                                                                 : std::min<size_t>(announced, size - start));
    data = buffer + start;
    return true;
}
