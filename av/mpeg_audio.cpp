#include "av/mpeg_audio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <mpg123.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>

#include "av/captured_stderr.h"
#include "platform/regular_file.h"

namespace platform {

namespace {

// Where a frame that starts before a stretch without 0xFF may end: the
// longest a frame is (free format at 640 kbit/s and 32 kHz).
constexpr int64_t kFrameRoom = 8192;

mpg123_handle* Handle(void* handle)
{
    return static_cast<mpg123_handle*>(handle);
}

// How far a frame that follows a gap may lie from where a frame of a
// constant bit rate stream would start: padding moves frames by a byte, or
// four in Layer I.
constexpr double kGridSlack = 4.0;

std::string MissingWords(int64_t bytes, bool cut = false)
{
    return cut ? "a frame is cut short after " + std::to_string(bytes) + " bytes, where other frames begin"
               : std::to_string(bytes) + " bytes hold no MPEG audio frame";
}
constexpr char kDamagedWords[] = "damaged MPEG audio data";

uint32_t Be32(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// What a LAME tag after a Xing header tells: the encoder's delay and
// padding, and the bytes of the recording from its Info frame on with the
// checksum of those after it (0 where it gives none).
struct LameTag {
    int delay = -1, padding = -1;
    int64_t bytes = 0;
    uint16_t crc = 0;
};

// A Layer III frame that holds a Xing/Info or VBRI header instead of sound,
// the frame count it gives (0 when it gives none) and the LAME tag after a
// Xing header (-1 for its delay and padding without one).
enum class HeaderFrame { kNone, kXing, kVbri };
HeaderFrame ReadHeaderFrame(const unsigned char* p, size_t n, uint32_t* frames, LameTag* tag = nullptr)
{
    *frames = 0;
    if (tag) *tag = LameTag{};
    if (n < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0 || ((p[1] >> 1) & 3) != 1) return HeaderFrame::kNone;
    const bool mpeg1 = ((p[1] >> 3) & 3) == 3, mono = (p[3] >> 6) == 3;
    const size_t xing = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (n >= xing + 8 && (std::memcmp(p + xing, "Xing", 4) == 0 || std::memcmp(p + xing, "Info", 4) == 0)) {
        const uint32_t flags = Be32(p + xing + 4);
        if ((flags & 1) && n >= xing + 12) *frames = Be32(p + xing + 8);
        // Frames, bytes, table of contents, quality: each there when flagged.
        const size_t lame = xing + 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) +
                            ((flags & 8) ? 4 : 0);
        if (tag && n >= lame + 24 && std::isalpha(p[lame]) && std::isalpha(p[lame + 1]) && std::isalpha(p[lame + 2]) &&
            std::isalpha(p[lame + 3])) {
            tag->delay = p[lame + 21] << 4 | p[lame + 22] >> 4;
            tag->padding = (p[lame + 22] & 0x0F) << 8 | p[lame + 23];
            if (n >= lame + 34) {
                tag->bytes = Be32(p + lame + 28);
                tag->crc = uint16_t(p[lame + 32] << 8 | p[lame + 33]);
            }
        }
        return HeaderFrame::kXing;
    }
    if (n >= 54 && std::memcmp(p + 36, "VBRI", 4) == 0) {
        *frames = Be32(p + 50);
        return HeaderFrame::kVbri;
    }
    return HeaderFrame::kNone;
}

// A recording's Xing/Info or VBRI frame, and where the recording's frames
// begin among the stream's.
struct PartTag {
    HeaderFrame header = HeaderFrame::kNone;
    uint32_t counted = 0;  // frames, 0 where it counts none
    LameTag lame;
    int64_t at = -1;               // the header frame's place in the stream, -1 without one
    bool afterCut = false;         // the recording before it was cut within a frame
    int frameSamples = 0;          // of a frame, at the recording's rate
    double scale = 1;              // the sound's rate over the recording's
    int64_t slots[2] = {0, 0};     // frame times before it: on a grid of one frame size, and as they come
    double length = 0;             // what the frames before it decode to
    bool Cuts() const { return header == HeaderFrame::kXing && lame.delay >= 0 && lame.padding >= 0; }
};
// The samples libmpg123's Layer III decoding puts before the sound, which
// it reports only while it decodes Layer III: a LAME tag, always of a Layer
// III recording, counts its delay and padding past them.
constexpr int64_t kLayer3Delay = 529;
// Enough of a frame for a Xing header and the LAME tag after it.
constexpr size_t kTagBytes = 256;

PartTag ReadPartTag(const unsigned char* p, size_t n, int frameSamples, double scale)
{
    PartTag tag;
    tag.header = ReadHeaderFrame(p, n, &tag.counted, &tag.lame);
    tag.frameSamples = frameSamples;
    tag.scale = scale;
    return tag;
}

// An MPEG audio frame header, read as the standard gives it.
struct FrameHeader {
    int version = 0;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int layer = 0;    // 1, 2 or 3
    int bitRate = 0;  // kbit/s; 0 for free format
    int rate = 0;     // Hz
    bool mono = false;
    int64_t size = 0;  // bytes, header included; 0 for free format
};

bool ReadFrameHeader(const unsigned char* p, FrameHeader* h)
{
    static constexpr int kBitRates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static constexpr int kRates[3] = {44100, 48000, 32000};
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int version = p[1] >> 3 & 3, layerBits = p[1] >> 1 & 3, rateIndex = p[2] >> 2 & 3, index = p[2] >> 4;
    if (version == 1 || layerBits == 0 || rateIndex == 3 || index == 15) return false;
    h->version = version;
    h->layer = 4 - layerBits;
    h->bitRate = kBitRates[version == 3 ? 0 : 1][h->layer - 1][index];
    h->rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    h->mono = (p[3] >> 6) == 3;
    const int64_t padding = p[2] >> 1 & 1, bits = int64_t(h->bitRate) * 1000;
    if (h->layer == 1) h->size = (12 * bits / h->rate + padding) * 4;
    else if (h->layer == 3 && version != 3) h->size = 72 * bits / h->rate + padding;
    else h->size = 144 * bits / h->rate + padding;
    return true;
}

// Whether p starts a frame header of the same stream as ref: version,
// layer, bit rate, sample rate and mono or not alike.
bool SameStream(const unsigned char* p, const unsigned char* ref)
{
    return p[0] == 0xFF && (p[1] & 0xFE) == (ref[1] & 0xFE) && (p[2] & 0xFC) == (ref[2] & 0xFC) &&
           ((p[3] >> 6) == 3) == ((ref[3] >> 6) == 3);
}

// Whether two frame headers are of one version, layer and rate, and where
// mode counts, both mono or neither.
bool SameKind(const unsigned char* p, const unsigned char* q, bool mode)
{
    return (p[1] & 0xFE) == (q[1] & 0xFE) && (p[2] & 0x0C) == (q[2] & 0x0C) &&
           (!mode || ((p[3] >> 6) == 3) == ((q[3] >> 6) == 3));
}

// The bytes of the shortest frame of the kind the header p starts: one at
// the lowest bit rate of its version, layer and rate.
int64_t LowestFrameBytes(const unsigned char* p)
{
    const unsigned char lowest[4] = {p[0], p[1], uint8_t((p[2] & 0x0D) | 0x10), p[3]};
    FrameHeader h;
    return ReadFrameHeader(lowest, &h) ? h.size : 0;
}

// Tags that may stand before, between or after frames.
bool TagAt(const unsigned char* p, size_t n)
{
    for (const char* tag : {"ID3", "TAG", "APETAGEX", "LYRICSBEGIN"})
        if (n >= std::strlen(tag) && std::memcmp(p, tag, std::strlen(tag)) == 0) return true;
    return false;
}

// The length of the ID3v2 tag at p, 0 where none starts.
int64_t Id3v2Length(const unsigned char* p, size_t n)
{
    if (n < 10 || std::memcmp(p, "ID3", 3) != 0 || ((p[6] | p[7] | p[8] | p[9]) & 0x80)) return 0;
    const int64_t body = int64_t(p[6]) << 21 | int64_t(p[7]) << 14 | int64_t(p[8]) << 7 | p[9];
    return 10 + body + ((p[5] & 0x10) ? 10 : 0);
}

// Whether p starts a file of another kind, which may hold MPEG audio
// frames of its own among other data (a movie's sound track): such a file is
// not taken for MPEG audio with bytes before its first frame.
bool OtherFormatAt(const unsigned char* p, size_t n)
{
    static constexpr struct {
        const char* bytes;
        size_t n;
    } kAtStart[] = {{"RIFF", 4}, {"RIFX", 4}, {"RF64", 4}, {"FORM", 4}, {"fLaC", 4}, {"OggS", 4}, {"caff", 4},
                    {".snd", 4}, {"FLV", 3}, {".RMF", 4}, {"wvpk", 4}, {"MAC ", 4}, {"riff", 4},  // Wave64
                    {"\x06\x0E\x2B\x34", 4},  // MXF
                    {"\x1A\x45\xDF\xA3", 4},   // Matroska, WebM
                    {"\x30\x26\xB2\x75", 4},   // ASF
                    {"\0\0\x01\xBA", 4}, {"\0\0\x01\xB3", 4}};  // MPEG program stream, video
    for (const auto& magic : kAtStart)
        if (n >= magic.n && std::memcmp(p, magic.bytes, magic.n) == 0) return true;
    // QuickTime and MPEG-4 boxes.
    for (const char* box : {"ftyp", "moov", "mdat", "free", "skip", "wide", "pnot"})
        if (n >= 8 && std::memcmp(p + 4, box, 4) == 0) return true;
    return false;
}

std::atomic<int64_t> fileReads{0};

// Up to n bytes of the file at offset.
size_t ReadSome(int fd, int64_t offset, unsigned char* out, size_t n)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, out + done, n - done, off_t(offset + int64_t(done)));
        ++fileReads;
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += size_t(got);
    }
    return done;
}

