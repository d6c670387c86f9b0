#include "av/movie_backend.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <new>
#include <type_traits>
#include <utility>

#include "av/channel_mix.h"
#include "av/file_walks.h"
#include "av/media_words.h"
#include "platform/gestalt.h"
#include "platform/regular_file.h"

namespace platform {

namespace {

// Containers read here. Picture demuxers stay out: a damaged picture is no
// movie.
constexpr const char* kFormats =
    "mov,avi,mpeg,mpegts,mpegvideo,m4v,h264,hevc,matroska,flv,asf,ogg,aac,mp3,wav,aiff,caf,flac";
// What FFmpeg reads at a time, one system call each.
constexpr int kIoBufferSize = 65536;
constexpr int kMaxSide = 32767;  // what a QuickDraw box holds
// Bounds of one frame look-up and of the errors a stream may have.
constexpr int kMaxPackets = 200000;
constexpr int kMaxFrames = 20000;
constexpr int kMaxErrors = 2000;
// A time up to this far after the frame shown is reached by decoding on,
// a farther one by seeking to the key frame before it.
constexpr double kForwardSeconds = 2.0;
// A frame is scaled and converted in one pass, straight from the decoded
// pixels to the size asked for: bicubic (widened when it shrinks), the
// colour interpolated to every pixel. At the decoded size libswscale's
// direct converter takes over (each colour sample over its pixels).
constexpr int kScaleFlags = SWS_BICUBIC | SWS_FULL_CHR_H_INT;
// The most libswscale reduces a side by in one pass: past a hundred times
// or so its filters read bytes they never set.
constexpr int64_t kMaxScalerReduction = 16;

std::atomic<int> g_opens{0};

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
thread_local Complaints* t_watched = nullptr;

// Watches a decoder's complaints for as long as it lives.
class WatchComplaints {
public:
    WatchComplaints(Complaints* tally, const void* decoder) : outer_(t_watched)
    {
        tally->decoder = decoder;
        t_watched = tally;
    }
    ~WatchComplaints() { t_watched = outer_; }
    WatchComplaints(const WatchComplaints&) = delete;
    WatchComplaints& operator=(const WatchComplaints&) = delete;

private:
    Complaints* outer_;
};

// An enumeration a stream sets, as the integer it holds: a file can put any
// value there, and one outside the list is no valid enumerator to load.
template <class Enum>
int EnumValue(const Enum& field)
{
    std::underlying_type_t<Enum> value;
    std::memcpy(&value, &field, sizeof value);
    return int(value);
}

// FFmpeg's messages at error level are counted for whoever watches; nothing
// is printed.
void CountMessage(void* source, int level, const char*, va_list)
{
    if (level > AV_LOG_ERROR || !source || !t_watched) return;
    if (source == t_watched->decoder) {
        ++t_watched->count;
    } else if (t_watched->demuxers && *static_cast<const AVClass* const*>(source) == avformat_get_class()) {
        ++t_watched->dropped;
    }
}

void SilenceLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(CountMessage);
    });
}

uint32_t FromTag(uint32_t tag)
{
    // MKTAG order (first character lowest) to a four-character code.
    return (tag & 0xFF) << 24 | (tag >> 8 & 0xFF) << 16 | (tag >> 16 & 0xFF) << 8 | tag >> 24;
}

bool SizeAllowed(int64_t width, int64_t height, uint64_t maxPixels)
{
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    const uint64_t count = uint64_t(width) * uint64_t(height);
    return count <= maxPixels && count * 4 <= std::numeric_limits<uint32_t>::max();
}

// The quarter turns clockwise a video asks to be shown at (phones store
// upright video sideways with a turn in the track's matrix); 0 to 3.
int QuarterTurns(const AVStream* stream)
{
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix) return 0;
    const double degrees = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (!std::isfinite(degrees)) return 0;
    const long quarters = std::lround(degrees / 90.0);
    return int(((quarters % 4) + 4) % 4);
}

// Pixels in rows of inStride bytes turned clockwise by quarter turns (none:
// copied) into packed rows out.
void Turn(const uint8_t* in, size_t inStride, int width, int height, int bytes, int quarters, uint8_t* out)
{
    const size_t rowBytes = size_t(width) * size_t(bytes);
    if (quarters == 0) {
        for (int y = 0; y < height; ++y) std::memcpy(out + size_t(y) * rowBytes, in + size_t(y) * inStride, rowBytes);
        return;
    }
    const int outWidth = quarters % 2 ? height : width;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int ox = x, oy = y;
            if (quarters == 1) ox = height - 1 - y, oy = x;
            if (quarters == 2) ox = width - 1 - x, oy = height - 1 - y;
            if (quarters == 3) ox = y, oy = width - 1 - x;
            std::memcpy(out + (size_t(oy) * outWidth + ox) * bytes, in + size_t(y) * inStride + size_t(x) * bytes,
                        size_t(bytes));
        }
}

// ---- What a QuickTime or MPEG-4 file's own boxes say of its tracks where
// FFmpeg keeps it to itself (data references) or hands out its own figure
// (a track's duration, which it cuts to the edit list).

struct TrackBoxes {
    uint32_t id = 0;         // the track header's id: FFmpeg's stream id
    uint32_t timeScale = 0;  // the media header's
    uint64_t duration = 0;   // the media's own, in timeScale units; 0 unknown
    uint64_t samples = 0;    // the sample table's count
    std::string outside;     // where a data reference sends the media elsewhere
};

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint64_t Be64(const uint8_t* p) { return uint64_t(Be32(p)) << 32 | Be32(p + 4); }
constexpr uint32_t Box(const char (&type)[5])
{
    return uint32_t(uint8_t(type[0])) << 24 | uint32_t(uint8_t(type[1])) << 16 | uint32_t(uint8_t(type[2])) << 8 |
           uint8_t(type[3]);
}

// Walks the movie box by its headers, reading only the few boxes it looks
// into; every count and depth is bounded, and nothing moves the file's
// position (FFmpeg reads on from where it was).
class BoxWalker {
public:
    BoxWalker(int fd, int64_t size) : fd_(fd), size_(size) {}

    std::vector<TrackBoxes> Tracks()
    {
        bool moov = false;
        Children(0, size_, 0, [&](uint32_t type, int64_t at, int64_t end) {
            if (type != Box("moov") || moov) return;
            moov = true;
            Within(at, end, 1);
        });
        return std::move(tracks_);
    }

    // Whether the file's top level holds a whole movie box: its index.
    bool HasIndex()
    {
        bool moov = false;
        Children(0, size_, 0, [&](uint32_t type, int64_t, int64_t) { moov = moov || type == Box("moov"); });
        return moov;
    }

    // The still-picture kind the file type box names, as users know it:
    // "HEIC" for HEVC pictures (a phone's photos), "HEIF" for others; ""
    // for a movie, and for AVIF, which FFmpeg reads as one.
    std::string HeifKind()
    {
        bool seen = false, avif = false, hevc = false, heif = false;
        Children(0, size_, 0, [&](uint32_t type, int64_t at, int64_t end) {
            if (type != Box("ftyp") || seen) return;
            seen = true;
            // The major brand, the minor version, then compatible brands.
            uint8_t b[4 * kMaxEntries];
            const size_t n = size_t(std::min<int64_t>(end - at, sizeof b)) / 4 * 4;
            if (!Read(at, b, n)) return;
            for (size_t i = 0; i < n; i += 4) {
                if (i == 4) continue;
                const uint32_t brand = Be32(b + i);
                avif = avif || brand == Box("avif") || brand == Box("avis");
                hevc = hevc || brand == Box("heic") || brand == Box("heix") || brand == Box("heim") ||
                       brand == Box("heis") || brand == Box("hevc") || brand == Box("hevx");
                heif = heif || brand == Box("mif1") || brand == Box("msf1");
            }
        });
        if (avif) return "";
        return hevc ? "HEIC" : heif ? "HEIF" : "";
    }

private:
    static constexpr int kMaxBoxes = 100000, kMaxDepth = 8, kMaxEntries = 64, kMaxLocation = 200;

    bool Read(int64_t at, uint8_t* out, size_t n) const
    {
        for (size_t done = 0; done < n;) {
            const ssize_t r = ::pread(fd_, out + done, n - done, off_t(at + int64_t(done)));
            if (r <= 0) return false;
            done += size_t(r);
        }
        return true;
    }

    // visit(type, payload start, end) for each box from `at` to `end`.
    template <class Visit>
    void Children(int64_t at, int64_t end, int depth, Visit visit)
    {
        if (depth > kMaxDepth) return;
        while (end - at >= 8 && ++boxes_ <= kMaxBoxes) {
            uint8_t h[16];
            if (!Read(at, h, 8)) return;
            uint64_t size = Be32(h);
            int64_t header = 8;
            if (size == 1) {
                if (end - at < 16 || !Read(at + 8, h + 8, 8)) return;
                size = Be64(h + 8);
                header = 16;
            } else if (size == 0) {
                size = uint64_t(end - at);  // to the end of what holds it
            }
            if (size < uint64_t(header) || size > uint64_t(end - at)) return;
            visit(Be32(h + 4), at + header, at + int64_t(size));
            at += int64_t(size);
        }
    }

    void Within(int64_t at, int64_t end, int depth)
    {
        Children(at, end, depth, [&](uint32_t type, int64_t from, int64_t to) {
            if (type == Box("trak")) {
                tracks_.emplace_back();
                Within(from, to, depth + 1);
            } else if (tracks_.empty()) {
                return;
            } else if (type == Box("mdia") || type == Box("minf") || type == Box("dinf") || type == Box("stbl")) {
                Within(from, to, depth + 1);
            } else {
                Leaf(type, from, to, tracks_.back());
            }
        });
    }

    void Leaf(uint32_t type, int64_t at, int64_t end, TrackBoxes& track)
    {
        uint8_t b[36] = {};
        const size_t n = size_t(std::min<int64_t>(end - at, sizeof b));
        if (n < 12 || !Read(at, b, n)) return;
        const bool wide = b[0] == 1;  // version 1: 64-bit times
        if (type == Box("tkhd") && n >= (wide ? 24u : 16u)) {
            track.id = Be32(b + (wide ? 20 : 12));
        } else if (type == Box("mdhd") && n >= (wide ? 32u : 20u)) {
            track.timeScale = Be32(b + (wide ? 20 : 12));
            const uint64_t duration = wide ? Be64(b + 24) : Be32(b + 16);
            // All ones: not known.
            track.duration = duration == (wide ? UINT64_MAX : UINT32_MAX) ? 0 : duration;
        } else if (type == Box("stsz") || type == Box("stz2")) {
            track.samples = Be32(b + 8);
        } else if (type == Box("dref")) {
            References(at + 8, end, std::min<uint32_t>(Be32(b + 4), kMaxEntries), track);
        }
    }

