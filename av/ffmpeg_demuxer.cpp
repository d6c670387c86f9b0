#include "av/ffmpeg_demuxer.h"

extern "C" {
#include <libavutil/avstring.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <mutex>

#include "av/file_window.h"
#include "av/media_words.h"
#include "platform/four_cc.h"
#include "platform/regular_file.h"

namespace platform::ffmpeg_layer {

namespace {

// Containers read here. Picture demuxers stay out: a damaged picture is no
// movie.
constexpr const char* kFormats =
    "mov,avi,mpeg,mpegts,mpegvideo,m4v,h264,hevc,matroska,flv,asf,ogg,aac,mp3,wav,aiff,caf,flac";
// What FFmpeg reads at a time, one system call each.
constexpr int kIoBufferSize = 65536;

thread_local Complaints* t_watched = nullptr;

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

// What FFmpeg read of the files it opened last, in aligned blocks of what it
// reads at a time: a show's sound is opened four times a run (for its check
// and its export, each as a movie and again for its samples), each open
// reads the file's head again (and an Ogg file's last page, for its length),
// and each link of a chained Ogg file is opened to be decoded. The first
// four blocks and last two of the last eight files are kept while they
// stand as they were, and the 64 read last of the file read last besides.
struct KeptFile {
    struct stat file {};
    FileWindow bytes;
};
constexpr size_t kKeptFiles = 8;
constexpr FileWindow::Blocks kKeptBlocks{kIoBufferSize, 64, 4, 2};
std::mutex g_keptLock;
std::vector<std::unique_ptr<KeptFile>> g_kept;  // the one read last at the back

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The file's kept bytes, read through fd from now on; made where none are
// kept. Only the file read last keeps more than its head and tail. Called
// with g_keptLock held.
FileWindow& KeptBytes(const struct stat& file, int fd)
{
    auto kept = std::find_if(g_kept.begin(), g_kept.end(), [&](const auto& k) { return SameFile(k->file, file); });
    std::unique_ptr<KeptFile> taken;
    if (kept != g_kept.end()) {
        taken = std::move(*kept);
        g_kept.erase(kept);
    } else {
        taken = std::make_unique<KeptFile>();
        taken->file = file;
        taken->bytes.Reset(fd, 0, int64_t(file.st_size), kKeptBlocks);
        if (g_kept.size() == kKeptFiles) g_kept.erase(g_kept.begin());
    }
    if (!g_kept.empty()) g_kept.back()->bytes.DropOthers();
    taken->bytes.SetDescriptor(fd);
    g_kept.push_back(std::move(taken));
    return g_kept.back()->bytes;
}

// Up to n bytes of the file at `at` onto out, from its block, which is read
// whole where it is not kept: how many; 0 where it cannot be read.
size_t BlockBytes(const struct stat& file, int fd, int64_t at, size_t n, uint8_t* out)
{
    const std::lock_guard<std::mutex> hold(g_keptLock);
    const uint8_t* bytes = KeptBytes(file, fd).Look(at, &n);
    if (bytes) std::memcpy(out, bytes, n);
    return bytes ? n : 0;
}

// Whether n bytes of the file at `at` are kept whole: onto out where they are.
bool KeptOnly(const struct stat& file, int64_t at, size_t n, uint8_t* out)
{
    const std::lock_guard<std::mutex> hold(g_keptLock);
    for (const auto& k : g_kept) {
        size_t got = n;
        const uint8_t* bytes = SameFile(k->file, file) ? k->bytes.Held(at, &got) : nullptr;
        if (bytes && got == n) {
            std::memcpy(out, bytes, n);
            return true;
        }
    }
    return false;
}

}  // namespace

std::atomic<int> g_opens{0};

WatchComplaints::WatchComplaints(Complaints* tally, const void* decoder) : outer_(t_watched)
{
    tally->decoder = decoder;
    t_watched = tally;
}

WatchComplaints::~WatchComplaints()
{
    t_watched = outer_;
}

int Demuxer::Read(void* opaque, uint8_t* buffer, int size)
{
    auto* d = static_cast<Demuxer*>(opaque);
    const int64_t at = int64_t(ftello(d->file)) - d->begin;
    const int64_t left = d->size - at;
    const size_t want = size_t(std::clamp<int64_t>(size, 0, std::max<int64_t>(left, 0)));
    // A block at most (FFmpeg asks again for the rest): what a walk over the
    // file holds, else the kept blocks.
    size_t n = want;
    const uint8_t* held = d->held && want > 0 ? d->held->Held(d->begin + at, &n) : nullptr;
    if (held) std::memcpy(buffer, held, n);
    else n = want > 0 ? BlockBytes(d->fileStat, ::fileno(d->file), d->begin + at, want, buffer) : 0;
    if (n > 0 && fseeko(d->file, off_t(d->begin + at + int64_t(n)), SEEK_SET) != 0) n = 0;
    if (n == 0) n = std::fread(buffer, 1, want, d->file);
    for (int64_t i = std::max(at, d->patchAt); d->patchAt >= 0 && i < std::min(at + int64_t(n), d->patchAt + 4); ++i)
        buffer[i - at] = d->patch[i - d->patchAt];
    return n == 0 ? AVERROR_EOF : int(n);
}

void Demuxer::HoldListToFile()
{
    patchAt = -1;
    uint8_t head[12];
    if (!Peek(0, head, sizeof head) || (std::memcmp(head, "RIFF", 4) != 0 && std::memcmp(head, "RIFX", 4) != 0))
        return;
    const bool big = head[3] == 'X';
    int64_t at = 12;
    for (int chunks = 0; chunks < 1024 && at + 8 <= size; ++chunks) {
        uint8_t chunk[8];
        if (!Peek(at, chunk, sizeof chunk)) return;
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

bool Demuxer::Peek(int64_t at, uint8_t* out, size_t n) const
{
    if (at < 0 || at + int64_t(n) > size) return false;
    size_t got = n;
    const uint8_t* bytes = held ? held->Held(begin + at, &got) : nullptr;
    if (bytes && got == n) {
        std::memcpy(out, bytes, n);
        return true;
    }
    return KeptOnly(fileStat, begin + at, n, out) || ReadAt(::fileno(file), uint64_t(begin + at), out, n);
}

int64_t Demuxer::Seek(void* opaque, int64_t offset, int whence)
{
    auto* d = static_cast<Demuxer*>(opaque);
    if (whence & AVSEEK_SIZE) return d->size;
    whence &= ~AVSEEK_FORCE;
    const int64_t base = whence == SEEK_SET ? d->begin : whence == SEEK_END ? d->begin + d->size : 0;
    if (fseeko(d->file, off_t(base + offset), whence == SEEK_CUR ? SEEK_CUR : SEEK_SET) != 0) return -1;
    return int64_t(ftello(d->file)) - d->begin;
}

bool Demuxer::Open(const std::string& path, std::string* why, bool* unknown, int64_t from, int64_t to)
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
    // FFmpeg's own buffer is the only one: a second would split its reads,
    // and a seek through it reads the bytes before the place sought from
    // the start of their block (a link of a chain further on in the file).
    std::setvbuf(file, nullptr, _IONBF, 0);
    fileStat = st;
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
    if (ownEdits) av_dict_set(&options, "ignore_editlist", "1", 0);
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

const AVInputFormat* Demuxer::Probe()
{
    const AVInputFormat* probed = nullptr;
    if (avio_seek(io, 0, SEEK_SET) < 0) return nullptr;
    const int score = av_probe_input_buffer2(io, &probed, "", nullptr, 0, 0);
    return score > AVPROBE_SCORE_RETRY ? probed : nullptr;
}

std::string Demuxer::HeaderFault(int code, const AVInputFormat* probed)
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

void Demuxer::Close()
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

bool Demuxer::Rewind(int stream)
{
    const AVStream* st = format->streams[stream];
    const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    if (av_seek_frame(format, stream, start, AVSEEK_FLAG_BACKWARD) >= 0) return true;
    return av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE) >= 0;
}

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

void PacketWatch::Saw(const AVPacket& p)
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

FrameReader::Result FrameReader::Next(AVFrame* out, bool counted)
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

void FrameReader::Restart()
{
    if (codec) avcodec_flush_buffers(codec);
    flushed = false;
}

std::string CodecLongName(AVCodecID id)
{
    const AVCodecDescriptor* d = avcodec_descriptor_get(id);
    return d && d->long_name ? d->long_name : avcodec_get_name(id);
}

std::string CodecShortName(AVCodecID id)
{
    const std::string name = CodecLongName(id);
    return name.substr(0, name.find(" ("));
}

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

}  // namespace platform::ffmpeg_layer
