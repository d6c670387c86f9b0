// The movie module: MovieBackend over FFmpeg. A file is opened once, its
// streams told, and the video frame shown at any time decoded, scaled and
// converted to packed RGB or RGBA; its sound comes from av/ffmpeg_sound.h.
#include "av/movie_backend.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include "av/adts_frames.h"
#include "av/ffmpeg_demuxer.h"
#include "av/ffmpeg_sound.h"
#include "av/media_words.h"
#include "av/ogg_links.h"
#include "platform/read_at.h"
#include "platform/regular_file.h"

namespace platform::ffmpeg_layer {

namespace {

// An Ogg chain FFmpeg cannot open whole (a link cut short, and the next of
// another codec met as it reads on, which it refuses): opened over the first
// link whose sound can be decoded, which gives the chain's rate and
// channels; the sound reads each link on its own. false for any other file.
bool OpenLinkOfChain(Demuxer& demuxer, const std::string& path)
{
    const int fd = OpenRegularFile(path);
    if (fd < 0) return false;
    struct stat st {};
    uint8_t magic[4];
    OggChain chain;
    if (::fstat(fd, &st) == 0 && ReadAt(fd, 0, magic, sizeof magic) && std::memcmp(magic, "OggS", 4) == 0)
        chain = OggChainOf(fd, path, int64_t(st.st_size));
    ::close(fd);
    std::string why;
    for (const SoundLink& link : chain.links)
        if (link.fault.empty() && demuxer.Open(path, &why, nullptr, link.begin, link.end)) return true;
    return false;
}

constexpr int kMaxSide = 32767;  // what a QuickDraw box holds
// A time up to this far after the frame shown is reached by decoding on,
// a farther one by seeking to the key frame before it.
constexpr double kForwardSeconds = 2.0;
// A frame is scaled and converted in one pass, straight from the decoded
// pixels to the size asked for. Where it grows: bicubic, the colour
// interpolated to every pixel (a 320 x 240 movie at 640 x 480 comes within
// 45.7 dB of FFmpeg's Lanczos frame, 38.9 dB bilinear). Where it shrinks or
// keeps its size: bilinear, the colour already finer than the picture
// (39 to 43 dB, bicubic with full colour costing twice the work for 1 to 4
// dB more). The first of several passes of a reduction past 16 times
// interpolates the colour too: the whole frame's colour comes out 4 levels
// off without (a 640 x 480 movie at 2 x 2). At the decoded size
// libswscale's direct converter takes over (each colour sample over its
// pixels).
constexpr int kEnlargeFlags = SWS_BICUBIC | SWS_FULL_CHR_H_INT;
constexpr int kReduceFlags = SWS_BILINEAR;
// The most libswscale reduces a side by in one pass: past a hundred times
// or so its filters read bytes they never set.
constexpr int64_t kMaxScalerReduction = 16;

// An enumeration a stream sets, as the integer it holds: a file can put any
// value there, and one outside the list is no valid enumerator to load.
template <class Enum>
int EnumValue(const Enum& field)
{
    std::underlying_type_t<Enum> value;
    std::memcpy(&value, &field, sizeof value);
    return int(value);
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

// Whether a seek to a movie's start brings back the frames a first read
// gives: in containers that index every frame (QuickTime and MPEG-4,
// Matroska and WebM).
bool SeeksToStartExactly(const AVFormatContext* format)
{
    const char* name = format->iformat->name;
    return std::strstr(name, "mov") || std::strstr(name, "matroska");
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
    void Release(bool closeFile) override;
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
    std::unique_ptr<SampleSource> soundReader;
    SoundTime soundTime;

    // Decoding state: the frame shown at the last time asked for, the one
    // decoded after it, and the picture made of the first (at the size and
    // depth it was asked for).
    CodecPtr codec;
    FrameReader reader;
    FramePtr shown{av_frame_alloc()}, next{av_frame_alloc()}, scratch{av_frame_alloc()};
    bool haveShown = false, haveNext = false, ended = false, atStart = true;
    bool shownStandsBefore = false;  // shown is a first frame, standing for earlier times too
    // The decoder and frames were let go: any time is decoded afresh from
    // a key frame.
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
            const bool grows = scaledWidth > f->width || scaledHeight > f->height;
            const bool steps = scaledWidth != targetWidth || scaledHeight != targetHeight;
            const int flags = grows ? kEnlargeFlags : steps ? kReduceFlags | SWS_FULL_CHR_H_INT : kReduceFlags;
            scaler = sws_getCachedContext(scaler, f->width, f->height, format, int(scaledWidth), int(scaledHeight), rgb,
                                          flags, nullptr, nullptr, nullptr);
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
        // The rest of a large reduction, from RGB to RGB: bicubic costs
        // little over the few pixels left.
        while (converted->width != targetWidth || converted->height != targetHeight) {
            const int w = int(ReductionStep(converted->width, targetWidth));
            const int h = int(ReductionStep(converted->height, targetHeight));
            SwsContext* step = sws_getContext(converted->width, converted->height, rgb, w, h, rgb,
                                              kEnlargeFlags | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr);
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

    // Lets the decoder, scaler, frames and picture go, and with closeFile
    // the demuxer and its file too: the next frame is decoded afresh from a
    // key frame, in a file opened again.
    void Release(bool closeFile)
    {
        if (closeFile) {
            reader.format = nullptr;
            demuxer.Close();
        }
        // Nothing read yet: the first frame is still decoded straight from
        // the start, with no seek, unless a seek to the start comes back
        // there exactly (a transport stream's lands elsewhere).
        if (!codec && atStart && !(demuxer.format && SeeksToStartExactly(demuxer.format))) return;
        codec.reset();
        reader.codec = nullptr;
        av_frame_unref(shown.get());
        av_frame_unref(next.get());
        av_frame_unref(scratch.get());
        haveShown = haveNext = pictureIsShown = false;
        sws_freeContext(scaler);
        scaler = nullptr;
        picture = MovieFrame{};
        // What the demuxer read ahead goes too, with its parsers (H.264's
        // holds 170 KB of tables): the next frame is sought afresh anyway.
        if (demuxer.format) avformat_flush(demuxer.format);
        released = true;
    }

    // Opens a movie kept closed again, read from its start as when first
    // opened.
    bool Reopen(std::string* why)
    {
        if (!demuxer.Open(path, why)) return false;
        haveShown = haveNext = ended = released = chainDamaged = false;
        atStart = true;
        complaints.count = 0;
        return true;
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
    if (!impl->demuxer.Open(path, &error_, &kindUnknown_)) {
        if (!OpenLinkOfChain(impl->demuxer, path)) return false;
        error_.clear();
        kindUnknown_ = false;
    }
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
        // Its edit list, as players follow it: silence first where it says,
        // then its media from where it says for as long as it says.
        const AVStream* st = format->streams[impl->sound];
        SoundInfo& info = impl->streams[size_t(impl->sound)].sound;
        for (const TrackBoxes& t : impl->demuxer.tracks)
            if (t.id == uint32_t(st->id) && impl->soundTime.edits.empty())
                impl->soundTime.edits = SoundEdits(t, info.sampleRate);
        if (!impl->soundTime.edits.empty()) {
            int64_t frames = 0;
            for (const SoundEdit& e : impl->soundTime.edits)
                frames += e.length >= 0 ? e.length : std::max<int64_t>(info.frames - e.start, 0);
            info.frames = frames;
        } else if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
            // The length FFmpeg gives by the edit list, short of the codec's padding.
            impl->soundTime.end = info.frames;
        }
    } else if (container == "ogg" && impl->sound >= 0) {
        const int fd = ::fileno(impl->demuxer.file);
        struct stat st {};
        const OggChain chain = ::fstat(fd, &st) == 0 ? OggChainOf(fd, path, int64_t(st.st_size)) : OggChain{};
        SoundInfo& info = impl->streams[size_t(impl->sound)].sound;
        if (!chain.links.empty()) {
            // Every link at the first's rate and channels, one after another.
            info.frames = 0;
            for (const SoundLink& link : chain.links)
                if (link.fault.empty()) info.frames += av_rescale(link.frames, info.sampleRate, link.rate);
            impl->duration = double(info.frames) / info.sampleRate;
            impl->soundTime.links = chain.links;
        } else if (chain.found.size() == 1 && chain.found[0].frames >= 0 && chain.found[0].rate > 0) {
            // From its first granule to its last: a segment of a longer
            // stream counts from where the one before it ended, not from 0.
            info.frames = av_rescale(chain.found[0].frames, info.sampleRate, chain.found[0].rate);
            impl->duration = double(info.frames) / info.sampleRate;
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
    // A movie kept closed reads its file again.
    if (!m.demuxer.format && !m.Reopen(&error_)) return false;
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

void FfmpegMovie::Release(bool closeFile)
{
    if (impl_) impl_->Release(closeFile);
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
        impl_->soundReader = NewSoundReader(impl_->path, impl_->sound, info, impl_->soundTime);
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

}  // namespace platform::ffmpeg_layer

extern "C" __attribute__((visibility("default"))) platform::MovieModule* TavrelMovieModule(int version)
{
    static platform::ffmpeg_layer::FfmpegModule module;
    return version == platform::kMovieModuleVersion ? &module : nullptr;
}
