#include "media/wave_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

uint16_t Le16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Offset of the first "id" from byte 12 on whose following need bytes lie
// inside the buffer; -1 when there is none.
long FindId(const uint8_t* buffer, size_t size, const char* id, size_t need)
{
    for (size_t at = 12; at + 4 + need <= size; ++at)
        if (std::memcmp(buffer + at, id, 4) == 0) return long(at);
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
    const long fmt = FindId(buffer, size, "fmt ", 20);
    if (fmt < 0) return false;
    const uint8_t* f = buffer + fmt + 4;
    channels = Le16(f + 6);
    sampleRate = Le32(f + 8);
    bitsPerSample = Le16(f + 18);
    const long found = FindId(buffer, size, "data", 4);
    if (found < 0) return false;
    const size_t start = size_t(found) + 8;
    // The length field may promise more than the file holds.
    const uint32_t announced = Le32(buffer + found + 4);
    dataLength = uint32_t(std::min<size_t>(announced, size - start));
    data = buffer + start;
    return true;
}
