#include "av/core_audio_layout.h"

#include <algorithm>
#include <iterator>

#include "av/channel_mix.h"

namespace platform {

namespace {

// Core Audio's channel labels: 1 to 18 are the places of a WAVE channel
// mask, one bit up; 33 and 34 the rear surrounds.
enum Label : uint8_t {
    L = 1, R, C, LFE, Ls, Rs, Lc, Rc, Cs, Lsd, Rsd, Ts, Vhl, Vhc, Vhr, Rlt, Rct, Rrt,
    Rls = 33, Rrs = 34,
};

// The layouts a tag names, channel by channel; the tag's low 16 bits count
// them. Layouts of channels with no place here (ambisonics, mid-side,
// matrix-encoded pairs, wide and hearing-impaired channels) are left out.
struct TagLayout {
    uint16_t tag;  // the tag's high 16 bits
    uint8_t labels[9];
};
constexpr TagLayout kTags[] = {
    {100, {C}},
    {101, {L, R}},
    {102, {L, R}},
    {106, {L, R}},
    {108, {L, R, Rls, Rrs}},
    {109, {L, R, Rls, Rrs, C}},
    {110, {L, R, Rls, Rrs, C, Cs}},
    {111, {L, R, Rls, Rrs, C, Cs, Ls, Rs}},
    {112, {L, R, Rls, Rrs, Vhl, Vhr, Rlt, Rrt}},
    {113, {L, R, C}},
    {114, {C, L, R}},
    {115, {L, R, C, Cs}},
    {116, {C, L, R, Cs}},
    {117, {L, R, C, Ls, Rs}},
    {118, {L, R, Ls, Rs, C}},
    {119, {L, C, R, Ls, Rs}},
    {120, {C, L, R, Ls, Rs}},
    {121, {L, R, C, LFE, Ls, Rs}},
    {122, {L, R, Ls, Rs, C, LFE}},
    {123, {L, C, R, Ls, Rs, LFE}},
    {124, {C, L, R, Ls, Rs, LFE}},
    {125, {L, R, C, LFE, Ls, Rs, Cs}},
    {126, {L, R, C, LFE, Ls, Rs, Lc, Rc}},
    {127, {C, Lc, Rc, L, R, Ls, Rs, LFE}},
    {128, {L, R, C, LFE, Ls, Rs, Rls, Rrs}},
    {129, {L, R, Ls, Rs, C, LFE, Lc, Rc}},
    {131, {L, R, Cs}},
    {132, {L, R, Ls, Rs}},
    {133, {L, R, LFE}},
    {134, {L, R, LFE, Cs}},
    {135, {L, R, LFE, Ls, Rs}},
    {136, {L, R, C, LFE}},
    {137, {L, R, C, LFE, Cs}},
    {138, {L, R, Ls, Rs, LFE}},
    {139, {L, R, Ls, Rs, C, Cs}},
    {140, {L, R, Ls, Rs, C, Rls, Rrs}},
    {141, {C, L, R, Ls, Rs, Cs}},
    {142, {C, L, R, Ls, Rs, Cs, LFE}},
    {143, {C, L, R, Ls, Rs, Rls, Rrs}},
    {144, {C, L, R, Ls, Rs, Rls, Rrs, Cs}},
    {148, {L, R, Ls, Rs, C, Lc, Rc}},
    {149, {C, LFE}},
    {150, {L, C, R}},
    {151, {L, C, R, Cs}},
    {152, {L, C, R, LFE}},
    {153, {L, R, Cs, LFE}},
    {154, {L, C, R, Cs, LFE}},
    {155, {L, C, R, Ls, Rs, Cs}},
    {156, {L, C, R, Ls, Rs, Rls, Rrs}},
    {157, {L, C, R, Ls, Rs, LFE, Cs}},
    {158, {L, C, R, Ls, Rs, LFE, Ts}},
    {159, {L, C, R, Ls, Rs, LFE, Vhc}},
    {160, {L, C, R, Ls, Rs, LFE, Rls, Rrs}},
    {161, {L, C, R, Ls, Rs, LFE, Lc, Rc}},
    {162, {L, C, R, Ls, Rs, LFE, Lsd, Rsd}},
    {164, {L, C, R, Ls, Rs, LFE, Vhl, Vhr}},
    {165, {L, C, R, Ls, Rs, LFE, Cs, Ts}},
    {166, {L, C, R, Ls, Rs, LFE, Cs, Vhc}},
    {167, {L, C, R, Ls, Rs, LFE, Ts, Vhc}},
    {168, {C, L, R, LFE}},
    {169, {C, L, R, Cs, LFE}},
    {170, {Lc, Rc, L, R, Ls, Rs}},
    {171, {C, L, R, Rls, Rrs, Ts}},
    {172, {C, Cs, L, R, Rls, Rrs}},
    {173, {Lc, Rc, L, R, Ls, Rs, LFE}},
    {174, {C, L, R, Rls, Rrs, Ts, LFE}},
    {175, {C, Cs, L, R, Rls, Rrs, LFE}},
    {176, {Lc, C, Rc, L, R, Ls, Rs}},
    {177, {Lc, C, Rc, L, R, Ls, Rs, LFE}},
    {178, {Lc, Rc, L, R, Ls, Rs, Rls, Rrs}},
    {179, {Lc, C, Rc, L, R, Ls, Cs, Rs}},
    {180, {Lc, Rc, L, R, Ls, Rs, Rls, Rrs, LFE}},
    {181, {Lc, C, Rc, L, R, Ls, Cs, Rs, LFE}},
    {182, {C, L, R, Ls, Rs, LFE, Cs}},
};

constexpr uint32_t kUseDescriptions = 0, kUseBitmap = 1u << 16;

// A label's place; -1 for one the mixing rule has none for.
int PlaceOfLabel(uint32_t label)
{
    if (label >= L && label <= Rrt) return int(label) - 1;
    if (label == Rls) return kBackLeft;
    if (label == Rrs) return kBackRight;
    return -1;
}

uint32_t Be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

}  // namespace

std::vector<int> CoreAudioPlaces(const uint8_t* body, size_t size, int channels)
{
    if (!body || size < 12 || channels <= 0) return {};
    const uint32_t tag = Be32(body), bitmap = Be32(body + 4), described = Be32(body + 8);
    std::vector<int> places;
    if (tag == kUseBitmap) return PlacesOfMask(bitmap, channels);
    if (tag == kUseDescriptions) {
        // Label, flags, then three coordinates: 20 bytes a channel.
        if (described != uint32_t(channels) || (size - 12) / 20 < described) return {};
        for (uint32_t k = 0; k < described; ++k) places.push_back(PlaceOfLabel(Be32(body + 12 + 20 * k)));
    } else {
        const auto* found = std::find_if(std::begin(kTags), std::end(kTags),
                                         [&](const TagLayout& t) { return t.tag == tag >> 16; });
        if (found == std::end(kTags) || int(tag & 0xFFFF) != channels) return {};
        for (int k = 0; k < channels && k < int(std::size(found->labels)); ++k)
            places.push_back(PlaceOfLabel(found->labels[k]));
    }
    if (int(places.size()) != channels || std::count(places.begin(), places.end(), -1) > 0) return {};
    return places;
}

}  // namespace platform
