// libFuzzer targets of the media readers, one per binary (chosen by
// TAVREL_MEDIA_FUZZ_TARGET): AIFF headers, WAVE files and MP3 frame splitting.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "media/mp3_encoder.h"
#include "media/mp3_frames.h"
#include "media/wave_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
#if TAVREL_MEDIA_FUZZ_TARGET == 1
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    uint32_t offset = 0, length = 0;
    AiffHeaderRecord header{};
    if (ReadAiffHeader(file, &offset, &length, &header)) {
        // What the encoder then reads must lie inside the file.
        if (uint64_t(offset) + length > size) __builtin_trap();
    }
    std::fclose(file);
#elif TAVREL_MEDIA_FUZZ_TARGET == 2
    CWaveFile wave;
    if (wave.LoadFromMemory(data, size)) {
        if (wave.data < wave.buffer || wave.data + wave.dataLength > wave.buffer + wave.fileSize) __builtin_trap();
        volatile uint8_t sum = 0;
        for (uint32_t i = 0; i < wave.dataLength; ++i) sum = uint8_t(sum + wave.data[i]);
    }
#else
    CMp3FrameList frames;
    frames.Split(data, size);
    size_t covered = 0;
    for (size_t i = 0; i < frames.GetCount(); ++i) covered += 4 + frames.GetAt(i)->data.size();
    if (covered > size) __builtin_trap();
#endif
    return 0;
}