    // The entries of a data reference: one without the flag "in this file"
    // (1) that names somewhere sends the media there.
    void References(int64_t at, int64_t end, uint32_t count, TrackBoxes& track)
    {
        for (uint32_t i = 0; i < count && end - at >= 12 && track.outside.empty(); ++i) {
            uint8_t h[12];
            if (!Read(at, h, sizeof h)) return;
            const uint32_t size = Be32(h);
            if (size < 12 || size > end - at) return;
            const bool here = Be32(h + 8) & 1;
            if (!here && size > 12) {
                std::vector<uint8_t> data(std::min<size_t>(size - 12, 512));
                if (!Read(at + 12, data.data(), data.size())) return;
                // An alias record holds the file's name as a Pascal string
                // at byte 50; a url or urn its location as text.
                size_t from = 0, length = data.size();
                if (Be32(h + 4) == Box("alis")) {
                    from = 51;
                    length = data.size() > 50 ? std::min<size_t>(data[50], data.size() - from) : 0;
                }
                std::string name;
                for (size_t k = from; k < from + length && data[k] && name.size() < kMaxLocation; ++k)
                    name += data[k] >= 0x20 && data[k] < 0x7F ? char(data[k]) : '?';
                if (!name.empty()) track.outside = name;
            }
            at += size;
        }
    }

    int fd_;
    int64_t size_;
    int boxes_ = 0;
    std::vector<TrackBoxes> tracks_;
};

// ---- A raw AAC stream (ADTS) as its frame headers chain: each header gives
// its frame's length, and its frame holds 1,024 samples a block. So the
// frames are counted exactly (FFmpeg guesses such a file's length from its
// first frames' bit rate) and each is placed by the samples before it. The
// walk decides what is a frame for both the count and the decode. Where
// damage breaks the chain, reading goes on at the next place three frames
// chain from: a header of the stream whose length alone is wrong, with no
// other header up to there and no more bytes than a frame of the stream
// takes, is one frame, lost with its time kept; other bytes skipped held
// what nothing tells.

struct AdtsChain {
    int rate = 0;          // the first frame's rate; 0 when the file holds no chain
    int channels = 0;      // as its header gives them; 0 where the data names them
    int64_t samples = 0;   // at that rate
    std::string fault;     // why no chain was found, where that is known
};

// One step of the walk: a frame, and the bytes skipped before it.
struct AdtsFrame {
    int64_t at = 0, length = 0;
    int64_t first = 0;    // its first sample, at the first frame's rate
    int64_t samples = 0;
    bool damaged = false;  // its header gives a wrong length: not decoded, its time kept
    int64_t skipped = 0;   // bytes before it that hold no frame and whose time is lost
};

class AdtsWalker {
public:
    AdtsWalker(int fd, int64_t size) : bytes_(fd, size), size_(size) {}

    // The next frame; false at the end.
    bool Next(AdtsFrame* frame)
    {
        if (at_ < 0) {
            at_ = TagEnd(0);
            // The stream's headers are those of the first chain.
            if (Resync(at_) < 0) at_ = size_;
        }
        int64_t skipped = 0;
        while (at_ + 7 <= size_) {
            const int64_t length = FrameAt(at_, key_);
            if (length > 0 && Follows(at_ + length)) return Take(frame, length, false, skipped);
            if (const int64_t tag = TagEnd(at_); tag > at_) {
                at_ = tag;
                continue;
            }
            const int64_t next = Resync(at_ + 1);
            // The rest holds no chain: a tag at the end, or a cut.
            if (next < 0) return length > 0 && Take(frame, length, false, skipped);
            // A whole frame with bytes after it that hold none stays a frame;
            // those bytes are said on their own.
            if (length > 0 && at_ + length <= next && EndsAsFrame(at_, length))
                return Take(frame, length, false, skipped);
            if (OneFrame(at_, next)) return Take(frame, next - at_, true, skipped);
            if (length > 0) return Take(frame, length, false, skipped);
            // Junk before the first frame has nothing before it to shift.
            if (taken_) skipped += next - at_;
            at_ = next;
        }
        return false;
    }

    // n bytes of the file from `at` into out.
    bool Copy(int64_t at, int64_t n, uint8_t* out)
    {
        const uint8_t* bytes = Bytes(at, n);
        if (bytes) std::memcpy(out, bytes, size_t(n));
        return bytes != nullptr;
    }

    // Every frame from the start.
    AdtsChain Walk()
    {
        AdtsChain chain;
        AdtsFrame frame;
        while (Next(&frame)) chain.samples += frame.samples;
        if (!taken_ || !sound_) {
            chain.fault = taken_ ? "its AAC frames hold their headers alone, no sound" : Cut();
            return chain;
        }
        chain.rate = kRates[firstKey_ >> 10 & 0xF];
        const int config = int(firstKey_ >> 8 & 1) << 2 | int(firstKey_ >> 6 & 3);
        chain.channels = config == 7 ? 8 : config;
        return chain;
    }

private:
    static constexpr int kRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                       16000, 12000, 11025, 8000,  7350,  0,     0,     0};
    // What every header of one stream shares: version, profile, rate and channels.
    static int64_t Key(const uint8_t* h)
    {
        return int64_t(h[1] & 0x08) << 16 | int64_t(h[2] & 0xFD) << 8 | (h[3] & 0xC0);
    }

    // The window keeps the longest frame before the place asked for, so
    // that stepping back to a frame's start reads nothing.
    const uint8_t* Bytes(int64_t at, int64_t n) { return bytes_.Bytes(at, n); }

    // Whether a header of the stream (key: what its headers share; -1 for
    // any) starts at `at`, whatever its length says.
    bool HeaderAt(int64_t at, int64_t key)
    {
        const uint8_t* h = Bytes(at, 7);
        return h && h[0] == 0xFF && (h[1] & 0xF6) == 0xF0 && kRates[h[2] >> 2 & 0xF] != 0 && (key < 0 || Key(h) == key);
    }

    static int64_t LengthOf(const uint8_t* h) { return int64_t(h[3] & 3) << 11 | int64_t(h[4]) << 3 | h[5] >> 5; }

    // The length of the frame whose header starts at `at`, when it is one
    // of the stream's and lies whole in the file; else 0. A frame may hold
    // its header alone.
    int64_t FrameAt(int64_t at, int64_t key)
    {
        if (!HeaderAt(at, key)) return 0;
        const uint8_t* h = Bytes(at, 7);
        const int64_t length = LengthOf(h);
        const int64_t header = h[1] & 1 ? 7 : 9;  // without or with a checksum
        return length >= header && at + length <= size_ ? length : 0;
    }

    // Whether the chain goes on at `at`: the end, a tag, or a header of the
    // stream (whose own length may be what is damaged).
    bool Follows(int64_t at) { return at == size_ || HeaderAt(at, key_) || TagEnd(at) > at; }

    // Whether a chain starts at `at`: three frames, or those up to the end.
    // It sets what the stream's headers share from there on: streams joined
    // end to end may differ in rate or channels.
    bool Starts(int64_t at)
    {
        const uint8_t* h = Bytes(at, 7);
        const int64_t key = h ? Key(h) : -1;
        for (int frames = 0; frames < 3 && at < size_; ++frames) {
            const int64_t length = FrameAt(at, key);
            if (length == 0) return false;
            at += length;
        }
        key_ = key;
        return true;
    }

    int64_t Resync(int64_t from)
    {
        for (int64_t at = from; at + 7 <= size_; ++at) {
            const uint8_t* b = Bytes(at, 1);
            if (b && *b == 0xFF && Starts(at)) return at;
        }
        return -1;
    }

    // Whether the frame of `length` bytes at `at` ends as an AAC frame does:
    // its last element the end mark (three set bits), then zeros to the
    // byte. A length damaged short or long ends elsewhere, mostly.
    bool EndsAsFrame(int64_t at, int64_t length)
    {
        const uint8_t* h = Bytes(at, 7);
        if (!h || length <= (h[1] & 1 ? 7 : 9)) return false;
        const uint8_t* tail = Bytes(at + length - 2, 2);
        if (!tail || tail[1] == 0) return false;
        const unsigned bits = unsigned(tail[0]) << 8 | tail[1];
        return (bits >> __builtin_ctz(bits) & 7) == 7;
    }

    // Whether [at, next) is one frame whose header gives a wrong length: no
    // more bytes than the decoder's buffer lets a frame take (6,144 bits a
    // channel a block), and no other header among them.
    bool OneFrame(int64_t at, int64_t next)
    {
        if (!HeaderAt(at, key_)) return false;
        const uint8_t* h = Bytes(at, 7);
        const int64_t blocks = (h[6] & 3) + 1;
        const int config = (h[2] & 1) << 2 | h[3] >> 6;
        const int64_t most = config == 0 ? 8191 : blocks * 768 * (config == 7 ? 8 : config) + 9 + 2 * blocks;
        if (next - at > most) return false;
        for (int64_t k = at + 1; k < next; ++k)
            if (HeaderAt(k, key_)) return false;
        return true;
    }

    // The frame at at_, its time counted at the first frame's rate.
    bool Take(AdtsFrame* frame, int64_t length, bool damaged, int64_t skipped)
    {
        const uint8_t* h = Bytes(at_, 7);
        const int rate = kRates[h[2] >> 2 & 0xF];
        if (!taken_) firstKey_ = Key(h);
        if (rate != partRate_) {
            partStart_ = sample_;
            partSamples_ = 0;
            partRate_ = rate;
        }
        partSamples_ += 1024 * ((h[6] & 3) + 1);
        frame->at = at_;
        frame->length = length;
        frame->first = sample_;
        sample_ = partStart_ + partSamples_ * kRates[firstKey_ >> 10 & 0xF] / rate;
        frame->samples = sample_ - frame->first;
        frame->damaged = damaged;
        frame->skipped = skipped;
        sound_ = sound_ || (!damaged && length > (h[1] & 1 ? 7 : 9));
        at_ += length;
        taken_ = true;
        return true;
    }

    // Why a file of no frames holds none, when its first header says.
    std::string Cut()
    {
        const int64_t at = TagEnd(0);
        if (!HeaderAt(at, -1)) return {};
        const int64_t length = LengthOf(Bytes(at, 7));
        if (at + length <= size_) return {};
        return "the file is cut short: it holds " + std::to_string(size_ - at) + " bytes of the " +
               std::to_string(length) + " its first frame takes";
    }

    // The end of the ID3v2 tag at `at`, or `at` when none starts there.
    int64_t TagEnd(int64_t at)
    {
        const uint8_t* t = Bytes(at, 10);
        if (!t || std::memcmp(t, "ID3", 3) != 0 || (t[6] | t[7] | t[8] | t[9]) & 0x80) return at;
        const int64_t size = int64_t(t[6]) << 21 | int64_t(t[7]) << 14 | int64_t(t[8]) << 7 | t[9];
        return std::min(size_, at + 10 + size + (t[5] & 0x10 ? 10 : 0));
    }

    ByteWindow bytes_;
    int64_t size_;
    int64_t key_ = -1;
    int64_t at_ = -1;  // where the next frame is looked for; -1 before the start
    int64_t firstKey_ = -1;
    // Samples so far at the first frame's rate; those of the frames since
    // the rate last changed at theirs.
    int64_t sample_ = 0, partStart_ = 0, partSamples_ = 0;
    int partRate_ = 0;
    bool taken_ = false;
    bool sound_ = false;  // a frame held more than its header
};

