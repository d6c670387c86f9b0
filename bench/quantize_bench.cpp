// Quantising a noisy 1024 × 700 photograph to 256 colours, as an rgb_8 slide
// does, and the same picture with a soft-edged alpha plane, as an
// rgb_8_transparent slide does. Noise leaves few pixels alike, so the octree
// fills and is pruned over and over while the pixels go in.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "bench_jpeg.h"
#include "media/image_scale.h"

namespace {

constexpr int kWidth = 1024, kHeight = 700;

// Smooth gradients with some detail and a camera's sensor noise in each
// channel.
std::vector<uint8_t> NoisyPhotograph()
{
    std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
    bench_jpeg::CameraNoise noise;
    auto add = [](int v, int n) { return uint8_t(std::clamp(v + n, 0, 255)); };
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &pixels[(size_t(y) * kWidth + x) * 3];
            p[0] = add(uint8_t(x / 5 + y / 11), noise());
            p[1] = add(uint8_t((x * y) >> 10), noise());
            p[2] = add(uint8_t(((x ^ y) & 31) * 4 + y / 4), noise());
        }
    return pixels;
}

// Opaque inside, fading to transparent over the outer 64 pixels.
std::vector<uint8_t> SoftEdge()
{
    std::vector<uint8_t> alpha(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int edge = std::min({x, y, kWidth - 1 - x, kHeight - 1 - y});
            alpha[size_t(y) * kWidth + x] = uint8_t(std::min(255, edge * 4));
        }
    return alpha;
}

void BM_QuantizeColors(benchmark::State& state)
{
    const std::vector<uint8_t> pixels = NoisyPhotograph();
    uint8_t palette[256 * 4];
    int count = 0;
    for (auto _ : state) {
        std::unique_ptr<uint8_t[]> indices(QuantizeColors(pixels.data(), kWidth, kHeight, 24, 256, palette, &count));
        benchmark::DoNotOptimize(indices.get());
    }
    state.counters["colours"] = count;
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_QuantizeColors)->Unit(benchmark::kMillisecond);

void BM_QuantizeColorsWithAlpha(benchmark::State& state)
{
    const std::vector<uint8_t> pixels = NoisyPhotograph();
    const std::vector<uint8_t> alpha = SoftEdge();
    uint8_t palette[256 * 4];
    int count = 0;
    for (auto _ : state) {
        std::unique_ptr<uint8_t[]> indices(
            QuantizeColorsWithAlpha(pixels.data(), alpha.data(), kWidth, kHeight, 256, palette, &count));
        benchmark::DoNotOptimize(indices.get());
    }
    state.counters["colours"] = count;
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_QuantizeColorsWithAlpha)->Unit(benchmark::kMillisecond);

}  // namespace
