#pragma once
// A chained Ogg file: links one after another, each a whole Ogg stream
// with its own headers (`cat a.ogg b.opus`, an internet radio's recording,
// the files FFmpeg's segment muxer cuts a stream into, joined again).
// FFmpeg's demuxer takes a new link only where its codec is the first's,
// and then times it as if it went on from the first, so each link is read
// as a file of its own. A link starts at a page marked as a stream's first
// (its checksum holding) after pages that are not.
// Part of the movie module (av/movie_backend.h).
#include <cstdint>
#include <functional>
#include <vector>

#include "av/file_window.h"

namespace platform::ffmpeg_layer {

struct OggLink {
    int64_t begin = 0;
    // Its last page is cut short (the next link's first page, or the file's
    // end, comes within the length it gives): what that page held is lost.
    bool cutShort = false;
    // The length of its Opus or Vorbis sound as opusdec and oggdec play it,
    // at `rate` (48,000 Hz for Opus): from where its first granule position
    // says it starts (its granules need not start at 0: a segment of a
    // longer stream goes on from where the one before ended) to its last,
    // without an Opus link's pre-skip. -1 where its pages do not tell.
    int64_t frames = -1;
    int rate = 0;
};

// Called, for a file of more than one link, on each as soon as the walk
// has found where it ends, while the bytes the walk holds hold the link's
// last pages (and the whole of a short link).
using LinkFound = std::function<void(const OggLink& link, int64_t end, const FileWindow& held)>;

// The links of an Ogg file, in order: one for a file of one link.
std::vector<OggLink> OggLinks(int fd, int64_t size, const LinkFound& found = {});

}  // namespace platform::ffmpeg_layer
