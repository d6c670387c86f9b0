// Writing a movie: 10,000 frames, each with one PlaceObject2 that moves a
// shape and a ShowFrame, straight to a file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"

static void BM_WriteMovieOfTenThousandFrames(benchmark::State& state)
{
    const std::string path =
        (std::filesystem::temp_directory_path() / ("tavrel-bench-" + std::to_string(getpid()) + ".swf")).string();
    const int frames = int(state.range(0));
    uint64_t bytes = 0;
    for (auto _ : state) {
        CSwfMovie movie;
        movie.SetHeader(640 * 20, 480 * 20, 24.0f, 6);
        if (!movie.Open(path, true)) {
            state.SkipWithError("cannot open the movie");
            break;
        }
        movie.AddTag(new CTagSetBackgroundColor(255, 255, 255));
        for (int i = 0; i < frames; ++i) {
            auto* place = new CTagPlaceObject2;
            if (i == 0)
                place->SetCharacterId(1);
            else
                place->move = true;
            place->depth = 1;
            auto* m = new CSwfMatrix;
            m->SetIdentity();
            m->translateX = (i % 640) * 20;
            m->translateY = (i % 480) * 20;
            place->SetMatrix(m);
            auto* c = new CSwfCxformWithAlpha;
            c->SetAlpha((i % 100) / 100.0);
            place->SetCxform(c);
            movie.AddTag(place);
            movie.AddTag(new CTagShowFrame);
        }
        movie.AddTag(new CTagEnd);
        bytes = movie.Close();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["file_bytes"] = double(bytes);
    state.SetItemsProcessed(state.iterations() * frames);
    std::remove(path.c_str());
}
BENCHMARK(BM_WriteMovieOfTenThousandFrames)->Arg(10000)->Unit(benchmark::kMillisecond);
