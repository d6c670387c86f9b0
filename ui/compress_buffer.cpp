#include "ui/compress_buffer.h"

#include <zlib.h>

#include <memory>
#include <new>

namespace {
int g_lastError = Z_OK;
std::vector<unsigned long> g_attempts;
}  // namespace

int GetLastCompressError() { return g_lastError; }
const std::vector<unsigned long>& GetLastCompressAttempts() { return g_attempts; }

unsigned char* CompressBuffer(const void* source, unsigned long sourceLength, unsigned long* outLength)
{
    if (source == nullptr && sourceLength != 0) {
        g_lastError = Z_STREAM_ERROR;
        return nullptr;
    }
    // Half the input plus a little first: bitmaps usually shrink that far.
    unsigned long capacity = sourceLength / 2 + 12;
    g_attempts.clear();
    for (int attempt = 0; attempt < 3; ++attempt) {
        g_attempts.push_back(capacity);
        std::unique_ptr<unsigned char[]> out(new (std::nothrow) unsigned char[capacity]);
        if (!out) {
            g_lastError = Z_MEM_ERROR;
            return nullptr;
        }
        uLongf length = capacity;
        g_lastError = compress(out.get(), &length, static_cast<const Bytef*>(source), sourceLength);
        if (g_lastError == Z_OK) {
            if (outLength != nullptr) *outLength = length;
            return out.release();
        }
        if (g_lastError != Z_BUF_ERROR || capacity > (~0ul) / 2) return nullptr;
        capacity *= 2;
    }
    return nullptr;
}

unsigned char* UncompressBuffer(const void* source, unsigned long sourceLength, unsigned long* outLength,
                                unsigned long maxLength)
{
    if (source == nullptr || sourceLength == 0) {
        g_lastError = Z_DATA_ERROR;
        return nullptr;
    }
    // Start at eight times the input and grow by eight until it inflates:
    // a solid bitmap compresses far more than 64 to 1.
    unsigned long capacity = sourceLength <= maxLength / 8 ? sourceLength * 8 : maxLength;
    for (;;) {
        std::unique_ptr<unsigned char[]> out(new (std::nothrow) unsigned char[capacity]);
        if (!out) {
            g_lastError = Z_MEM_ERROR;
            return nullptr;
        }
        uLongf length = capacity;
        g_lastError = uncompress(out.get(), &length, static_cast<const Bytef*>(source), sourceLength);
        if (g_lastError == Z_OK) {
            if (outLength != nullptr) *outLength = length;
            return out.release();
        }
        if (g_lastError != Z_BUF_ERROR || capacity >= maxLength) return nullptr;
        capacity = capacity <= maxLength / 8 ? capacity * 8 : maxLength;
    }
}
