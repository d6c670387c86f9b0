#pragma once
// Pictures the movie fuzz targets start from that the ffmpeg program does
// not write, made here: run-length BMPs of 8 and 4 bits using every escape
// (runs, odd and even literals, ends of rows, a move, the end of the
// picture, rows padded as ImageMagick encodes them), and progressive and
// arithmetic-coded JPEGs.
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

// 32 × 24 of colour ramps through libjpeg.
inline std::string CodedJpeg(bool progressive, bool arithmetic)
{
    jpeg_compress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = 32, info.image_height = 24, info.input_components = 3, info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 75, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    info.arith_code = arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    unsigned char row[32 * 3];
    while (info.next_scanline < info.image_height) {
        for (unsigned x = 0; x < 32; ++x)
            row[x * 3] = uint8_t(x * 8), row[x * 3 + 1] = uint8_t(info.next_scanline * 10), row[x * 3 + 2] = 128;
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    std::free(out);
    return bytes;
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
};
inline constexpr size_t kPictureSourceCount = sizeof kPictureSources / sizeof kPictureSources[0];

}  // namespace fuzz_files