// How much of the stream one read takes.
constexpr size_t kBlockBytes = 1 << 18;

// Which file a walk was over: the same bytes of the same unchanged file.
struct WalkKey {
    uint64_t device = 0, inode = 0;
    int64_t size = 0, seconds = 0, nanoseconds = 0, begin = 0, end = 0;
    bool operator==(const WalkKey&) const = default;
};

}  // namespace

// The last few walks, for every reader of the process.
class MpegAudioReader::WalkCache {
public:
    std::optional<Walked> Find(const WalkKey& key)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [k, walked] : walks_)
            if (k == key) return walked;
        return std::nullopt;
    }
    void Add(const WalkKey& key, Walked walked)
    {
        constexpr size_t kKept = 8;
        const std::lock_guard<std::mutex> lock(mutex_);
        walks_.emplace_front(key, std::move(walked));
        if (walks_.size() > kKept) walks_.pop_back();
    }

private:
    std::mutex mutex_;
    std::list<std::pair<WalkKey, Walked>> walks_;
};

MpegAudioReader::WalkCache& MpegAudioReader::Walks()
{
    static WalkCache cache;
    return cache;
}

MpegAudioReader::Placer::Verdict MpegAudioReader::Placer::Place(int64_t at, int64_t size, bool inSequence)
{
    Verdict v;
    // A new chain after damage (a recording joined on after a cut) starts
    // the grid again: a frame it cut short keeps one frame's time, and what
    // lies before as many frames as its bytes make.
    const Restart* r = at == lastEnd_ ? nullptr : RestartBefore(at);
    if (r && r->to != at && !inSequence) r = nullptr;
    // Stray bytes cost nothing: the frame follows as if they were not there.
    if (r && !r->stray) {
        const auto frames = [&](int64_t bytes) -> int64_t {
            return frameBytes_ > 0 ? std::llround(double(bytes) / frameBytes_) : 0;
        };
        v.broken = true;
        v.cut = r->cut && r->from == lastEnd_;
        v.missingBytes = r->to - lastEnd_;
        v.silentFrames = r->cut ? frames(r->from - lastEnd_) + 1 : frames(r->to - lastEnd_);
        v.timeLost = frameBytes_ <= 0 && !v.cut;
    } else if (!r && started_ && at != lastEnd_ && !inSequence) {
        v.broken = true;
        v.missingBytes = at - lastEnd_;
    }
    if (!v.broken || r) {
        started_ = true;
        lastEnd_ = anchorEnd_ = at + size;
        lastSlot_ = anchorSlot_ = lastSlot_ + v.silentFrames + 1;
        return v;
    }
    if (frameBytes_ <= 0) {
        v.timeLost = true;
        lastEnd_ = at + size;
        ++lastSlot_;
        return v;
    }
    // Frames of one size: the gap in bytes is the missing frames' time.
    // What starts off their grid, or where sound is already placed, is
    // damage that looks like a frame header.
    const double gap = double(at - anchorEnd_);
    const int64_t slots = std::llround(gap / frameBytes_);
    const int64_t slot = anchorSlot_ + 1 + slots;
    if (slots < 0 || std::abs(gap - double(slots) * frameBytes_) > kGridSlack || slot <= lastSlot_) {
        v.keep = false;
        return v;
    }
    v.silentFrames = slot - lastSlot_ - 1;
    lastEnd_ = at + size;
    lastSlot_ = slot;
    return v;
}

const MpegAudioReader::Restart* MpegAudioReader::Placer::RestartBefore(int64_t at) const
{
    if (!restarts_ || !started_) return nullptr;
    // The last stretch that ends by at; it counts when it starts after the
    // last frame kept.
    const auto after = std::upper_bound(restarts_->begin(), restarts_->end(), at,
                                        [](int64_t v, const Restart& r) { return v < r.to; });
    if (after == restarts_->begin()) return nullptr;
    const Restart& r = *std::prev(after);
    return r.from >= lastEnd_ ? &r : nullptr;
}

int64_t MpegAudioReader::Placer::Resume() const
{
    if (restarts_ && started_) {
        const auto r = std::lower_bound(restarts_->begin(), restarts_->end(), lastEnd_,
                                        [](const Restart& r, int64_t v) { return r.from < v; });
        if (r != restarts_->end() && r->from == lastEnd_) return r->to;
    }
    return lastEnd_;
}

void MpegAudioReader::Close()
{
    if (handle_) {
        mpg123_close(Handle(handle_));
        mpg123_delete(Handle(handle_));
    }
    handle_ = nullptr;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    window_ = Window();
    peek_ = Window();
    skips_.clear();
    noReadahead_ = false;
    scannedTo_ = runFrom_ = 0;
    rate_ = channels_ = frameSamples_ = layer_ = 0;
    frames_ = claimed_ = 0;
    claimExact_ = false;
    frameBytes_ = 0;
    damage_.clear();
    readAt_ = 0;
    zeros_ = {0, 0};
    headerFrames_.clear();
    shortParts_.clear();
    shortSaid_ = 0;
    kept_.assign(1, Kept{0, INT64_MAX, 0});
    placer_ = Placer();
    ended_ = said_ = false;
    pending_.clear();
    pendingAt_ = 0;
    silence_ = decoded_ = position_ = 0;
    complaints_.Clear();
}

int64_t MpegAudioReader::FileReads()
{
    return fileReads;
}

void MpegAudioReader::Window::Reset(int fd, int64_t begin, int64_t size)
{
    fd_ = fd;
    begin_ = begin;
    size_ = size;
    for (Block& b : blocks_) b = Block{};
}

