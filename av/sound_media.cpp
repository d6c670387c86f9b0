#include "av/sound_media.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "av/captured_stderr.h"
#include "av/core_audio_layout.h"
#include "av/file_window.h"
#include "av/flac_frames.h"
#include "av/flac_reader.h"
#include "av/media_words.h"
#include "av/mpeg_audio.h"
#include "av/mpeg_tags.h"
#include "platform/gestalt.h"
#include "platform/regular_file.h"

namespace platform {

namespace {

// Bits and the four-character code QuickTime would report for the encoding.
void DescribeEncoding(const SF_INFO& sf, SoundInfo& info)
{
    const int sub = sf.format & SF_FORMAT_SUBMASK;
    const bool little =
        (sf.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV || (sf.format & SF_FORMAT_ENDMASK) == SF_ENDIAN_LITTLE;
    struct Encoding {
        int sub;
        int bits;
        uint32_t code;
    };
    static constexpr Encoding kEncodings[] = {
        {SF_FORMAT_PCM_S8, 8, FourCC("twos")},  {SF_FORMAT_PCM_U8, 8, FourCC("raw ")},
        {SF_FORMAT_PCM_16, 16, FourCC("twos")}, {SF_FORMAT_PCM_24, 24, FourCC("in24")},
        {SF_FORMAT_PCM_32, 32, FourCC("in32")}, {SF_FORMAT_FLOAT, 32, FourCC("fl32")},
        {SF_FORMAT_DOUBLE, 64, FourCC("fl64")}, {SF_FORMAT_ULAW, 16, FourCC("ulaw")},
        {SF_FORMAT_ALAW, 16, FourCC("alaw")},   {SF_FORMAT_MPEG_LAYER_III, 16, FourCC(".mp3")},
    };
    info.bitsPerSample = 16;
    info.dataFormat = FourCC("????");
    for (const Encoding& e : kEncodings) {
        if (e.sub != sub) continue;
        info.bitsPerSample = e.bits;
        info.dataFormat = e.code;
    }
    if (sub == SF_FORMAT_PCM_16 && little) info.dataFormat = FourCC("sowt");
    SF_FORMAT_INFO major{}, minor{};
    major.format = sf.format & SF_FORMAT_TYPEMASK;
    minor.format = sub;
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major);
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &minor, sizeof minor);
    info.formatName = std::string(major.name ? major.name : "?") + ", " + (minor.name ? minor.name : "?");
    info.framesPlaced = (sf.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC;
}

// The bytes one channel's sample takes in a WAVE file; 0 for encodings
// that pack samples in blocks.
int StoredBytes(int sub)
{
    switch (sub) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
            return 1;
        case SF_FORMAT_PCM_16:
            return 2;
        case SF_FORMAT_PCM_24:
            return 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
            return 4;
        case SF_FORMAT_DOUBLE:
            return 8;
        default:
            return 0;
    }
}

// What a WAVE or AIFF file's own header states, read before libsndfile
// opens it: libsndfile mends some fields without a word (an AIFF rate of 0
// becomes 1) and refuses others without saying which.
struct StatedHeader {
    bool found = false;  // a WAVE fmt or an AIFF COMM chunk was read
    bool aiff = false;
    double rate = 0;
    int64_t channels = 0;
    int64_t bits = -1;   // of uncompressed data; -1 where the encoding states none
    int64_t frames = 0;  // AIFF: the COMM chunk's frame count
    bool hasData = false;  // WAVE: the data chunk, its size and where that lies
    uint32_t dataSize = 0;
    int64_t dataSizeAt = -1;
    uint16_t formatTag = 0;  // WAVE: the fmt chunk's encoding
    int64_t factFrames = -1;  // WAVE: the fact chunk's count of samples a channel
    std::vector<uint8_t> layout;  // AIFF: the CHAN chunk's body, a Core Audio channel layout
};

// WAVE's encodings of MPEG audio: Layer I or II, and Layer III.
bool WaveHoldsMpeg(const StatedHeader& h)
{
    return h.found && !h.aiff && (h.formatTag == 0x50 || h.formatTag == 0x55);
}

// An 80-bit extended number, as AIFF stores its rate; NaN for infinities
// and NaNs.
double Extended80(const unsigned char* p)
{
    const int exponent = (p[0] & 0x7F) << 8 | p[1];
    uint64_t mantissa = 0;
    for (int i = 2; i < 10; ++i) mantissa = mantissa << 8 | p[i];
    if (exponent == 0x7FFF) return std::nan("");
    const double value = std::ldexp(double(mantissa), exponent - 16383 - 63);
    return (p[0] & 0x80) ? -value : value;
}

StatedHeader ReadStatedHeader(int fd)
{
    StatedHeader h;
    unsigned char head[12];
    if (fd < 0 || !ReadAt(fd, 0, head, sizeof head)) return h;
    const bool wave = (std::memcmp(head, "RIFF", 4) == 0 || std::memcmp(head, "RIFX", 4) == 0) &&
                      std::memcmp(head + 8, "WAVE", 4) == 0;
    h.aiff = std::memcmp(head, "FORM", 4) == 0 &&
             (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0);
    if (!wave && !h.aiff) return h;
    const bool big = h.aiff || head[3] == 'X';
    auto u32 = [big](const unsigned char* p) {
        return big ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                   : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };
    auto u16 = [big](const unsigned char* p) { return big ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]); };
    // Chunk headers and the first bytes of fmt and COMM, a bounded number.
    int64_t at = 12;
    for (int chunks = 0; chunks < 1000; ++chunks) {
        unsigned char chunk[8 + 40];
        if (!ReadAt(fd, uint64_t(at), chunk, 8)) break;
        const uint32_t size = u32(chunk + 4);
        const size_t body = size_t(std::max<int64_t>(ReadUpTo(fd, at + 8, chunk + 8, std::min<uint32_t>(size, 40)), 0));
        const unsigned char* b = chunk + 8;
        if (h.aiff && std::memcmp(chunk, "COMM", 4) == 0 && body >= 18) {
            h.found = true;
            h.channels = int16_t(u16(b));
            h.frames = u32(b + 2);
            h.rate = Extended80(b + 8);
            // AIFF-C names its encoding: only uncompressed data has a sample size.
            bool plain = head[11] == 'F';
            for (const char* code : {"NONE", "twos", "sowt", "raw ", "in24", "in32", "fl32", "FL32", "fl64", "FL64"})
                plain = plain || (body >= 22 && std::memcmp(b + 18, code, 4) == 0);
            h.bits = plain ? int16_t(u16(b + 6)) : -1;
        }
        // The channel layout, before COMM (as FFmpeg writes it) or after:
        // one description a channel at most, 20 bytes each.
        if (h.aiff && std::memcmp(chunk, "CHAN", 4) == 0 && size >= 12 && h.layout.empty()) {
            h.layout.resize(std::min<size_t>(size, 12 + 20 * 64));
            if (!ReadAt(fd, uint64_t(at + 8), h.layout.data(), h.layout.size())) h.layout.clear();
        }
        if (wave && std::memcmp(chunk, "fmt ", 4) == 0 && body >= 16) {
            h.found = true;
            // WAVE_FORMAT_EXTENSIBLE names the encoding in its sub-format.
            uint16_t tag = u16(b);
            if (tag == 0xFFFE && body >= 26) tag = u16(b + 24);
            h.formatTag = tag;
            h.channels = u16(b + 2);
            h.rate = u32(b + 4);
            h.bits = tag == 1 || tag == 3 ? u16(b + 14) : -1;  // PCM, IEEE float
        }
        if (wave && std::memcmp(chunk, "fact", 4) == 0 && body >= 4) h.factFrames = u32(b);
        if (wave && std::memcmp(chunk, "data", 4) == 0) {
            h.hasData = true;
            h.dataSize = size;
            h.dataSizeAt = at + 4;
        }
        if (h.found && (h.aiff ? !h.layout.empty() : h.hasData)) break;
        at += 8 + int64_t(size) + (size & 1);
    }
    return h;
}

