// The export against the least its job takes, in one run: (a) bare
// libjpeg over 100 JPEGs of 1600 × 1200 (decode at 1/2, bilinear scale to
// 640 × 480, encode at quality 80 in memory); (b) reading a 640 × 480 show
// of those 100 slides and exporting it. Goal: CPU time of (b) at most
// 1.2 × (a). Side by side, in process and as programs (the `tavrel`
// program against the bare road's own): user and system time and page
// faults per slide (goal: at most 1.05 × in CPU time, system included).
// The same for shows of movie slides against the bare movie road (goal: at
// most 1.3 ×): 20 H.264 movies at the show's size, shows of 20 to 300
// slides of 1080p H.264 and ProRes (goal: the cost a slide flat), and every
// codec of the movie tests' table at 480p and 1080p. And the program's peak resident size by number of
// slides (goal: 1,000 slides at most 2 × 10 slides), and that of `tavrel
// --version`.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <map>

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

// Kinds of movie as users have them, each codec of the movie tests' table,
// made by ffmpeg from its test pattern.
struct MovieKind {
    const char* name;
    const char* encode;  // ffmpeg's output options
    const char* extension;
};
const MovieKind kMovieKinds[] = {
    {"h264", "-c:v libx264 -pix_fmt yuv420p", "mp4"},
    {"hevc", "-c:v libx265 -x265-params log-level=error -pix_fmt yuv420p -tag:v hvc1", "mp4"},
    {"vp9", "-c:v libvpx-vp9 -b:v 2M", "webm"},
    {"vp8", "-c:v libvpx -b:v 2M", "webm"},
    {"av1", "-c:v libaom-av1 -crf 30 -cpu-used 8", "mkv"},
    {"mpeg4", "-c:v mpeg4 -q:v 3", "avi"},
    {"mpeg2", "-c:v mpeg2video -q:v 3 -f mpegts", "ts"},
    {"mjpeg", "-c:v mjpeg -q:v 2", "mov"},
    {"prores", "-c:v prores_ks", "mov"},  // 10-bit 4:2:2
    {"qtrle", "-c:v qtrle -pix_fmt argb", "mov"},
};
constexpr int kH264 = 0, kProRes = 8;

// Distinct movies of one kind at one size, each turned to another hue so
// that no two are alike, made once per run: the folder and the files.
struct MovieSet {
    std::filesystem::path folder;
    std::vector<std::string> paths;
};
const MovieSet& DistinctMovies(const MovieKind& kind, int width, int height, int count, int seconds)
{
    struct Sets {
        std::map<std::string, MovieSet> made;
        ~Sets()
        {
            for (const auto& [name, set] : made) std::filesystem::remove_all(set.folder);
        }
    };
    static Sets sets;
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string name = std::string(kind.name) + "-" + size + "-" + std::to_string(count) + "-" +
                             std::to_string(seconds);
    MovieSet& set = sets.made[name];
    if (!set.folder.empty()) return set;
    set.folder = std::filesystem::temp_directory_path() / ("tavrel-movies-" + std::to_string(getpid()) + "-" + name);
    std::filesystem::create_directories(set.folder);
    for (int i = 0; i < count; ++i) {
        const std::string path = (set.folder / ("m" + std::to_string(i) + "." + kind.extension)).string();
        const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=s=" + size + ":d=" +
                                    std::to_string(seconds) + " -vf hue=h=" + std::to_string(i * 360 / count) + " " +
                                    kind.encode + " '" + path + "'";
        if (std::system(command.c_str()) != 0) break;
        set.paths.push_back(path);
    }
    return set;
}

// A 640 × 480 show of slides movie slides over a set of distinct movies: the
// slides past them take the same movies again, each through a link of its
// own, so that every slide names a file of its own. The project is written
// as text: this process has no movie module to read movies with.
class Movies {
public:
    Movies(const MovieSet& set, int slides)
    {
        if (set.paths.empty()) return;
        folder_ = set.folder / ("show" + std::to_string(slides));
        std::filesystem::create_directories(folder_);
        std::string text;
        for (int i = 0; i < slides; ++i) {
            const std::filesystem::path& source = set.paths[size_t(i) % set.paths.size()];
            const auto path = folder_ / ("s" + std::to_string(i) + source.extension().string());
            std::error_code ec;
            std::filesystem::create_hard_link(source, path, ec);
            if (ec) return;
            paths_.push_back(path.string());
            text += "<slide type=\"image\" src=\"" + path.string() + "\" />\n";
        }
        project_ = (folder_ / "movies.tvr").string();
        std::FILE* f = std::fopen(project_.c_str(), "w");
        const bool written = f && std::fprintf(f,
                                               "<xml version=\"1.0\">\n<tavrel version_major=\"1\" version_minor=\"122\">\n"
                                               "<slide_show width=\"%d\" height=\"%d\">\n<slides>\n%s</slides>\n"
                                               "</slide_show>\n</tavrel>\n</xml>\n",
                                               kOutWidth, kOutHeight, text.c_str()) > 0;
        if (!f || std::fclose(f) != 0 || !written) project_.clear();
    }
    ~Movies()
    {
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }
    bool Made(int slides) const { return paths_.size() == size_t(slides) && !project_.empty(); }
    const std::vector<std::string>& Paths() const { return paths_; }
    const std::string& Project() const { return project_; }

private:
    std::filesystem::path folder_;
    std::vector<std::string> paths_;
    std::string project_;
};

