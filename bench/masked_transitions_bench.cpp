// The masked transitions over a 2000 px slide: Sliding Bars moves 200 bars
// and their copies every frame, Blinds In scales 100 slats. Every tag goes
// to the file as it is made, so the peak memory stays flat as the frames
// grow.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "show/slide.h"
#include "swf/control_tags.h"
#include "swf/movie.h"
#include "transitions/blinds.h"
#include "transitions/sliding_bars.h"

namespace {

long PeakKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

template <class Kind>
void RunKind(benchmark::State& state)
{
    const std::string path =
        (std::filesystem::temp_directory_path() / ("tavrel-bench-" + std::to_string(getpid()) + ".swf")).string();
    const int frames = int(state.range(0));
    Kind t;
    t.SetDuration(uint32_t(frames * 1000 / 24));
    uint64_t bytes = 0;
    for (auto _ : state) {
        CSwfMovie movie;
        movie.SetHeader(2000 * 20, 2000 * 20, 24.0f, 6);
        if (!movie.Open(path, true)) {
            state.SkipWithError("cannot open the movie");
            break;
        }
        CSlide previous(CSlide::kBlank, nullptr), slide(CSlide::kBlank, nullptr);
        uint16_t ids = 2, depths = 0;
        for (CSlide* s : {&previous, &slide}) {
            s->SetSize(2000, 2000);
            s->GetCameraPlacement().centerX = s->GetCameraPlacement().centerY = 20000;
            s->SetCharacterId(s == &slide ? 2 : 1);
            s->SetDepth(++depths);
        }
        t.GenerateSwf(&slide, &previous, &movie, &ids, &depths);
        movie.AddTag(new CTagEnd);
        bytes = movie.Close();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["file_bytes"] = double(bytes);
    state.counters["peak_kb"] = double(PeakKb());
    state.SetItemsProcessed(state.iterations() * frames);
    std::remove(path.c_str());
}

void BM_SlidingBarsOver2000px(benchmark::State& state)
{
    RunKind<CSlidingBarsTransition>(state);
}
void BM_BlindsInOver2000px(benchmark::State& state)
{
    RunKind<CBlindsInTransition>(state);
}

}  // namespace

BENCHMARK(BM_SlidingBarsOver2000px)->Arg(24)->Arg(240)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlindsInOver2000px)->Arg(24)->Arg(240)->Unit(benchmark::kMillisecond);
