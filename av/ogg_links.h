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

// Where each link of an Ogg file starts: one place for a file of one link.
std::vector<int64_t> OggLinkStarts(int fd, int64_t size);

}  // namespace platform::ffmpeg_layer
