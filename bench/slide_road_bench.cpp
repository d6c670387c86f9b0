// The road of a JPEG slide into a movie: 100 pictures of 1600 × 1200 opened
// as movies, rendered at 640 × 480 and encoded as SWF JPEG bitmaps at
// quality 80; beside it, in the same run, the least the job takes with bare
// libjpeg (full decode, nearest-neighbour scale, encode). Counters give the
// CPU milliseconds per picture of each step.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/bench_jpeg.h"
#include "media/qt_movie.h"
#include "media/swf_bitmap.h"

namespace {

using namespace bench_jpeg;

void BM_SlideRoad(benchmark::State& state)
{
    const auto& paths = TestPictures().Paths();
    const Rect dst{0, 0, kOutHeight, kOutWidth};
    std::vector<uint8_t> rgb(size_t(kOutWidth) * kOutHeight * 3);
    Split split;
    for (auto _ : state) {
        for (const std::string& path : paths) {
            double t0 = CpuMs();
            CQTMovie movie;
            if (!movie.OpenFile(path)) state.SkipWithError("open failed");
            double t1 = CpuMs();
            if (movie.RenderFrame(0, rgb.data(), &dst, nullptr, 24) != rgb.size()) state.SkipWithError("render failed");
            double t2 = CpuMs();
            CSwfBitmap bitmap;
            std::unique_ptr<CTagDefineBitsJPEG2> tag(bitmap.MakeJpeg(rgb.data(), kOutWidth, kOutHeight, kQuality));
            double t3 = CpuMs();
            if (!tag) state.SkipWithError("encode failed");
            split.bytes += tag ? tag->data.size() : 0;
            split.step[0] += t1 - t0, split.step[1] += t2 - t1, split.step[2] += t3 - t2;
        }
    }
    static const char* const kNames[3] = {"open_ms", "render_ms", "encode_ms"};
    split.Report(state, kNames);
}
BENCHMARK(BM_SlideRoad)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

BENCHMARK(BM_BareLibjpeg)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
