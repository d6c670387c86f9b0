#pragma once
// What MPEG audio files carry beside their sound: the Xing/Info or VBRI
// header a recording's first frame may hold instead of sound (its frame
// count, and the encoder's delay and padding in a LAME tag), and the tags
// that stand before, between or after frames.
#include <cstddef>
#include <cstdint>

namespace platform::mpeg {

// What a LAME tag after a Xing header tells: the encoder's delay and
// padding, and the bytes of the recording from its Info frame on with the
// checksum of those after it (0 where it gives none).
struct LameTag {
    int delay = -1, padding = -1;
    int64_t bytes = 0;
    uint16_t crc = 0;
};

enum class HeaderFrame { kNone, kXing, kVbri };

// Enough of a frame for a Xing header and the LAME tag after it.
constexpr size_t kTagBytes = 256;

// The samples libmpg123's Layer III decoding puts before the sound: a LAME
// tag, always of a Layer III recording, counts its delay and padding past
// them.
constexpr int64_t kLayer3Delay = 529;

// A Layer III frame that holds a Xing/Info or VBRI header instead of sound,
// the frame count it gives (0 when it gives none), the LAME tag after a
// Xing header (-1 for its delay and padding without one), and whether it
// names a recording of varying bit rate (a "Xing" or VBRI header; "Info"
// is written for one of a single rate).
HeaderFrame ReadHeaderFrame(const unsigned char* p, size_t n, uint32_t* frames, LameTag* tag = nullptr,
                            bool* varying = nullptr);

// The length of the ID3v2 tag at p, 0 where none starts: its size's bytes
// hold 7 bits each, so one with its high bit set is no tag. Inline for the
// movie module, which links nothing of ours.
inline int64_t Id3v2Length(const unsigned char* p, size_t n)
{
    if (n < 10 || p[0] != 'I' || p[1] != 'D' || p[2] != '3' || ((p[6] | p[7] | p[8] | p[9]) & 0x80)) return 0;
    const int64_t body = int64_t(p[6]) << 21 | int64_t(p[7]) << 14 | int64_t(p[8]) << 7 | p[9];
    return 10 + body + ((p[5] & 0x10) ? 10 : 0);
}
// Whether p starts an APEv2 tag or Lyrics3 text, which end a file's frames.
bool EndTagName(const unsigned char* p, size_t n);
// Whether p starts a file of another kind, which may hold MPEG audio
// frames of its own among other data (a movie's sound track): such a file is
// not taken for MPEG audio with bytes before its first frame.
bool OtherFormatAt(const unsigned char* p, size_t n);

// The checksum LAME writes of a recording's frames (CRC-16), carried on
// from sum over n more bytes.
uint16_t LameCrc(uint16_t sum, const unsigned char* p, size_t n);

}  // namespace platform::mpeg