// A raw AAC file's chain, walked once a run: a show opens a sound to read
// its length, to check it before the export and to export it. Known for as
// long as the file stands as it was.
AdtsChain WalkAdts(int fd, int64_t size)
{
    return WalkedOnce(fd, [&] { return AdtsWalker(fd, size).Walk(); });
}

// ---- A chained Ogg file: links one after another, each a whole Ogg stream
// with its own headers (`cat a.ogg b.opus`, an internet radio's recording).
// FFmpeg's demuxer takes a new link only where its codec is the first's,
// and then times it as if it went on from the first, so each link is read
// as a file of its own. A link starts at a page marked as a stream's first
// (its checksum holding) after pages that are not.

// The Ogg checksum of a page whose own checksum field reads as zero.
uint32_t OggChecksum(const uint8_t* page, size_t length)
{
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit) r = r & 0x80000000u ? r << 1 ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    uint32_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = i >= 22 && i < 26 ? 0 : page[i];
        crc = crc << 8 ^ table[(crc >> 24 ^ byte) & 0xFF];
    }
    return crc;
}

// Where each link of an Ogg file starts: one place for a file of one link.
std::vector<int64_t> OggLinkStarts(int fd, int64_t size)
{
    constexpr size_t kMostLinks = 1024;
    constexpr int64_t kHeader = 27, kLongestPage = kHeader + 255 + 255 * 255;
    ByteWindow bytes(fd, size, 4 * kLongestPage, kLongestPage);
    std::vector<int64_t> starts;
    bool pagesSinceFirst = false;
    for (int64_t at = bytes.Find(0, "OggS", 4); at >= 0 && starts.size() < kMostLinks;) {
        // The header is copied: each read may move the window.
        uint8_t h[kHeader];
        const uint8_t* header = bytes.Bytes(at, kHeader);
        if (header) std::memcpy(h, header, sizeof h);
        const uint8_t* lacing = header && h[4] == 0 ? bytes.Bytes(at + kHeader, h[26]) : nullptr;
        if (!lacing) {
            at = bytes.Find(at + 1, "OggS", 4);
            continue;
        }
        int64_t length = kHeader + h[26];
        for (int i = 0; i < h[26]; ++i) length += lacing[i];
        const bool first = h[5] & 0x02;
        if (first && (starts.empty() || pagesSinceFirst)) {
            const uint8_t* page = bytes.Bytes(at, length);
            const uint32_t stated = uint32_t(h[22]) | uint32_t(h[23]) << 8 | uint32_t(h[24]) << 16 | uint32_t(h[25]) << 24;
            if (page && OggChecksum(page, size_t(length)) == stated) {
                starts.push_back(starts.empty() ? 0 : at);
                pagesSinceFirst = false;
            }
        } else if (!first) {
            pagesSinceFirst = true;
        }
        at = at + length <= size ? at + length : -1;
        if (at >= 0 && !bytes.Bytes(at, 4)) break;
        if (at >= 0 && std::memcmp(bytes.Bytes(at, 4), "OggS", 4) != 0) at = bytes.Find(at, "OggS", 4);
    }
    if (starts.empty()) starts.push_back(0);
    return starts;
}

// ---- Kinds of file FFmpeg knows and this program does not read, named as
// users know them: FFmpeg reads a picture as a "piped webp sequence".

struct KindName {
    const char* format;  // FFmpeg's
    const char* name;    // ours
    // A kind read here, of which FFmpeg took a file no reader here took.
    bool readHere = false;
};
// Where FFmpeg's short name, in capitals, is not the name users know.
constexpr KindName kKindNames[] = {
    {"webp_pipe", "WebP"},          {"qdraw_pipe", "PICT"},         {"psd_pipe", "Photoshop (PSD)"},
    {"j2k_pipe", "JPEG 2000"},      {"jpegxl_pipe", "JPEG XL"},     {"jpegls_pipe", "JPEG-LS"},
    {"exr_pipe", "OpenEXR"},        {"sunrast_pipe", "Sun raster"}, {"pgmyuv_pipe", "PGM"},
    {"photocd_pipe", "Photo CD"},   {"pictor_pipe", "PC Paint"},    {"gem_pipe", "GEM raster"},
    {"cri_pipe", "Cintel RAW"},     {"ico", "Windows icon (ICO)"},  {"alias_pix", "Alias PIX"},
    {"brender_pix", "BRender PIX"}, {"bmp_pipe", "BMP", true},      {"gif_pipe", "GIF", true},
    {"jpeg_pipe", "JPEG", true},    {"png_pipe", "PNG", true},      {"tiff_pipe", "TIFF", true},
};

std::string NotReadWords(const std::string& kind)
{
    return "its format is " + kind + ", which this program does not read";
}

// Why a file of a format FFmpeg knows, and no reader here reads, is not read.
std::string FormatNotReadWords(const AVInputFormat* format)
{
    const std::string name = format->name ? format->name : "";
    std::string kind;
    for (const KindName& k : kKindNames) {
        if (name != k.format) continue;
        if (k.readHere) return std::string("a ") + k.name + " of a kind this program does not read";
        kind = k.name;
    }
    // A picture kind FFmpeg reads as a sequence: its short name, in capitals.
    const size_t pipe = name.rfind("_pipe");
    if (kind.empty() && pipe != std::string::npos && pipe > 0 && pipe + 5 == name.size()) {
        kind = name.substr(0, pipe);
        for (char& c : kind) c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    if (kind.empty()) kind = format->long_name && *format->long_name ? format->long_name : name;
    return NotReadWords(kind);
}

// ---- Files through our own reader: no name reaches FFmpeg, so nothing is
// told by a file's extension, and no other file is ever opened.

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

    Demuxer() = default;
    Demuxer(const Demuxer&) = delete;
    Demuxer& operator=(const Demuxer&) = delete;
    ~Demuxer() { Close(); }

    static int Read(void* opaque, uint8_t* buffer, int size)
    {
        auto* d = static_cast<Demuxer*>(opaque);
        const int64_t at = int64_t(ftello(d->file)) - d->begin;
        const int64_t left = d->size - at;
        const size_t n = std::fread(buffer, 1, size_t(std::clamp<int64_t>(size, 0, std::max<int64_t>(left, 0))), d->file);
        for (int64_t i = std::max(at, d->patchAt); d->patchAt >= 0 && i < std::min(at + int64_t(n), d->patchAt + 4); ++i)
            buffer[i - at] = d->patch[i - d->patchAt];
        return n == 0 ? AVERROR_EOF : int(n);
    }

    // A RIFF file (WAVE, AVI) whose LIST chunk claims more bytes than the
    // file holds is shown with the size it holds: FFmpeg takes the INFO tags
    // of such a chunk for as long as it claims, and zeroes room for each
    // before it reads it (2 GB for a file of 2 KB).
    void HoldListToFile()
    {
        patchAt = -1;
        uint8_t head[12];
        if (::pread(::fileno(file), head, sizeof head, off_t(begin)) != ssize_t(sizeof head) ||
            (std::memcmp(head, "RIFF", 4) != 0 && std::memcmp(head, "RIFX", 4) != 0))
            return;
        const bool big = head[3] == 'X';
        int64_t at = 12;
        for (int chunks = 0; chunks < 1024 && at + 8 <= size; ++chunks) {
            uint8_t chunk[8];
            if (::pread(::fileno(file), chunk, sizeof chunk, off_t(begin + at)) != ssize_t(sizeof chunk)) return;
            const uint32_t length = big ? Be32(chunk + 4)
                                        : uint32_t(chunk[4]) | uint32_t(chunk[5]) << 8 | uint32_t(chunk[6]) << 16 |
                                              uint32_t(chunk[7]) << 24;
            const int64_t holds = size - at - 8;
            if (int64_t(length) > holds) {
                if (std::memcmp(chunk, "LIST", 4) != 0) return;
                const uint32_t held = uint32_t(holds);
                patchAt = at + 4;
                for (int b = 0; b < 4; ++b) patch[b] = uint8_t(held >> (big ? 24 - 8 * b : 8 * b));
                return;
            }
            at += 8 + int64_t(length) + (length & 1);
        }
    }
    static int64_t Seek(void* opaque, int64_t offset, int whence)
    {
        auto* d = static_cast<Demuxer*>(opaque);
        if (whence & AVSEEK_SIZE) return d->size;
        whence &= ~AVSEEK_FORCE;
        const int64_t base = whence == SEEK_SET ? d->begin : whence == SEEK_END ? d->begin + d->size : 0;
        if (fseeko(d->file, off_t(base + offset), whence == SEEK_CUR ? SEEK_CUR : SEEK_SET) != 0) return -1;
        return int64_t(ftello(d->file)) - d->begin;
    }
    static int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

    // False with the reason in *why; *unknown tells a file of no kind FFmpeg
    // knows, which the caller words by what it asked for. FFmpeg sees the
    // bytes [from, to) of the file (one link of a chain), or all of them.
    bool Open(const std::string& path, std::string* why, bool* unknown = nullptr, int64_t from = 0, int64_t to = -1)
    {
        Close();
        SilenceLibraries();
        if (unknown) *unknown = false;
        std::string refused;
        file = OpenRegularStream(path, &refused);
        struct stat st {};
        // A file of the wrong kind is said as such; a failed open with the system's words.
        const bool wrongKind = !file && (errno == EISDIR || errno == EINVAL);
        if (!file || ::fstat(::fileno(file), &st) != 0) {
            *why = wrongKind ? refused : "cannot be opened: " + (file ? std::string(std::strerror(errno)) : refused);
            return false;
        }
        begin = std::clamp<int64_t>(from, 0, int64_t(st.st_size));
        size = (to < 0 ? int64_t(st.st_size) : std::clamp<int64_t>(to, begin, int64_t(st.st_size))) - begin;
        if (size == 0) {
            *why = "the file is empty";
            return false;
        }
        if (begin > 0 && fseeko(file, off_t(begin), SEEK_SET) != 0) {
            *why = "cannot be opened: " + std::string(std::strerror(errno));
            return false;
        }
        // FFmpeg's own buffer is the only one: a second would split its reads.
        std::setvbuf(file, nullptr, _IONBF, 0);
        auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
        io = buffer ? avio_alloc_context(buffer, kIoBufferSize, 0, this, Read, nullptr, Seek) : nullptr;
        format = io ? avformat_alloc_context() : nullptr;
        if (!format) {
            if (!io) av_free(buffer);
            *why = "out of memory";
            return false;
        }
        format->pb = io;
        format->io_open = RefuseOpen;
        HoldListToFile();
        AVDictionary* options = nullptr;
        av_dict_set(&options, "format_whitelist", kFormats, 0);
        av_dict_set(&options, "max_streams", "64", 0);
        ++g_opens;
        int result = avformat_open_input(&format, "", nullptr, &options);
        av_dict_free(&options);
        if (result < 0) {
            format = nullptr;  // freed by the failed open
            const AVInputFormat* probed = Probe();
            if (!probed) {
                if (unknown) *unknown = true;
                *why = UnknownKindWords(MediaWanted::kAny);
            } else if (av_match_list(probed->name, kFormats, ',') <= 0) {
                *why = FormatNotReadWords(probed);
            } else {
                *why = HeaderFault(result, probed);
            }
            return false;
        }
        // FFmpeg reads a track whose data reference names another file from
        // this file's bytes at that file's offsets: such media are refused.
        tracks.clear();
        if (std::strstr(format->iformat->name, "mov")) tracks = BoxWalker(::fileno(file), size).Tracks();
        for (const TrackBoxes& t : tracks)
            if (!t.outside.empty()) {
                *why = "its media lie in another file (\"" + t.outside + "\"), which is not opened";
                return false;
            }
        claimed.clear();
        for (unsigned i = 0; i < format->nb_streams; ++i)
            claimed.emplace_back(format->streams[i]->codecpar->width, format->streams[i]->codecpar->height);
        result = avformat_find_stream_info(format, nullptr);
        if (result < 0) {
            *why = HeaderFault(result, format->iformat);
            return false;
        }
        return true;
    }

    // The format the file is, by every format FFmpeg knows, when one takes
    // it with confidence; null when none does (FFmpeg's MP3 reader takes
    // most noise, faintly).
    const AVInputFormat* Probe()
    {
        const AVInputFormat* probed = nullptr;
        if (avio_seek(io, 0, SEEK_SET) < 0) return nullptr;
        const int score = av_probe_input_buffer2(io, &probed, "", nullptr, 0, 0);
        return score > AVPROBE_SCORE_RETRY ? probed : nullptr;
    }

    // Why a file of a format read here does not open, by FFmpeg's code.
    std::string HeaderFault(int code, const AVInputFormat* probed)
    {
        // Headers are small: what fails to fit is a count a damaged one claims.
        if (code == AVERROR(ENOMEM)) return "its headers claim more than memory holds";
        if (code == AVERROR_EOF) return "the file is cut short";
        if (code == AVERROR_PATCHWELCOME || code == AVERROR(ENOSYS))
            return "it uses a part of its format this program does not read";
        if (std::strstr(probed->name, "mov")) {
            // A HEIF picture has no movie box for FFmpeg to find.
            BoxWalker boxes(::fileno(file), size);
            const std::string heif = boxes.HeifKind();
            if (!heif.empty()) return NotReadWords(heif);
            // A QuickTime or MPEG-4 file's index (its movie box) lies at its
            // end unless the writer moved it forward: a file cut short loses it.
            return boxes.HasIndex() ? "its index is damaged" : "the file is cut short or its index is missing";
        }
        return "its headers are damaged or cut short";
    }

    void Close()
    {
        if (format) avformat_close_input(&format);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
        if (file) std::fclose(file);
        file = nullptr;
        begin = size = 0;
        patchAt = -1;
    }

    // Back to the start of a stream: its first key frame.
    bool Rewind(int stream)
    {
        const AVStream* st = format->streams[stream];
        const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        if (av_seek_frame(format, stream, start, AVSEEK_FLAG_BACKWARD) >= 0) return true;
        return av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE) >= 0;
    }
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

