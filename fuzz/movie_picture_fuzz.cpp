// Any bytes as a file opened as a movie: picture kinds by their content
// (JPEG, PNG, GIF, TIFF, BMP), plain sounds, and movie containers through
// FFmpeg (QuickTime, MP4, AVI, MPEG, ...). The frame is rendered whole,
// scaled, cut and drawn into a world, a movie's at two times (the second
// reached by decoding on, the first again by seeking back); the
// descriptions are read, and a sound hands out a piece from its start and
// one further on. None may crash, leak, print or read outside the data.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_files.h"
#include "media/image.h"
#include "media/qt_movie.h"
#include "platform/gworld.h"

namespace {

std::string g_folder, g_path;

void Frames(CQTMovie& movie, TimeValue time)
{
    const Rect dst{0, 0, 24, 32}, src{1, 1, 3, 4};
    for (const Rect* d : {static_cast<const Rect*>(nullptr), &dst}) {
        std::vector<uint8_t> out(movie.RenderFrame(time, nullptr, d, nullptr, 32));
        if (!out.empty()) movie.RenderFrame(time, out.data(), d, nullptr, 32);
    }
    std::vector<uint8_t> cut(movie.RenderFrame(time, nullptr, &dst, &src, 24));
    if (!cut.empty()) movie.RenderFrame(time, cut.data(), &dst, &src, 24);
    std::unique_ptr<GWorld> world(GWorld::Create(Rect{0, 0, 20, 20}, 32));
    const Rect box{-5, -5, 15, 30};
    movie.SetTime(time);
    movie.DrawToPort(world.get(), &box);
}

void Sound(CQTMovie& movie)
{
    SoundDescription sound;
    char name[64];
    movie.GetSoundDescription(&sound);
    movie.GetCodecName(name);
    if (!movie.OpenSoundExporter({11025.0, 16, 1, 0})) return;
    const TimeValue scale = movie.GetTimeScale(), duration = movie.GetDuration();
    // Pieces of a fifth of a second: the start, then one further on.
    for (const TimeValue start : {TimeValue(0), duration / 2}) {
        uint32_t size = 0;
        std::unique_ptr<uint8_t[]> piece(movie.ExportSoundToHandle(start, std::max(scale / 5, 1), &size, nullptr));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SetMaxImagePixels(1u << 22);
    if (!std::freopen("/dev/null", "w", stdout)) return 1;
    g_folder = fuzz_files::MakeFolder("tavrel-movie-fuzz");
    g_path = g_folder + "/input";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_files::KeepFolder(g_folder);
    if (!fuzz_files::WriteBytes(g_path, data, size)) return 0;
    CQTMovie movie;
    if (movie.OpenFile(g_path)) {
        ImageDescription image;
        movie.GetVideoDescription(&image);
        movie.GetFrameRate();
        char text[32];
        movie.FormatTime(text);
        if (movie.HasVideoTrack()) {
            Frames(movie, 0);
            Frames(movie, movie.GetTimeScale() * 3 / 2);
            Frames(movie, movie.GetTimeScale() / 5);
        }
        if (movie.HasSoundTrack()) Sound(movie);
    }
    unlink(g_path.c_str());
    return 0;
}
