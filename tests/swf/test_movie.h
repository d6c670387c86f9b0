#pragma once
// A plain movie file assembled around written tags, for tests that need a
// whole SWF file before the movie writer is at hand.
#include <initializer_list>
#include <string>

#include "swf/records.h"
#include "swf_bytes.h"

// Header (FWS, version, file length, frame RECT, 12 fps, frame count), the
// tags in order, then the End tag.
inline Bytes PlainMovie(const Bytes& tags, uint16_t frames, uint8_t version = 6, int widthPx = 320,
                        int heightPx = 240)
{
    CSwfStream head(version);
    CSwfRect frame;
    frame.Set(0, 0, widthPx, heightPx, true);
    frame.Write(head);
    head.WriteU16(12 << 8);
    head.WriteU16(frames);
    Bytes movie = Cat({Str("FWS"), {version, 0, 0, 0, 0}, head.GetBuffer(), tags, {0x00, 0x00}});
    const uint32_t length = static_cast<uint32_t>(movie.size());
    for (int i = 0; i < 4; ++i) movie[4 + i] = uint8_t(length >> (8 * i));
    return movie;
}

inline std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
