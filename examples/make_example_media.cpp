// Makes the example show's pictures and tune: a sunrise gradient (JPEG),
// shapes over transparency (PNG), a test card (BMP) and a short melody
// (WAVE). Everything is computed here; nothing is taken from elsewhere.
#include <png.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "media/jpeg_image.h"

namespace {

struct Picture {
    int width, height, channels;
    std::vector<uint8_t> pixels;
    Picture(int w, int h, int c) : width(w), height(h), channels(c), pixels(size_t(w) * h * c) {}
    uint8_t* At(int x, int y) { return &pixels[(size_t(y) * width + x) * channels]; }
    void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255)
    {
        uint8_t* p = At(x, y);
        p[0] = r, p[1] = g, p[2] = b;
        if (channels == 4) p[3] = a;
    }
};

uint8_t Mix(double a, double b, double t)
{
    return uint8_t(std::lround(a + (b - a) * std::clamp(t, 0.0, 1.0)));
}

// Night blue at the top to orange at the horizon, a sun, dark hills below.
Picture Sunrise()
{
    Picture p(1024, 768, 3);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const double t = double(y) / 520;
            uint8_t r = Mix(20, 250, t), g = Mix(30, 150, t), b = Mix(90, 60, t);
            const double dx = x - 640, dy = y - 470, d = std::sqrt(dx * dx + dy * dy);
            if (d < 70) r = 255, g = 230, b = 120;
            const double hill = 560 + 60 * std::sin(x / 140.0) + 25 * std::sin(x / 37.0);
            if (y > hill) r = 30, g = Mix(70, 40, (y - hill) / 200), b = 40;
            p.Set(x, y, r, g, b);
        }
    return p;
}

// Circles, a square and a triangle on a transparent ground.
Picture Shapes()
{
    Picture p(800, 600, 4);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            p.Set(x, y, 0, 0, 0, 0);
            auto in = [&](double cx, double cy, double r) { return std::hypot(x - cx, y - cy) < r; };
            if (in(220, 220, 150)) p.Set(x, y, 220, 40, 40);
            if (x > 380 && x < 680 && y > 120 && y < 420) p.Set(x, y, 40, 160, 60, 220);
            if (y > 300 && y < 560 && std::abs(x - 400) < (y - 300) * 0.8) p.Set(x, y, 40, 80, 220);
            if (in(600, 470, 80)) p.Set(x, y, 250, 210, 30, 160);
        }
    return p;
}

// Colour bars over a grid with a centred circle: shows scaling and colour.
Picture TestCard()
{
    static const uint8_t bars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                       {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    Picture p(640, 480, 3);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* c = bars[x * 8 / p.width];
            uint8_t r = c[0], g = c[1], b = c[2];
            if (y > 320) r = g = b = uint8_t(x * 255 / (p.width - 1));  // grey ramp
            if (x % 40 == 0 || y % 40 == 0) r = g = b = 128;
            const double d = std::hypot(x - 320.0, y - 240.0);
            if (std::abs(d - 180) < 2) r = g = b = 255;
            p.Set(x, y, r, g, b);
        }
    return p;
}

bool WriteJpeg(const Picture& p, const std::string& path)
{
    CJpegImage jpeg;
    jpeg.SetQuality(90);
    if (!jpeg.Compress(p.width, p.height, 24, p.pixels.data())) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(jpeg.pixels, 1, jpeg.compressedSize, f) == jpeg.compressedSize;
    return std::fclose(f) == 0 && ok;
}

bool WritePng(const Picture& p, const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_set_IHDR(png, info, p.width, p.height, 8, p.channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < p.height; ++y) png_write_row(png, const_cast<Picture&>(p).At(0, y));
        png_write_end(png, info);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0 && ok;
}

void Put16(std::FILE* f, unsigned v)
{
    std::fputc(v & 0xff, f), std::fputc((v >> 8) & 0xff, f);
}
void Put32(std::FILE* f, unsigned v)
{
    Put16(f, v & 0xffff), Put16(f, v >> 16);
}

// 24-bit bottom-up BMP, rows padded to four bytes.
bool WriteBmp(const Picture& p, const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const unsigned row = (unsigned(p.width) * 3 + 3) & ~3u, size = row * p.height;
    std::fputs("BM", f);
    Put32(f, 54 + size), Put32(f, 0), Put32(f, 54);
    Put32(f, 40), Put32(f, p.width), Put32(f, p.height), Put16(f, 1), Put16(f, 24);
    Put32(f, 0), Put32(f, size), Put32(f, 2835), Put32(f, 2835), Put32(f, 0), Put32(f, 0);
    std::vector<uint8_t> line(row, 0);
    for (int y = p.height - 1; y >= 0; --y) {
        for (int x = 0; x < p.width; ++x) {
            const uint8_t* px = const_cast<Picture&>(p).At(x, y);
            line[x * 3] = px[2], line[x * 3 + 1] = px[1], line[x * 3 + 2] = px[0];
        }
        std::fwrite(line.data(), 1, row, f);
    }
    return std::fclose(f) == 0;
}

// A little tune in A major: plucked notes with a soft decay, two voices.
bool WriteMelody(const std::string& path)
{
    const int rate = 22050;
    static const int notes[] = {0, 4, 7, 12, 9, 7, 4, 2, 4, 7, 9, 7, 4, 2, 0, -5};
    const double beat = 0.5;
    std::vector<short> samples(size_t(rate * beat * std::size(notes)));
    for (size_t n = 0; n < std::size(notes); ++n) {
        const double f = 440.0 * std::pow(2.0, notes[n] / 12.0), bass = f / 2;
        const size_t start = size_t(n * beat * rate);
        for (size_t i = 0; i < size_t(beat * rate); ++i) {
            const double t = double(i) / rate, env = std::exp(-4.0 * t) * std::min(1.0, t * 200);
            const double v = env * (0.5 * std::sin(2 * M_PI * f * t) + 0.2 * std::sin(4 * M_PI * f * t) +
                                    0.25 * std::sin(2 * M_PI * bass * t));
            samples[start + i] = short(std::lround(v * 20000));
        }
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    const bool ok = sf_write_short(file, samples.data(), sf_count_t(samples.size())) == sf_count_t(samples.size());
    return sf_close(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 1;
    }
    const std::string dir = argv[1];
    const bool ok = WriteJpeg(Sunrise(), dir + "/sunrise.jpg") && WritePng(Shapes(), dir + "/shapes.png") &&
                    WriteBmp(TestCard(), dir + "/testcard.bmp") && WriteMelody(dir + "/melody.wav");
    if (!ok) std::fprintf(stderr, "%s: cannot write the example media into %s\n", argv[0], dir.c_str());
    return ok ? 0 : 1;
}