// What the header claims of the sound's length in frames: a WAVE file's
// data chunk over the size of a frame, an AIFF file's COMM frame count.
// libsndfile gives the frames present instead. 0 when the header says
// nothing, or says it with a placeholder.
int64_t ClaimedFrames(const StatedHeader& h, const SF_INFO& sf)
{
    const int type = sf.format & SF_FORMAT_TYPEMASK;
    if (h.aiff) return type == SF_FORMAT_AIFF ? h.frames : 0;
    const int64_t frameBytes = int64_t(StoredBytes(sf.format & SF_FORMAT_SUBMASK)) * sf.channels;
    if ((type != SF_FORMAT_WAV && type != SF_FORMAT_WAVEX) || frameBytes <= 0 || !h.hasData ||
        SizeClaimsNothing(h.dataSize))
        return 0;
    return int64_t(h.dataSize) / frameBytes;
}

// What libsndfile's decoders print during a call: libmpg123's lines
// ("[src/libmpg123/layer3.c:...] error: big_values too large!") reach the
// terminal otherwise. Its errors are complaints, said in our words; its
// warnings and notes say no more than the file's length does.
struct DecoderSaid {
    bool complained = false;
};

template <class Call>
auto Quietly(DecoderSaid* said, Call call)
{
    const CapturedStderr capture([said](const std::string& line) {
        if (line.find("] error: ") != std::string::npos) said->complained = true;
    });
    return call();
}

// Damaged data of the file's encoding, in our words: "damaged GSM 6.10
// data"; for plain samples the container's name, "damaged FLAC data".
std::string DamagedEncodingWords(const SF_INFO& sf)
{
    const int sub = sf.format & SF_FORMAT_SUBMASK;
    const bool plain = sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_16 ||
                       sub == SF_FORMAT_PCM_24 || sub == SF_FORMAT_PCM_32 || sub == SF_FORMAT_FLOAT ||
                       sub == SF_FORMAT_DOUBLE;
    SF_FORMAT_INFO named{};
    named.format = plain ? sf.format & SF_FORMAT_TYPEMASK : sub;
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &named, sizeof named);
    const std::string name = named.name ? named.name : "sound";
    return DamagedDataWords(name.substr(0, name.find(" (")));
}

}  // namespace

// The file as libsndfile reads it, through our own reads: a WAVE data size
// of 0 reads as 0xFFFFFFFF, the placeholder libsndfile knows, so that it
// reads the samples that follow instead of none; a FLAC stream ends before
// the tags a tagger put after it, and one of streams joined end to end is
// seen alone. Its bytes are read a block at a time, never past its end:
// the streams of a file of thousands joined are read through one
// descriptor, each once.
struct SoundFileView {
    int fd = -1;
    bool owned = false;  // the descriptor is closed with the view
    int64_t begin = 0;   // where the bytes libsndfile sees start in the file
    int64_t length = 0;  // the bytes libsndfile sees
    int64_t position = 0;  // the next byte read, from begin
    int64_t patchAt = -1;  // four bytes read as 0xFF
    // Looks take whole blocks once the bytes are known to be a FLAC stream's,
    // which its decoder reads next; before, each takes what it asks for (an
    // Ogg file's head is looked at and no more).
    bool blocks = false;
    FileWindow bytes;  // from begin
    SoundFileView() = default;
    SoundFileView(const SoundFileView&) = delete;
    SoundFileView& operator=(const SoundFileView&) = delete;
    ~SoundFileView()
    {
        if (owned && fd >= 0) ::close(fd);
    }

    // Up to count bytes from position on; what was read. Decoders ask for a
    // few kilobytes at a time, and step back a little: both come from the
    // blocks held where they can.
    size_t Read(void* out, size_t count)
    {
        if (position >= length) return 0;
        const size_t got = bytes.Read(position, out, size_t(std::min<int64_t>(int64_t(count), length - position)));
        position += int64_t(got);
        return got;
    }