const std::vector<unsigned char>* MpegAudioReader::Window::BlockAt(int64_t offset, int64_t* blockAt)
{
    if (offset < 0 || offset >= size_ || fd_ < 0) return nullptr;
    Block* block = nullptr;
    for (Block& b : blocks_)
        if (offset >= b.at && offset < b.at + int64_t(b.bytes.size())) block = &b;
    if (!block) {
        block = blocks_[0].used <= blocks_[1].used ? &blocks_[0] : &blocks_[1];
        block->bytes.resize(size_t(std::min<int64_t>(int64_t(kBlockBytes), size_ - offset)));
        block->bytes.resize(ReadSome(fd_, begin_ + offset, block->bytes.data(), block->bytes.size()));
        block->at = offset;
        if (block->bytes.empty()) return nullptr;
    }
    block->used = ++uses_;
    *blockAt = block->at;
    return &block->bytes;
}

const unsigned char* MpegAudioReader::Window::Look(int64_t offset, size_t* n)
{
    int64_t at = 0;
    const std::vector<unsigned char>* block = BlockAt(offset, &at);
    if (!block) {
        *n = 0;
        return nullptr;
    }
    *n = std::min(*n, size_t(at + int64_t(block->size()) - offset));
    return block->data() + (offset - at);
}

size_t MpegAudioReader::Window::Read(int64_t offset, unsigned char* out, size_t n)
{
    if (offset < 0 || offset >= size_ || fd_ < 0) return 0;
    n = size_t(std::min<int64_t>(int64_t(n), size_ - offset));
    if (n >= kBlockBytes) return ReadSome(fd_, begin_ + offset, out, n);
    size_t done = 0;
    while (done < n) {
        size_t part = n - done;
        const unsigned char* p = Look(offset + int64_t(done), &part);
        if (!p || part == 0) break;
        std::memcpy(out + done, p, part);
        done += part;
    }
    return done;
}

// Whether a Xing/Info or VBRI frame of size bytes that ends at end leads the
// frames from next on: right before them, or a few stray bytes before.
static bool LeadsWithStray(int64_t end, int64_t next, int64_t size)
{
    return next >= end && next - end < size;
}

// Whether the frame at start is a Xing/Info or VBRI frame that ends a few
// stray bytes (fewer than its own) before the frames found at at: it is the
// recording's own, and its delay and count still hold.
bool MpegAudioReader::StrayAfterHeaderFrame(Window& bytes, int64_t start, int64_t at)
{
    unsigned char p[kTagBytes];
    const size_t n = bytes.Read(start, p, sizeof p);
    FrameHeader h;
    uint32_t frames = 0;
    if (n < 4 || !ReadFrameHeader(p, &h) || ReadHeaderFrame(p, n, &frames) == HeaderFrame::kNone) return false;
    return LeadsWithStray(start + h.size, at, h.size);
}

bool MpegAudioReader::FramesRunOn(Window& bytes, int64_t at, int count, int64_t stray,
                                  const std::function<int64_t(int64_t)>& sizeAt)
{
    const int64_t end = bytes.Size();
    unsigned char first[4], last[4], near[2048];
    // A tag's name, or a frame past the stray bytes.
    const size_t look = size_t(std::clamp<int64_t>(stray, 12, int64_t(sizeof near - 4))) + 4;
    bool crossed = false;
    for (int k = 0;; ++k) {
        const int64_t size = sizeAt(at);
        if (size <= 0 || bytes.Read(at, last, 4) < 4) return false;
        if (k == 0)
            std::memcpy(first, last, 4);
        else if (!SameKind(last, first, false))
            return false;
        at += size;
        if (k + 1 >= count) return true;
        if (at > end) return false;
        const size_t n = bytes.Read(at, near, look);
        if (at == end || TagAt(near, n)) return true;
        if (n >= 4 && SameKind(near, first, false) && sizeAt(at) > 0) continue;
        // Stray bytes: the first frame of the stream's kind past them.
        int64_t next = -1;
        for (size_t d = 1; next < 0 && d + 4 <= n && int64_t(d) < stray; ++d)
            if (near[d] == 0xFF && (near[d + 1] & 0xE0) == 0xE0 && SameKind(near + d, last, true) &&
                sizeAt(at + int64_t(d)) > 0)
                next = at + int64_t(d);
        // Bytes after the last frame too few for a frame are no frame lost.
        if (next < 0) return end - at < stray;
        at = next;
        if (!std::exchange(crossed, true)) ++count;
    }
}

int64_t MpegAudioReader::FrameAt(Window& bytes, int64_t at)
{
    unsigned char p[4];
    FrameHeader h;
    return bytes.Read(at, p, 4) == 4 && ReadFrameHeader(p, &h) && h.size > 4 ? h.size : 0;
}

int64_t MpegAudioReader::FirstFrame(Window& bytes)
{
    const int64_t size = bytes.Size();
    unsigned char p[16];
    int64_t start = 0;
    for (int64_t tag; (tag = Id3v2Length(p, bytes.Read(start, p, 10))) > 0;) start += tag;
    const auto runOn = [&](int64_t at, int count) {
        unsigned char ref[4];
        return bytes.Read(at, ref, 4) == 4 &&
               FramesRunOn(bytes, at, count, LowestFrameBytes(ref), [&](int64_t next) { return FrameAt(bytes, next); });
    };
    // Where the file should start, a frame and the next make a stream; past
    // other bytes (a tag of no known kind, zeros, a stream joined mid-frame)
    // it takes three, as bytes of anything may look like one header; one
    // more where stray bytes stand between them.
    if (runOn(start, 2)) return start;
    for (int64_t at = start + 1; at + 4 <= size;) {
        size_t n = kBlockBytes;
        const unsigned char* block = bytes.Look(at, &n);
        if (!block || n == 0) break;
        const auto* sync = static_cast<const unsigned char*>(std::memchr(block, 0xFF, n));
        if (!sync) {
            at += int64_t(n);
            continue;
        }
        at += sync - block;
        if (runOn(at, 3)) return StrayAfterHeaderFrame(bytes, start, at) ? start : at;
        ++at;
    }
    return -1;
}

bool MpegAudioReader::LooksLikeMpegAudio(const std::string& path)
{
    std::string why;
    const int fd = OpenRegularFile(path, &why);
    if (fd < 0) return false;
    struct stat st {};
    Window bytes;
    bytes.Reset(fd, 0, ::fstat(fd, &st) == 0 ? st.st_size : 0);
    unsigned char p[12];
    const size_t n = bytes.Read(0, p, sizeof p);
    const bool found = !OtherFormatAt(p, n) && FirstFrame(bytes) >= 0;
    ::close(fd);
    return found;
}