// The programs side by side on a show of movies: the `tavrel` program
// compiling it, then the bare movie road over the same movies, alternately;
// the ratio of their CPU times (user and system, start-up included: each
// loads FFmpeg's libraries), the page faults of each per slide, and the
// peak resident size of each.
void MoviesSideBySide(benchmark::State& state, const Movies& movies, int slides)
{
    if (!movies.Made(slides)) {
        state.SkipWithError("ffmpeg could not make the movies");
        return;
    }
    const std::string movie = movies.Project() + ".swf";
    std::vector<std::string> bareArgs{std::to_string(kOutWidth), std::to_string(kOutHeight)};
    bareArgs.insert(bareArgs.end(), movies.Paths().begin(), movies.Paths().end());
    SideBySide both;
    double oursPeak = 0, barePeak = 0;
    for (auto _ : state) {
        Usage ours, bare;
        if (!RunProgram(TAVREL_PROGRAM, {"--quiet", movies.Project(), movie}, &ours, &oursPeak) ||
            !RunProgram(BARE_MOVIE_ROAD_PROGRAM, bareArgs, &bare, &barePeak))
            state.SkipWithError("a program failed");
        both.ours += ours.CpuMs(), both.bare += bare.CpuMs();
        both.oursUsage += ours, both.bareUsage += bare;
    }
    both.Report(state, slides);
    state.counters["ours_peak_mb"] = oursPeak;
    state.counters["bare_peak_mb"] = barePeak;
    std::filesystem::remove(movie);
}

// 20 H.264 movies of 640 × 480 and 10 seconds in a 640 × 480 show: each
// slide the movie's own size.
void BM_MovieProgramAgainstBare(benchmark::State& state)
{
    static const Movies movies(DistinctMovies(kMovieKinds[kH264], 640, 480, 20, 10), 20);
    MoviesSideBySide(state, movies, 20);
}
BENCHMARK(BM_MovieProgramAgainstBare)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// Shows of range(1) slides over 20 movies of 1920 × 1080 and range(2)
// seconds of kind range(0) (H.264; ProRes 4:2:2 at 10 bits, 6 MB a decoded
// frame), each slide 640 × 360: the cost a slide and the peak as the show
// grows, and as each movie's index grows with its length. 300 slides pass
// the bound on movies kept open.
void BM_MovieShowSize(benchmark::State& state)
{
    const MovieKind& kind = kMovieKinds[state.range(0)];
    const int slides = int(state.range(1)), seconds = int(state.range(2));
    state.SetLabel(std::string(kind.name) + " 1080p " + std::to_string(seconds) + " s, " + std::to_string(slides) +
                   " slides");
    // Clips of 30 s are made five, not twenty (an encode of half an hour);
    // each slide still names a file of its own.
    const Movies movies(DistinctMovies(kind, 1920, 1080, seconds > 10 ? 5 : 20, seconds), slides);
    MoviesSideBySide(state, movies, slides);
}
BENCHMARK(BM_MovieShowSize)
    ->ArgsProduct({{kH264, kProRes}, {20, 80, 200}, {2, 10}})
    ->ArgsProduct({{kH264, kProRes}, {300}, {10}})
    ->ArgsProduct({{kH264}, {20, 80, 200, 300}, {30}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// Every kind at 640 × 480 (the slide at the movie's size) and at
// 1920 × 1080 (reduced to 640 × 360): shows of 20 slides over 10 movies of
// a second.
void BM_MovieKind(benchmark::State& state)
{
    const MovieKind& kind = kMovieKinds[state.range(0)];
    const int height = int(state.range(1)), width = height == 1080 ? 1920 : 640;
    state.SetLabel(std::string(kind.name) + " " + std::to_string(height) + "p");
    const Movies movies(DistinctMovies(kind, width, height, 10, 1), 20);
    MoviesSideBySide(state, movies, 20);
}
BENCHMARK(BM_MovieKind)
    ->ArgsProduct({benchmark::CreateDenseRange(0, int(std::size(kMovieKinds)) - 1, 1), {480, 1080}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

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
