#pragma once
// A chained Ogg file: links one after another, each a whole Ogg stream
// with its own headers (`cat a.ogg b.opus`, an internet radio's recording).
// FFmpeg's demuxer takes a new link only where its codec is the first's,
// and then times it as if it went on from the first, so each link is read
// as a file of its own. A link starts at a page marked as a stream's first
// (its checksum holding) after pages that are not.
// Part of the movie module (av/movie_backend.h).
#include <cstdint>
#include <vector>

namespace platform::ffmpeg_layer {

struct OggLink {
    int64_t begin = 0;
    // Its last page is cut short (the next link's first page, or the file's
    // end, comes within the length it gives): what that page held is lost.
    bool cutShort = false;
};

// The links of an Ogg file, in order: one for a file of one link.
std::vector<OggLink> OggLinks(int fd, int64_t size);

}  // namespace platform::ffmpeg_layer
