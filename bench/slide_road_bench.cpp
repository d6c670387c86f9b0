// The road of a JPEG slide into a movie: 100 pictures of 1600 × 1200 opened
// as movies, rendered at 640 × 480 and encoded as SWF JPEG bitmaps at
// quality 80; beside it, in the same run, the least the job takes with bare
// libjpeg (decode at 1/2, bilinear scale, encode). Counters give the CPU
// milliseconds per picture of each step.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/bench_jpeg.h"
#include "media/qt_movie.h"
#include "media/swf_bitmap.h"

namespace {

using namespace bench_jpeg;

// One picture down the slide road; false when a step fails.
bool SlideRoad(const std::string& path, std::vector<uint8_t>* rgb, Split* split)
{
    const Rect dst{0, 0, kOutHeight, kOutWidth};
    double t0 = CpuMs();
    CQTMovie movie;
    if (!movie.OpenFile(path)) return false;
    double t1 = CpuMs();
    if (movie.RenderFrame(0, rgb->data(), &dst, nullptr, 24) != rgb->size()) return false;
    double t2 = CpuMs();
    CSwfBitmap bitmap;
    std::unique_ptr<CTagDefineBitsJPEG2> tag(bitmap.MakeJpeg(rgb->data(), kOutWidth, kOutHeight, kQuality));
    double t3 = CpuMs();
    if (!tag) return false;
    split->bytes += tag->data.size();
    split->step[0] += t1 - t0, split->step[1] += t2 - t1, split->step[2] += t3 - t2;
    return true;
}

void BM_SlideRoad(benchmark::State& state)
{
    const auto& paths = TestPictures().Paths();
    std::vector<uint8_t> rgb(size_t(kOutWidth) * kOutHeight * 3);
    Split split;
    for (auto _ : state)
        for (const std::string& path : paths)
            if (!SlideRoad(path, &rgb, &split)) state.SkipWithError("the slide road failed");
    static const char* const kNames[3] = {"open_ms", "render_ms", "encode_ms"};
    split.Report(state, kNames);
}
BENCHMARK(BM_SlideRoad)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

BENCHMARK(BM_BareLibjpeg)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// Both roads picture by picture, the ratio of their CPU times.
void BM_SlideRoadAgainstBare(benchmark::State& state)
{
    const auto& paths = TestPictures().Paths();
    std::vector<uint8_t> rgb(size_t(kOutWidth) * kOutHeight * 3);
    SideBySide both;
    for (auto _ : state) {
        for (const std::string& path : paths) {
            Split ours, bare;
            if (!BareRoad({path}, &bare) || !SlideRoad(path, &rgb, &ours)) state.SkipWithError("a road failed");
            both.ours += ours.step[0] + ours.step[1] + ours.step[2];
            both.bare += bare.step[0] + bare.step[1] + bare.step[2];
        }
    }
    both.Report(state);
}
BENCHMARK(BM_SlideRoadAgainstBare)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
