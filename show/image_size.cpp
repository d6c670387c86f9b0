// Picture sizes from file headers (JPEG, PNG, GIF, BMP): a project of many large pictures opens
// without decoding any of them. Other files (TIFF, movies) are opened as movies for their box.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "media/qt_movie.h"
#include "platform/file_look.h"
#include "show/slide.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

uint32_t Big16(const uint8_t* p)
{
    return uint32_t(p[0]) << 8 | p[1];
}

uint32_t Big32(const uint8_t* p)
{
    return Big16(p) << 16 | Big16(p + 2);
}

uint32_t Little32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Walks the JPEG markers to the first frame header.
bool JpegSize(std::FILE* f, int* w, int* h)
{
    uint8_t b[8];
    for (;;) {
        int c = std::fgetc(f);
        if (c == EOF) return false;
        if (c != 0xFF) continue;
        int marker;
        do marker = std::fgetc(f);
        while (marker == 0xFF);
        if (marker == EOF) return false;
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
        if (marker == 0xD9 || marker == 0xDA) return false;  // no frame header before the data
        if (std::fread(b, 1, 2, f) != 2) return false;
        long length = Big16(b);
        if (length < 2) return false;
        bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 7 || std::fread(b, 1, 5, f) != 5) return false;
            *h = static_cast<int>(Big16(b + 1));
            *w = static_cast<int>(Big16(b + 3));
            return *w > 0 && *h > 0;
        }
        if (std::fseek(f, length - 2, SEEK_CUR) != 0) return false;
    }
}

// A movie shows its first frame at its own size, which its container
// tells: nothing is decoded. The export's plan takes the movie from here.
bool MovieSize(CQTMovie& movie, bool opened, int* width, int* height)
{
    int w = 0, h = 0;
    if (!opened || !movie.HasVideoTrack()) return false;
    movie.GetSize(&w, &h);
    movie.KeepOpen();
    if (w <= 0 || h <= 0) return false;
    *width = w;
    *height = h;
    return true;
}

}  // namespace

bool ReadImageSize(const CPath& path, int* width, int* height)
{
    if (path.IsEmpty() || path.IsDirectory()) return false;
    // A movie an earlier slide read is taken as it was left.
    if (CQTMovie::HoldsKept(path)) {
        CQTMovie movie;
        return MovieSize(movie, movie.OpenFile(path), width, height);
    }
    // One look at the file serves the headers read here and every reader
    // a movie's road asks what the file is.
    const platform::FileLook look(path.GetFullPath());
    if (!look.IsOpen()) return false;
    const uint8_t* head = look.Head();
    const size_t n = std::min<size_t>(look.HeadSize(), 26);
    if (n >= 3 && head[0] == 0xFF && head[1] == 0xD8) {
        File f(look.Stream());
        return f && std::fseek(f.get(), 2, SEEK_SET) == 0 && JpegSize(f.get(), width, height);
    }
    if (n >= 24 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0 && std::memcmp(head + 12, "IHDR", 4) == 0) {
        uint32_t w = Big32(head + 16), h = Big32(head + 20);
        if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
        *width = static_cast<int>(w);
        *height = static_cast<int>(h);
        return true;
    }
    if (n >= 10 && std::memcmp(head, "GIF8", 4) == 0) {
        *width = static_cast<int>(head[6] | head[7] << 8);
        *height = static_cast<int>(head[8] | head[9] << 8);
        return *width > 0 && *height > 0;
    }
    if (n >= 26 && head[0] == 'B' && head[1] == 'M') {
        uint32_t w = Little32(head + 18);
        auto h = static_cast<int32_t>(Little32(head + 22));
        // The OS/2 1.x header holds 16-bit sizes.
        if (Little32(head + 14) == 12) {
            w = uint32_t(head[18] | head[19] << 8);
            h = int32_t(head[20] | head[21] << 8);
        }
        // A negative height marks rows stored top-down.
        int64_t ah = h < 0 ? -int64_t(h) : h;
        if (w == 0 || ah == 0 || w > 0x7FFFFFFF || ah > 0x7FFFFFFF) return false;
        *width = static_cast<int>(w);
        *height = static_cast<int>(ah);
        return true;
    }
    CQTMovie movie;
    return MovieSize(movie, movie.OpenFile(path, look), width, height);
}
