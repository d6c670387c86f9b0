// Any bytes as a file opened as a movie: picture kinds by their content
// (JPEG, PNG, GIF, TIFF, BMP), then the frame rendered whole, scaled, cut
// and drawn into a world. None may crash, leak or read outside the data.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "media/image.h"
#include "media/qt_movie.h"
#include "platform/gworld.h"

namespace {

std::string g_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SetMaxImagePixels(1u << 22);
    if (!std::freopen("/dev/null", "w", stdout)) return 1;
    g_path = "/tmp/tavrel-movie-fuzz-" + std::to_string(getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(g_path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    CQTMovie movie;
    if (movie.OpenFile(g_path) && movie.HasVideoTrack()) {
        const Rect dst{0, 0, 24, 32}, src{1, 1, 3, 4};
        for (const Rect* d : {static_cast<const Rect*>(nullptr), &dst}) {
            std::vector<uint8_t> out(movie.RenderFrame(0, nullptr, d, nullptr, 32));
            if (!out.empty()) movie.RenderFrame(0, out.data(), d, nullptr, 32);
        }
        std::vector<uint8_t> cut(movie.RenderFrame(0, nullptr, &dst, &src, 24));
        if (!cut.empty()) movie.RenderFrame(0, cut.data(), &dst, &src, 24);
        std::unique_ptr<GWorld> world(GWorld::Create(Rect{0, 0, 20, 20}, 32));
        const Rect box{-5, -5, 15, 30};
        movie.DrawToPort(world.get(), &box);
    }
    unlink(g_path.c_str());
    return 0;
}
