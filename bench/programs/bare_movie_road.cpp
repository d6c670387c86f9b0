// The least a show of movie slides takes, as a program of its own, so that
// a benchmark can set it beside the `tavrel` program process against
// process: for each movie named on the command line, the first frame of its
// video (libavformat and libavcodec, on one thread), converted and scaled in
// one pass by libswscale, bilinear, to the size a slide of a SHOW_WIDTH ×
// SHOW_HEIGHT show gives it (fitted, its aspect kept), into rows FFmpeg
// allocates with the alignment and padding libswscale writes into, and
// encoded from those rows at quality 80 by libjpeg into memory, as the JPEG
// floor does. Movies of square pixels, not turned. Exit 0 when every movie
// went through.
//
// bare_movie_road SHOW_WIDTH SHOW_HEIGHT MOVIE...
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}
#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_jpeg.h"

namespace {

// The plain job: two taps a side.
constexpr int kScaleFlags = SWS_BILINEAR;

// The display size of a w × h picture fitted into the show, its aspect kept.
void FitToShow(int showWidth, int showHeight, int w, int h, int* outWidth, int* outHeight)
{
    long fw = w, fh = h;
    if (fw != showWidth) {
        fh = std::lround(double(showWidth) * h / w);
        fw = showWidth;
    }
    if (fh > showHeight) {
        fw = std::lround(double(fw) * showHeight / fh);
        fh = showHeight;
    }
    *outWidth = int(fw), *outHeight = int(fh);
}

// The first frame of the movie's video; null when there is none.
AVFrame* FirstFrame(AVFormatContext* format, int stream)
{
    const AVCodecParameters* par = format->streams[stream]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    AVCodecContext* codec = decoder ? avcodec_alloc_context3(decoder) : nullptr;
    if (!codec) return nullptr;
    codec->thread_count = 1;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    bool got = false;
    if (avcodec_parameters_to_context(codec, par) >= 0 && avcodec_open2(codec, decoder, nullptr) >= 0) {
        while (!got && av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(codec, packet) >= 0)
                got = avcodec_receive_frame(codec, frame) == 0;
            av_packet_unref(packet);
        }
        if (!got && avcodec_send_packet(codec, nullptr) >= 0) got = avcodec_receive_frame(codec, frame) == 0;
    }
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    if (!got) av_frame_free(&frame);
    return frame;
}

// The frame as RGB of width × height, in out's rows; false when it cannot
// be converted.
bool Convert(const AVFrame* f, int width, int height, AVFrame* out)
{
    const auto format = AVPixelFormat(f->format);
    SwsContext* scaler = sws_getContext(f->width, f->height, format, width, height, AV_PIX_FMT_RGB24, kScaleFlags,
                                        nullptr, nullptr, nullptr);
    if (!scaler) return false;
    // The frame's own colour matrix and range.
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    int space = f->colorspace;
    if (space <= AVCOL_SPC_RGB || space == AVCOL_SPC_UNSPECIFIED || space >= AVCOL_SPC_NB) space = SWS_CS_DEFAULT;
    if (desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB))
        sws_setColorspaceDetails(scaler, sws_getCoefficients(space), f->color_range == AVCOL_RANGE_JPEG,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    // libswscale writes whole blocks of pixels, past a row's end: rows as
    // FFmpeg allocates them hold that.
    out->width = width, out->height = height, out->format = AV_PIX_FMT_RGB24;
    const bool done = av_frame_get_buffer(out, 0) >= 0 &&
                      sws_scale(scaler, f->data, f->linesize, 0, f->height, out->data, out->linesize) == height;
    sws_freeContext(scaler);
    return done;
}

bool MovieSlide(const char* path, int showWidth, int showHeight)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path, nullptr, nullptr) < 0) return false;
    bool done = false;
    const int stream = avformat_find_stream_info(format, nullptr) >= 0
                           ? av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)
                           : -1;
    if (stream >= 0) {
        AVFrame* frame = FirstFrame(format, stream);
        AVFrame* out = av_frame_alloc();
        int width = 0, height = 0;
        if (frame) FitToShow(showWidth, showHeight, frame->width, frame->height, &width, &height);
        done = frame && out && Convert(frame, width, height, out) &&
               bench_jpeg::BareEncodeRows(out->data[0], size_t(out->linesize[0]), width, height) > 0;
        av_frame_free(&out);
        av_frame_free(&frame);
    }
    avformat_close_input(&format);
    return done;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bare_movie_road SHOW_WIDTH SHOW_HEIGHT MOVIE...\n");
        return 2;
    }
    const int showWidth = std::atoi(argv[1]), showHeight = std::atoi(argv[2]);
    // The program's own heap settings: each movie's decoded frame takes the
    // pages the one before gave back rather than faulting in fresh ones, so
    // the floor measures the job, not the allocator's page faults.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TOP_PAD, 32 << 20);
    av_log_set_level(AV_LOG_QUIET);
    for (int i = 3; i < argc; ++i)
        if (!MovieSlide(argv[i], showWidth, showHeight)) return 1;
    return 0;
}