    // n bytes of the file at `at` (from its start), within the view, held
    // until the next look or read; null where they are not all there. The
    // looks at a stream's header and last frames take the block its
    // decoder reads next, where they lie in it.
    const uint8_t* Look(int64_t at, int64_t n)
    {
        const int64_t from = at - begin;
        if (from < 0 || n < 0 || from + n > length) return nullptr;
        size_t held = size_t(n);
        if (const uint8_t* p = bytes.Held(from, &held); p && held == size_t(n)) return p;
        // A few bytes past the first block of a stream larger than a block
        // (a tag's mark at its end) are read alone.
        const int64_t block = bytes.BlockBytes();
        if (!blocks || n > block || (n < 4096 && from + n > block && length > block)) return bytes.Exact(from, n);
        // The first block, which the decoder reads first; else a block that
        // ends with them (a look back from the view's end).
        return from + n <= block ? bytes.Bytes(from, n) : bytes.BytesBefore(from, n);
    }

    FileLook Looks()
    {
        return [this](int64_t at, int64_t n) { return Look(at, n); };
    }
};

namespace {

// Where the FLAC stream the view starts with ends: before the ID3v1 and
// APEv2 tags some taggers put after its last frame, which libFLAC would take
// for frames lost. The view's end for other files.
int64_t FlacStreamEnd(SoundFileView& view)
{
    const int64_t begin = view.begin;
    int64_t length = view.begin + view.length;
    const uint8_t* head = view.Look(begin, 10);
    if (!head) return length;
    const int64_t start = begin + mpeg::Id3v2Length(head, 10);
    head = view.Look(start, 4);
    if (!head || std::memcmp(head, "fLaC", 4) != 0) return length;
    view.blocks = true;
    // An APEv2 tag may stand before an ID3v1 tag.
    for (int tags = 0; tags < 2; ++tags) {
        const uint8_t* tail = length - 128 > start ? view.Look(length - 128, 3) : nullptr;
        if (tail && std::memcmp(tail, "TAG", 3) == 0) {
            length -= 128;
            continue;
        }
        tail = length - 32 > start ? view.Look(length - 32, 32) : nullptr;
        if (tail && std::memcmp(tail, "APETAGEX", 8) == 0) {
            const auto le32 = [&](int at) {
                return uint32_t(tail[at]) | uint32_t(tail[at + 1]) << 8 | uint32_t(tail[at + 2]) << 16 |
                       uint32_t(tail[at + 3]) << 24;
            };
            const int64_t size = int64_t(le32(12)) + (le32(20) & 0x80000000u ? 32 : 0);
            if (size >= 32 && length - size > start) {
                length -= size;
                continue;
            }
        }
        break;
    }
    return length;
}

// The bytes [begin, end) (to the end when end is negative) of the regular
// file at path (nothing else is opened: a FIFO would hold the run), read
// through fd where one is given (the caller keeps it open), or null with the
// reason in *why.
std::unique_ptr<SoundFileView> OpenView(const std::string& path, int64_t begin, int64_t end, std::string* why,
                                        int fd = -1)
{
    auto view = std::make_unique<SoundFileView>();
    view->fd = fd >= 0 ? fd : OpenRegularFile(path, why);
    if (view->fd < 0) return nullptr;
    view->owned = fd < 0;
    struct stat st {};
    if (::fstat(view->fd, &st) != 0) {
        *why = std::strerror(errno);
        return nullptr;
    }
    const int64_t size = int64_t(st.st_size);
    view->begin = std::clamp<int64_t>(begin, 0, size);
    view->length = (end < 0 ? size : std::clamp(end, view->begin, size)) - view->begin;
    // A block at a time, one system call each (and a look back over a
    // FLAC stream's last frames in one); a stream shorter than a block
    // takes no more.
    view->bytes.Reset(view->fd, view->begin, view->length, {std::clamp<int64_t>(view->length, 1, 65536 + 64), 2});
    // A stream further into the file is one of FLAC streams joined, found as
    // such: its first look takes its first block.
    view->blocks = view->begin > 0;
    view->length = FlacStreamEnd(*view) - view->begin;
    view->bytes.Shorten(view->length);
    return view;
}



SF_VIRTUAL_IO* ViewCalls()
{
    static SF_VIRTUAL_IO calls = {
        [](void* user) -> sf_count_t { return static_cast<SoundFileView*>(user)->length; },
        [](sf_count_t offset, int whence, void* user) -> sf_count_t {
            auto* view = static_cast<SoundFileView*>(user);
            const int64_t base = whence == SEEK_END ? view->length : whence == SEEK_SET ? 0 : view->position;
            if (base + offset < 0) return -1;
            view->position = base + offset;
            return view->position;
        },
        [](void* out, sf_count_t count, void* user) -> sf_count_t {
            auto* view = static_cast<SoundFileView*>(user);
            const int64_t at = view->position;
            const size_t got = count > 0 ? view->Read(out, size_t(count)) : 0;
            if (view->patchAt >= 0 && at >= 0)
                for (int64_t i = std::max(at, view->patchAt); i < std::min(at + int64_t(got), view->patchAt + 4); ++i)
                    static_cast<unsigned char*>(out)[i - at] = 0xFF;
            return sf_count_t(got);
        },
        [](const void*, sf_count_t, void*) -> sf_count_t { return 0; },
        [](void* user) -> sf_count_t { return static_cast<SoundFileView*>(user)->position; },
    };
    return &calls;
}

// The viewed file opened for reading from its start; float data beyond
// full scale clips instead of wrapping around.
SNDFILE* OpenForReading(SoundFileView* view, SF_INFO* sf, DecoderSaid* said)
{
    *sf = SF_INFO{};
    view->position = 0;
    SNDFILE* file = Quietly(said, [&] { return sf_open_virtual(ViewCalls(), SFM_READ, sf, view); });
    if (file) sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return file;
}

// Float samples as 16-bit ones. libsndfile hands them out unscaled (so
// full scale becomes ±1) or scaled to the file's own peak: both wrong.
sf_count_t ReadFloatsAs16(SNDFILE* file, int16_t* out, sf_count_t frames, int channels)
{
    std::vector<float> block(size_t(frames) * size_t(channels));
    const sf_count_t got = sf_readf_float(file, block.data(), frames);
    std::transform(block.begin(), block.begin() + std::max<sf_count_t>(got, 0) * channels, out, Sample16);
    return got;
}

// The frames of a sound whose header leaves its length open, counted by
// decoding it to its end. What the decoder meets on the way is said when
// the sound is read.
int64_t CountFrames(SNDFILE* file, int channels)
{
    constexpr sf_count_t kBlock = 16384;
    std::vector<short> block(size_t(kBlock) * size_t(channels));
    DecoderSaid said;
    int64_t total = 0;
    for (sf_count_t got; (got = Quietly(&said, [&] { return sf_readf_short(file, block.data(), kBlock); })) > 0;)
        total += got;
    return total;
}

// Why libsndfile does not open a file, by its code.
std::string OpenFaultWords(int code)
{
    switch (code) {
        case SF_ERR_UNRECOGNISED_FORMAT:
            return UnknownKindWords(MediaWanted::kSound);
        case SF_ERR_UNSUPPORTED_ENCODING:
            return "its encoding is not one this program reads";
        case SF_ERR_MALFORMED_FILE:
            return "its headers are damaged or cut short";
    }
    return "it cannot be read";
}

// Our words for a complaint libsndfile passes on from libFLAC, which tells
// it only in words; damaged data of the file's encoding for others.
std::string ComplaintWords(SNDFILE* file, const std::string& damaged)
{
    static const struct {
        const char* said;
        const char* ours;
    } kWords[] = {
        {"lost sync", kFramesLostWords},
        {"bad flac header", kFrameHeaderWords},
        {"unknown error in flac decoder", kFrameDamagedWords},
    };
    const std::string words = sf_strerror(file);
    for (const auto& w : kWords)
        if (words.find(w.said) != std::string::npos) return w.ours;
    return damaged;
}

// Where in frames [0, count) of a read the decoder's complaint lies: the
// frames it put silence in for what it could not decode (libFLAC fills a
// lost frame so), from the first such stretch to the last; the whole read
// when there is none. open: the silence runs on to the read's end.
struct Concealed {
    int64_t first = 0, last = 0;
    bool open = false;
};

// Each channel's place where the file names them (a WAVE file's channel
// mask, a CAF file's layout); empty where it does not.
std::vector<int> ChannelPlaces(SNDFILE* file, int channels)
{
    static constexpr int kPlaces[] = {
        -1, kFrontCenter, kFrontLeft, kFrontRight, kFrontCenter, kFrontLeft, kFrontRight, kFrontCenter,
        kBackCenter, kBackLeft, kBackRight, kLowFrequency, kFrontLeftOfCenter, kFrontRightOfCenter, kSideLeft,
        kSideRight, kTopCenter, kTopFrontLeft, kTopFrontRight, kTopFrontCenter, kTopBackLeft, kTopBackRight,
        kTopBackCenter};
    static_assert(std::size(kPlaces) == SF_CHANNEL_MAP_TOP_REAR_CENTER + 1);
    std::vector<int> map(static_cast<size_t>(std::max(channels, 0)));
    if (channels <= 0 ||
        sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(), int(map.size() * sizeof(int))) != SF_TRUE)
        return {};
    std::vector<int> places;
    for (int m : map) {
        if (m < 0 || m >= int(std::size(kPlaces)) || kPlaces[m] < 0) return {};
        places.push_back(kPlaces[m]);
    }
    return places;
}

