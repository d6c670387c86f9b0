// A show sound as users run it: the `tavrel` program compiling a show whose
// one sound is a source file, into the movie's 44.1 kHz stereo at
// 128 kbit/s, against ffmpeg doing the same work on one thread with the
// encoder's settings (decode, resample where the rates differ, libmp3lame at
// quality 2 without a bit reservoir):
//   ffmpeg -threads 1 -i SRC -threads 1 -filter_threads 1 -ar 44100 -ac 2
//          -c:a libmp3lame -b:a 128k -compression_level 2 -reservoir 0 out.mp3
// The two run alternately; the counters are medians of the CPU time (user
// and system) of each and of the pairs' ratios.
// Sources at another rate (goal: at most 1.10 ×): an 8 kHz mono tone with
// clicks, 8 kHz mono noise, a 48 kHz stereo Opus of pink noise, tones and
// clicks, and the same at 96 kHz as a 24-bit FLAC.
// MP3 sources at the movie's rate, decoded and encoded again, nothing
// resampled (goal: at most 1.03 ×): the same sound at 44.1 kHz by lame at
// 128 kbit/s and at -V 2, and the 128 kbit/s file with a zero byte before
// every 10th frame or five before every frame (no damage: nothing is said,
// and the walk over its frames must cross them).
// TAVREL_SOUND_SECONDS (600) and TAVREL_SOUND_PAIRS (7) set the length and
// the number of pairs.
//
// Beside it the resampler alone against libswresample's (as ffmpeg runs it)
// and libsamplerate's converters: a minute of 8 kHz stereo to 44.1 kHz.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}
#include <samplerate.h>

#include "av/resampler.h"
#include "bench/bench_process.h"
#include "platform/pending_file.h"
#include "tests/support/mpeg_frame_walk.h"