bool MpegAudioReader::Open(const std::string& path, std::string* error, int64_t begin, int64_t end)
{
    Close();
    auto fail = [&](const std::string& why) {
        Close();
        if (error) *error = why;
        return false;
    };
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    int status = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &status);
    if (!h) return fail("the MPEG audio decoder cannot start");
    handle_ = h;
    if (mpg123_replace_reader_handle(h, &MpegAudioReader::ReadMasked, &MpegAudioReader::SeekMasked, nullptr) !=
        MPG123_OK)
        return fail("the MPEG audio decoder cannot start");
    // No limit to resyncing: a long stretch of damage is crossed, not the end.
    mpg123_param(h, MPG123_RESYNC_LIMIT, -1, 0);
    // Every frame gives all its samples, so that the length is known from
    // the frames alone; the encoder's delay and padding are cut here.
    mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    // Its look at the end of the stream would make the view of it be found
    // to the end at once; an ID3v1 tag there is no sound all the same.
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_NO_PEEK_END, 0);
    // A free-format frame's size is found by looking ahead for the next
    // header, which libmpg123 does only in a stream it buffers or knows the
    // end of: without that look at the end, it has to buffer.
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_SEEKBUFFER, 0);
    std::string why;
    fd_ = OpenRegularFile(path, &why);
    if (fd_ < 0) return fail(why);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return fail(std::strerror(errno));
    begin = std::clamp<int64_t>(begin, 0, st.st_size);
    end = end < 0 ? st.st_size : std::clamp<int64_t>(end, begin, st.st_size);
    window_.Reset(fd_, begin, end - begin);
    peek_.Reset(fd_, begin, end - begin);
    // The stream starts at its first frame, by the rule that tells MPEG
    // audio: what lies before it is no sound, and no time.
    if (const int64_t start = FirstFrame(peek_); start > 0) {
        begin += start;
        window_.Reset(fd_, begin, end - begin);
        peek_.Reset(fd_, begin, end - begin);
    }
    const WalkKey key{uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size), int64_t(st.st_mtim.tv_sec),
                      int64_t(st.st_mtim.tv_nsec), begin, end};
    if (const std::optional<Walked> walked = Walks().Find(key)) {
        WalkFields() = *walked;
        if (noReadahead_) mpg123_param(h, MPG123_ADD_FLAGS, MPG123_NO_READAHEAD, 0);
        ForceFormat();
        const CapturedStderr quiet([](const std::string&) {});
        if (Rewind()) return true;
        return fail("cannot read the file again");
    }

    // libmpg123 prints its notes on what it skips; the walk below places
    // what they would say.
    const CapturedStderr quiet([](const std::string&) {});
    long rate = 0;
    int channels = 0, encoding = 0;
    const auto firstFormat = [&] {
        return Rewind() && mpg123_getformat(h, &rate, &channels, &encoding) == MPG123_OK && rate > 0 && channels > 0;
    };
    // The sound's rate and channels are those of libmpg123's first frame; once
    // more where it went astray among stray bytes at the start.
    const auto learnFormat = [&] {
        mpg123_param(h, MPG123_FORCE_RATE, 0, 0);
        mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_MONO_MIX | MPG123_FORCE_STEREO | MPG123_NO_READAHEAD, 0);
        mpg123_format_none(h);
        const long* rates = nullptr;
        size_t rateCount = 0;
        mpg123_rates(&rates, &rateCount);
        for (size_t i = 0; i < rateCount; ++i)
            mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
        // libmpg123 takes a first frame only where the next header follows it:
        // a stream of one frame is read without that look ahead.
        noReadahead_ = !firstFormat();
        if (noReadahead_ && (mpg123_param(h, MPG123_ADD_FLAGS, MPG123_NO_READAHEAD, 0) != MPG123_OK || !firstFormat()))
            return false;
        rate_ = int(rate);
        channels_ = channels;
        ForceFormat();
        return true;
    };
    if (!learnFormat()) return fail("no MPEG audio frame in the file");
    // Where libmpg123 starts, and the first recording's Xing/Info frame; once
    // more where stray bytes found later are left out of what it reads.
    int64_t first = 0, lead = 0;
    std::vector<PartTag> parts(1);
    const auto readHead = [&] {
        headerFrames_.clear();
        parts.assign(1, PartTag{});
        claimed_ = 0;
        claimExact_ = false;
        if (!Rewind() || mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || rate != rate_ ||
            channels != channels_)
            return false;
        frameSamples_ = std::max(mpg123_spf(h), 1);
        mpg123_frameinfo2 info{};
        if (mpg123_info2(h, &info) == MPG123_OK) layer_ = info.layer;
        first = StreamAt(std::max<int64_t>(mpg123_framepos(h), 0));
        // A Xing/Info frame (which libmpg123 reads and does not hand out) ends
        // where the first frame starts; a VBRI frame, or an Info frame that
        // counts no frames, is handed out as sound.
        unsigned char head[4096 + 1024];
        const int64_t from = std::max<int64_t>(first - 4096, 0);
        const size_t before = size_t(first - from), got = peek_.Read(from, head, sizeof head);
        // Each recording joined end to end has its own: the first's is read here.
        lead = 0;
        for (size_t i = std::min(before + 1, got); i-- > 0;) {
            FrameHeader fh;
            uint32_t count = 0;
            if (got - i < 4 || !ReadFrameHeader(head + i, &fh) ||
                ReadHeaderFrame(head + i, got - i, &count) == HeaderFrame::kNone)
                continue;
            // Only the frame libmpg123 read as the header counts, not bytes of
            // a tag's picture that look like one.
            if (i == before) {
                headerFrames_.push_back(first);
            } else if (!LeadsWithStray(int64_t(i) + fh.size, int64_t(before), fh.size) &&
                       !(count > 0 && mpg123_framelength(h) == off_t(count))) {
                continue;
            }
            parts[0] = ReadPartTag(head + i, got - i, frameSamples_, 1);
            parts[0].at = from + int64_t(i);
            if (from + int64_t(i) == 0 && i < before) lead = fh.size;
            break;
        }
        if (const PartTag& tag = parts[0]; tag.counted > 0) {
            const int64_t cut = tag.Cuts() ? tag.lame.delay + tag.lame.padding : 0;
            claimed_ = std::max<int64_t>(int64_t(tag.counted) * frameSamples_ - cut, 0);
            claimExact_ = tag.Cuts();
        }
        return true;
    };
    if (!readHead()) return fail("no MPEG audio frame in the file");
    // Bytes between two frames too few for a frame are stray.
    int64_t room = 0;
    if (unsigned char p[4]; peek_.Read(first, p, 4) == 4) room = LowestFrameBytes(p);

    // A walk over the frames: whether they are all of one size, and where
    // each belongs in time; once more where that finds damaged frames.
    Placer steady, varying;
    int64_t parsed = 0, chained = 0, odd = 0, headers = 0;
    std::vector<int64_t> joins;  // where recordings of the format before them begin, in order
    size_t leading = headerFrames_.size();
    double length = 0;  // of the frames as they come, at the sound's rate
    int bitRate = 0;
    bool suspect = false;
    const auto walk = [&] {
        if (!Rewind()) return false;
        steady = varying = Placer(0, &restarts_);
        parsed = chained = odd = 0;
        headerFrames_.resize(leading);
        headers = int64_t(leading);
        parts.resize(1);
        length = 0;
        bitRate = 0;
        suspect = false;
        uint32_t kind = 0, lastKind = 0;
        for (int64_t lastEnd = -1;;) {
            Frame f;
            const Step step = Parse(&f);
            if (step == Step::kEnd || step == Step::kError) break;
            ++parsed;
            if (step != Step::kFrame) continue;
            const bool firstFrame = lastEnd < 0;
            if (firstFrame) {
                bitRate = f.bitRate;
                kind = f.kind;
                steady = Placer(FrameBytes(f.bitRate), &restarts_);
            }
            // Frames that follow one another, directly or past stray bytes,
            // tell the bit rate; bytes in damage that look like a frame do not.
            const bool other = f.bitRate != bitRate || f.kind != kind;
            if (f.at >= lastEnd && f.at - lastEnd < std::max<int64_t>(room, 1)) {
                ++chained;
                odd += other;
            }
            suspect = suspect || other || (lastEnd >= 0 && f.at != lastEnd);
            lastEnd = f.at + f.size;
            bool afterCut = false;
            for (Placer* placer : {&steady, &varying}) {
                const Placer::Verdict v =
                    placer->Place(f.at, f.size, f.at != placer->Resume() && NoSoundAt(placer->Resume()));
                if (placer == &varying) length += double(v.silentFrames * frameSamples_);
                afterCut = afterCut || v.cut;
            }
            // A recording joined on starts with its own Info frame: no sound,
            // and the tag of the frames that follow. libmpg123 has just read
            // the frame: its window holds the bytes, so the file is read once.
            unsigned char p[kTagBytes];
            const size_t n = firstFrame ? 0 : window_.Read(f.at, p, sizeof p);
            PartTag tag = ReadPartTag(p, n, f.samples, f.length / std::max(f.samples, 1));
            tag.at = f.at;
            tag.afterCut = afterCut;
            if (tag.header != HeaderFrame::kNone) {
                headerFrames_.push_back(f.at);
                ++headers;
                tag.slots[0] = steady.Slots() - headers;
                tag.slots[1] = varying.Slots() - headers;
                tag.length = length;
                parts.push_back(tag);
            } else if (!std::binary_search(headerFrames_.begin(), headerFrames_.end(), f.at)) {
                // A recording of another version, layer, rate or channel
                // count joined on without a tag: the last part ends there.
                if (!firstFrame && (f.kind != lastKind || std::binary_search(joins.begin(), joins.end(), f.at))) {
                    tag.slots[0] = steady.Slots() - headers - 1;
                    tag.slots[1] = varying.Slots() - headers - 1;
                    tag.length = length;
                    parts.push_back(tag);
                }
                length += f.length;
            }
            lastKind = f.kind;
        }
        return true;
    };
    if (!walk()) return fail("cannot read the file again");
    // A frame or two whose header was damaged into another bit rate, layer
    // or rate keep no stream from being one of frames of one size: the grid
    // holds where the frames after them lie on it. Frames found one by one
    // within damage prove no bit rate.
    const auto steadyRate = [&] {
        return bitRate > 0 && odd <= std::max<int64_t>(2, chained / 100) && 2 * chained + 1 >= parsed;
    };
    bool constant = steadyRate();
    // libmpg123 passing over bytes at the start is as suspect as a gap. Where
    // it went astray there, the walk past the stray bytes tells the bit rate.
    for (int round = 0; round < 2 && (suspect || first != lead); ++round) {
        frameBytes_ = constant ? FrameBytes(bitRate) : 0;
        FindDamage(first);
        // Bytes put in between frames are left out of what libmpg123 reads.
        skips_.clear();
        scannedTo_ = runFrom_ = 0;
        if (damage_.empty() && restarts_.empty()) break;
        if ((first != lead && !learnFormat()) || !readHead()) return fail("cannot read the file again");
        leading = headerFrames_.size();
        if (!walk()) return fail("cannot read the file again");
        if (steadyRate() == std::exchange(constant, steadyRate())) break;
    }
    if (parsed == 0) return fail("no MPEG audio frame in the file");
    // A tagged recording whose frames run on past its count had one of its
    // format joined on without a tag: after its count where its LAME tag's
    // checksum holds, else cut short first, where a fresh encoder's first
    // frame begins. Each then plays as it does alone.
    const size_t grid = constant ? 0 : 1;
    for (size_t k = 0; k < parts.size(); ++k) {
        const PartTag& part = parts[k];
        const int64_t frames =
            (k + 1 == parts.size() ? (constant ? steady : varying).Slots() - headers : parts[k + 1].slots[grid]) -
            part.slots[grid];
        if (part.Cuts() && part.counted > 0 && frames > int64_t(part.counted) && part.at >= 0)
            if (const int64_t join = JoinWithin(part.at, part.counted, part.lame.bytes, part.lame.crc); join >= 0)
                joins.push_back(join);
    }
    if (!joins.empty() && !walk()) return fail("cannot read the file again");
    // Frame times, the missing frames' silence among them, less header frames.
    const int64_t slots = (constant ? steady : varying).Slots() - headers;
    const auto start = [&](const PartTag& part) {
        return constant ? part.slots[0] * frameSamples_ : std::llround(part.length);
    };
    kept_.clear();
    shortParts_.clear();
    int64_t kept = 0;
    const int64_t ends = constant ? slots * frameSamples_ : std::llround(length);
    for (size_t k = 0; k < parts.size(); ++k) {
        const PartTag& part = parts[k];
        const bool last = k + 1 == parts.size();
        const int64_t at = start(part), frames = (last ? slots : parts[k + 1].slots[grid]) - part.slots[grid];
        // The LAME tag's delay and padding, past the decoder's own delay, as
        // libmpg123 would cut them in its gapless mode; they stand whether or
        // not the tag counts the frames. The padding goes where the frames the
        // tag counts end; frames past them (another recording appended without
        // a tag) are kept. A tag that counts none counts them all.
        const bool cut = part.Cuts();
        const int64_t counted = part.counted > 0 ? int64_t(part.counted) : frames;
        const auto scaled = [&](int64_t samples) { return at + std::llround(double(samples) * part.scale); };
        // A part ends with its frames, as it plays alone; where its tag
        // places the end, or the part's last frame was cut within (and keeps
        // its time), its last frame may sound on into the next part's first
        // for the decoder's delay.
        const int64_t next = last ? INT64_MAX : start(parts[k + 1]);
        const bool short_ = cut && frames < counted;
        int64_t from = cut ? scaled(part.lame.delay + kLayer3Delay) : at, to = next;
        if (cut && frames <= counted) {
            to = scaled(counted * part.frameSamples - part.lame.padding + kLayer3Delay);
            if (!last)
                to = std::min<int64_t>(
                    to,
                    next + (short_ && !parts[k + 1].afterCut ? 0 : std::llround(double(kLayer3Delay) * part.scale)));
        }
        if (!kept_.empty()) from = std::max(from, kept_.back().to);
        // A recording of several whose frames stop short of its tag's count
        // at a frame's end (cut where another was joined on) is said there;
        // one cut within a frame is said as that.
        if (short_ && parts.size() > 1 && (last || !parts[k + 1].afterCut)) {
            const int64_t partEnd = std::min(to, last ? ends : next);
            shortParts_.push_back(
                {last ? INT64_MAX : partEnd, partEnd - from,
                 std::llround(double(counted * part.frameSamples - part.lame.delay - part.lame.padding) * part.scale)});
        }
        if (to <= from) continue;
        kept_.push_back(Kept{from, to, kept});
        if (!last) kept += to - from;
    }
    // Those recordings' frame counts claim no length for the whole.
    if (parts.size() > 1) claimed_ = 0;
    frames_ = Out(ends);
    frameBytes_ = constant ? FrameBytes(bitRate) : 0;
    if (!Rewind()) return fail("cannot read the file again");
    Walks().Add(key, Walked(WalkFields()));
    return true;
}

