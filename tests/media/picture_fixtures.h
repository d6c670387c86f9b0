#pragma once
// Writers of small picture files for the movie tests, straight through the
// format libraries, so that the readers are checked against files they did
// not write.
#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <cstring>
#include <string>
#include <vector>

#include "media/jpeg_image.h"
#include "picture_bytes.h"

namespace picture_test {

struct Rgba {
    uint8_t r, g, b, a;
};

// A picture of four flat quarters: red, green / blue, white; alpha as given
// per quarter.
inline std::vector<Rgba> Quarters(int width, int height, const uint8_t alpha[4])
{
    static const Rgba kColours[4] = {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}};
    std::vector<Rgba> pixels(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int q = (y >= height / 2) * 2 + (x >= width / 2);
            pixels[size_t(y) * width + x] = kColours[q];
            pixels[size_t(y) * width + x].a = alpha[q];
        }
    return pixels;
}

// RGB or RGBA; with background set, a bKGD chunk of that grey level, as
// some painting programs write by default.
inline bool WritePng(const std::string& path, int width, int height, const std::vector<Rgba>& pixels, bool alpha,
                     int background = -1)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const int channels = alpha ? 4 : 3;
    std::vector<uint8_t> rows(size_t(width) * height * channels);
    for (size_t i = 0; i < pixels.size(); ++i) std::memcpy(&rows[i * channels], &pixels[i], channels);
    bool ok = info && !setjmp(png_jmpbuf(png));
    if (ok) {
        png_init_io(png, file);
        png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                     alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_color_16 colour{};
        colour.red = colour.green = colour.blue = png_uint_16(background);
        if (background >= 0) png_set_bKGD(png, info, &colour);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y) png_write_row(png, &rows[size_t(y) * width * channels]);
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return std::fclose(file) == 0 && ok;
}

inline bool WriteJpeg(const std::string& path, int width, int height, const std::vector<Rgba>& pixels, int quality)
{
    std::vector<uint8_t> rgb;
    for (const Rgba& p : pixels) rgb.insert(rgb.end(), {p.r, p.g, p.b});
    CJpegImage jpeg;
    jpeg.SetQuality(quality);
    if (!jpeg.Compress(uint32_t(width), uint32_t(height), 24, rgb.data())) return false;
    return WriteBytes(path, Bytes(jpeg.pixels, jpeg.pixels + jpeg.compressedSize));
}

// A flat grey of the given level as a four-component JPEG: CMYK, or YCCK
// (libjpeg converts), under an Adobe segment and so stored inverted, as
// Adobe's programs and ImageMagick write it.
inline bool WriteInkJpeg(const std::string& path, int width, int height, uint8_t grey, bool ycck)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, ycck ? JCS_YCCK : JCS_CMYK);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    // No ink in the colours, all of it in black: inverted, 255 and the grey.
    std::vector<JSAMPLE> row;
    for (int x = 0; x < width; ++x) row.insert(row.end(), {255, 255, 255, grey});
    for (int y = 0; y < height; ++y) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

// Bottom-up, rows padded to four bytes. 24 bits plain; 4 bits with a
// palette of the quarters' colours (red, green, blue, white); 16 bits as
// 5-6-5 bit fields; 32 bits with an alpha mask in a 56-byte header.
inline bool WriteBmp(const std::string& path, int width, int height, const std::vector<Rgba>& pixels, int depth = 24)
{
    const uint32_t rowBytes = (uint32_t(width) * depth + 31) / 32 * 4;
    const uint32_t header = depth == 32 ? 56 : 40;
    const uint32_t extra = depth == 4 ? 64 : depth == 16 ? 12 : 0;
    const uint32_t offset = 14 + header + extra, dataSize = rowBytes * height;
    Bytes b;
    auto le = [&b](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
    };
    b.push_back('B'), b.push_back('M');
    le(offset + dataSize, 4), le(0, 4), le(offset, 4);
    le(header, 4), le(uint32_t(width), 4), le(uint32_t(height), 4), le(1, 2), le(uint32_t(depth), 2);
    le(depth == 16 || depth == 32 ? 3 : 0, 4), le(dataSize, 4), le(2835, 4), le(2835, 4), le(0, 4), le(0, 4);
    if (depth == 32) le(0xFF0000, 4), le(0xFF00, 4), le(0xFF, 4), le(0xFF000000u, 4);
    if (depth == 16) le(0xF800, 4), le(0x07E0, 4), le(0x001F, 4);
    static const Rgba kPalette[4] = {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}};
    if (depth == 4)
        for (int i = 0; i < 16; ++i) le(i < 4 ? uint32_t(kPalette[i].b | kPalette[i].g << 8 | kPalette[i].r << 16) : 0, 4);
    for (int y = height - 1; y >= 0; --y) {
        const size_t start = b.size();
        for (int x = 0; x < width; ++x) {
            const Rgba& p = pixels[size_t(y) * width + x];
            if (depth == 24) b.insert(b.end(), {p.b, p.g, p.r});
            if (depth == 32) b.insert(b.end(), {p.b, p.g, p.r, p.a});
            if (depth == 16) le(uint32_t((p.r >> 3) << 11 | (p.g >> 2) << 5 | p.b >> 3), 2);
            if (depth == 4) {
                int index = 0;
                while (index < 3 && (kPalette[index].r != p.r || kPalette[index].g != p.g || kPalette[index].b != p.b)) ++index;
                if (x % 2 == 0)
                    b.push_back(uint8_t(index << 4));
                else
                    b.back() |= uint8_t(index);
            }
        }
        b.resize(start + rowBytes);
    }
    return WriteBytes(path, b);
}