// Where libswscale writes a picture: rows aligned and padded as FFmpeg
// allocates them, since it writes whole blocks of pixels, past a row's end.
// Zeroed for a next pass, which reads such blocks too.
FramePtr ScalerOutput(int width, int height, AVPixelFormat format, bool readAgain)
{
    FramePtr frame{av_frame_alloc()};
    if (!frame) return frame;
    frame->width = width;
    frame->height = height;
    frame->format = format;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
    for (const AVBufferRef* b : frame->buf)
        if (b && readAgain) std::memset(b->data, 0, b->size);
    return frame;
}

// The next side on the way from one to another, no smaller than what
// libswscale reduces to in one pass.
int64_t ReductionStep(int64_t from, int64_t to)
{
    return std::max(to, (from + kMaxScalerReduction - 1) / kMaxScalerReduction);
}

// A decoder for one stream, on one thread, held to the pixel limit.
CodecPtr OpenDecoder(const AVStream* stream, uint64_t maxPixels, std::string* why)
{
    const std::string name = avcodec_get_name(stream->codecpar->codec_id);
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder) {
        *why = "no decoder for its " + name;
        return nullptr;
    }
    CodecPtr codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0) {
        *why = "out of memory";
        return nullptr;
    }
    codec->thread_count = 1;
    codec->pkt_timebase = stream->time_base;
    codec->max_pixels = int64_t(std::min<uint64_t>(maxPixels, uint64_t(INT_MAX)));
    const int result = avcodec_open2(codec.get(), decoder, nullptr);
    if (result < 0) {
        *why = result == AVERROR(ENOMEM)                                        ? "out of memory"
               : result == AVERROR_PATCHWELCOME || result == AVERROR(ENOSYS) ? "its " + name +
                                                                                    " uses a part of its format the "
                                                                                    "decoder does not read"
               : result == AVERROR_INVALIDDATA ? "its " + name + " settings are damaged"
                                               : "its " + name + " cannot be decoded";
        return nullptr;
    }
    return codec;
}

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

    void Saw(const AVPacket& p)
    {
        const bool marked = markPending_ || (p.flags & AV_PKT_FLAG_CORRUPT) || (said_ && said_->dropped > saidSeen_);
        const bool jumped =
            p.pts != AV_NOPTS_VALUE && lastEnd_ != AV_NOPTS_VALUE && p.pts > lastEnd_ + std::max(slack_, widest_);
        if (said_) saidSeen_ = said_->dropped;
        markPending_ = marked && p.pts == AV_NOPTS_VALUE;
        if ((marked || jumped) && p.pts != AV_NOPTS_VALUE && lostAt == AV_NOPTS_VALUE) {
            lostAt = p.pts;
            told = marked;
        }
        widest_ = std::max(widest_, p.duration);
        lastEnd_ = p.pts != AV_NOPTS_VALUE && p.duration > 0 ? p.pts + p.duration : AV_NOPTS_VALUE;
    }

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
    Result Next(AVFrame* out, bool counted)
    {
        for (;;) {
            const int r = avcodec_receive_frame(codec, out);
            if (r == 0) {
                if (counted && ++frames > kMaxFrames) return kFault;
                return kFrame;
            }
            if (r == AVERROR_EOF) return kEnd;
            if (r != AVERROR(EAGAIN)) {
                // A damaged frame: the decoder goes on with the next.
                if (++errors > kMaxErrors) return kFault;
                continue;
            }
            if (flushed || !packet) return kEnd;
            if (counted && ++packets > kMaxPackets) return kFault;
            if ((read ? read(packet.get()) : av_read_frame(format, packet.get())) < 0) {
                avcodec_send_packet(codec, nullptr);
                flushed = true;
                continue;
            }
            if (packet->stream_index == stream) {
                ++sent;
                if (watch) watch->Saw(*packet);
                if (avcodec_send_packet(codec, packet.get()) < 0 && ++errors > kMaxErrors) {
                    av_packet_unref(packet.get());
                    return kFault;
                }
            }
            av_packet_unref(packet.get());
        }
    }
    void Restart()
    {
        if (codec) avcodec_flush_buffers(codec);
        flushed = false;
    }
};

std::string CodecLongName(AVCodecID id)
{
    const AVCodecDescriptor* d = avcodec_descriptor_get(id);
    return d && d->long_name ? d->long_name : avcodec_get_name(id);
}

// A codec's name without its explanation: "AAC", "Vorbis", "FLAC".
std::string CodecShortName(AVCodecID id)
{
    const std::string name = CodecLongName(id);
    return name.substr(0, name.find(" ("));
}

// The name a video codec goes by, short enough for a 31-character field.
std::string VideoCodecName(AVCodecID id)
{
    static const struct {
        AVCodecID id;
        const char* name;
    } kNames[] = {
        {AV_CODEC_ID_H264, "H.264"},          {AV_CODEC_ID_HEVC, "HEVC"},
        {AV_CODEC_ID_MPEG4, "MPEG-4 Video"},  {AV_CODEC_ID_MJPEG, "Photo - JPEG"},
        {AV_CODEC_ID_MPEG1VIDEO, "MPEG-1 Video"}, {AV_CODEC_ID_MPEG2VIDEO, "MPEG-2 Video"},
        {AV_CODEC_ID_RAWVIDEO, "None"},       {AV_CODEC_ID_PNG, "PNG"},
    };
    for (const auto& n : kNames)
        if (n.id == id) return n.name;
    return CodecLongName(id).substr(0, 31);
}

uint32_t CodecType(const AVFormatContext* format, const AVCodecParameters* par, bool video)
{
    // A QuickTime file's own code; elsewhere QuickTime's code for the codec,
    // or the container's.
    const bool quickTime = std::strstr(format->iformat->name, "mov") != nullptr;
    if (quickTime && par->codec_tag) return FromTag(par->codec_tag);
    const AVCodecTag* const tables[] = {video ? avformat_get_mov_video_tags() : avformat_get_mov_audio_tags(), nullptr};
    if (const unsigned tag = av_codec_get_tag(tables, par->codec_id)) return FromTag(tag);
    return par->codec_tag ? FromTag(par->codec_tag) : FourCC("????");
}

// ---- Sound: decoded in order, converted to interleaved 16-bit samples
// at the stream's own rate and channels.

// One link of a chained file: its bytes, its sound's stream there, and
// why it gives no sound where it does not.
struct SoundLink {
    int64_t begin = 0, end = 0;
    int stream = -1;
    int rate = 0;
    int64_t frames = 0;  // at its own rate
    std::string fault;
};

// What a file tells of its sound's time beside the timestamps, in frames at
// the stream's rate.
struct SoundTime {
    // Where the sound ends by the container's own account (a QuickTime
    // file's edit list, which cuts the codec's padding off); 0: at the end
    // of what decodes.
    int64_t end = 0;
    // A raw AAC stream's: its frames are read by their headers' chain
    // (AdtsWalker) and placed by it, at its first frame's rate; 0 for others.
    int adtsRate = 0;
    // A chained Ogg file's links, each read as a file of its own, one after
    // another; empty for a file of one.
    std::vector<SoundLink> links;
};

// Each channel's place in a layout, where FFmpeg names one the mixing rule
// knows; empty otherwise.
std::vector<int> Places(const AVChannelLayout& layout)
{
    if (layout.order == AV_CHANNEL_ORDER_NATIVE) return PlacesOfMask(layout.u.mask, layout.nb_channels);
    if (layout.order != AV_CHANNEL_ORDER_CUSTOM) return {};
    std::vector<int> places;
    for (int i = 0; i < layout.nb_channels; ++i) {
        const int place = int(av_channel_layout_channel_from_index(&layout, unsigned(i)));
        if (place < 0 || place >= kPlaceCount) return {};
        places.push_back(place);
    }
    return places;
}

class SoundReader : public SampleSource {
public:
    SoundReader(std::string path, int stream, SoundInfo info, SoundTime time)
        : path_(std::move(path)),
          stream_(stream),
          info_(std::move(info)),
          end_(time.end),
          adtsRate_(time.adtsRate),
          links_(std::move(time.links))
    {
        said_.demuxers = true;
    }
    ~SoundReader() override
    {
        swr_free(&resampler_);
        av_channel_layout_uninit(&inLayout_);
    }