std::vector<MpegAudioReader::Kept>::const_iterator MpegAudioReader::FirstKeptAfter(int64_t decoded) const
{
    return std::upper_bound(kept_.begin(), kept_.end(), decoded,
                            [](int64_t at, const Kept& kept) { return at < kept.to; });
}

int64_t MpegAudioReader::Out(int64_t decoded) const
{
    if (kept_.empty()) return 0;
    const auto k = FirstKeptAfter(decoded);
    if (k == kept_.end()) return kept_.back().before + (kept_.back().to - kept_.back().from);
    return k->before + std::max(decoded, k->from) - k->from;
}

int64_t MpegAudioReader::JoinWithin(int64_t infoAt, int64_t counted, int64_t bytes, uint16_t crc)
{
    unsigned char p[6];
    FrameHeader h;
    if (bytes <= 0 || peek_.Read(infoAt, p, 4) < 4 || !ReadFrameHeader(p, &h) || h.size <= 4 || bytes <= h.size)
        return -1;
    // The stream as libmpg123 reads it: bytes put in between frames left out.
    auto put = restarts_.begin();
    const auto skip = [&](int64_t at) {
        for (; put != restarts_.end() && put->from <= at; ++put)
            if (!put->cut && put->from == at) at = put->to;
        return at;
    };
    // The checksum (CRC-16, as LAME writes it) of the recording's frames.
    uint16_t sum = 0;
    unsigned char block[4096];
    for (int64_t at = skip(infoAt + h.size), left = bytes - h.size; left > 0; at = skip(at)) {
        int64_t n = std::min<int64_t>(left, sizeof block);
        if (put != restarts_.end()) n = std::min(n, put->from - at);
        n = int64_t(peek_.Read(at, block, size_t(std::max<int64_t>(n, 1))));
        if (n <= 0) break;
        for (int64_t i = 0; i < n; ++i) {
            sum ^= block[i];
            for (int b = 0; b < 8; ++b) sum = (sum & 1) ? (sum >> 1) ^ 0xA001 : sum >> 1;
        }
        at += n;
        left -= n;
    }
    // Whole, it ends where its count does; else past its first audio frame,
    // at the first that takes nothing of the frames before it
    // (main_data_begin 0, as an encoder's first frame does).
    const bool whole = sum == crc;
    put = restarts_.begin();
    int64_t at = skip(infoAt + h.size), walked = h.size;
    for (int64_t k = 0; k < counted; ++k) {
        // A tag between frames begins the next recording too.
        if (unsigned char tag[10]; Id3v2Length(tag, peek_.Read(at, tag, sizeof tag)) > 0)
            return k > 0 ? skip(at + Id3v2Length(tag, sizeof tag)) : -1;
        const int64_t size = FrameAt(peek_, at);
        if (size == 0 || peek_.Read(at, p, 6) < 6 || !ReadFrameHeader(p, &h) || h.layer != 3) return -1;
        const unsigned char* side = p + 4 + ((p[1] & 1) ? 0 : 2);
        if (!whole && k > 0 && peek_.Read(at + (side - p), p, 2) == 2 && p[0] == 0 &&
            (h.version != 3 || (p[1] & 0x80) == 0))
            return at;
        walked += size;
        at = skip(at + size);
    }
    // Its count and its bytes agree on where it ends.
    if (unsigned char tag[10]; whole && Id3v2Length(tag, peek_.Read(at, tag, sizeof tag)) > 0)
        at = skip(at + Id3v2Length(tag, sizeof tag));
    return whole && walked == bytes && FrameAt(peek_, at) > 0 ? at : -1;
}

