#include "foundation/base64.h"

#include <array>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> MakeDecodeTable()
{
    std::array<int8_t, 256> table{};
    for (auto& v : table) v = -1;
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
    return table;
}
constexpr std::array<int8_t, 256> kDecode = MakeDecodeTable();

constexpr std::array<uint32_t, 256> MakeCrcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x77073096U);

}  // namespace

bool CBase64::Encode(const uint8_t* bytes, size_t length)
{
    output_.clear();
    if (!bytes) return false;
    output_.reserve((length + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        uint8_t b0 = bytes[i], b1 = bytes[i + 1], b2 = bytes[i + 2];
        output_.push_back(kAlphabet[b0 >> 2]);
        output_.push_back(kAlphabet[((b0 & 3) << 4) | (b1 >> 4)]);
        output_.push_back(kAlphabet[((b1 & 15) << 2) | (b2 >> 6)]);
        output_.push_back(kAlphabet[b2 & 63]);
    }
    if (length - i == 1) {
        uint8_t b0 = bytes[i];
        output_.push_back(kAlphabet[b0 >> 2]);
        output_.push_back(kAlphabet[(b0 & 3) << 4]);
        output_.push_back('=');
        output_.push_back('=');
    } else if (length - i == 2) {
        uint8_t b0 = bytes[i], b1 = bytes[i + 1];
        output_.push_back(kAlphabet[b0 >> 2]);
        output_.push_back(kAlphabet[((b0 & 3) << 4) | (b1 >> 4)]);
        output_.push_back(kAlphabet[(b1 & 15) << 2]);
        output_.push_back('=');
    }
    return true;
}

bool CBase64::Decode(const char* text, size_t length)
{
    output_.clear();
    if (!text) return false;
    output_.reserve(length / 4 * 3 + 3);
    for (size_t g = 0; g < length; g += 4) {
        size_t have = length - g < 4 ? length - g : 4;
        int v[4] = {0, 0, 0, 0};
        size_t chars = 0;  // characters of the group before any padding
        for (size_t k = 0; k < have; ++k) {
            unsigned char c = static_cast<unsigned char>(text[g + k]);
            if (c == '=' && k >= 2) break;
            if (kDecode[c] < 0) {
                output_.clear();
                return false;
            }
            v[k] = kDecode[c];
            ++chars;
        }
        if (chars < 2) break;  // a lone final character holds no whole byte
        output_.push_back(static_cast<uint8_t>((v[0] << 2) | ((v[1] >> 4) & 3)));
        if (chars >= 3) output_.push_back(static_cast<uint8_t>(((v[1] << 4) | ((v[2] >> 2) & 15)) & 255));
        if (chars >= 4) output_.push_back(static_cast<uint8_t>(((v[2] << 6) | v[3]) & 255));
        if (chars < have) break;  // padding ends the data
    }
    return true;
}

bool CalcCrc32Buffer(const void* bytes, size_t length, uint32_t* crc)
{
    if (!bytes) return false;
    const auto* p = static_cast<const uint8_t*>(bytes);
    uint32_t c = 0xFFFFFFFFU;
    for (size_t i = 0; i < length; ++i) c = (c >> 8) ^ kCrcTable[(c ^ p[i]) & 255];
    if (crc) *crc = ~c;
    return true;
}

bool CalcCrc32(const char* text, uint32_t* crc)
{
    if (!text) return false;
    return CalcCrc32Buffer(text, std::strlen(text), crc);
}