    const SoundInfo& Info() const override { return info_; }

    DecodeComplaints Complaints() const override { return complaints_; }

    bool Seek(int64_t frame) override
    {
        if (frame < 0 || !Ready()) return false;
        if (frame < position_ && !Restart()) return false;
        std::vector<int16_t> scratch(size_t(4096) * size_t(info_.channels));
        while (position_ < frame) {
            const int64_t n = Read16(scratch.data(), std::min<int64_t>(4096, frame - position_));
            if (n <= 0) return false;
        }
        return true;
    }

    int64_t Read16(int16_t* out, int64_t frames) override
    {
        if (frames < 0 || !Ready()) return -1;
        if (end_ > 0) frames = std::min(frames, std::max<int64_t>(end_ - position_, 0));
        const size_t channels = size_t(info_.channels);
        int64_t done = 0;
        bool fault = false;
        while (done < frames) {
            if (owed_ > 0) {
                const int64_t take = std::min(owed_, frames - done);
                std::memset(out + size_t(done) * channels, 0, size_t(take) * channels * 2);
                owed_ -= take;
                done += take;
                continue;
            }
            if (pendingAt_ == pending_.size()) {
                const int more = Decode();
                fault = more < 0;
                if (more <= 0) break;
                continue;
            }
            const size_t take = std::min(size_t(frames - done), (pending_.size() - pendingAt_) / channels);
            std::memcpy(out + size_t(done) * channels, pending_.data() + pendingAt_, take * channels * 2);
            pendingAt_ += take * channels;
            done += take;
        }
        position_ += done;
        return fault && done == 0 ? -1 : done;
    }

private:
    bool Ready()
    {
        if (failed_) return false;
        if (codec_) return true;
        std::string why;
        failed_ = true;
        const WatchComplaints watch(&said_, nullptr);
        if (!links_.empty()) {
            // The first link that gives sound, each before it said.
            while (link_ < links_.size() && !links_[link_].fault.empty()) SkipLink();
            if (link_ == links_.size()) return false;
            stream_ = links_[link_].stream;
        }
        const bool opened = links_.empty() ? demuxer_.Open(path_, &why)
                                           : demuxer_.Open(path_, &why, nullptr, links_[link_].begin, links_[link_].end);
        if (!opened || stream_ >= int(demuxer_.format->nb_streams)) return false;
        codec_ = OpenDecoder(demuxer_.format->streams[stream_], 0, &why);
        if (!codec_) return false;
        reader_.format = demuxer_.format;
        reader_.stream = stream_;
        reader_.codec = codec_.get();
        // Packets are contiguous to their tick, and to the two milliseconds
        // frames are held to. What the demuxer said as the file opened is of
        // no place.
        const AVRational base = demuxer_.format->streams[stream_]->time_base;
        watch_ = PacketWatch(&said_, base.num > 0 && base.den > 0 ? 2 + av_rescale_q(2, AVRational{1, 1000}, base) : 0);
        reader_.watch = &watch_;
        if (adtsRate_ > 0) {
            adts_ = std::make_unique<AdtsWalker>(::fileno(demuxer_.file), demuxer_.size);
            reader_.read = [this](AVPacket* packet) { return NextAdtsFrame(packet); };
        }
        frame_.reset(av_frame_alloc());
        failed_ = !frame_ || !reader_.packet;
        return !failed_;
    }

    // Back to the first sample: the file is opened afresh, as exact as a
    // first reading wherever the container's seeking is not.
    bool Restart()
    {
        codec_.reset();
        demuxer_.Close();
        reader_ = FrameReader{};
        swr_free(&resampler_);
        pending_.clear();
        pendingAt_ = 0;
        position_ = 0;
        ended_ = false;
        failed_ = false;
        complaints_.Clear();
        owed_ = placed_ = 0;
        based_ = false;
        sentAtFrame_ = 0;
        widestFrame_ = 0;
        said_.dropped = 0;
        undecoded_ = false;
        adts_.reset();
        link_ = 0;
        linkStart_ = 0;
        return Ready();
    }

    // A link whose sound cannot be read: said where it would have played,
    // its length unknown.
    void SkipLink()
    {
        complaints_.Add(placed_, placed_, links_[link_].fault);
        complaints_.MarkTimeLost();
        ++link_;
    }

    // On to the next link of a chain, once the decoder gave out all of the
    // one before: its own demuxer and decoder, its time from where the one
    // before ended. What the resampler holds of the one before is its time
    // too. false when no link is left or the next cannot be read.
    bool NextLink()
    {
        if (links_.empty() || link_ + 1 >= links_.size()) return false;
        if (resampler_ && !Convert(nullptr, 0)) return false;
        swr_free(&resampler_);
        Place();
        codec_.reset();
        demuxer_.Close();
        reader_ = FrameReader{};
        ++link_;
        based_ = false;
        linkStart_ = placed_;
        sentAtFrame_ = 0;
        undecoded_ = false;
        return Ready();
    }

    // Samples into pending_, or silence owed before them: 1 when some came,
    // 0 at the end, -1 on a fault.
    int Decode()
    {
        pending_.clear();
        pendingAt_ = 0;
        const WatchComplaints watch(&said_, nullptr);
        while (!ended_) {
            const int before = reader_.errors;
            const FrameReader::Result r = reader_.Next(frame_.get(), false);
            // What the decoder skipped or concealed is said, not passed over.
            if (reader_.errors > before) {
                complaints_.Add(placed_, placed_, DamagedDataWords(CodecShortName(codec_->codec_id)));
                undecoded_ = true;
            }
            if (r == FrameReader::kFault) return -1;
            if (r == FrameReader::kEnd && NextLink()) {
                if (!pending_.empty()) return 1;
                continue;
            }
            if (r == FrameReader::kEnd) {
                ended_ = true;
                // What the resampler still holds.
                if (resampler_) Convert(nullptr, 0);
                break;
            }
            const int64_t gap = Gap(*frame_);
            const bool ok = Convert(frame_.get(), frame_->nb_samples);
            av_frame_unref(frame_.get());
            if (!ok) return -1;
            // What did not decode keeps its time as silence, so that all
            // after it plays when it should.
            if (gap > 0) {
                owed_ = gap;
                placed_ += gap;
            }
            Place();
            if (!pending_.empty() || owed_ > 0) return 1;
        }
        Place();
        // Frames lost at the end of a raw AAC stream keep their time too.
        if (pending_.empty() && adtsRate_ > 0 && placed_ < info_.frames) {
            owed_ = info_.frames - placed_;
            placed_ = info_.frames;
        }
        return pending_.empty() && owed_ == 0 ? 0 : 1;
    }

    // Counts the samples pending_ holds as placed.
    void Place() { placed_ += int64_t(pending_.size() / size_t(info_.channels)); }

    // A raw AAC stream's next frame as a packet, placed by the frames before
    // it; what the walk skipped is said here, where it lies.
    int NextAdtsFrame(AVPacket* packet)
    {
        const auto at = [&](int64_t sample) { return av_rescale(sample, info_.sampleRate, adtsRate_); };
        AdtsFrame frame;
        for (;;) {
            if (!adts_->Next(&frame)) return AVERROR_EOF;
            if (frame.skipped > 0) {
                complaints_.Add(at(frame.first), at(frame.first),
                                std::to_string(frame.skipped) + " bytes hold no AAC frame");
                complaints_.MarkTimeLost();
            }
            if (!frame.damaged) break;
            // Not decoded: the frame after it is placed after its time.
            complaints_.Add(at(frame.first), at(frame.first + frame.samples), kFrameHeaderWords);
        }
        const AVRational base = demuxer_.format->streams[stream_]->time_base;
        if (av_new_packet(packet, int(frame.length)) < 0 || !adts_->Copy(frame.at, frame.length, packet->data))
            return AVERROR(EIO);
        packet->stream_index = stream_;
        packet->pts = packet->dts = av_rescale_q(frame.first, AVRational{1, adtsRate_}, base);
        packet->duration = av_rescale_q(frame.samples, AVRational{1, adtsRate_}, base);
        packet->pos = frame.at;
        return 0;
    }