void MpegAudioReader::SayShortParts(int64_t decoded, bool end)
{
    for (; shortSaid_ < shortParts_.size() && (end || shortParts_[shortSaid_].at <= decoded); ++shortSaid_) {
        const ShortPart& part = shortParts_[shortSaid_];
        const int64_t at = Out(std::min(part.at, decoded));
        complaints_.Add(at, at, "a recording ends " + ShortOfClaim(part.played, part.claimed, rate_));
        if (part.at != INT64_MAX) complaints_.MarkTimeLost();
    }
}

void MpegAudioReader::ForceFormat()
{
    // Frames of another rate or channel count come out in the first's:
    // libmpg123 resamples them by their own time, so that each keeps its
    // length.
    mpg123_handle* h = Handle(handle_);
    mpg123_param(h, MPG123_FORCE_RATE, rate_, 0);
    mpg123_param(h, MPG123_ADD_FLAGS, channels_ == 1 ? MPG123_MONO_MIX : MPG123_FORCE_STEREO, 0);
    mpg123_format_none(h);
    mpg123_format(h, rate_, channels_ == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_SIGNED_16);
}



bool MpegAudioReader::Rewind()
{
    if (!handle_ || fd_ < 0) return false;
    mpg123_handle* h = Handle(handle_);
    mpg123_close(h);
    readAt_ = 0;
    zeros_ = {0, 0};
    placer_ = Placer(frameBytes_, &restarts_);
    ended_ = false;
    pending_.clear();
    pendingAt_ = 0;
    silence_ = decoded_ = position_ = 0;
    shortSaid_ = 0;
    const CapturedStderr quiet([](const std::string&) {});
    return mpg123_open_handle(h, this) == MPG123_OK;
}

