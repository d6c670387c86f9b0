// Each image filter, with its default settings, on a 640 × 480 picture.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "media/image_filters.h"

namespace {

constexpr uint32_t kWidth = 640, kHeight = 480;

// Smooth gradients with edges and specks, like a photograph more than noise.
void Picture(CImage& image)
{
    image.Create(kWidth, kHeight, 24, nullptr, false);
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            uint8_t* p = image.pixels + (size_t(y) * kWidth + x) * 3;
            p[0] = uint8_t(x / 3 + y / 7);
            p[1] = uint8_t((x * y) >> 10);
            p[2] = uint8_t(((x ^ y) & 31) * 4 + y / 10);
            if ((x * 7 + y * 13) % 97 == 0) p[0] = p[1] = p[2] = 255;
        }
}

void RunFilter(benchmark::State& state, const ImageFilterKind* kind)
{
    CImage source, image;
    Picture(source);
    auto filter = kind->create();
    std::srand(1);
    for (auto _ : state) {
        state.PauseTiming();
        image.CopyFrom(source);
        state.ResumeTiming();
        benchmark::DoNotOptimize(filter->Apply(image));
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

const bool registered = [] {
    for (const ImageFilterKind& kind : ImageFilterKinds()) {
        std::string name = "BM_Filter/" + kind.create()->GetName();
        for (char& c : name)
            if (c == ' ' || c == '&') c = '_';
        benchmark::RegisterBenchmark(name.c_str(), RunFilter, &kind)->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
