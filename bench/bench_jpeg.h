#pragma once
// Shared by the benchmarks of the slide road and the export: 100 JPEGs of
// 1600 × 1200 made once per run, CPU time, and the least the job of one
// slide takes with bare libjpeg: the program's job, nothing more (decode at
// the coarsest of libjpeg's scales that still gives the output's pixels,
// 1/2 here, bilinear scale to 640 × 480, encode at quality 80 into memory).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <sys/resource.h>
#include <unistd.h>

#include "bench/bench_process.h"
#include "media/jpeg_image.h"

namespace bench_jpeg {

constexpr int kPictures = 100, kWidth = 1600, kHeight = 1200, kOutWidth = 640, kOutHeight = 480;
constexpr int kQuality = 80;

inline double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

using bench_process::Usage;

// A camera's sensor noise: triangular, -15..15 (about 6.5 levels of
// standard deviation), from two draws of a xorshift generator.
class CameraNoise {
public:
    int operator()()
    {
        int sum = 0;
        for (int k = 0; k < 2; ++k) {
            state_ ^= state_ << 13, state_ ^= state_ >> 17, state_ ^= state_ << 5;
            sum += int(state_ >> 28);
        }
        return sum - 15;
    }

private:
    uint32_t state_ = 2463534242u;
};

// 100 distinct photograph-like JPEGs (smooth gradients with some detail)
// with a camera's sensor noise (about 6.5 levels of standard deviation in
// each channel, no two pixels alike), written once per run. Noise is what
// makes a camera's JPEGs large and slow to decode.
class Pictures {
public:
    Pictures()
    {
        folder_ = std::filesystem::temp_directory_path() / ("tavrel-slide-road-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_);
        std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
        CameraNoise noise;
        auto add = [](int v, int n) { return uint8_t(std::clamp(v + n, 0, 255)); };
        for (int i = 0; i < kPictures; ++i) {
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    uint8_t* p = &pixels[(size_t(y) * kWidth + x) * 3];
                    p[0] = add(uint8_t(x / 7 + y / 11 + i * 3), noise());
                    p[1] = add(uint8_t(((x + i * 13) * y) >> 9), noise());
                    p[2] = add(uint8_t(((x ^ (y + i)) & 31) * 4 + y / 10), noise());
                }
            CJpegImage jpeg;
            jpeg.SetQuality(90);
            jpeg.Compress(kWidth, kHeight, 24, pixels.data());
            const std::string path = (folder_ / ("p" + std::to_string(i) + ".jpg")).string();
            std::FILE* f = std::fopen(path.c_str(), "wb");
            std::fwrite(jpeg.pixels, 1, jpeg.compressedSize, f);
            std::fclose(f);
            paths_.push_back(path);
        }
    }
    ~Pictures() { std::filesystem::remove_all(folder_); }
    const std::vector<std::string>& Paths() const { return paths_; }

private:
    std::filesystem::path folder_;
    std::vector<std::string> paths_;
};

// CPU milliseconds of three steps and the JPEG bytes, per picture.
struct Split {
    double step[3] = {};
    size_t bytes = 0;

    void Report(benchmark::State& state, const char* const names[3]) const
    {
        const double n = double(state.iterations()) * kPictures;
        for (int i = 0; i < 3; ++i) state.counters[names[i]] = step[i] / n;
        state.counters["jpeg_bytes"] = double(bytes) / n;
        state.SetItemsProcessed(int64_t(n));
    }
};

inline const Pictures& TestPictures()
{
    static const Pictures pictures;
    return pictures;
}

struct BareError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

inline void BareExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<BareError*>(info->err)->jump, 1);
}

// The denominator of libjpeg's scale a picture decodes at for the output:
// the coarsest of 1/8, 1/4 and 1/2 that still gives at least its pixels.
inline unsigned BareDenominator(unsigned width, unsigned height)
{
    for (unsigned d : {8u, 4u, 2u})
        if ((width + d - 1) / d >= unsigned(kOutWidth) && (height + d - 1) / d >= unsigned(kOutHeight)) return d;
    return 1;
}

// Decode of one file at that scale into rgb (resized to fit); false on an
// error.
inline bool BareDecode(const std::string& path, std::vector<uint8_t>* rgb, int* width, int* height)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    jpeg_decompress_struct info;
    BareError err;
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = BareExit;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    info.scale_num = 1;
    info.scale_denom = BareDenominator(info.image_width, info.image_height);
    jpeg_start_decompress(&info);
    *width = int(info.output_width), *height = int(info.output_height);
    rgb->resize(size_t(*width) * *height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb->data() + size_t(info.output_scanline) * *width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return true;
}

