#pragma once
// What a FLAC stream's frame headers tell: each names its place (a frame or
// sample number) and its block size under a checksum. A stream's length
// where its STREAMINFO leaves it open (a total of 0 samples, as a writer into
// a pipe leaves it) is found from its last headers, a few reads from its end,
// where decoding to the end costs the whole file and stops at the first
// damage. A stream need not start at sample 0: FFmpeg's segment muxer cuts
// one into files whose frame numbers carry on from the file before.
#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

class FileWindow;

// n bytes of a file at `at` (from its start), valid until the next look;
// null where they are not all there. A reader that holds a block of the
// file already (a sound's own buffer) serves what it holds.
using FileLook = std::function<const uint8_t*(int64_t at, int64_t n)>;

// The samples of one channel from the stream's first frame up to the end of
// the last frame whose header is whole and follows on from the frame before
// it (or is the first frame); -1 when the bytes [begin, end) are no FLAC
// stream or hold no such frame. fd is read with pread only, so a stream over
// it keeps its place.
int64_t FlacLengthFromFrames(int fd, int64_t end, int64_t begin = 0);
int64_t FlacLengthFromFrames(const FileLook& look, int64_t end, int64_t begin = 0);

// The sample the stream's first frame names, where that frame's header is
// whole right where its audio starts (0 otherwise: a stream whose first
// frames are lost still starts at 0, with silence for them).
int64_t FlacFirstSample(int fd, int64_t begin, int64_t end);
// The same from the bytes a reader holds of the stream.
int64_t FlacFirstSample(FileWindow& bytes, int64_t begin, int64_t end);

// The bits of a sample of the FLAC stream at begin, as its STREAMINFO gives
// them (after an ID3v2 tag where one comes first); 0 when no FLAC stream
// starts there.
int FlacStreamBits(const FileLook& look, int64_t begin, int64_t end);

// One FLAC stream of a file, as its STREAMINFO and frame headers give it.
struct FlacStream {
    int64_t begin = 0, end = 0;  // its bytes in the file
    int rate = 0, channels = 0, bits = 0;
    int64_t stated = 0;  // STREAMINFO's total; 0 where it leaves it open
    int64_t first = 0;   // as FlacFirstSample
    // Its length: the total its STREAMINFO states, else as
    // FlacLengthFromFrames; -1 where neither tells.
    int64_t frames = -1;
};

// Each FLAC stream of a file, for streams joined end to end (`cat a.flac
// b.flac`, the segments FFmpeg's segment muxer writes): the first at 0, then
// each later "fLaC" whose STREAMINFO and first frame header hold, whatever
// place that frame names. Empty for a file that is no FLAC stream; one for
// one stream. The file is searched whole, in large blocks, once for as long
// as it stands as it was.
std::vector<FlacStream> FlacStreams(int fd, int64_t fileSize);

}  // namespace platform
