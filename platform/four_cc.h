#pragma once
// Four-character codes, packed as the toolbox packs them: first character
// highest. They name commands, controls, event classes, resource types and
// chunks of sound files alike.
#include <cstdint>

constexpr uint32_t FourCC(const char (&code)[5])
{
    return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
           (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}
