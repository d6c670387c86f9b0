// The export against the least its job takes, in one run: (a) bare
// libjpeg over 100 JPEGs of 1600 × 1200 (decode at 1/2, bilinear scale to
// 640 × 480, encode at quality 80 in memory); (b) reading a 640 × 480 show
// of those 100 slides and exporting it. Goal: CPU time of (b) at most
// 1.2 × (a). Side by side, in process and as programs (the `tavrel`
// program against the bare road's own): user and system time and page
// faults per slide (goal: at most 1.05 × in CPU time, system included).
// The same for a show of 20 movie slides against the bare movie road
// (goal: at most 1.3 ×). And the program's peak resident size by number of
// slides (goal: 1,000 slides at most 2 × 10 slides), and that of `tavrel
// --version`.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "bench/bench_jpeg.h"
#include "show/project_file.h"
#include "tools/export_command.h"

namespace {

using namespace bench_jpeg;

// A 640 × 480 project of count slides cycling through the pictures from
// the first-th on.
std::string WriteShow(int count, int first = 0)
{
    const auto& paths = TestPictures().Paths();
    const auto folder = std::filesystem::path(paths[0]).parent_path();
    const std::string project =
        (folder / ("show" + std::to_string(count) + "-" + std::to_string(first) + ".tvr")).string();
    if (std::filesystem::exists(project)) return project;
    CEditorSlideShow show;
    show.SetSize(kOutWidth, kOutHeight);
    for (int i = 0; i < count; ++i) {
        auto slide = std::make_unique<CSlide>(CSlide::kImage, &show);
        slide->LoadImage(CPath(paths[size_t(first + i) % paths.size()]), &show, false);
        show.InsertSlide(std::move(slide), false);
    }
    SaveProject(CPath(project), show, CPublishSettings());
    return project;
}

// Reads the project and exports it; the CPU milliseconds, or -1 with the
// reason in *error.
double ReadAndExport(const std::string& project, const std::string& movie, std::string* error)
{
    const double t0 = CpuMs();
    CEditorSlideShow show;
    CPublishSettings publish;
    CFolderRelocator relocator;
    CReadContext context;
    context.relocator = &relocator;
    if (OpenProject(CPath(project), show, publish, &context) != ProjectOpenError::kNone) {
        *error = "the project cannot be read";
        return -1;
    }
    PrepareForExport(show);
    if (!ExportShow(show, CPath(movie), nullptr, error)) return -1;
    return CpuMs() - t0;
}

void BM_ReadAndExport(benchmark::State& state)
{
    const std::string project = WriteShow(kPictures);
    const std::string movie = project + ".swf";
    RegisterShowKinds();
    double cpu = 0;
    for (auto _ : state) {
        std::string error;
        const double ms = ReadAndExport(project, movie, &error);
        if (ms < 0) state.SkipWithError(error.c_str());
        cpu += ms;
    }
    const double slides = double(state.iterations()) * kPictures;
    state.counters["ms_per_slide"] = cpu / slides;
    state.SetItemsProcessed(int64_t(slides));
    std::filesystem::remove(movie);
}
BENCHMARK(BM_ReadAndExport)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The (a) side in the same run.
BENCHMARK(BM_BareLibjpeg)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// (a) and (b) side by side: ten shows of ten slides, each exported right
// after the bare road over its ten pictures; the ratio of their CPU times.
void BM_ExportAgainstBare(benchmark::State& state)
{
    constexpr int kShows = 10, kSlides = kPictures / kShows;
    std::vector<std::string> projects;
    for (int i = 0; i < kShows; ++i) projects.push_back(WriteShow(kSlides, i * kSlides));
    const auto& paths = TestPictures().Paths();
    RegisterShowKinds();
    SideBySide both;
    for (auto _ : state) {
        for (int i = 0; i < kShows; ++i) {
            Split bare;
            const std::vector<std::string> pictures(paths.begin() + i * kSlides, paths.begin() + (i + 1) * kSlides);
            const Usage u0 = Usage::Self();
            if (!BareRoad(pictures, &bare)) state.SkipWithError("decode failed");
            const Usage u1 = Usage::Self();
            std::string error;
            const double ms = ReadAndExport(projects[size_t(i)], projects[size_t(i)] + ".swf", &error);
            if (ms < 0) state.SkipWithError(error.c_str());
            const Usage u2 = Usage::Self();
            both.ours += ms;
            both.bare += bare.step[0] + bare.step[1] + bare.step[2];
            both.bareUsage += u1 - u0;
            both.oursUsage += u2 - u1;
        }
    }
    both.Report(state);
    for (const std::string& project : projects) std::filesystem::remove(project + ".swf");
}
BENCHMARK(BM_ExportAgainstBare)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The programs side by side, as a user runs them: the `tavrel` program
// compiling the show of the 100 pictures, then the bare road's program
// over the same pictures, alternately; the ratio of their CPU times
// (user and system, start-up included) and the page faults of each.
void BM_ProgramAgainstBare(benchmark::State& state)
{
    const std::string project = WriteShow(kPictures);
    const std::string movie = project + ".swf";
    const auto& paths = TestPictures().Paths();
    SideBySide both;
    for (auto _ : state) {
        Usage ours, bare;
        if (!RunProgram(TAVREL_PROGRAM, {"--quiet", project, movie}, &ours) ||
            !RunProgram(BARE_ROAD_PROGRAM, paths, &bare))
            state.SkipWithError("a program failed");
        both.ours += ours.CpuMs(), both.bare += bare.CpuMs();
        both.oursUsage += ours, both.bareUsage += bare;
    }
    both.Report(state);
    std::filesystem::remove(movie);
}
BENCHMARK(BM_ProgramAgainstBare)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();

// 20 H.264 movies of 640 × 480 and 10 seconds, as ffmpeg makes them from
// its test pattern (each turned to another hue, so no two are alike), and a
// 640 × 480 show of one slide for each; made once per run. The project is
// written as text: this process has no movie module to read movies with.
class Movies {
public:
    static constexpr int kCount = 20;
    Movies()
    {
        folder_ = std::filesystem::temp_directory_path() / ("tavrel-movie-road-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_);
        std::string slides;
        for (int i = 0; i < kCount; ++i) {
            const std::string path = (folder_ / ("m" + std::to_string(i) + ".mp4")).string();
            const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=s=640x480:d=10 -vf hue=h=" +
                                        std::to_string(i * 18) + " -c:v libx264 '" + path + "'";
            if (std::system(command.c_str()) != 0) return;
            paths_.push_back(path);
            slides += "<slide type=\"image\" src=\"" + path + "\" />\n";
        }
        project_ = (folder_ / "movies.tvr").string();
        std::FILE* f = std::fopen(project_.c_str(), "w");
        const bool written = f && std::fprintf(f,
                                               "<xml version=\"1.0\">\n<tavrel version_major=\"1\" version_minor=\"122\">\n"
                                               "<slide_show width=\"%d\" height=\"%d\">\n<slides>\n%s</slides>\n"
                                               "</slide_show>\n</tavrel>\n</xml>\n",
                                               kOutWidth, kOutHeight, slides.c_str()) > 0;
        if (!f || std::fclose(f) != 0 || !written) project_.clear();
    }
    ~Movies() { std::filesystem::remove_all(folder_); }
    bool Made() const { return paths_.size() == size_t(kCount) && !project_.empty(); }
    const std::vector<std::string>& Paths() const { return paths_; }
    const std::string& Project() const { return project_; }

private:
    std::filesystem::path folder_;
    std::vector<std::string> paths_;
    std::string project_;
};

// The programs side by side on the show of movies: the `tavrel` program
// compiling it, then the bare movie road over the same movies, alternately;
// the ratio of their CPU times (user and system, start-up included: each
// loads FFmpeg's libraries) and the page faults of each, per slide.
void BM_MovieProgramAgainstBare(benchmark::State& state)
{
    static const Movies movies;
    if (!movies.Made()) {
        state.SkipWithError("ffmpeg with libx264 could not make the movies");
        return;
    }
    const std::string movie = movies.Project() + ".swf";
    std::vector<std::string> bareArgs{std::to_string(kOutWidth), std::to_string(kOutHeight)};
    bareArgs.insert(bareArgs.end(), movies.Paths().begin(), movies.Paths().end());
    SideBySide both;
    for (auto _ : state) {
        Usage ours, bare;
        if (!RunProgram(TAVREL_PROGRAM, {"--quiet", movies.Project(), movie}, &ours) ||
            !RunProgram(BARE_MOVIE_ROAD_PROGRAM, bareArgs, &bare))
            state.SkipWithError("a program failed");
        both.ours += ours.CpuMs(), both.bare += bare.CpuMs();
        both.oursUsage += ours, both.bareUsage += bare;
    }
    both.Report(state, Movies::kCount);
    std::filesystem::remove(movie);
}
BENCHMARK(BM_MovieProgramAgainstBare)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// The built program on a show of range(0) slides; peak resident size of
// the child process in MB.
void BM_ProgramPeakMemory(benchmark::State& state)
{
    const std::string project = WriteShow(int(state.range(0)));
    const std::string movie = project + ".swf";
    double peakMb = 0;
    for (auto _ : state) {
        Usage usage;
        if (!RunProgram(TAVREL_PROGRAM, {"--quiet", project, movie}, &usage, &peakMb))
            state.SkipWithError("the program failed");
    }
    state.counters["peak_rss_mb"] = peakMb;
    std::filesystem::remove(movie);
}
BENCHMARK(BM_ProgramPeakMemory)->Arg(10)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

// `tavrel --version`: what starting the program costs, libraries loaded
// and initialised; peak resident size (MB), CPU time and page faults.
void BM_ProgramVersion(benchmark::State& state)
{
    double peakMb = 0;
    Usage usage;
    for (auto _ : state)
        if (!RunProgram(TAVREL_PROGRAM, {"--version"}, &usage, &peakMb)) state.SkipWithError("the program failed");
    const double n = double(state.iterations());
    state.counters["peak_rss_mb"] = peakMb;
    state.counters["cpu_ms"] = usage.CpuMs() / n;
    state.counters["faults"] = usage.faults / n;
}
BENCHMARK(BM_ProgramVersion)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