    // The silence owed before a decoded frame: how far its timestamp lies
    // after the end of the samples so far, 0 when it lies about there.
    int64_t Gap(const AVFrame& frame)
    {
        const AVStream* st = demuxer_.format->streams[stream_];
        const AVRational base = st->time_base, rate{1, info_.sampleRate};
        const int64_t span = frame.sample_rate > 0 ? av_rescale(frame.nb_samples, info_.sampleRate, frame.sample_rate) : 0;
        widestFrame_ = std::max(widestFrame_, span);
        // The packets the decoder was given for this frame and those that
        // did not decode before it: no gap may be longer than they could
        // hold, however far a timestamp jumps.
        const int64_t packets = reader_.sent - sentAtFrame_;
        sentAtFrame_ = reader_.sent;
        constexpr int64_t kFar = int64_t(1) << 60;
        const int64_t ts = frame.best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE || base.num <= 0 || base.den <= 0) return 0;
        const int64_t at = av_rescale_q(ts, base, rate);
        if (at <= -kFar || at >= kFar) return 0;
        if (!based_) {
            // A FLAC file's frames count from its first sample, as a raw
            // AAC stream's are placed: one whose first frames are lost
            // starts later than that.
            timed_ = adtsRate_ > 0 || std::strcmp(demuxer_.format->iformat->name, "flac") == 0;
            const int64_t start = timed_ ? 0
                                  : st->start_time != AV_NOPTS_VALUE ? av_rescale_q(st->start_time, base, rate)
                                                                     : at;
            // A link's time starts where the link before it ended.
            origin_ = (start > -kFar && start < kFar ? start : at) - linkStart_;
            based_ = true;
        }
        const int64_t gap = at - origin_ - placed_;
        // What was lost since the last frame: packets the decoder was given
        // and could not decode, or packets missing before this frame's.
        const bool undecoded = std::exchange(undecoded_, false);
        const bool dropped = watch_.lostAt != AV_NOPTS_VALUE && ts >= watch_.lostAt;
        const bool told = dropped && watch_.told;
        if (dropped) watch_.lostAt = AV_NOPTS_VALUE;
        if (told) complaints_.Add(placed_, placed_, kPacketsLostWords);
        // Timestamps are exact to their tick (a millisecond in Matroska).
        const int64_t slack = std::max<int64_t>(info_.sampleRate / 500, 2 * av_rescale_q(1, base, rate) + 1);
        if (gap >= -slack && gap <= slack) return 0;
        // With nothing lost, a timestamp off by less than a packet is no hole
        // (Vorbis's move where the block size changes): the samples follow on.
        if (!timed_ && !undecoded && !dropped && gap >= -widestFrame_ && gap <= widestFrame_) return 0;
        // No gap may be longer than what was lost could hold, however far a
        // timestamp jumps: the packets given since the last frame, or, for
        // packets dropped unread, any stretch within the length the file
        // states; and none runs past that length.
        int64_t most = undecoded ? packets * widestFrame_ * 2 : 0;
        // A FLAC frame's header names its place, under a checksum, with or
        // without a stated length; a raw AAC frame's is counted.
        if ((dropped && info_.frames > 0) || timed_) most = kFar;
        most = std::min(most, info_.frames > 0 ? info_.frames - placed_ : kFar);
        // A hole is damage where anything told of damage; a time that jumps
        // in a stream that decodes whole is the file's own (a recording's
        // pause).
        const bool said = undecoded || !complaints_.Empty();
        if (gap > 0 && gap <= most) {
            if (said) complaints_.Add(placed_, placed_ + gap, {});
            return gap;
        }
        // A timestamp that jumps back, or further than what was lost: the
        // frame follows on, and those after it are placed from it. Where
        // something was lost, how much is not known.
        origin_ = at - placed_;
        if (gap > 0 && (undecoded || dropped) && said) complaints_.MarkTimeLost();
        return 0;
    }

    // The frame's samples (what the resampler still holds, for none) onto
    // pending_.
    bool Convert(const AVFrame* frame, int samples)
    {
        if (frame && !Configure(frame)) return false;
        if (!resampler_) return frame == nullptr;
        const int room = swr_get_out_samples(resampler_, samples);
        if (room < 0) return false;
        if (room == 0) return true;
        const size_t channels = size_t(info_.channels), base = pending_.size();
        pending_.resize(base + size_t(room) * channels);
        uint8_t* outPlanes[] = {reinterpret_cast<uint8_t*>(pending_.data() + base)};
        const int got = swr_convert(resampler_, outPlanes, room, frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                                    samples);
        if (got < 0) return false;
        pending_.resize(base + size_t(got) * channels);
        return true;
    }

    // The resampler for the frame's layout, format and rate; a stream that
    // changes them midway is followed.
    bool Configure(const AVFrame* frame)
    {
        AVChannelLayout in{};
        if (frame->ch_layout.nb_channels <= 0 || frame->sample_rate <= 0) return false;
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, frame->ch_layout.nb_channels);
        else if (av_channel_layout_copy(&in, &frame->ch_layout) < 0)
            return false;
        const bool same = resampler_ && av_channel_layout_compare(&in, &inLayout_) == 0 &&
                          frame->format == inFormat_ && frame->sample_rate == inRate_;
        if (same) {
            av_channel_layout_uninit(&in);
            return true;
        }
        // What the resampler holds of the part before (streams joined at
        // another rate) is its time: out before the next part starts.
        if (resampler_ && !Convert(nullptr, 0)) {
            av_channel_layout_uninit(&in);
            return false;
        }
        // As many channels as the stream's go out as they are; fewer are
        // mixed by the rule every road mixes by.
        const int from = in.nb_channels, to = info_.channels;
        AVChannelLayout out{};
        bool ok = true;
        if (from == to)
            ok = av_channel_layout_copy(&out, &in) >= 0;
        else
            av_channel_layout_default(&out, to);
        swr_free(&resampler_);
        ok = ok && swr_alloc_set_opts2(&resampler_, &out, AV_SAMPLE_FMT_S16, info_.sampleRate, &in,
                                       AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr) >= 0;
        if (ok && from != to) {
            const std::vector<float> gains = MixMatrix(from, Places(frame->ch_layout), to);
            const std::vector<double> matrix(gains.begin(), gains.end());
            ok = swr_set_matrix(resampler_, matrix.data(), from) >= 0;
        }
        ok = ok && swr_init(resampler_) >= 0;
        av_channel_layout_uninit(&out);
        av_channel_layout_uninit(&inLayout_);
        inLayout_ = in;
        inFormat_ = frame->format;
        inRate_ = frame->sample_rate;
        return ok;
    }

    std::string path_;
    int stream_;
    SoundInfo info_;
    Demuxer demuxer_;
    CodecPtr codec_;
    FrameReader reader_;
    FramePtr frame_;
    SwrContext* resampler_ = nullptr;
    AVChannelLayout inLayout_{};
    int inFormat_ = -1, inRate_ = 0;
    std::vector<int16_t> pending_;
    size_t pendingAt_ = 0;
    int64_t position_ = 0;
    bool ended_ = false;
    bool failed_ = false;
    DecodeComplaints complaints_;
    // In frames at the output rate: silence still to hand out, the samples
    // and silence placed so far, and where the stream's time starts.
    int64_t owed_ = 0, placed_ = 0, origin_ = 0;
    bool timed_ = false;  // each frame's place is known: FLAC, raw AAC
    bool based_ = false;
    int64_t sentAtFrame_ = 0;  // the decoder's packets when the last frame came
    int64_t widestFrame_ = 0;  // the most samples a frame has held
    // What the decoder and demuxer said; whether packets failed to decode
    // since the last frame; where packets went missing before it.
    struct Complaints said_;
    bool undecoded_ = false;
    PacketWatch watch_;
    int64_t end_ = 0;
    int adtsRate_ = 0;
    std::unique_ptr<AdtsWalker> adts_;
    std::vector<SoundLink> links_;
    size_t link_ = 0;          // the link read
    int64_t linkStart_ = 0;    // where it starts, in frames at the output rate
};

// The frames of a stream's sound at rate, by its own duration or the file's;
// 0 when neither is known.
int64_t StreamFrames(const AVFormatContext* format, const AVStream* st, int rate)
{
    if (rate <= 0) return 0;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        return av_rescale_q(st->duration, st->time_base, AVRational{1, rate});
    return format->duration > 0 ? av_rescale(format->duration, rate, AV_TIME_BASE) : 0;
}

// Each link of a chained file from where it starts: the first sound there
// that can be decoded, its rate and length, or why there is none.
std::vector<SoundLink> ProbeLinks(const std::string& path, const std::vector<int64_t>& starts, int64_t size)
{
    std::vector<SoundLink> links;
    for (size_t i = 0; i < starts.size(); ++i) {
        SoundLink link;
        link.begin = starts[i];
        link.end = i + 1 < starts.size() ? starts[i + 1] : size;
        Demuxer demuxer;
        std::string why;
        if (!demuxer.Open(path, &why, nullptr, link.begin, link.end)) {
            link.fault = "a link of the chain cannot be read (" + why + ")";
            links.push_back(std::move(link));
            continue;
        }
        const AVFormatContext* format = demuxer.format;
        for (unsigned k = 0; k < format->nb_streams && link.stream < 0; ++k) {
            const AVCodecParameters* par = format->streams[k]->codecpar;
            if (par->codec_type != AVMEDIA_TYPE_AUDIO || !avcodec_find_decoder(par->codec_id) ||
                !SoundFormatFault(par->sample_rate, par->ch_layout.nb_channels, -1).empty())
                continue;
            link.stream = int(k);
            link.rate = par->sample_rate;
            link.frames = StreamFrames(format, format->streams[k], link.rate);
        }
        if (link.stream < 0) link.fault = "a link of the chain holds no sound that can be decoded";
        links.push_back(std::move(link));
    }
    return links;
}

// ---- The movie

class FfmpegMovie final : public MovieBackend {
public:
    FfmpegMovie();
    ~FfmpegMovie() override;

    bool Open(const std::string& path, uint64_t maxPixels) override;
    void Close();
    const std::string& LastError() const override { return error_; }
    bool KindUnknown() const override { return kindUnknown_; }
    const std::vector<MovieStream>& Streams() const override;
    double Duration() const override;
    int VideoIndex() const override;
    int SoundIndex() const override;
    void DisplaySize(int* width, int* height) const override;
    double FrameRate() const override;
    const MovieFrame* FrameAt(double seconds, int width, int height, int bitsPerPixel) override;
    bool HasFrameAt(double seconds) override;
    uint64_t ReleaseDecoder() override;
    SampleSource* Sound(int channels) override;

private:
    struct Impl;
    // Decodes on to the frame shown at seconds.
    bool Decode(double seconds);
    std::unique_ptr<Impl> impl_;
    std::string error_;
    bool kindUnknown_ = false;
};

}  // namespace

struct FfmpegMovie::Impl {
    std::string path;
    uint64_t maxPixels = 0;
    Demuxer demuxer;
    std::vector<MovieStream> streams;
    double duration = 0;
    int video = -1, sound = -1;
    std::string videoRefused;  // why a video there gives no frames
    int displayWidth = 0, displayHeight = 0;
    int quarterTurns = 0;
    double frameRate = 0;
    std::unique_ptr<SoundReader> soundReader;
    SoundTime soundTime;

    // Decoding state: the frame shown at the last time asked for, the one
    // decoded after it, and the picture made of the first (at the size and
    // depth it was asked for).
    CodecPtr codec;
    FrameReader reader;
    FramePtr shown{av_frame_alloc()}, next{av_frame_alloc()}, scratch{av_frame_alloc()};
    bool haveShown = false, haveNext = false, ended = false, atStart = true;
    bool shownStandsBefore = false;  // shown is a first frame, standing for earlier times too
    // The decoder was let go: only the shown frame is left, and any other
    // time is decoded afresh from a key frame.
    bool released = false;
    int64_t shownPts = 0, nextPts = 0;
    SwsContext* scaler = nullptr;
    MovieFrame picture;
    bool pictureIsShown = false;
    int pictureAsked[3] = {};  // width, height, bits per pixel
    // Damage: the decoder's complaints since the last frame came out,
    // whether a frame since the last whole key frame was damaged (the
    // frames decoded from it inherit it), and what is said of the two
    // frames held.
    Complaints complaints;
    bool chainDamaged = false;
    std::string shownDamage, nextDamage;

    ~Impl() { sws_freeContext(scaler); }

    AVStream* Video() const { return demuxer.format->streams[video]; }

    // The video's packets, read through without decoding; the file is left
    // wherever the count ended.
    int64_t CountFrames()
    {
        int64_t count = 0;
        for (int packets = 0; packets < 4 * kMaxPackets && av_read_frame(demuxer.format, reader.packet.get()) >= 0; ++packets) {
            if (reader.packet->stream_index == video) ++count;
            av_packet_unref(reader.packet.get());
        }
        return count;
    }

    int64_t Origin() const
    {
        const AVStream* st = Video();
        if (demuxer.format->start_time != AV_NOPTS_VALUE)
            return av_rescale_q(demuxer.format->start_time, AV_TIME_BASE_Q, st->time_base);
        return st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    }

    int64_t FramePts(const AVFrame* f, bool haveLast, int64_t last) const
    {
        if (f->best_effort_timestamp != AV_NOPTS_VALUE) return f->best_effort_timestamp;
        if (f->pts != AV_NOPTS_VALUE) return f->pts;
        return haveLast ? last + 1 : Origin();
    }

    // What is to be said of the frame just out (the first of the video, or
    // shown at pts): damaged where the decoder complained as it made it or
    // flagged it, or decoded from such a frame; empty when it came whole.
    std::string TakeDamage(const AVFrame* f, bool first, int64_t pts)
    {
        const bool own = complaints.count > 0 || f->decode_error_flags || (f->flags & AV_FRAME_FLAG_CORRUPT);
        complaints.count = 0;
#ifdef AV_FRAME_FLAG_KEY
        const bool key = f->flags & AV_FRAME_FLAG_KEY;
#else
        const bool key = f->key_frame;
#endif
        if (own) chainDamaged = true;
        else if (key) chainDamaged = false;
        if (!chainDamaged) return {};
        const double seconds = std::max(0.0, double(pts - Origin()) * av_q2d(Video()->time_base));
        return FrameDamageWords(first ? -1.0 : seconds, own);
    }