void MpegAudioReader::FindDamage(int64_t first)
{
    damage_.clear();
    zeros_ = {0, 0};
    restarts_.clear();
    // From the stream's start, past its header frame: libmpg123 may have
    // passed over stray bytes after it, or frames there, or gone astray.
    // The first frame that the stream runs on from is the one to judge by.
    int64_t start = 0, refAt = -1;
    unsigned char ref[kTagBytes];
    FrameHeader h;
    uint32_t frames = 0;
    if (const size_t n = peek_.Read(0, ref, sizeof ref); n >= 4 && ReadFrameHeader(ref, &h) && h.size > 4) {
        const bool header = ReadHeaderFrame(ref, n, &frames) != HeaderFrame::kNone;
        start = header ? h.size : 0;
        const int64_t room = LowestFrameBytes(ref);
        unsigned char p[4];
        for (int64_t at = start; refAt < 0 && at < start + std::max<int64_t>(room, 1); ++at)
            if (peek_.Read(at, p, 4) == 4 && SameKind(p, ref, true) &&
                FramesRunOn(peek_, at, 2, room, [&](int64_t next) { return FrameAt(peek_, next); }))
                refAt = at;
    }
    if (refAt < 0) start = refAt = first;
    if (peek_.Read(refAt, ref, 4) < 4) return;
    const int64_t fileSize = peek_.Size();
    const bool constant = frameBytes_ > 0, layer1 = (ref[1] >> 1 & 3) == 3;
    // The length of the frame at, 0 where none starts: of the stream's bit
    // rate where that is constant, else of any kind (joined recordings
    // differ).
    const auto frameAt = [&](int64_t at) -> int64_t {
        unsigned char p[4];
        if (at < 0 || peek_.Read(at, p, 4) < 4) return 0;
        if (!constant) return FrameAt(peek_, at);
        if (!SameStream(p, ref)) return 0;
        const int64_t padding = p[2] >> 1 & 1;
        return layer1 ? 4 * (int64_t(frameBytes_ / 4) + padding) : int64_t(frameBytes_) + padding;
    };
    // The fewest bytes a frame of the stream takes: fewer between two frames
    // held none (a stream capture's markers, a tool's stray bytes).
    const int64_t shortest =
        constant ? (layer1 ? 4 * int64_t(frameBytes_ / 4) : int64_t(frameBytes_)) : LowestFrameBytes(ref);
    // Bytes that look like a header are common in sound data: past damage a
    // frame counts when the two after it (or the end of the file) follow.
    const auto confirmed = [&](int64_t at) { return FramesRunOn(peek_, at, 3, shortest, frameAt); };
    // Whether frames (or a tag before them) start at: a tag at the end of
    // the file only where it fills it.
    const auto resumes = [&](int64_t at) {
        unsigned char p[10];
        const size_t n = peek_.Read(at, p, sizeof p);
        if (n >= 3 && std::memcmp(p, "TAG", 3) == 0) return at + 128 == fileSize;
        return Id3v2Length(p, n) > 0 || confirmed(at) || (n >= 4 && p[0] == 0xFF && NoSoundAt(at));
    };
    // The first place in [from, to) where frames resume that accept takes,
    // -1 where none is.
    const auto nextChain = [&](int64_t from, int64_t to, const auto& accept) -> int64_t {
        std::vector<unsigned char> block;
        for (int64_t at = from; at < to; at += int64_t(block.size())) {
            block.resize(size_t(std::min<int64_t>(to - at, 1 << 16)));
            block.resize(peek_.Read(at, block.data(), block.size()));
            if (block.empty()) break;
            // Only a frame's sync or a tag's name can start what resumes;
            // at the block's end the look goes to the file.
            const auto may = [&](size_t i) {
                const size_t left = block.size() - i;
                switch (block[i]) {
                    case 0xFF: return left < 2 || (block[i + 1] & 0xE0) == 0xE0;
                    case 'I': return left < 3 || std::memcmp(&block[i], "ID3", 3) == 0;
                    case 'T': return left < 3 || std::memcmp(&block[i], "TAG", 3) == 0;
                    default: return false;
                }
            };
            for (size_t i = 0; i < block.size(); ++i)
                if (may(i) && resumes(at + int64_t(i)) && accept(at + int64_t(i))) return at + int64_t(i);
        }
        return -1;
    };
    if (frameAt(refAt) == 0) return;
    int64_t frameFrom = -1;  // where the last frame walked starts
    std::vector<unsigned char> near;
    // A frame where the last ends goes on the stream; one of another kind
    // (a recording joined on) where frames run on from it, as stray bytes
    // may look like a header.
    const auto walkOn = [&](int64_t at) -> int64_t {
        const int64_t size = frameAt(at);
        unsigned char p[4], last[4];
        if (size == 0 || frameFrom < 0 || peek_.Read(at, p, 4) < 4 || peek_.Read(frameFrom, last, 4) < 4 ||
            SameKind(p, last, false))
            return size;
        return FramesRunOn(peek_, at, 2, shortest, frameAt) ? size : 0;
    };
    for (int64_t at = start; at + 4 <= fileSize;) {
        if (const int64_t size = walkOn(at)) {
            frameFrom = at;
            at += size;
            continue;
        }
        unsigned char p[10];
        if (const int64_t tag = Id3v2Length(p, peek_.Read(at, p, sizeof p)); tag > 0) {
            frameFrom = -1;
            at += tag;
            continue;
        }
        // Other tags end the file; another recording's header frame is left
        // to libmpg123's own reading.
        if (NoSoundAt(at)) return;
        // Stray bytes: a frame within them that the stream runs on from (the
        // next frame, or the end) goes on the stream, however often they come.
        near.resize(size_t(std::max<int64_t>(shortest, 1)) + 4);
        near.resize(peek_.Read(at, near.data(), near.size()));
        int64_t next = -1;
        for (size_t d = 1; next < 0 && int64_t(d) < shortest && d + 4 <= near.size(); ++d)
            if (near[d] == 0xFF && (near[d + 1] & 0xE0) == 0xE0 &&
                FramesRunOn(peek_, at + int64_t(d), 2, shortest, frameAt))
                next = at + int64_t(d);
        // Frames that resume within the last frame cut it short, where the
        // chain they start leads on to those past the stray bytes: in sound
        // data bytes that look like a chain's start abound.
        const auto leadsOn = [&](int64_t c) {
            while (next >= 0 && c < next) {
                unsigned char q[10];
                const int64_t size = std::max(Id3v2Length(q, peek_.Read(c, q, sizeof q)), frameAt(c));
                if (size == 0) return false;
                c += size;
            }
            return next < 0 || c == next;
        };
        if (const int64_t c = frameFrom >= 0 ? nextChain(frameFrom + 1, at, leadsOn) : -1; c >= 0) {
            damage_.emplace_back(frameFrom, c);
            restarts_.push_back(Restart{frameFrom, c, true});
            frameFrom = -1;
            at = c;
            continue;
        }
        if (next >= 0) {
            restarts_.push_back(Restart{at, next, false, true});
            frameFrom = -1;
            at = next;
            continue;
        }
        // Where frames resume: in a stream of frames of one size, a whole
        // number of frames on marks frames lost where they stood, which keep
        // their time; other bytes were put in between frames.
        next = nextChain(at + 1, fileSize, [](int64_t) { return true; });
        if (next < 0) return;
        const double gap = double(next - at);
        const double slots = constant ? std::round(gap / frameBytes_) : 0;
        if (slots >= 1 && std::abs(gap - slots * frameBytes_) <= kGridSlack) damage_.emplace_back(at, next);
        else restarts_.push_back(Restart{at, next, false});
        frameFrom = -1;
        at = next;
    }
}

int64_t MpegAudioReader::StreamAt(int64_t view) const
{
    const auto after = std::upper_bound(skips_.begin(), skips_.end(), view,
                                        [](int64_t at, const Skip& skip) { return at < skip.viewAt; });
    return after == skips_.begin() ? view : view + std::prev(after)->shift;
}

void MpegAudioReader::ScanTo(int64_t to)
{
    // A stretch this long without 0xFF holds no frame: all but its ends is
    // left out. Its start may lie in a frame, which ends within the longest
    // a frame is (free format at 640 kbit/s and 32 kHz); nothing starts in
    // it, and libmpg123 still sees bytes that are no frame there.
    constexpr int64_t kLongest = 1 << 16, kKept = 32;
    // A stretch is followed to its end once it passes the frame room, so that
    // none is left out behind bytes libmpg123 has already read.
    const int64_t size = window_.Size();
    const auto leave = [&](int64_t from, int64_t until) {
        const int64_t shift = skips_.empty() ? 0 : skips_.back().shift;
        skips_.push_back(Skip{from - shift, from, until, shift + (until - from)});
    };
    while (scannedTo_ < size && (scannedTo_ < to || scannedTo_ - runFrom_ >= kFrameRoom)) {
        // Bytes put in between frames are left out whole, and end the run.
        auto put = std::lower_bound(restarts_.begin(), restarts_.end(), scannedTo_,
                                    [](const Restart& r, int64_t at) { return r.from < at; });
        while (put != restarts_.end() && put->cut) ++put;
        if (put != restarts_.end() && put->from == scannedTo_) {
            if (scannedTo_ - runFrom_ >= kLongest) leave(runFrom_ + kFrameRoom, scannedTo_ - kKept);
            leave(put->from, put->to);
            scannedTo_ = runFrom_ = put->to;
            continue;
        }
        size_t n = kBlockBytes;
        const unsigned char* p = window_.Look(scannedTo_, &n);
        if (!p || n == 0) break;
        if (put != restarts_.end()) n = size_t(std::min<int64_t>(int64_t(n), put->from - scannedTo_));
        const auto* sync = static_cast<const unsigned char*>(std::memchr(p, 0xFF, n));
        const int64_t end = sync ? scannedTo_ + (sync - p) : scannedTo_ + int64_t(n);
        scannedTo_ = sync ? end + 1 : end;
        if (!sync && end < size) continue;
        if (end - runFrom_ >= kLongest) leave(runFrom_ + kFrameRoom, end - kKept);
        runFrom_ = scannedTo_;
    }
}