namespace {

namespace fs = std::filesystem;

int EnvInt(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

// Pink noise, tones and clicks, stereo, at rate.
std::string Music(int rate)
{
    const std::string r = std::to_string(rate);
    return "-f lavfi -i \"anoisesrc=color=pink:r=" + r + ":a=0.2\" -f lavfi -i "
           "\"aevalsrc='0.2*sin(2*PI*440*t)+if(lt(mod(t\\,0.5)\\,0.003)\\,0.6\\,0)|0.2*sin(2*PI*660*t)':s=" + r +
           "\" -filter_complex \"[0][1]amix=inputs=2:normalize=0\"";
}

struct Source {
    const char* name;
    std::string lavfi;  // ffmpeg's input options
    std::string codec;  // ffmpeg's output options
    const char* lame = nullptr;  // lame's options, fed ffmpeg's raw 16-bit samples
    // Stray bytes put before frames of the source kStrayFrom: so many zeros
    // before every so many frames.
    int strayBytes = 0, strayEvery = 0;
};
constexpr int kStrayFrom = 4;
const Source kSources[] = {
    {"tone8k.wav", "-f lavfi -i \"aevalsrc='0.3*sin(2*PI*440*t)+if(lt(mod(t\\,0.25)\\,0.002)\\,0.8\\,0)':s=8000\"",
     "-ac 1 -c:a pcm_s16le"},
    {"noise8k.wav", "-f lavfi -i \"anoisesrc=r=8000:a=0.3\"", "-ac 1 -c:a pcm_s16le"},
    {"music48k.opus", Music(48000), "-ac 2 -c:a libopus -b:a 128k"},
    {"music96k.flac", Music(96000), "-ac 2 -c:a flac -sample_fmt s32 -bits_per_raw_sample 24"},
    {"music128.mp3", Music(44100), "-ac 2 -f s16le", "-b 128"},
    {"music_v2.mp3", Music(44100), "-ac 2 -f s16le", "-V 2"},
    {"stray10.mp3", "", "", nullptr, 1, 10},
    {"stray5.mp3", "", "", nullptr, 5, 1},
};

fs::path BenchFolder()
{
    const fs::path folder = fs::temp_directory_path() / "tavrel_sound_road_bench";
    fs::create_directories(folder);
    return folder;
}

// A show of one blank slide whose sound is the file at sound; empty when it
// cannot be written.
std::string WriteShow(const std::string& sound)
{
    const std::string project = sound + ".tvr";
    FILE* out = std::fopen(project.c_str(), "w");
    if (!out) return "";
    std::fprintf(out,
                 "<xml version=\"1.0\">\n<tavrel version_major=\"1\" version_minor=\"122\">\n"
                 "<slide_show width=\"64\" height=\"48\">\n<slides>\n<slide type=\"blank\" duration=\"1000\" />\n"
                 "</slides>\n<sound_data include=\"true\">\n<sound src=\"%s\" sample_rate=\"44100\" "
                 "bit_rate=\"128\" stereo=\"true\" />\n</sound_data>\n</slide_show>\n</tavrel>\n</xml>\n",
                 sound.c_str());
    return std::fclose(out) == 0 ? project : "";
}

std::string SourcePath(const Source& source, int seconds)
{
    return (BenchFolder() / (std::to_string(seconds) + "s-" + source.name)).string();
}

// The file of source, seconds long, made once; empty when it could not be.
std::string MakeSource(const Source& source, int seconds)
{
    const std::string path = SourcePath(source, seconds);
    if (fs::exists(path)) return path;
    // Made under another name of the same kind, so a run cut short leaves no
    // source that is cut short too.
    const std::string part = (BenchFolder() / ("making-" + fs::path(path).filename().string())).string();
    bool made = false;
    if (source.strayEvery > 0) {
        const std::string from = MakeSource(kSources[kStrayFrom], seconds);
        std::ifstream in(from, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        const tavrel_test::MpegStream s = tavrel_test::WalkMpegFrames(bytes);
        const std::string strayed = tavrel_test::PutBeforeFrames(bytes, s, [&](size_t k) {
            return std::string(k % size_t(source.strayEvery) == 0 ? size_t(source.strayBytes) : 0, '\0');
        });
        std::ofstream out(part, std::ios::binary);
        made = s.frames.size() > 100 && out.write(strayed.data(), std::streamsize(strayed.size())) && out.flush();
    } else {
        // lame warns that it may seek in raw input; it reads a pipe through.
        const std::string command =
            "ffmpeg -v error -y " + source.lavfi + " -t " + std::to_string(seconds) + " " + source.codec +
            (source.lame ? " - | lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian " +
                               std::string(source.lame) + " - '" + part + "' 2>/dev/null"
                         : " '" + part + "'");
        made = std::system(command.c_str()) == 0 && fs::exists(part) && fs::file_size(part) > 0;
    }
    return made && platform::GiveName(part, path, true) ? path : "";
}

// The source and a show of one blank slide whose sound it is; empty when it
// could not be made.
std::string MakeShow(const Source& source, int seconds, std::string* sound)
{
    *sound = MakeSource(source, seconds);
    return sound->empty() ? "" : WriteShow(*sound);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void BM_ProgramAgainstFfmpeg(benchmark::State& state)
{
    const Source& source = kSources[state.range(0)];
    state.SetLabel(source.name);
    const int seconds = EnvInt("TAVREL_SOUND_SECONDS", 600), pairs = EnvInt("TAVREL_SOUND_PAIRS", 7);
    std::string sound;
    const std::string project = MakeShow(source, seconds, &sound);
    if (project.empty()) {
        state.SkipWithError("ffmpeg or lame could not make the source");
        return;
    }
    const std::string movie = project + ".swf", mp3 = project + ".mp3";
    std::vector<double> ours, theirs, oursUser, oursSys, theirsUser, theirsSys, ratios;
    // The module's LAME settings, on one thread.
    const std::vector<std::string> ffmpeg = {
        "-v", "error",      "-y",    "-threads", "1", "-i",   sound,        "-threads", "1",    "-filter_threads",
        "1",  "-ar",        "44100", "-ac",      "2", "-c:a", "libmp3lame", "-b:a",     "128k", "-compression_level",
        "2",  "-reservoir", "0",     mp3};
    for (auto _ : state) {
        for (int i = 0; i < pairs; ++i) {
            bench_process::Usage a, b;
            const bool ran = bench_process::RunProgram(TAVREL_PROGRAM, {"--quiet", project, movie}, &a) &&
                             bench_process::RunProgram("ffmpeg", ffmpeg, &b);
            if (!ran) {
                state.SkipWithError("a program failed");
                return;
            }
            ours.push_back(a.CpuMs() / 1e3), oursUser.push_back(a.userMs / 1e3), oursSys.push_back(a.sysMs / 1e3);
            theirs.push_back(b.CpuMs() / 1e3), theirsUser.push_back(b.userMs / 1e3), theirsSys.push_back(b.sysMs / 1e3);
            ratios.push_back(a.CpuMs() / b.CpuMs());
        }
    }
    state.counters["tavrel_s"] = Median(ours);
    state.counters["tavrel_user_s"] = Median(oursUser);
    state.counters["tavrel_sys_s"] = Median(oursSys);
    state.counters["ffmpeg_s"] = Median(theirs);
    state.counters["ffmpeg_user_s"] = Median(theirsUser);
    state.counters["ffmpeg_sys_s"] = Median(theirsSys);
    state.counters["ratio"] = Median(ratios);
    state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
    state.counters["ratio_max"] = *std::max_element(ratios.begin(), ratios.end());
    fs::remove(movie);
    fs::remove(mp3);
}
BENCHMARK(BM_ProgramAgainstFfmpeg)->DenseRange(0, int(std::size(kSources)) - 1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Peak resident size (MB) of the program on a show whose sound is a WAVE
// file of 2 KB whose LIST chunk claims 4 GB, and an INFO tag in it 1.9 GB:
// read as far as the file holds, never as far as it claims.
void BM_DamagedWavePeakMemory(benchmark::State& state)
{
    const auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    const std::string format = std::string("\x01\x00\x01\x00", 4) + le32(22050) + le32(44100) + std::string("\x02\x00\x10\x00", 4);
    const std::string body = "WAVEfmt " + le32(16) + format + "LIST" + le32(0xFFFFFFCE) + "INFOISFT" + le32(0x70000000) +
                             std::string(14, 'x') + "data" + le32(2000) + std::string(2000, '\0');
    const std::string sound = (BenchFolder() / "list.wav").string();
    FILE* out = std::fopen(sound.c_str(), "wb");
    const std::string bytes = "RIFF" + le32(uint32_t(body.size())) + body;
    const bool written = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const std::string project = out && std::fclose(out) == 0 && written ? WriteShow(sound) : "";
    if (project.empty()) {
        state.SkipWithError("cannot write the sound");
        return;
    }
    double peakMb = 0;
    for (auto _ : state) {
        bench_process::Usage usage;
        if (!bench_process::RunProgram(TAVREL_PROGRAM, {"--quiet", project, project + ".swf"}, &usage, &peakMb))
            state.SkipWithError("the program failed");
    }
    state.counters["peak_rss_mb"] = peakMb;
    fs::remove(project + ".swf");
}
BENCHMARK(BM_DamagedWavePeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// A minute of an 8 kHz stereo tone to 44.1 kHz (the time is per minute of
// sound; frames, what came out): 0 ours, 1 libswresample as
// ffmpeg runs it, 2 and 3 libsamplerate's fastest and medium sinc.
void BM_Resample(benchmark::State& state)
{
    constexpr int kIn = 8000, kOut = 44100, kSeconds = 60, kBlock = 4096;
    static const char* const kNames[] = {"ours", "libswresample", "libsamplerate fastest", "libsamplerate medium"};
    const int kind = int(state.range(0));
    state.SetLabel(kNames[kind]);
    std::vector<float> in(size_t(kIn) * kSeconds * 2);
    for (size_t i = 0; i < in.size(); ++i) in[i] = float(0.5 * std::sin(double(i / 2) * 2 * M_PI * 440 / kIn));
    std::vector<float> out(size_t(kBlock) * 2 * (kOut / kIn + 2) + 4096);
    size_t made = 0;
    for (auto _ : state) {
        made = 0;
        if (kind == 0) {
            platform::Resampler r;
            r.Start(kIn, kOut, 2);
            std::vector<float> y;
            for (size_t at = 0; at < in.size() / 2; at += kBlock) {
                y.clear();
                r.Push(in.data() + at * 2, std::min<size_t>(kBlock, in.size() / 2 - at), &y);
                made += y.size() / 2;
            }
            y.clear();
            r.Finish(&y);
            made += y.size() / 2;
        } else if (kind == 1) {
            SwrContext* swr = nullptr;
            AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
            swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, kOut, &stereo, AV_SAMPLE_FMT_FLT, kIn, 0, nullptr);
            swr_init(swr);
            for (size_t at = 0; at < in.size() / 2; at += kBlock) {
                const uint8_t* src = reinterpret_cast<const uint8_t*>(in.data() + at * 2);
                uint8_t* dst = reinterpret_cast<uint8_t*>(out.data());
                made += size_t(swr_convert(swr, &dst, int(out.size() / 2), &src,
                                           int(std::min<size_t>(kBlock, in.size() / 2 - at))));
            }
            uint8_t* dst = reinterpret_cast<uint8_t*>(out.data());
            made += size_t(swr_convert(swr, &dst, int(out.size() / 2), nullptr, 0));
            swr_free(&swr);
        } else {
            int error = 0;
            SRC_STATE* src = src_new(kind == 2 ? SRC_SINC_FASTEST : SRC_SINC_MEDIUM_QUALITY, 2, &error);
            for (size_t at = 0; at <= in.size() / 2; at += kBlock) {
                SRC_DATA data{};
                data.data_in = in.data() + at * 2;
                data.input_frames = long(std::min<size_t>(kBlock, in.size() / 2 - at));
                data.data_out = out.data();
                data.output_frames = long(out.size() / 2);
                data.end_of_input = at + kBlock >= in.size() / 2;
                data.src_ratio = double(kOut) / kIn;
                src_process(src, &data);
                made += size_t(data.output_frames_gen);
            }
            src_delete(src);
        }
    }
    state.counters["frames"] = double(made);
}
BENCHMARK(BM_Resample)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
