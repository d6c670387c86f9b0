#include "show/export_fixtures.h"

#include <zlib.h>

#include <filesystem>
#include <vector>

#include "media/jpeg_image.h"

namespace show_test {

namespace {

std::string WriteJpegPixels(const tavrel_test::TempDir& dir, const std::string& name, int w, int h,
                            std::vector<uint8_t>& pixels)
{
    CJpegImage jpeg;
    if (!jpeg.Compress(w, h, 24, pixels.data())) return "";
    const std::string path = dir.file(name);
    tavrel_test::WriteFile(path, std::string(reinterpret_cast<char*>(jpeg.pixels), jpeg.compressedSize));
    return path;
}

void Put(std::vector<uint8_t>& pixels, size_t i, uint32_t rgb)
{
    pixels[i] = uint8_t(rgb >> 16);
    pixels[i + 1] = uint8_t(rgb >> 8);
    pixels[i + 2] = uint8_t(rgb);
}

std::string Be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string Le32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string Le16(uint16_t v) { return {char(v), char(v >> 8)}; }

std::string PngChunk(const std::string& type, const std::string& data)
{
    const std::string body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
    return Be32(uint32_t(data.size())) + body + Be32(uint32_t(crc));
}

}  // namespace

std::string WriteColourJpeg(const tavrel_test::TempDir& dir, const std::string& name, int w, int h, uint32_t rgb)
{
    std::vector<uint8_t> pixels(size_t(w) * h * 3);
    for (size_t i = 0; i < pixels.size(); i += 3) Put(pixels, i, rgb);
    return WriteJpegPixels(dir, name, w, h, pixels);
}

std::string WriteQuadrantJpeg(const tavrel_test::TempDir& dir, const std::string& name, int w, int h,
                              const uint32_t (&quadrants)[4])
{
    std::vector<uint8_t> pixels(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            Put(pixels, (size_t(y) * w + x) * 3, quadrants[(y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0)]);
    return WriteJpegPixels(dir, name, w, h, pixels);
}

std::string WriteColourPng(const tavrel_test::TempDir& dir, const std::string& name, int w, int h, uint32_t rgb)
{
    std::string raw;
    for (int y = 0; y < h; ++y) {
        raw += '\0';
        for (int x = 0; x < w; ++x) raw += std::string{char(rgb >> 16), char(rgb >> 8), char(rgb)};
    }
    std::string packed(compressBound(uLong(raw.size())), '\0');
    uLongf size = uLongf(packed.size());
    compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
             uLong(raw.size()));
    packed.resize(size);
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) +
                            PngChunk("IHDR", Be32(uint32_t(w)) + Be32(uint32_t(h)) + std::string("\x08\x02\0\0\0", 5)) +
                            PngChunk("IDAT", packed) + PngChunk("IEND", "");
    const std::string path = dir.file(name);
    tavrel_test::WriteFile(path, png);
    return path;
}

std::string WriteWave(const tavrel_test::TempDir& dir, int rate)
{
    std::string data;
    for (int i = 0; i < rate; ++i) data += Le16(uint16_t((i % 50) < 25 ? 8000 : -8000));
    const std::string wave = "RIFF" + Le32(uint32_t(36 + data.size())) + "WAVEfmt " + Le32(16) + Le16(1) + Le16(1) +
                             Le32(uint32_t(rate)) + Le32(uint32_t(rate * 2)) + Le16(2) + Le16(16) + "data" +
                             Le32(uint32_t(data.size())) + data;
    const std::string path = dir.file("tone.wav");
    tavrel_test::WriteFile(path, wave);
    return path;
}

int CountTemporaries(const std::string& root)
{
    int n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        if (e.path().filename().string().rfind("_r00p_wtvr", 0) == 0) ++n;
    return n;
}

}  // namespace show_test