    void Seek(int64_t target)
    {
        if (avformat_seek_file(demuxer.format, video, std::numeric_limits<int64_t>::min(), target, target, 0) < 0 &&
            av_seek_frame(demuxer.format, video, target, AVSEEK_FLAG_BACKWARD) < 0)
            demuxer.Rewind(video);
        reader.Restart();
        av_frame_unref(shown.get());
        av_frame_unref(next.get());
        haveShown = haveNext = ended = atStart = shownStandsBefore = pictureIsShown = released = false;
        complaints.count = 0;
        chainDamaged = false;
    }

    bool Covers(int64_t target) const
    {
        if (!haveShown) return false;
        if (shownPts > target) return shownStandsBefore;
        // Frames come in the order they are shown: none after this one is
        // shown at its very time.
        if (shownPts == target) return true;
        return haveNext ? nextPts > target : ended;
    }

    // Decodes on until the frame shown at target is in shown.
    bool Advance(int64_t target, std::string* why)
    {
        reader.packets = reader.frames = 0;
        if (haveNext && nextPts <= target) {
            av_frame_unref(shown.get());
            av_frame_move_ref(shown.get(), next.get());
            shownDamage = std::move(nextDamage);
            shownPts = nextPts;
            haveNext = false;
            pictureIsShown = shownStandsBefore = false;
        }
        while (!haveNext && !ended) {
            const FrameReader::Result r = reader.Next(scratch.get(), true);
            if (r == FrameReader::kFault) {
                *why = reader.frames > kMaxFrames || reader.packets > kMaxPackets
                           ? "too much of the video lies before the time asked for"
                           : "its video cannot be decoded: " + DamagedVideo();
                return false;
            }
            if (r == FrameReader::kEnd) {
                ended = true;
                break;
            }
            const bool first = std::exchange(atStart, false);
            const int64_t pts = FramePts(scratch.get(), haveShown, shownPts);
            std::string damage = TakeDamage(scratch.get(), first, pts);
            if (!haveShown || pts <= target) {
                shownStandsBefore = !haveShown && pts > target;
                av_frame_unref(shown.get());
                av_frame_move_ref(shown.get(), scratch.get());
                shownDamage = std::move(damage);
                shownPts = pts;
                haveShown = true;
                pictureIsShown = false;
                if (shownStandsBefore || pts == target) break;
            } else {
                av_frame_move_ref(next.get(), scratch.get());
                nextDamage = std::move(damage);
                nextPts = pts;
                haveNext = true;
            }
        }
        if (!haveShown)
            *why = reader.errors > 0 || complaints.count > 0 ? "no frame of its video can be decoded: " + DamagedVideo()
                                                             : "no frame of its video can be decoded";
        return haveShown;
    }

    std::string DamagedVideo() const { return DamagedDataWords(VideoCodecName(Video()->codecpar->codec_id)); }

    // Why the shown frame cannot be made a picture; empty when it can.
    std::string Unconvertible() const
    {
        const AVFrame* f = shown.get();
        if (!SizeAllowed(f->width, f->height, maxPixels))
            return "a frame of " + std::to_string(f->width) + " x " + std::to_string(f->height) +
                   " pixels is more than a picture may have";
        const auto format = AVPixelFormat(f->format);
        if (!av_pix_fmt_desc_get(format)) return "its frames have no known pixel format";
        if (!sws_isSupportedInput(format)) return "its frames cannot be converted to RGB";
        return "";
    }

    // The shown frame as a picture of width × height on screen (0 × 0: its
    // own size) at bits per pixel (0: 32 where it carries alpha, else 24),
    // scaled and converted in one pass (reduced in several where one would
    // be too large a reduction) and then turned as the track asks. Where
    // libswscale cannot scale to that size the picture is larger (the
    // frame's own size at most), for the caller to scale.
    bool MakePicture(int width, int height, int bits, std::string* why)
    {
        if (pictureIsShown && pictureAsked[0] == width && pictureAsked[1] == height && pictureAsked[2] == bits)
            return true;
        if (const std::string fault = Unconvertible(); !fault.empty()) {
            *why = fault;
            return false;
        }
        const AVFrame* f = shown.get();
        const auto format = AVPixelFormat(f->format);
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
        const bool alpha = bits ? bits == 32 : (desc->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
        const int bytes = alpha ? 4 : 3;
        const AVPixelFormat rgb = alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
        // The size before the turn.
        int64_t targetWidth = f->width, targetHeight = f->height;
        if (width > 0 && height > 0 && SizeAllowed(width, height, UINT64_MAX)) {
            targetWidth = quarterTurns % 2 ? height : width;
            targetHeight = quarterTurns % 2 ? width : height;
        }
        int64_t scaledWidth = ReductionStep(f->width, targetWidth), scaledHeight = ReductionStep(f->height, targetHeight);
        for (;;) {
            scaler = sws_getCachedContext(scaler, f->width, f->height, format, int(scaledWidth), int(scaledHeight), rgb,
                                          kScaleFlags, nullptr, nullptr, nullptr);
            if (scaler || (scaledWidth == f->width && scaledHeight == f->height)) break;
            scaledWidth = targetWidth = f->width, scaledHeight = targetHeight = f->height;
        }
        if (!scaler) {
            *why = "its frames cannot be converted to RGB";
            return false;
        }
        // The frame's own colour matrix and range, where it tells them and
        // they are ones FFmpeg knows.
        const bool fullRange = EnumValue(f->color_range) == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P ||
                               format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
                               format == AV_PIX_FMT_YUVJ440P;
        int space = EnumValue(f->colorspace);
        if (space <= AVCOL_SPC_RGB || space == AVCOL_SPC_UNSPECIFIED || space >= AVCOL_SPC_NB) space = SWS_CS_DEFAULT;
        if (!(desc->flags & AV_PIX_FMT_FLAG_RGB))
            sws_setColorspaceDetails(scaler, sws_getCoefficients(space), fullRange, sws_getCoefficients(SWS_CS_DEFAULT),
                                     1, 0, 1 << 16, 1 << 16);
        FramePtr converted = ScalerOutput(int(scaledWidth), int(scaledHeight), rgb,
                                          scaledWidth != targetWidth || scaledHeight != targetHeight);
        if (!converted) {
            *why = "out of memory";
            return false;
        }
        if (sws_scale(scaler, f->data, f->linesize, 0, f->height, converted->data, converted->linesize) !=
            int(scaledHeight)) {
            *why = "its frames cannot be converted to RGB";
            return false;
        }
        // The rest of a large reduction, from RGB to RGB.
        while (converted->width != targetWidth || converted->height != targetHeight) {
            const int w = int(ReductionStep(converted->width, targetWidth));
            const int h = int(ReductionStep(converted->height, targetHeight));
            SwsContext* step = sws_getContext(converted->width, converted->height, rgb, w, h, rgb,
                                              kScaleFlags | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr);
            FramePtr next = step ? ScalerOutput(w, h, rgb, w != targetWidth || h != targetHeight) : nullptr;
            const bool scaled = next && sws_scale(step, converted->data, converted->linesize, 0, converted->height,
                                                  next->data, next->linesize) == h;
            sws_freeContext(step);
            if (!scaled) break;
            converted = std::move(next);
        }
        scaledWidth = converted->width, scaledHeight = converted->height;
        std::unique_ptr<uint8_t[]> pixels(new (std::nothrow)
                                              uint8_t[size_t(scaledWidth) * size_t(bytes) * size_t(scaledHeight)]);
        if (!pixels) {
            *why = "out of memory";
            return false;
        }
        Turn(converted->data[0], size_t(converted->linesize[0]), int(scaledWidth), int(scaledHeight), bytes,
             quarterTurns, pixels.get());
        picture.width = uint32_t(scaledWidth);
        picture.height = uint32_t(scaledHeight);
        if (quarterTurns % 2) std::swap(picture.width, picture.height);
        picture.pixels = std::move(pixels);
        picture.bitsPerPixel = bytes * 8;
        picture.damage = shownDamage;
        pictureIsShown = true;
        pictureAsked[0] = width, pictureAsked[1] = height, pictureAsked[2] = bits;
        return true;
    }

    // Keeps the shown frame alone: decoder, scaler, the frame after it and
    // the picture go. The bytes the frame holds.
    uint64_t ReleaseDecoder()
    {
        uint64_t bytes = 0;
        for (const AVBufferRef* b : shown->buf)
            if (b) bytes += b->size;
        if (!codec) return bytes;
        codec.reset();
        reader.codec = nullptr;
        av_frame_unref(next.get());
        av_frame_unref(scratch.get());
        haveNext = false;
        sws_freeContext(scaler);
        scaler = nullptr;
        picture = MovieFrame{};
        pictureIsShown = false;
        released = true;
        return bytes;
    }
};

FfmpegMovie::FfmpegMovie() = default;

FfmpegMovie::~FfmpegMovie() = default;

void FfmpegMovie::Close()
{
    impl_.reset();
}

bool FfmpegMovie::Open(const std::string& path, uint64_t maxPixels)
{
    Close();
    error_.clear();
    kindUnknown_ = false;
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    impl->maxPixels = maxPixels;
    if (!impl->shown || !impl->next || !impl->scratch || !impl->reader.packet) {
        error_ = "out of memory";
        return false;
    }
    if (!impl->demuxer.Open(path, &error_, &kindUnknown_)) return false;
    const AVFormatContext* format = impl->demuxer.format;
    const std::string container = format->iformat->name;
    const bool mpegFile = container == "mpeg" || container == "mpegvideo";
    const std::string containerName = format->iformat->long_name ? format->iformat->long_name : container;
    // Why a sound stream was passed over for what its header gives.
    std::string soundRefused;
    // A raw AAC stream is read by its frame headers' chain, which also give
    // its rate and channels where FFmpeg could decode no frame to learn them.
    AdtsChain adts;
    if (container == "aac") {
        adts = WalkAdts(::fileno(impl->demuxer.file), impl->demuxer.size);
        if (adts.rate == 0) {
            error_ = !adts.fault.empty() ? adts.fault : "it holds no AAC frames that can be read";
            return false;
        }
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* st = format->streams[i];
        const AVCodecParameters* par = st->codecpar;
        MovieStream s;
        const bool picture = st->disposition & AV_DISPOSITION_ATTACHED_PIC;
        const bool decodable = avcodec_find_decoder(par->codec_id) != nullptr;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && !picture) {
            s.kind = MovieStream::kVideo;
            s.mpeg = mpegFile && (par->codec_id == AV_CODEC_ID_MPEG1VIDEO || par->codec_id == AV_CODEC_ID_MPEG2VIDEO);
            s.codecType = CodecType(format, par, true);
            s.codecName = VideoCodecName(par->codec_id);
            s.width = par->width;
            s.height = par->height;
            const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(par->format));
            s.depth = desc && (desc->flags & AV_PIX_FMT_FLAG_ALPHA) ? 32 : 24;
            if (impl->video < 0 && decodable) {
                const auto [claimedWidth, claimedHeight] =
                    i < impl->demuxer.claimed.size() && (par->width <= 0 || par->height <= 0)
                        ? impl->demuxer.claimed[i]
                        : std::make_pair(par->width, par->height);
                if (SizeAllowed(par->width, par->height, maxPixels))
                    impl->video = int(i);
                else if (impl->videoRefused.empty() && (claimedWidth <= 0 || claimedHeight <= 0))
                    impl->videoRefused = "its video has no size";
                else if (impl->videoRefused.empty())
                    impl->videoRefused = "its video claims " + std::to_string(claimedWidth) + " x " +
                                         std::to_string(claimedHeight) + " pixels, more than a picture may have";
            }
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            s.kind = MovieStream::kSound;
            s.mpeg = mpegFile && (par->codec_id == AV_CODEC_ID_MP1 || par->codec_id == AV_CODEC_ID_MP2 ||
                                  par->codec_id == AV_CODEC_ID_MP3);
            s.codecType = CodecType(format, par, false);
            s.codecName = CodecLongName(par->codec_id);
            SoundInfo& info = s.sound;
            info.sampleRate = par->sample_rate > 0 ? par->sample_rate : adts.rate;
            // Surround sound comes mixed down to stereo: a movie's sound
            // ends as MP3, which holds two channels at most.
            const int channels = par->ch_layout.nb_channels > 0 ? par->ch_layout.nb_channels : adts.channels;
            info.channels = std::min(channels, 2);
            s.soundChannels = channels;
            const int bits = av_get_bits_per_sample(par->codec_id);
            info.bitsPerSample = bits > 0 ? bits : 16;
            info.dataFormat = s.codecType;
            info.formatName = containerName + ", " + s.codecName;
            info.frames = StreamFrames(format, st, info.sampleRate);
            const std::string fault = SoundFormatFault(info.sampleRate, channels, -1);
            if (impl->sound < 0 && decodable && fault.empty()) impl->sound = int(i);
            if (soundRefused.empty()) soundRefused = fault;
        }
        impl->streams.push_back(std::move(s));
    }
    // The size on screen, the coded size stretched by the pixel aspect
    // ratio, is held to the limits the coded size is.
    if (impl->video >= 0) {
        AVStream* st = format->streams[impl->video];
        const AVRational aspect = av_guess_sample_aspect_ratio(impl->demuxer.format, st, nullptr);
        int64_t width = st->codecpar->width;
        const int64_t height = st->codecpar->height;
        if (aspect.num > 0 && aspect.den > 0 && aspect.num != aspect.den)
            width = std::max<int64_t>(av_rescale(width, aspect.num, aspect.den), 1);
        if (SizeAllowed(width, height, maxPixels)) {
            impl->displayWidth = int(width);
            impl->displayHeight = int(height);
        } else {
            impl->videoRefused = "its video is shown at " + std::to_string(width) + " x " + std::to_string(height) +
                                 " pixels, more than a picture may have";
            impl->video = -1;
        }
    }
    if (impl->video < 0 && impl->sound < 0) {
        error_ = !impl->videoRefused.empty() ? impl->videoRefused
                 : !soundRefused.empty()     ? soundRefused
                                             : "it holds no video or sound that can be decoded";
        return false;
    }
    if (format->duration > 0) {
        impl->duration = double(format->duration) / AV_TIME_BASE;
    }
    if (impl->sound >= 0 && std::strstr(format->iformat->name, "mov")) {
        // The length its edit list gives, short of the codec's padding.
        const AVStream* st = format->streams[impl->sound];
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
            impl->soundTime.end = impl->streams[size_t(impl->sound)].sound.frames;
    } else if (container == "ogg" && impl->sound >= 0) {
        const int fd = ::fileno(impl->demuxer.file);
        const int64_t size = impl->demuxer.size;
        std::vector<SoundLink> links = WalkedOnce(fd, [&] {
            const std::vector<int64_t> starts = OggLinkStarts(fd, size);
            return starts.size() > 1 ? ProbeLinks(path, starts, size) : std::vector<SoundLink>{};
        });
        if (!links.empty()) {
            // Every link at the first's rate and channels, one after another.
            SoundInfo& info = impl->streams[size_t(impl->sound)].sound;
            info.frames = 0;
            for (const SoundLink& link : links)
                if (link.fault.empty()) info.frames += av_rescale(link.frames, info.sampleRate, link.rate);
            impl->duration = double(info.frames) / info.sampleRate;
            impl->soundTime.links = std::move(links);
        }
    } else if (container == "aac" && impl->sound >= 0) {
        // The length its frames hold, where FFmpeg guesses from a bit rate.
        SoundInfo& info = impl->streams[size_t(impl->sound)].sound;
        info.frames = av_rescale(adts.samples, info.sampleRate, adts.rate);
        impl->duration = double(adts.samples) / adts.rate;
        impl->soundTime.adtsRate = adts.rate;
    } else if (format->duration <= 0) {
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            const AVStream* st = format->streams[i];
            if (st->duration > 0) impl->duration = std::max(impl->duration, double(st->duration) * av_q2d(st->time_base));
        }
    }
    if (impl->video >= 0) {
        AVStream* st = format->streams[impl->video];
        const AVCodecParameters* par = st->codecpar;
        impl->quarterTurns = QuarterTurns(st);
        if (impl->quarterTurns % 2) std::swap(impl->displayWidth, impl->displayHeight);
        const bool mpeg = impl->streams[size_t(impl->video)].mpeg ||
                          par->codec_id == AV_CODEC_ID_MPEG1VIDEO || par->codec_id == AV_CODEC_ID_MPEG2VIDEO;
        // A QuickTime file's media as its own boxes count them: FFmpeg's
        // duration is cut to the edit list, which B-frames shift.
        const TrackBoxes* media = nullptr;
        for (const TrackBoxes& t : impl->demuxer.tracks)
            if (!media && t.id == uint32_t(st->id) && t.timeScale > 0 && t.duration > 0 && t.samples > 0) media = &t;
        if (mpeg && st->r_frame_rate.num > 0 && st->r_frame_rate.den > 0)
            impl->frameRate = av_q2d(st->r_frame_rate);
        else if (media)
            impl->frameRate = double(media->samples) * media->timeScale / double(media->duration);
        else if (st->nb_frames > 0 && st->duration > 0)
            impl->frameRate = double(st->nb_frames) / (double(st->duration) * av_q2d(st->time_base));
        else if (st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0)
            impl->frameRate = av_q2d(st->avg_frame_rate);
        if (!std::isfinite(impl->frameRate) || impl->frameRate < 0) impl->frameRate = 0;
    }
    // A length guessed from a bit rate (an MPEG video stream's, which a
    // variable rate leaves meaningless) is counted from the frames instead.
    if (format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE && impl->video >= 0 && impl->frameRate > 0) {
        impl->duration = impl->CountFrames() / impl->frameRate;
        impl->atStart = false;
    }
    if (!std::isfinite(impl->duration) || impl->duration < 0) impl->duration = 0;
    impl_ = std::move(impl);
    return true;
}

