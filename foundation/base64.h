#pragma once
// Base64 text for binary values in XML, and the standard CRC-32.
#include <cstddef>
#include <cstdint>
#include <vector>

class CBase64 {
public:
    // The output becomes the base64 text of the bytes (standard alphabet,
    // "=" padding, no line breaks); false for null bytes.
    bool Encode(const uint8_t* bytes, size_t length);
    // The output becomes the decoded bytes; false for null text or a
    // character outside the alphabet (output then empty). Decoding stops at
    // the first "=" in the third or fourth place of a group.
    bool Decode(const char* text, size_t length);

    // The result of the last operation (not zero-terminated).
    const uint8_t* GetData() const { return output_.data(); }
    size_t GetLength() const { return output_.size(); }

private:
    std::vector<uint8_t> output_;
};

// CRC-32 (polynomial 0xEDB88320, as in zlib and PNG) of a text without its
// terminator; false for a null text.
bool CalcCrc32(const char* text, uint32_t* crc);
bool CalcCrc32Buffer(const void* bytes, size_t length, uint32_t* crc);
