#pragma once
// The length of a FLAC stream whose STREAMINFO leaves it open (a total of 0
// samples, as a writer into a pipe leaves it), from its frame headers: each
// names its place (a frame or sample number) and its block size under a
// checksum. Found from the file's end, so it costs a few reads, where
// decoding to the end costs the whole file and stops at the first damage.
#include <cstdint>
#include <vector>

namespace platform {

// The samples of one channel up to the end of the last frame whose header
// is whole and follows on from the frame before it (or is the first frame);
// -1 when the bytes [begin, end) are no FLAC stream or hold no such frame.
// fd is read with pread only, so a stream over it keeps its place.
int64_t FlacLengthFromFrames(int fd, int64_t end, int64_t begin = 0);

// The bits of a sample of the FLAC stream at begin, as its STREAMINFO gives
// them (after an ID3v2 tag where one comes first); 0 when no FLAC stream
// starts there.
int FlacStreamBits(int fd, int64_t begin, int64_t end);

// Where each FLAC stream of a file begins, for streams joined end to end
// (`cat a.flac b.flac`): 0, then the place of each later "fLaC" whose
// STREAMINFO and first frame header hold. Empty for a file that is no FLAC
// stream; one place for one stream. The file is searched whole, once for
// as long as it stands as it was.
std::vector<int64_t> FlacStreamStarts(int fd, int64_t fileSize);

}  // namespace platform