// Bilinear resampling of packed RGB, pixel centres aligned, weights in 8
// bits: each output pixel from the four nearest, rows blended first.
inline void BareBilinear(const std::vector<uint8_t>& in, int width, int height, std::vector<uint8_t>* out)
{
    struct Tap {
        int at, weight;  // the first of two neighbours, and the second's weight of 256
    };
    auto taps = [](int from, int to) {
        auto t = std::vector<Tap>(size_t(to));
        for (int i = 0; i < to; ++i) {
            const double x = std::clamp((i + 0.5) * from / to - 0.5, 0.0, double(from - 1));
            const int at = std::min(int(x), std::max(from - 2, 0));
            t[size_t(i)] = {at, int((x - at) * 256 + 0.5)};
        }
        return t;
    };
    const std::vector<Tap> xs = taps(width, kOutWidth), ys = taps(height, kOutHeight);
    out->resize(size_t(kOutWidth) * kOutHeight * 3);
    const size_t rowBytes = size_t(width) * 3;
    std::vector<uint16_t> row(rowBytes + 3);
    for (int y = 0; y < kOutHeight; ++y) {
        const uint8_t* r0 = in.data() + size_t(ys[size_t(y)].at) * rowBytes;
        const uint8_t* r1 = height > 1 ? r0 + rowBytes : r0;
        const unsigned wy = unsigned(ys[size_t(y)].weight);
        for (size_t i = 0; i < rowBytes; ++i) row[i] = uint16_t(r0[i] * (256 - wy) + r1[i] * wy);
        std::copy_n(&row[rowBytes - 3], 3, &row[rowBytes]);  // the last pixel's right neighbour
        uint8_t* o = out->data() + size_t(y) * kOutWidth * 3;
        for (const Tap& t : xs) {
            const uint16_t* p = &row[size_t(t.at) * 3];
            const unsigned w = unsigned(t.weight);
            for (int c = 0; c < 3; ++c, ++o) *o = uint8_t((p[c] * (256 - w) + p[c + 3] * w + 32768) >> 16);
        }
    }
}

// Rows of packed RGB, stride bytes apart, encoded at quality 80 into memory;
// the JPEG's length.
inline size_t BareEncodeRows(const uint8_t* rgb, size_t stride, int width, int height)
{
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&info, &out, &length);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + size_t(info.next_scanline) * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::free(out);
    return length;
}

inline size_t BareEncode(const std::vector<uint8_t>& rgb, int width, int height)
{
    return BareEncodeRows(rgb.data(), size_t(width) * 3, width, height);
}

// The bare road over every picture once; CPU milliseconds of each step
// added to split.
inline bool BareRoad(const std::vector<std::string>& paths, Split* split)
{
    std::vector<uint8_t> decoded, small;
    for (const std::string& path : paths) {
        double t0 = CpuMs();
        int w = 0, h = 0;
        if (!BareDecode(path, &decoded, &w, &h)) return false;
        double t1 = CpuMs();
        BareBilinear(decoded, w, h, &small);
        double t2 = CpuMs();
        split->bytes += BareEncode(small, kOutWidth, kOutHeight);
        double t3 = CpuMs();
        split->step[0] += t1 - t0, split->step[1] += t2 - t1, split->step[2] += t3 - t2;
    }
    return true;
}

inline void BM_BareLibjpeg(benchmark::State& state)
{
    const auto& paths = TestPictures().Paths();
    Split split;
    for (auto _ : state)
        if (!BareRoad(paths, &split)) state.SkipWithError("decode failed");
    static const char* const kNames[3] = {"decode_ms", "scale_ms", "encode_ms"};
    split.Report(state, kNames);
}

// The ratio of two roads' CPU times when each iteration runs both, one
// right after the other: a shared machine's load changes less between
// them than between two benchmarks run minutes apart. With the usage of
// each road, their user and system times and page faults per picture too.
struct SideBySide {
    double ours = 0, bare = 0;
    Usage oursUsage, bareUsage;

    // per: the slides or pictures of one iteration.
    void Report(benchmark::State& state, int per = kPictures) const
    {
        const double n = double(state.iterations()) * per;
        state.counters["ours_ms"] = ours / n;
        state.counters["bare_ms"] = bare / n;
        state.counters["ratio"] = bare > 0 ? ours / bare : 0;
        if (oursUsage.CpuMs() > 0 || bareUsage.CpuMs() > 0) {
            state.counters["ours_user_ms"] = oursUsage.userMs / n;
            state.counters["ours_sys_ms"] = oursUsage.sysMs / n;
            state.counters["ours_faults"] = oursUsage.faults / n;
            state.counters["bare_user_ms"] = bareUsage.userMs / n;
            state.counters["bare_sys_ms"] = bareUsage.sysMs / n;
            state.counters["bare_faults"] = bareUsage.faults / n;
        }
        state.SetItemsProcessed(int64_t(n));
    }
};
}  // namespace bench_jpeg
