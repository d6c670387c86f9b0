#pragma once
// Pictures the movie fuzz targets start from that the ffmpeg program does
// not write, made here: run-length BMPs of 8 and 4 bits using every escape
// (runs, odd and even literals, ends of rows, a move, the end of the
// picture, rows padded as ImageMagick encodes them), progressive,
// arithmetic-coded and YCCK JPEGs, a CIELab TIFF, and TIFFs whose one tile
// claims millions of pixels past a small picture's edge.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace fuzz_files {

// 13 × 6 pixels, bottom-up.
inline std::string RunLengthBmp(int bits)
{
    const bool four = bits == 4;
    std::string data;
    auto run = [&](int count, int a, int b) {
        data += char(count);
        data += char(four ? a << 4 | b : a);
    };
    auto literal = [&](const std::vector<int>& indices) {
        data += '\0';
        data += char(indices.size());
        std::string bytes;
        for (size_t i = 0; i < indices.size(); ++i) {
            if (!four) bytes += char(indices[i]);
            else if (i % 2 == 0) bytes += char(indices[i] << 4);
            else bytes.back() = char(bytes.back() | indices[i]);
        }
        if (bytes.size() % 2) bytes += '\0';
        data += bytes;
    };
    auto escape = [&](int code) { data += '\0', data += char(code); };
    run(13, 1, 2), run(3, 0, 0), escape(0);                                       // padding pixels run
    literal({2, 3, 4, 5, 6}), run(8, 7, 8), escape(0);                            // odd literal, padded
    run(2, 9, 10), escape(2), data += '\4', data += '\1', run(9, 11, 12), escape(0);  // move 4 right, 1 up
    literal({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 0, 0, 0}), escape(0);      // literal into the padding
    run(6, 3, 14), escape(1);                                                      // end without the row's end
    const uint32_t entries = 1u << bits, offset = 14 + 40 + 4 * entries;
    std::string b = "BM";
    auto put = [&b](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b += char(v >> (8 * i));
    };
    put(offset + uint32_t(data.size()), 4), put(0, 4), put(offset, 4);
    put(40, 4), put(13, 4), put(6, 4), put(1, 2), put(uint32_t(bits), 2), put(four ? 2 : 1, 4);
    put(uint32_t(data.size()), 4), put(2835, 4), put(2835, 4), put(0, 4), put(0, 4);
    for (uint32_t i = 0; i < entries; ++i) put((i * 0x2F1D3B) & 0xFFFFFF, 4);
    return b + data;
}

// 32 × 24 of colour ramps through libjpeg; or, ycck, of mid-grey in inks,
// coded YCCK under an Adobe segment.
inline std::string CodedJpeg(bool progressive, bool arithmetic, bool ycck = false)
{
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    const int components = ycck ? 4 : 3;
    info.image_width = 32, info.image_height = 24, info.input_components = components;
    info.in_color_space = ycck ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    if (ycck) jpeg_set_colorspace(&info, JCS_YCCK);
    jpeg_set_quality(&info, 75, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    info.arith_code = arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    unsigned char row[32 * 4];
    while (info.next_scanline < info.image_height) {
        for (unsigned x = 0; x < 32; ++x) {
            unsigned char* p = row + x * components;
            if (ycck)
                p[0] = p[1] = p[2] = 255, p[3] = 128;  // inverted: no colour ink, half black
            else
                p[0] = uint8_t(x * 8), p[1] = uint8_t(info.next_scanline * 10), p[2] = 128;
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    std::free(out);
    return bytes;
}

// A little-endian TIFF of w × h pixels of three 8-bit samples in one
// uncompressed tile of tw × th, of which the file holds at most 16 × 16
// pixels' bytes however large the tile claims to be.
inline std::string OneTileTiff(uint32_t w, uint32_t h, uint16_t photometric, uint32_t tw, uint32_t th)
{
    const uint64_t claimed = uint64_t(tw) * th * 3;
    const std::string data(claimed < 16 * 16 * 3 ? claimed : 16 * 16 * 3, '\x50');
    std::string b = std::string("II*\0", 4);
    auto put = [&b](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b += char(v >> (8 * i));
    };
    const uint32_t bitsAt = 8, dataAt = 16, directoryAt = dataAt + uint32_t(data.size() + data.size() % 2);
    put(directoryAt, 4);
    put(8, 2), put(8, 2), put(8, 2), put(0, 2);  // the bits of each sample, padded
    b += data + std::string(data.size() % 2, '\0');
    struct Entry {
        uint16_t tag, type;
        uint32_t count, value;
    };
    const Entry entries[] = {{256, 4, 1, w},           {257, 4, 1, h},     {258, 3, 3, bitsAt},
                             {259, 3, 1, 1},           {262, 3, 1, photometric}, {277, 3, 1, 3},
                             {284, 3, 1, 1},           {322, 4, 1, tw},    {323, 4, 1, th},
                             {324, 4, 1, dataAt},      {325, 4, 1, uint32_t(data.size())}};
    put(sizeof entries / sizeof entries[0], 2);
    for (const Entry& e : entries) put(e.tag, 2), put(e.type, 2), put(e.count, 4), put(e.value, 4);
    put(0, 4);
    return b;
}

struct PictureSource {
    const char* name;
    std::string (*make)();
};

inline constexpr PictureSource kPictureSources[] = {
    {"rle8.bmp", [] { return RunLengthBmp(8); }},
    {"rle4.bmp", [] { return RunLengthBmp(4); }},
    {"progressive.jpg", [] { return CodedJpeg(true, false); }},
    {"arithmetic.jpg", [] { return CodedJpeg(false, true); }},
    {"arithmetic-progressive.jpg", [] { return CodedJpeg(true, true); }},
    {"ycck.jpg", [] { return CodedJpeg(false, false, true); }},
    {"lab.tif", [] { return OneTileTiff(9, 9, 8, 16, 16); }},
    {"long-tile.tif", [] { return OneTileTiff(21, 11, 2, 16, 50000000); }},
    {"wide-tile.tif", [] { return OneTileTiff(9, 9, 2, 187500000, 16); }},
};
inline constexpr size_t kPictureSourceCount = sizeof kPictureSources / sizeof kPictureSources[0];

}  // namespace fuzz_files
