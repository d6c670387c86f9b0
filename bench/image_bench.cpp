// Resampling a 1600 × 1200 picture (and an 800 × 600 one) to 640 × 480, and JPEG compression and
// decoding of a 1600 × 1200 picture, each on its own.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "media/image_scale.h"
#include "media/jpeg_image.h"

namespace {

constexpr int kWidth = 1600, kHeight = 1200;

// A smooth picture with some detail, like a photograph more than noise.
std::vector<uint8_t> Picture()
{
    std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &pixels[(size_t(y) * kWidth + x) * 3];
            p[0] = uint8_t(x / 7 + y / 11);
            p[1] = uint8_t((x * y) >> 9);
            p[2] = uint8_t(((x ^ y) & 31) * 4 + y / 10);
        }
    return pixels;
}

// From range(0) × range(1) (the top-left part of the picture) to 640 × 480:
// the full picture, and the half-size decode a 640 × 480 show takes of it.
void BM_ScaleImagePixels(benchmark::State& state)
{
    const std::vector<uint8_t> pixels = Picture();
    const auto width = int16_t(state.range(0)), height = int16_t(state.range(1));
    std::vector<uint8_t> part;
    for (int y = 0; y < height; ++y)
        part.insert(part.end(), pixels.begin() + size_t(y) * kWidth * 3, pixels.begin() + (size_t(y) * kWidth + width) * 3);
    const Rect from{0, 0, height, width}, to{0, 0, 480, 640};
    for (auto _ : state) {
        std::unique_ptr<uint8_t[]> out(ScaleImagePixels(part.data(), from, to, 24));
        benchmark::DoNotOptimize(out.get());
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}
BENCHMARK(BM_ScaleImagePixels)->Args({kWidth, kHeight})->Args({800, 600})->Unit(benchmark::kMillisecond);

void BM_JpegCompress(benchmark::State& state)
{
    const std::vector<uint8_t> pixels = Picture();
    CJpegImage jpeg;
    jpeg.SetQuality(80);
    for (auto _ : state) benchmark::DoNotOptimize(jpeg.Compress(kWidth, kHeight, 24, pixels.data()));
    state.counters["bytes"] = jpeg.compressedSize;
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_JpegCompress)->Unit(benchmark::kMillisecond);

void BM_JpegDecode(benchmark::State& state)
{
    const std::vector<uint8_t> pixels = Picture();
    CJpegImage jpeg;
    jpeg.SetQuality(80);
    if (!jpeg.Compress(kWidth, kHeight, 24, pixels.data())) {
        state.SkipWithError("compression failed");
        return;
    }
    std::vector<uint8_t> stream(jpeg.pixels, jpeg.pixels + jpeg.compressedSize);
    for (auto _ : state) {
        std::FILE* file = fmemopen(stream.data(), stream.size(), "rb");
        CJpegImage image;
        benchmark::DoNotOptimize(image.LoadStream(file));
        std::fclose(file);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond);

}  // namespace