bool SilentFrame(const int16_t* samples, int64_t frame, int channels)
{
    const int16_t* f = samples + frame * channels;
    return std::all_of(f, f + channels, [](int16_t v) { return v == 0; });
}

Concealed FindConcealed(const int16_t* samples, int64_t count, int channels)
{
    // Shorter stretches of silence are the recording's own.
    constexpr int64_t kLeast = 64;
    Concealed found{0, count, false};
    bool any = false;
    for (int64_t at = 0; at < count;) {
        int64_t end = at;
        while (end < count && SilentFrame(samples, end, channels)) ++end;
        if (end - at >= kLeast) {
            found.first = any ? found.first : at;
            found.last = end;
            found.open = end == count;
            any = true;
        }
        at = end + 1;
    }
    return found;
}

}  // namespace

SoundSource::SoundSource() = default;

SoundSource::~SoundSource()
{
    Close();
}

DecodeComplaints SoundSource::Complaints() const
{
    return mpeg_ ? mpeg_->Complaints() : flac_ ? flac_->Complaints() : complaints_;
}

bool SoundSource::Open(const std::string& path, int64_t begin, int64_t end, int fd)
{
    Close();
    error_.clear();
    headerRefused_ = false;
    std::string why;
    std::unique_ptr<SoundFileView> view = OpenView(path, begin, end, &why, fd);
    if (!view) {
        error_ = why;
        return false;
    }
    // Ogg goes to the movie layer, which reads it too: libsndfile's Vorbis
    // reader leaks its stream state on every damaged file it refuses.
    const uint8_t* magic = view->Look(view->begin, 4);
    if (magic && std::memcmp(magic, "OggS", 4) == 0) {
        error_ = "an Ogg file: read as a movie";
        return false;
    }
    // A header that gives what no sound has is refused before any reader
    // makes a sound of it.
    const StatedHeader stated = view->begin == 0 ? ReadStatedHeader(view->fd) : StatedHeader{};
    error_ = stated.found ? SoundFormatFault(stated.rate, stated.channels, stated.bits) : "";
    headerRefused_ = !error_.empty();
    if (headerRefused_) return false;
    // MPEG audio, bare or in WAVE, is read with libmpg123 itself: one
    // reader, whatever holds it.
    if (WaveHoldsMpeg(stated) && stated.hasData) {
        const int64_t data = stated.dataSizeAt + 4;
        return OpenMpeg(path, data, SizeClaimsNothing(stated.dataSize) ? -1 : data + int64_t(stated.dataSize));
    }
    // FLAC of a sample size libsndfile does not read (32 bits, as flac 1.4
    // writes it): libFLAC itself, which libsndfile's road would call damaged.
    if (const int bits = FlacStreamBits(view->Looks(), view->begin, view->begin + view->length);
        bits > 0 && !SndfileReadsFlacBits(bits))
        return OpenFlac(path, std::move(view));
    if (!stated.found && view->begin == 0 && MpegAudioReader::LooksLikeMpegAudio(path)) return OpenMpeg(path, 0, -1);
    if (stated.hasData && stated.dataSize == 0) view->patchAt = stated.dataSizeAt;
    SF_INFO sf{};
    DecoderSaid said;
    SNDFILE* file = OpenForReading(view.get(), &sf, &said);
    if (!file) {
        error_ = OpenFaultWords(sf_error(nullptr));
        return false;
    }
    auto refuse = [&](const std::string& why) {
        DecoderSaid closing;
        Quietly(&closing, [&] { return sf_close(file); });
        error_ = why;
        return false;
    };
    error_ = SoundFormatFault(sf.samplerate, sf.channels, -1);
    headerRefused_ = !error_.empty();
    if (headerRefused_) return refuse(error_);
    if (sf.frames < 0) return refuse("no sound in the file");
    int64_t frames = sf.frames;
    // libsndfile's length of a sound whose header leaves it open (a FLAC
    // stream written through a pipe): that is no claim, so it is counted,
    // from a FLAC stream's frame headers where they tell it (decoding to the
    // end reads the whole file and stops at the first damage).
    if (sf.frames == SF_COUNT_MAX)
        frames = (sf.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC
                     ? FlacLengthFromFrames(view->Looks(), view->begin + view->length, view->begin)
                     : -1;
    if (frames < 0) {
        frames = CountFrames(file, sf.channels);
        Quietly(&said, [&] { return sf_close(file); });
        const SF_INFO first = sf;
        file = OpenForReading(view.get(), &sf, &said);
        if (!file) {
            error_ = OpenFaultWords(sf_error(nullptr));
            return false;
        }
        if (sf.samplerate != first.samplerate || sf.channels != first.channels || sf.frames != first.frames)
            return refuse("the file changed while it was read");
    }
    // A compressed WAVE file's fact chunk counts its samples, which its last
    // block may not fill: libsndfile decodes that block whole.
    factBound_ = !stated.aiff && stated.bits < 0 && stated.factFrames > 0 && stated.factFrames < frames;
    if (factBound_) frames = stated.factFrames;
    file_ = file;
    view_ = std::move(view);
    path_ = path;
    end_ = end;
    libraryFrames_ = sf.frames;
    info_ = SoundInfo{};
    info_.sampleRate = sf.samplerate;
    info_.channels = sf.channels;
    // libsndfile sizes an AIFF file's channel map before it knows the
    // count when CHAN comes before COMM, and reads past it when asked.
    info_.places = (sf.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF
                       ? CoreAudioPlaces(stated.layout.data(), stated.layout.size(), sf.channels)
                       : ChannelPlaces(file, sf.channels);
    info_.frames = frames;
    floats_ = (sf.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT || (sf.format & SF_FORMAT_SUBMASK) == SF_FORMAT_DOUBLE;
    const int64_t claimed = ClaimedFrames(stated, sf);
    info_.claimedFrames = claimed > frames ? claimed : 0;
    DescribeEncoding(sf, info_);
    if ((sf.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
        // libsndfile stops reading at the length libmpg123 guessed.
        Quietly(&said, [&] { return sf_close(file); });
        file_ = nullptr;
        view_.reset();
        return OpenMpeg(path, 0, -1);
    }
    // The decoder reads ahead as the file opens: what it met is of the start.
    damaged_ = DamagedEncodingWords(sf);
    if (said.complained) complaints_.Add(0, 0, damaged_);
    return true;
}

std::string ShortOfClaim(int64_t played, int64_t claimed, int rate)
{
    const auto seconds = [&](int64_t frames, int decimals) {
        char text[32];
        std::snprintf(text, sizeof text, "%.*f s", decimals, double(frames) / std::max(rate, 1));
        return std::string(text);
    };
    const int decimals = seconds(played, 1) == seconds(claimed, 1) ? 3 : 1;
    return "after " + seconds(played, decimals) + " of the " + seconds(claimed, decimals) + " it claims";
}

bool SoundSource::OpenMpeg(const std::string& path, int64_t begin, int64_t end)
{
    auto mpeg = std::make_unique<MpegAudioReader>();
    std::string why;
    if (!mpeg->Open(path, &why, begin, end)) {
        Close();
        error_ = why;
        return false;
    }
    path_ = path;
    info_ = SoundInfo{};
    info_.sampleRate = mpeg->Rate();
    info_.channels = mpeg->Channels();
    info_.frames = mpeg->Frames();
    info_.claimedFrames = mpeg->ClaimedFrames() > mpeg->Frames() ? mpeg->ClaimedFrames() : 0;
    info_.claimExact = mpeg->ClaimExact();
    info_.bitsPerSample = 16;
    static const char* const kLayers[] = {"I", "II", "III"};
    const int layer = std::clamp(mpeg->Layer(), 1, 3);
    info_.dataFormat = FourCC(layer == 3 ? ".mp3" : layer == 2 ? ".mp2" : ".mp1");
    info_.formatName = std::string(begin > 0 ? "WAV (Microsoft)" : "MPEG-1/2 Audio") + ", MPEG Layer " + kLayers[layer - 1];
    mpeg_ = std::move(mpeg);
    return true;
}

bool SoundSource::OpenFlac(const std::string& path, std::unique_ptr<SoundFileView> view)
{
    auto flac = std::make_unique<FlacReader>();
    const int64_t end = view->begin + view->length;
    std::string why;
    // Through the view's blocks, which hold the stream's head already.
    if (!flac->Open(view->bytes, view->length, &why)) {
        Close();
        error_ = why;
        return false;
    }
    error_ = SoundFormatFault(flac->Rate(), flac->Channels(), flac->Bits());
    headerRefused_ = !error_.empty();
    if (headerRefused_) return false;
    // A length the header leaves open is found as libsndfile's road finds
    // it: from the last frame headers, else by decoding to the end.
    int64_t frames =
        flac->StatedFrames() > 0 ? flac->StatedFrames() : FlacLengthFromFrames(view->Looks(), end, view->begin);
    if (frames < 0) {
        std::vector<int16_t> block(size_t(16384) * size_t(flac->Channels()));
        frames = 0;
        for (int64_t got; (got = flac->Read16(block.data(), 16384)) > 0;) frames += got;
        if (!flac->Seek(0)) {
            error_ = "its sound cannot be decoded";
            return false;
        }
    }
    flac->SetFrames(frames);
    path_ = path;
    info_ = SoundInfo{};
    info_.sampleRate = flac->Rate();
    info_.channels = flac->Channels();
    info_.frames = frames;
    info_.bitsPerSample = flac->Bits();
    info_.dataFormat = FourCC(flac->Bits() <= 16 ? "twos" : flac->Bits() <= 24 ? "in24" : "in32");
    info_.formatName = "FLAC (Free Lossless Audio Codec), Signed " + std::to_string(flac->Bits()) + " bit PCM";
    // Each frame is placed here by its header: no other decoder goes on
    // past damage.
    info_.framesPlaced = false;
    view_ = std::move(view);
    flac_ = std::move(flac);
    return true;
}

void SoundSource::Close()
{
    DecoderSaid said;
    if (file_) Quietly(&said, [&] { return sf_close(static_cast<SNDFILE*>(file_)); });
    file_ = nullptr;
    // The FLAC reader reads through the view's bytes.
    flac_.reset();
    view_.reset();
    mpeg_.reset();
    path_.clear();
    end_ = -1;
    info_ = SoundInfo{};
    libraryFrames_ = 0;
    factBound_ = false;
    headerRefused_ = false;
    position_ = 0;
    floats_ = false;
    stopped_ = concealing_ = false;
    damaged_.clear();
    stopWords_.clear();
    complaints_.Clear();
}

bool SoundSource::Seek(int64_t frame)
{
    if (flac_) {
        if (!flac_->Seek(frame)) return false;
        position_ = frame;
        return true;
    }
    if (mpeg_) {
        // Frames are placed as the file is read: from its start.
        if (frame < 0 || !mpeg_->Rewind()) return false;
        position_ = 0;
        return ReadOnTo(frame);
    }
    if (!file_ || frame < 0) return false;
    // A decoder that gave up seeks no more (libFLAC once it lost sync): the
    // file is read afresh.
    if (stopped_ && !Reopen()) return false;
    concealing_ = false;
    if (frame == position_) return true;
    DecoderSaid said;
    const sf_count_t at = Quietly(&said, [&] { return sf_seek(static_cast<SNDFILE*>(file_), frame, SEEK_SET); });
    if (said.complained) complaints_.Add(frame, frame, damaged_);
    if (at == frame) {
        position_ = frame;
        return true;
    }
    // libFLAC's seek searches the file's bytes and fails on damage it meets
    // there, though what lies before the damage decodes: the file is read
    // afresh up to the frame.
    return Reopen() && ReadOnTo(frame);
}

bool SoundSource::ReadOnTo(int64_t frame)
{
    constexpr int64_t kBlock = 16384;
    std::vector<int16_t> skipped(size_t(std::min(kBlock, std::max<int64_t>(frame - position_, 0))) *
                                 size_t(info_.channels));
    while (position_ < frame)
        if (Read16(skipped.data(), std::min(kBlock, frame - position_)) <= 0) return false;
    return true;
}

bool SoundSource::Reopen()
{
    // What the decoder says of the start was said when the file first opened.
    std::string why;
    // Through the same descriptor, which the new view takes over if it stays.
    std::unique_ptr<SoundFileView> view = OpenView(path_, view_->begin, end_, &why, view_->fd);
    if (!view) return false;
    view->patchAt = view_->patchAt;
    SF_INFO sf{};
    DecoderSaid said;
    SNDFILE* again = OpenForReading(view.get(), &sf, &said);
    const bool same =
        again && sf.samplerate == info_.sampleRate && sf.channels == info_.channels && sf.frames == libraryFrames_;
    if (again) Quietly(&said, [&] { return sf_close(same ? static_cast<SNDFILE*>(file_) : again); });
    if (!same) return false;
    file_ = again;
    view->owned = std::exchange(view_->owned, false);
    view_ = std::move(view);
    position_ = 0;
    stopped_ = concealing_ = false;
    stopWords_.clear();
    return true;
}

int64_t SoundSource::Read16(int16_t* out, int64_t frames)
{
    if (mpeg_ || flac_) {
        const int64_t got = mpeg_ ? mpeg_->Read16(out, frames) : flac_->Read16(out, frames);
        position_ += std::max<int64_t>(got, 0);
        return got;
    }
    if (!file_ || frames < 0 || stopped_) return -1;
    if (factBound_) frames = std::min(frames, std::max<int64_t>(info_.frames - position_, 0));
    if (frames == 0) return 0;
    auto* file = static_cast<SNDFILE*>(file_);
    DecoderSaid said;
    const sf_count_t got = Quietly(&said, [&] {
        return floats_ ? ReadFloatsAs16(file, out, frames, info_.channels) : sf_readf_short(file, out, frames);
    });
    const bool failed = sf_error(file) != SF_ERR_NO_ERROR;
    const int64_t from = position_, read = std::max<int64_t>(got, 0);
    position_ += read;
    // A decoder that gives up before the sound's end (libFLAC losing sync
    // for good) has still handed out the frames before the fault: they are
    // kept, and the stop is said by whoever reads on.
    const bool stops = failed && got < frames && position_ < info_.frames;
    // Silence put in for what did not decode runs on from the last read.
    if (concealing_) {
        int64_t silent = 0;
        while (silent < read && SilentFrame(out, silent, info_.channels)) ++silent;
        if (silent > 0) complaints_.Add(from, from + silent, "");
        concealing_ = silent == read && read > 0;
    }
    if (said.complained || (failed && !stops)) {
        const Concealed where = FindConcealed(out, read, info_.channels);
        complaints_.Add(from + where.first, from + where.last, said.complained ? damaged_ : ComplaintWords(file, damaged_));
        concealing_ = where.open;
    }
    if (stops) {
        stopped_ = true;
        stopWords_ = said.complained ? damaged_ : ComplaintWords(file, damaged_);
        return got > 0 ? got : -1;
    }
    return got;
}

bool ConvertedReader::Restart(SampleSource& source, int rate, int channels)
{
    source_ = &source;
    rate_ = rate;
    channels_ = channels;
    resampler_ = Resampler();
    gains_.clear();
    ready_.clear();
    readyAt_ = 0;
    inputEnded_ = false;
    outPosition_ = -1;
    silent_ = true;
    readAny_ = false;
    const SoundInfo& info = source.Info();
    if (info.channels <= 0 || info.sampleRate <= 0 || rate <= 0 || channels <= 0 || !source.Seek(0)) return false;
    if (rate != info.sampleRate && !resampler_.Start(info.sampleRate, rate, channels)) return false;
    outPosition_ = 0;
    return true;
}

bool ConvertedReader::Fill(int64_t frames)
{
    const int in = source_->Info().channels;
    std::vector<int16_t>& raw = raw_;
    if (raw.size() < size_t(frames) * size_t(in)) raw.resize(size_t(frames) * size_t(in));
    const int64_t got = source_->Read16(raw.data(), frames);
    // A decoder that gives up after some sound ends the sound there.
    if (got < 0 && !readAny_) return false;
    ready_.erase(ready_.begin(), ready_.begin() + std::ptrdiff_t(readyAt_));
    readyAt_ = 0;
    if (got <= 0) {
        inputEnded_ = true;
        if (resampler_.IsStarted()) resampler_.Finish(&ready_);
        return true;
    }
    readAny_ = true;
    // Mixed to the output's channels: straight into what is ready, or
    // through the resampler.
    std::vector<float>& mixed = resampler_.IsStarted() ? mixed_ : ready_;
    const size_t base = resampler_.IsStarted() ? 0 : mixed.size();
    mixed.resize(base + size_t(got) * size_t(channels_));
    silent_ = silent_ && std::all_of(raw.begin(), raw.begin() + got * in, [](int16_t v) { return v == 0; });
    if (gains_.size() != size_t(in) * size_t(channels_)) gains_ = MixMatrix(in, source_->Info().places, channels_);
    for (int64_t f = 0; f < got; ++f) {
        const int16_t* frame = &raw[size_t(f * in)];
        for (int c = 0; c < channels_; ++c)
            mixed[base + size_t(f * channels_ + c)] = MixedSample(gains_, in, c, frame) / 32768.0f;
    }
    if (resampler_.IsStarted()) resampler_.Push(mixed.data(), size_t(got), &ready_);
    return true;
}

bool ConvertedReader::Produce(int64_t frames, std::vector<float>* out)
{
    constexpr int64_t kBlockFrames = 16384, kLeastFillFrames = 1024;
    const size_t ch = size_t(channels_);
    int64_t produced = 0;
    while (produced < frames) {
        const size_t held = (ready_.size() - readyAt_) / ch;
        if (held == 0) {
            if (inputEnded_) break;
            // Only about what the piece asks, at the source's rate: a short
            // piece of a long sound decodes no block ahead.
            int64_t asked = frames - produced;
            if (resampler_.IsStarted())
                asked = std::max<int64_t>(asked * source_->Info().sampleRate / rate_ + 1, kLeastFillFrames);
            if (!Fill(std::min(kBlockFrames, asked))) return false;
            continue;
        }
        const size_t take = size_t(std::min<int64_t>(frames - produced, int64_t(held)));
        out->insert(out->end(), ready_.begin() + std::ptrdiff_t(readyAt_),
                    ready_.begin() + std::ptrdiff_t(readyAt_ + take * ch));
        readyAt_ += take * ch;
        produced += int64_t(take);
    }
    outPosition_ += produced;
    return true;
}

bool ConvertedReader::Read(SampleSource& source, int rate, int channels, int64_t first, int64_t frames,
                           std::vector<float>* out)
{
    out->clear();
    if (first < 0 || frames < 0) return false;
    const bool onward = source_ == &source && rate == rate_ && channels == channels_ && first == outPosition_;
    if (!onward) {
        if (!Restart(source, rate, channels)) return false;
        // Unresampled frames are the source's own: straight there.
        if (!resampler_.IsStarted() && first > 0) {
            if (!source.Seek(first)) return false;
            outPosition_ = first;
        }
    }
    // A resampled sound is read from its start, so that every piece comes
    // out of the one resampler as the whole sound does.
    std::vector<float> skipped;
    while (outPosition_ < first) {
        skipped.clear();
        const int64_t before = outPosition_;
        if (!Produce(std::min<int64_t>(first - outPosition_, 65536), &skipped)) return false;
        if (outPosition_ == before) break;
    }
    return outPosition_ == first && Produce(frames, out);
}

bool NothingOfItDecodes(SampleSource& source)
{
    const int channels = source.Info().channels;
    if (channels <= 0 || !source.Seek(0)) return true;
    constexpr int64_t kBlockFrames = 16384;
    std::vector<int16_t> block(size_t(kBlockFrames) * size_t(channels));
    int64_t done = 0;
    for (int64_t got; (got = source.Read16(block.data(), kBlockFrames)) > 0; done += got)
        if (std::any_of(block.begin(), block.begin() + got * channels, [](int16_t v) { return v != 0; })) return false;
    return NothingDecodes(source, done, true);
}

namespace {

// libsndfile writes here into a stream whose buffer takes
// kAiffWriteBufferBytes.
SF_VIRTUAL_IO* StreamWriteCalls()
{
    static SF_VIRTUAL_IO calls = {
        [](void* user) -> sf_count_t {
            std::FILE* f = static_cast<std::FILE*>(user);
            const off_t at = ::ftello(f);
            if (at < 0 || ::fseeko(f, 0, SEEK_END) != 0) return -1;
            const off_t size = ::ftello(f);
            return ::fseeko(f, at, SEEK_SET) == 0 ? sf_count_t(size) : -1;
        },
        [](sf_count_t offset, int whence, void* user) -> sf_count_t {
            std::FILE* f = static_cast<std::FILE*>(user);
            return ::fseeko(f, offset, whence) == 0 ? ::ftello(f) : -1;
        },
        [](void* out, sf_count_t count, void* user) -> sf_count_t {
            return count > 0 ? sf_count_t(std::fread(out, 1, size_t(count), static_cast<std::FILE*>(user))) : 0;
        },
        [](const void* in, sf_count_t count, void* user) -> sf_count_t {
            return count > 0 ? sf_count_t(std::fwrite(in, 1, size_t(count), static_cast<std::FILE*>(user))) : 0;
        },
        [](void* user) -> sf_count_t { return ::ftello(static_cast<std::FILE*>(user)); },
    };
    return &calls;
}

}  // namespace

bool ExportAiff16(SampleSource& source, const std::string& path, int64_t maxFrames,
                  const std::function<bool(double)>& progress, std::string* error, SoundExportResult* result,
                  int channels)
{
    std::FILE* stream = nullptr;
    std::vector<char> buffer;  // the stream's, until it closes
    auto fail = [&](const std::string& why, SNDFILE* out) {
        if (out) sf_close(out);
        if (stream) std::fclose(stream);
        ::unlink(path.c_str());
        if (error) *error = why;
        return false;
    };
    if (result) *result = SoundExportResult{};
    const SoundInfo& info = source.Info();
    if (info.channels <= 0 || info.sampleRate <= 0) return fail("no sound is open", nullptr);
    // The whole sound is what the source delivers: a decoded track may run
    // a little past the length its container gives.
    const int64_t total = maxFrames >= 0 ? maxFrames : INT64_MAX;
    const int64_t claim = std::max(info.frames, info.claimedFrames);
    const int64_t claimed = maxFrames >= 0 ? std::min(maxFrames, claim) : claim;
    const double expected = double(std::max<int64_t>(claimed, 1));
    if (!source.Seek(0)) return fail("cannot rewind the sound", nullptr);

    // More channels than asked for are mixed down here, by the one rule.
    const int outChannels = channels > 0 ? std::min(channels, info.channels) : info.channels;
    const std::vector<float> gains = MixMatrix(info.channels, info.places, outChannels);
    SF_INFO outInfo{};
    outInfo.samplerate = info.sampleRate;
    outInfo.channels = outChannels;
    outInfo.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;  // plain AIFF: big-endian "twos" samples
    // What goes wrong writing is the system's to say.
    const auto unwritten = [&] {
        const int err = errno ? errno : EIO;
        if (result) result->writeError = err;
        return "cannot write " + path + ": " + std::strerror(err);
    };
    errno = 0;
    stream = std::fopen(path.c_str(), "w+b");
    if (!stream) return fail(unwritten(), nullptr);
    buffer.resize(kAiffWriteBufferBytes);
    std::setvbuf(stream, buffer.data(), _IOFBF, buffer.size());
    SNDFILE* out = sf_open_virtual(StreamWriteCalls(), SFM_WRITE, &outInfo, stream);
    if (!out) return fail(unwritten(), nullptr);

    constexpr int64_t kBlockFrames = 16384;
    std::vector<int16_t> block(size_t(kBlockFrames) * size_t(info.channels));
    std::vector<int16_t> mixed(outChannels < info.channels ? size_t(kBlockFrames) * size_t(outChannels) : 0);
    int64_t done = 0;
    double reported = 0;
    bool silent = true, stopped = false;
    while (done < total) {
        const int64_t want = std::min(kBlockFrames, total - done);
        const int64_t got = source.Read16(block.data(), want);
        // A read error after some sound keeps what came before it.
        if (got < 0 && done == 0) return fail("its sound cannot be decoded", out);
        stopped = got < 0;
        if (got <= 0) break;  // the source was shorter than announced
        silent = silent && std::all_of(block.begin(), block.begin() + got * info.channels, [](int16_t v) { return v == 0; });
        if (!mixed.empty()) MixFrames(gains, info.channels, outChannels, block.data(), got, mixed.data());
        errno = 0;
        if (sf_writef_short(out, mixed.empty() ? block.data() : mixed.data(), got) != got) return fail(unwritten(), out);
        done += got;
        reported = std::min(double(done) / expected, 1.0);
        if (progress && !progress(reported)) return fail("cancelled", out);
    }
    std::string damage = source.Damage();
    if (NothingDecodes(source, done, silent))
        return fail(damage.empty() ? "nothing of its sound decodes" : "nothing of its sound decodes (" + damage + ")",
                    out);
    // Beside what the decoder said: an end well before the claimed length,
    // or a decoder that gave up.
    const int64_t shortBy = claimed - done;
    auto seconds = [&](int64_t frames) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f s", double(frames) / info.sampleRate);
        return std::string(text);
    };
    std::string end;
    const bool exact = info.claimExact && info.claimedFrames > 0;
    if (shortBy > (exact ? 0 : std::max<int64_t>(info.sampleRate / 10, claimed / 50))) {
        end = "it ends " + ShortOfClaim(done, claimed, info.sampleRate);
    }
    else if (stopped)
        end = "decoding stops after " + seconds(done);
    if (!end.empty()) damage = damage.empty() ? end : damage + "; " + end;
    // A source shorter than announced still ends at 100%.
    if (progress && reported < 1.0 && !progress(1.0)) return fail("cancelled", out);
    // What the stream still holds is written as it closes: a full disk shows there.
    errno = 0;
    if (sf_close(out) != 0) return fail(unwritten(), nullptr);
    const bool closed = std::fclose(stream) == 0;
    stream = nullptr;
    if (!closed) return fail(unwritten(), nullptr);
    if (result) {
        result->frames = done;
        result->damage = damage;
    }
    return true;
}

}  // namespace platform
