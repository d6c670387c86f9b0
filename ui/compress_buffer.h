#pragma once
#include <vector>

// Whole-buffer zlib compression for bitmap data and installer payloads.

// Compresses the bytes with zlib's default level into a new[] buffer the
// caller releases with delete[]; its length goes to *outLength. Null on
// failure.
unsigned char* CompressBuffer(const void* source, unsigned long sourceLength, unsigned long* outLength);

// The largest output UncompressBuffer allocates unless told otherwise.
inline constexpr unsigned long kMaxUncompressedLength = 1ul << 30;

// Inverse of CompressBuffer. The output grows until the data inflates, up to
// maxLength bytes; null for damaged data or past that cap.
unsigned char* UncompressBuffer(const void* source, unsigned long sourceLength, unsigned long* outLength,
                                unsigned long maxLength = kMaxUncompressedLength);

// zlib's result code of the last CompressBuffer or UncompressBuffer call.
int GetLastCompressError();

// The output sizes the last CompressBuffer call tried, in order.
const std::vector<unsigned long>& GetLastCompressAttempts();