const std::vector<MovieStream>& FfmpegMovie::Streams() const
{
    static const std::vector<MovieStream> kNone;
    return impl_ ? impl_->streams : kNone;
}

double FfmpegMovie::Duration() const
{
    return impl_ ? impl_->duration : 0.0;
}

int FfmpegMovie::VideoIndex() const
{
    return impl_ ? impl_->video : -1;
}

int FfmpegMovie::SoundIndex() const
{
    return impl_ ? impl_->sound : -1;
}

void FfmpegMovie::DisplaySize(int* width, int* height) const
{
    if (width) *width = impl_ ? impl_->displayWidth : 0;
    if (height) *height = impl_ ? impl_->displayHeight : 0;
}

double FfmpegMovie::FrameRate() const
{
    return impl_ ? impl_->frameRate : 0.0;
}

bool FfmpegMovie::Decode(double seconds)
{
    if (!impl_) {
        error_ = "no movie is open";
        return false;
    }
    Impl& m = *impl_;
    if (m.video < 0) {
        error_ = !m.videoRefused.empty() ? m.videoRefused : "it holds no video";
        return false;
    }
    const AVRational base = m.Video()->time_base;
    seconds = std::isfinite(seconds) ? std::clamp(seconds, 0.0, 1e9) : 0.0;
    const int64_t origin = m.Origin();
    const int64_t target = origin + int64_t(std::llround(seconds / av_q2d(base)));
    if (m.Covers(target)) return true;
    if (!m.codec) {
        m.codec = OpenDecoder(m.Video(), m.maxPixels, &error_);
        if (!m.codec) return false;
        m.reader.format = m.demuxer.format;
        m.reader.stream = m.video;
        m.reader.codec = m.codec.get();
    }
    const WatchComplaints watch(&m.complaints, m.codec.get());
    const int64_t from = m.haveShown ? m.shownPts : origin;
    const bool onward = !m.released && (m.atStart || (m.haveShown && m.shownPts <= target)) &&
                        double(target - from) * av_q2d(base) <= kForwardSeconds;
    if (!onward) m.Seek(target);
    return m.Advance(target, &error_);
}

const MovieFrame* FfmpegMovie::FrameAt(double seconds, int width, int height, int bitsPerPixel)
{
    if (!Decode(seconds) || !impl_->MakePicture(width, height, bitsPerPixel, &error_)) return nullptr;
    return &impl_->picture;
}

bool FfmpegMovie::HasFrameAt(double seconds)
{
    if (!Decode(seconds)) return false;
    error_ = impl_->Unconvertible();
    return error_.empty();
}

uint64_t FfmpegMovie::ReleaseDecoder()
{
    return impl_ ? impl_->ReleaseDecoder() : 0;
}

SampleSource* FfmpegMovie::Sound(int channels)
{
    if (!impl_ || impl_->sound < 0 || channels < 1) return nullptr;
    const MovieStream& stream = impl_->streams[size_t(impl_->sound)];
    // Two at most, as the stream's description says, unless more are asked.
    const int wanted = std::min(channels, std::max(stream.soundChannels, stream.sound.channels));
    if (!impl_->soundReader || impl_->soundReader->Info().channels != wanted) {
        SoundInfo info = stream.sound;
        info.channels = wanted;
        if (wanted != int(info.places.size())) info.places.clear();
        impl_->soundReader = std::make_unique<SoundReader>(impl_->path, impl_->sound, info, impl_->soundTime);
    }
    return impl_->soundReader.get();
}

namespace {

class FfmpegModule final : public MovieModule {
public:
    std::unique_ptr<MovieBackend> NewMovie() override { return std::make_unique<FfmpegMovie>(); }
    int OpenCount() const override { return g_opens.load(); }
};

}  // namespace

}  // namespace platform

extern "C" __attribute__((visibility("default"))) platform::MovieModule* TavrelMovieModule(int version)
{
    static platform::FfmpegModule module;
    return version == platform::kMovieModuleVersion ? &module : nullptr;
}
