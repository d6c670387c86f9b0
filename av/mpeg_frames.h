#pragma once
// The frames of an MPEG audio stream (MP3, MP2, MP1): their headers, side
// information and checksums, and whether bytes begin a frame by themselves
// (HoldsFrame); the bytes of the stream, read in blocks. The parse that
// partitions a stream into frames is av/mpeg_parse.h.
#include <sys/types.h>

#include <cstdint>
#include <vector>

#include "av/file_window.h"

namespace platform::mpeg {

// An MPEG audio frame header, read as the standard gives it.
struct FrameHeader {
    int version = 0;       // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int layer = 0;         // 1, 2 or 3
    int bitRateIndex = 0;  // 0 for free format
    int bitRate = 0;       // kbit/s; 0 for free format
    int rate = 0;          // Hz
    bool mono = false;
    bool crc = false;   // a checksum follows the header
    int padding = 0;    // bytes (4 in Layer I)
    int64_t size = 0;   // bytes, header included; 0 for free format
    int samples = 0;    // a channel's samples in the frame
};

// Whether p starts a frame header; its fields in h.
bool ReadFrameHeader(const unsigned char* p, FrameHeader* h);
// The bytes of a Layer III frame's side information.
int SideInfoBytes(const FrameHeader& h);
// Whether two headers are of one recording's kind: version, layer, sample
// rate, and mono or not.
inline bool SameKind(const unsigned char* p, const unsigned char* q)
{
    return (p[1] & 0xFE) == (q[1] & 0xFE) && (p[2] & 0x0C) == (q[2] & 0x0C) &&
           ((p[3] >> 6) == 3) == ((q[3] >> 6) == 3);
}
// Whether two headers may be of one stream: of one kind and one emphasis,
// which an encoder writes alike in every frame, its Info frame's too (a
// header cut short before the next frame's bytes has another).
inline bool SameStream(const unsigned char* p, const unsigned char* q)
{
    return SameKind(p, q) && (p[3] & 0x03) == (q[3] & 0x03);
}
// The frame's size once a free-format stream's frame size (without
// padding) is known.
int64_t FrameSize(const FrameHeader& h, int64_t freeSize);
// The longest frame of the header's kind in free format: 640 kbit/s, the
// most an encoder writes (2,090 bytes at 44.1 kHz, 5,761 at 8 kHz).
int64_t LongestFreeFrame(const FrameHeader& h);
// Whether the frame of size bytes whose head is at p (n bytes there)
// carries a checksum that is not its own.
bool ChecksumFails(const unsigned char* p, size_t n, const FrameHeader& h, int64_t size);
// Whether the bytes at p begin a frame of size bytes by themselves: the
// header h read there, its checksum where it has one, and its side
// information (Layer III) or bit allocations (Layer I) such as a frame of
// that size holds. p holds kHeadBytes, or all there are.
bool HoldsFrame(const unsigned char* p, size_t n, const FrameHeader& h, int64_t size);
constexpr size_t kHeadBytes = 64;
// The bytes a frame of size bytes holds before its sound: header,
// checksum, and side information or bit allocations.
int64_t HeadBytes(const unsigned char* p, size_t n, const FrameHeader& h, int64_t size);
// The bits of sound a Layer III frame's side information gives; -1 where
// it is none a frame of size bytes holds.
int64_t SoundBits(const unsigned char* p, size_t n, const FrameHeader& h, int64_t size);

// The bytes [begin, end) of an open file, read in blocks aligned on the
// stream's start, so that every cursor over it shares them: a stream read
// from start to end costs one read of each block however many look. Two
// blocks of the usual size are kept (more of a smaller size) besides the
// stream's first, which stays: the decoder starts there once the walk has
// reached the end.
class StreamBytes : public FileWindow {
public:
    StreamBytes() = default;

    // blockBytes: less where only the stream's start is looked at.
    void Reset(int fd, int64_t begin, int64_t size, int64_t blockBytes = kBlockBytes);
    // Up to n bytes at offset, fewer at the end.
    size_t Read(int64_t offset, unsigned char* out, size_t n) { return FileWindow::Read(offset, out, n); }
    // Where byte first stands in [from, limit); -1 where it does not.
    int64_t Find(unsigned char byte, int64_t from, int64_t limit) { return FileWindow::Find(&byte, 1, from, limit); }
    // Look(offset, &n): the bytes held from offset on within its block
    // (read now if need be), up to n; null past the end.
    // Calls and bytes of reads made since the process started (a test hook).
    static int64_t FileReads();
    static int64_t BytesRead();

    static constexpr int64_t kBlockBytes = 1 << 18;
};

// A Layer III frame's main_data_begin: the bytes its sound starts before
// its own; -1 where p holds no Layer III header and side information.
int MainDataBegin(const unsigned char* p, size_t n);
// The bytes of main data a Layer III frame of size bytes leaves for the
// frames after it to begin in; -1 where p holds no such frame.
int64_t ReservoirLeft(const unsigned char* p, size_t n, int64_t size);

}  // namespace platform::mpeg
