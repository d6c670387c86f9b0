#pragma once
// A whole WAVE file in memory, with its format and its sample data found.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "foundation/path.h"

class CWaveFile {
public:
    CWaveFile() = default;
    ~CWaveFile() { Free(); }
    CWaveFile(const CWaveFile&) = delete;
    CWaveFile& operator=(const CWaveFile&) = delete;

    // false when the file cannot be read or is no RIFF file with "fmt " and
    // "data" inside it.
    bool Load(const CPath& path);
    // The same from bytes in memory (copied).
    bool LoadFromMemory(const uint8_t* bytes, size_t size);

    uint32_t fileSize = 0;
    uint32_t dataLength = 0;  // never more than the bytes after data
    uint8_t* buffer = nullptr;
    uint8_t* data = nullptr;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;

private:
    void Free();
    bool Parse();
};
