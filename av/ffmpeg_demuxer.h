#pragma once
// The movie module's way into FFmpeg, shared by its sound and its
// pictures: a file opened through our own reader (no name reaches
// FFmpeg, so nothing is told by a file's extension, and no other file is
// ever opened), its decoders, and what they complain of.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "av/file_window.h"
#include "av/mp4_boxes.h"

namespace platform::ffmpeg_layer {

// Bounds of one frame look-up and of the errors a stream may have.
constexpr int kMaxPackets = 200000;
constexpr int kMaxFrames = 20000;
constexpr int kMaxErrors = 2000;

// Files handed to FFmpeg so far.
extern std::atomic<int> g_opens;

// How often the decoder being watched has complained at error level since
// it was last asked: a decoder that conceals damage says so only there. A
// sound's reader hears its demuxer too, which complains when it drops
// packets it cannot read (an Ogg page whose checksum fails). What they say
// is never passed on: the faults are worded by what was seen.
struct Complaints {
    const void* decoder = nullptr;
    int count = 0;
    bool demuxers = false;
    int dropped = 0;
};

// Watches a decoder's complaints for as long as it lives.
class WatchComplaints {
public:
    WatchComplaints(Complaints* tally, const void* decoder);
    ~WatchComplaints();
    WatchComplaints(const WatchComplaints&) = delete;
    WatchComplaints& operator=(const WatchComplaints&) = delete;

private:
    Complaints* outer_;
};

struct Demuxer {
    std::FILE* file = nullptr;
    int64_t begin = 0;  // where the bytes FFmpeg sees start in the file
    int64_t size = 0;   // how many it sees
    // Four bytes FFmpeg sees otherwise, at patchAt (-1: none).
    int64_t patchAt = -1;
    uint8_t patch[4] = {};
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    // Each stream's size as the container gave it, before probing the codec
    // could set a size it refused to 0.
    std::vector<std::pair<int, int>> claimed;
    // A QuickTime or MPEG-4 file's tracks as its boxes tell them.
    std::vector<TrackBoxes> tracks;
    // Set before opening: the tracks' edit lists are left to the caller,
    // each media read whole from its first sample.
    bool ownEdits = false;
    // The file as it stood when opened, to know its head and tail again.
    struct stat fileStat {};
    // Bytes of the file a walk over it holds, read from there first (the
    // links of a chain, each opened as the walk finds its end).
    const FileWindow* held = nullptr;

    Demuxer() = default;
    Demuxer(const Demuxer&) = delete;
    Demuxer& operator=(const Demuxer&) = delete;
    ~Demuxer() { Close(); }

    static int Read(void* opaque, uint8_t* buffer, int size);
    // n bytes at `at` of those FFmpeg sees, exactly: what is held or kept,
    // else read as asked.
    bool Peek(int64_t at, uint8_t* out, size_t n) const;

    // A RIFF file (WAVE, AVI) whose LIST chunk claims more bytes than the
    // file holds is shown with the size it holds: FFmpeg takes the INFO tags
    // of such a chunk for as long as it claims, and zeroes room for each
    // before it reads it (2 GB for a file of 2 KB).
    void HoldListToFile();
    static int64_t Seek(void* opaque, int64_t offset, int whence);
    static int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

    // False with the reason in *why; *unknown tells a file of no kind FFmpeg
    // knows, which the caller words by what it asked for. FFmpeg sees the
    // bytes [from, to) of the file (one link of a chain), or all of them.
    bool Open(const std::string& path, std::string* why, bool* unknown = nullptr, int64_t from = 0, int64_t to = -1);

    // The format the file is, by every format FFmpeg knows, when one takes
    // it with confidence; null when none does (FFmpeg's MP3 reader takes
    // most noise, faintly).
    const AVInputFormat* Probe();

    // Why a file of a format read here does not open, by FFmpeg's code.
    std::string HeaderFault(int code, const AVInputFormat* probed);

    void Close();

    // Back to the start of a stream: its first key frame.
    bool Rewind(int stream);
};

struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// A decoder for one stream, on one thread, held to the pixel limit.
CodecPtr OpenDecoder(const AVStream* stream, uint64_t maxPixels, std::string* why);

// Where a stream's packets went missing before the decoder saw them: a
// packet whose time lies further past the end of the one before than a
// packet lasts (Vorbis's move within one where the block size changes),
// or one the demuxer marked as next to lost data or read after saying it
// dropped some (an Ogg page whose checksum fails).
struct PacketWatch {
    PacketWatch() = default;
    PacketWatch(const Complaints* said, int64_t slack) : said_(said), slack_(slack), saidSeen_(said->dropped) {}

    // The time of the first packet after a hole the frames have not yet
    // reached, and whether the demuxer told of it.
    int64_t lostAt = AV_NOPTS_VALUE;
    bool told = false;

    void Saw(const AVPacket& p);

private:
    const Complaints* said_ = nullptr;  // what the demuxer says
    int64_t slack_ = 0;                 // in the stream's time base
    int saidSeen_ = 0;                  // what it said before
    bool markPending_ = false;
    int64_t lastEnd_ = AV_NOPTS_VALUE, widest_ = 0;
};

// Reads packets of one stream into a decoder and takes frames out,
// counting what it reads.
struct FrameReader {
    AVFormatContext* format = nullptr;
    int stream = -1;
    AVCodecContext* codec = nullptr;
    PacketPtr packet{av_packet_alloc()};
    bool flushed = false;  // the end of the file reached the decoder
    int packets = 0, frames = 0, errors = 0;
    int64_t sent = 0;  // the stream's packets given to the decoder
    PacketWatch* watch = nullptr;
    // Where packets come from instead of the demuxer, when set: < 0 at the end.
    std::function<int(AVPacket*)> read;

    enum Result { kFrame, kEnd, kFault };
    Result Next(AVFrame* out, bool counted);
    void Restart();
};

std::string CodecLongName(AVCodecID id);
// A codec's name without its explanation: "AAC", "Vorbis", "FLAC".
std::string CodecShortName(AVCodecID id);
// The name a video codec goes by, short enough for a 31-character field.
std::string VideoCodecName(AVCodecID id);
// A stream's codec as a four-character code.
uint32_t CodecType(const AVFormatContext* format, const AVCodecParameters* par, bool video);

}  // namespace platform::ffmpeg_layer