ssize_t MpegAudioReader::ReadMasked(void* self, void* out, size_t bytes)
{
    auto* r = static_cast<MpegAudioReader*>(self);
    auto* p = static_cast<unsigned char*>(out);
    if (r->readAt_ >= r->zeros_.first && r->readAt_ + int64_t(bytes) <= r->zeros_.second) {
        std::memset(p, 0, bytes);
        r->readAt_ += int64_t(bytes);
        return ssize_t(bytes);
    }
    size_t done = 0;
    while (done < bytes) {
        // Bytes put in that start where the read does move it on.
        int64_t at = -1;
        while (at != r->StreamAt(r->readAt_)) {
            at = r->StreamAt(r->readAt_);
            r->ScanTo(at + int64_t(bytes - done));
        }
        // Up to the next stretch left out.
        const auto next = std::upper_bound(r->skips_.begin(), r->skips_.end(), r->readAt_,
                                           [](int64_t v, const Skip& skip) { return v < skip.viewAt; });
        const size_t want = next == r->skips_.end() ? bytes - done
                                                    : size_t(std::min<int64_t>(int64_t(bytes - done), next->viewAt - r->readAt_));
        const int64_t got = int64_t(r->window_.Read(at, p + done, want));
        if (got <= 0) break;
        // The damaged stretches are in order: the first that ends past the read on.
        auto range = std::upper_bound(r->damage_.begin(), r->damage_.end(), at,
                                      [](int64_t v, const std::pair<int64_t, int64_t>& d) { return v < d.second; });
        if (range != r->damage_.end() && range->first <= at) {
            // Later reads in this stretch need not touch the file; skips
            // found later start no nearer than the frame room past the scan's run.
            const int64_t shift = at - r->readAt_;
            int64_t to = std::min(range->second, r->runFrom_ + kFrameRoom) - shift;
            if (next != r->skips_.end()) to = std::min(to, next->viewAt);
            r->zeros_ = {r->readAt_, to};
        }
        for (; range != r->damage_.end() && range->first < at + got; ++range) {
            const int64_t lo = std::max(range->first, at), hi = std::min(range->second, at + got);
            if (lo < hi) std::memset(p + done + size_t(lo - at), 0, size_t(hi - lo));
        }
        done += size_t(got);
        r->readAt_ += got;
    }
    return ssize_t(done);
}

off_t MpegAudioReader::SeekMasked(void* self, off_t offset, int whence)
{
    auto* r = static_cast<MpegAudioReader*>(self);
    int64_t base = 0;
    if (whence == SEEK_CUR) {
        base = r->readAt_;
    } else if (whence == SEEK_END) {
        r->ScanTo(r->window_.Size());
        base = r->window_.Size() - (r->skips_.empty() ? 0 : r->skips_.back().shift);
    } else if (whence != SEEK_SET) {
        base = -1;
    }
    if (base < 0 || base + offset < 0) {
        errno = EINVAL;
        return -1;
    }
    r->readAt_ = base + offset;
    return off_t(r->readAt_);
}

double MpegAudioReader::FrameBytes(int bitRate) const
{
    return bitRate > 0 && rate_ > 0 ? double(frameSamples_) / 8 * bitRate * 1000 / rate_ : 0;
}

MpegAudioReader::Step MpegAudioReader::Parse(Frame* frame)
{
    mpg123_handle* h = Handle(handle_);
    const int status = mpg123_framebyframe_next(h);
    if (status == MPG123_DONE) return Step::kEnd;
    // Without its look ahead libmpg123 calls the end of the file an error.
    if (status != MPG123_OK && status != MPG123_NEW_FORMAT)
        return StreamAt(readAt_) >= window_.Size() ? Step::kEnd : Step::kError;
    mpg123_frameinfo2 info{};
    if (mpg123_info2(h, &info) != MPG123_OK || info.rate <= 0) return Step::kSkipped;
    frame->at = StreamAt(mpg123_framepos(h));
    frame->size = info.framesize;
    frame->bitRate = info.bitrate;
    frame->kind = uint32_t(info.version) << 24 | uint32_t(info.layer) << 20 | uint32_t(info.rate) << 1 |
                  (info.mode == MPG123_M_MONO ? 1u : 0u);
    frame->samples = std::max(mpg123_spf(h), 0);
    frame->length = double(frame->samples) * rate_ / double(info.rate);
    return Step::kFrame;
}

bool MpegAudioReader::NoSoundAt(int64_t offset)
{
    unsigned char p[64];
    const size_t n = peek_.Read(offset, p, sizeof p);
    uint32_t frames = 0;
    return TagAt(p, n) || ReadHeaderFrame(p, n, &frames) != HeaderFrame::kNone;
}

bool MpegAudioReader::Decode()
{
    mpg123_handle* h = Handle(handle_);
    for (;;) {
        said_ = false;
        Frame f;
        const Step step = Parse(&f);
        if (step == Step::kEnd) break;
        if (step == Step::kError) {
            complaints_.Add(position_, position_, "the file cannot be read on");
            break;
        }
        if (step != Step::kFrame) continue;
        const Placer::Verdict v =
            placer_.Place(f.at, f.size, f.at != placer_.Resume() && NoSoundAt(placer_.Resume()));
        if (!v.keep) continue;
        // The missing frames' silence, then this frame's samples, each as
        // much of them as lies within the sound.
        const int64_t silent = v.silentFrames * frameSamples_;
        if (v.broken) {
            complaints_.Add(Out(decoded_), Out(decoded_ + silent), MissingWords(v.missingBytes, v.cut));
            if (v.timeLost) complaints_.MarkTimeLost();
        }
        silence_ = Out(decoded_ + silent) - Out(decoded_);
        decoded_ += silent;
        // A header frame is no sound, though damage before it is.
        if (std::binary_search(headerFrames_.begin(), headerFrames_.end(), f.at)) {
            if (silence_ > 0) return true;
            continue;
        }
        off_t number = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const bool decoded = mpg123_framebyframe_decode(h, &number, &audio, &bytes) == MPG123_OK;
        const size_t channels = size_t(channels_);
        // Every frame takes its time, one that does not decode too; a frame
        // of another rate as many samples as libmpg123 makes of it.
        const int64_t length =
            decoded && bytes > 0 ? int64_t(bytes / sizeof(int16_t) / channels) : std::llround(f.length);
        if (!decoded || said_) complaints_.Add(Out(decoded_), Out(decoded_ + length), kDamagedWords);
        pending_.assign(size_t(length) * channels, 0);
        if (decoded) std::memcpy(pending_.data(), audio, std::min(bytes / sizeof(int16_t), pending_.size()) * sizeof(int16_t));
        const int64_t from = Out(decoded_), to = Out(decoded_ + length);
        // Only the frame's samples within the sound, which may end one
        // recording and start the next.
        size_t kept = 0;
        for (auto k = FirstKeptAfter(decoded_); k != kept_.end() && k->from < decoded_ + length; ++k) {
            const int64_t lo = std::max(k->from, decoded_) - decoded_,
                          hi = std::min(k->to, decoded_ + length) - decoded_;
            std::memmove(pending_.data() + kept, pending_.data() + size_t(lo) * channels,
                         size_t(hi - lo) * channels * sizeof(int16_t));
            kept += size_t(hi - lo) * channels;
        }
        pending_.resize(kept);
        pendingAt_ = 0;
        decoded_ += length;
        SayShortParts(decoded_, false);
        if (kept_.empty() || decoded_ >= kept_.back().to) break;
        if (silence_ > 0 || to > from) return true;
    }
    SayShortParts(decoded_, true);
    ended_ = true;
    return silence_ > 0 || pendingAt_ < pending_.size();
}

int64_t MpegAudioReader::Read16(int16_t* out, int64_t frames)
{
    if (!handle_ || frames < 0) return -1;
    // libmpg123's errors mark the frame it decodes; its notes and warnings
    // tell what the walk already placed, or the length.
    const CapturedStderr capture([this](const std::string& line) {
        if (line.find("] error: ") != std::string::npos && line.find("gapless") == std::string::npos) said_ = true;
    });
    const size_t channels = size_t(channels_);
    int64_t done = 0;
    while (done < frames) {
        int64_t n = 0;
        if (silence_ > 0) {
            n = std::min(silence_, frames - done);
            std::fill_n(out + size_t(done) * channels, size_t(n) * channels, int16_t(0));
            silence_ -= n;
        } else if (pendingAt_ < pending_.size()) {
            n = std::min<int64_t>(int64_t((pending_.size() - pendingAt_) / channels), frames - done);
            std::copy_n(pending_.data() + pendingAt_, size_t(n) * channels, out + size_t(done) * channels);
            pendingAt_ += size_t(n) * channels;
        } else if (ended_ || !Decode()) {
            break;
        }
        done += n;
        position_ += n;
    }
    return done;
}

}  // namespace platform