// A frame of indices into a palette on a logical screen, with an optional
// transparent index; interlaced frames are written in pass order.
struct GifSpec {
    int screenWidth, screenHeight, left, top, width, height;
    std::vector<GifColorType> palette;  // a power of two entries
    std::vector<uint8_t> indices;
    int transparent = -1;
    bool interlace = false;
};

inline bool WriteGif(const std::string& path, const GifSpec& s)
{
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (!gif) return false;
    EGifSetGifVersion(gif, true);
    ColorMapObject* map = GifMakeMapObject(int(s.palette.size()), s.palette.data());
    bool ok = map && EGifPutScreenDesc(gif, s.screenWidth, s.screenHeight, 8, 0, map) == GIF_OK;
    if (ok && s.transparent >= 0) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, s.transparent};
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_OK;
    }
    ok = ok && EGifPutImageDesc(gif, s.left, s.top, s.width, s.height, s.interlace, nullptr) == GIF_OK;
    static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int p = 0; ok && p < (s.interlace ? 4 : 1); ++p)
        for (int y = s.interlace ? kStart[p] : 0; ok && y < s.height; y += s.interlace ? kStep[p] : 1) {
            std::vector<GifPixelType> row(s.indices.begin() + size_t(y) * s.width,
                                          s.indices.begin() + size_t(y + 1) * s.width);
            ok = EGifPutLine(gif, row.data(), s.width) == GIF_OK;
        }
    GifFreeMapObject(map);
    return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

// RGB, or RGBA with unassociated alpha; or CMYK of 16 bits a sample, as
// print work writes it (alpha ignored).
inline bool WriteTiff(const std::string& path, int width, int height, const std::vector<Rgba>& pixels, bool alpha,
                      bool cmyk16 = false)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff) return false;
    if (cmyk16) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(4));
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(16));
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_SEPARATED));
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_ADOBE_DEFLATE));
        std::vector<uint16_t> row(size_t(width) * 4);
        bool ok = true;
        for (int y = 0; ok && y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const Rgba& p = pixels[size_t(y) * width + x];
                const uint8_t k = 255 - std::max({p.r, p.g, p.b});
                const uint8_t c[4] = {uint8_t(255 - p.r - k), uint8_t(255 - p.g - k), uint8_t(255 - p.b - k), k};
                for (int i = 0; i < 4; ++i) row[size_t(x) * 4 + i] = uint16_t(c[i] * 257);
            }
            ok = TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) == 1;
        }
        TIFFClose(tiff);
        return ok;
    }
    const int channels = alpha ? 4 : 3;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(channels));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(4));
    if (alpha) {
        uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
    }
    bool ok = true;
    std::vector<uint8_t> row(size_t(width) * channels);
    for (int y = 0; ok && y < height; ++y) {
        for (int x = 0; x < width; ++x) std::memcpy(&row[size_t(x) * channels], &pixels[size_t(y) * width + x], channels);
        ok = TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) == 1;
    }
    TIFFClose(tiff);
    return ok;
}

}  // namespace picture_test
