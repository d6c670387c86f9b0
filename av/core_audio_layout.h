#pragma once
// The channel layout an AIFF file's CHAN chunk names, in Core Audio's terms:
// a layout tag, a bitmap or one description a channel.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// Each channel's place (av/channel_mix.h) as the big-endian layout in body
// names it; empty where it names no layout of channels channels, or a
// channel the mixing rule has no place for (the rule's default for the
// count then stands).
std::vector<int> CoreAudioPlaces(const uint8_t* body, size_t size, int channels);

}  // namespace platform
