// Triangle-filter resampling and octree quantisation, to the byte.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "media/image_scale.h"
#include "picture_bytes.h"

namespace {

using namespace picture_test;

Rect Size(int w, int h) { return Rect{0, 0, int16_t(h), int16_t(w)}; }

TEST(ScaleImagePixels, GoldenPixels)
{
    struct Case {
        const char* name;
        Bytes in;
        int sw, sh, dw, dh, bits;
        Bytes out;
    };
    const Case cases[] = {
        // Radius 2: weights 2/3, 1/3, 0 and 0, 1/4, 1/2, 1/4.
        {"4 to 2 grey row", {0, 0, 0, 100, 100, 100, 200, 200, 200, 250, 250, 250}, 4, 1, 2, 1, 24,
         {33, 33, 33, 188, 188, 188}},
        // Centres 0, 0.5, 1, 1.5; the last range clipped to the last pixel.
        {"2 to 4", {0, 0, 0, 255, 255, 255}, 2, 1, 4, 1, 24, {0, 0, 0, 128, 128, 128, 255, 255, 255, 255, 255, 255}},
        {"alpha filtered", {0, 0, 0, 0, 100, 100, 100, 100, 200, 200, 200, 200, 250, 250, 250, 250}, 4, 1, 2, 1, 32,
         {33, 33, 33, 33, 188, 188, 188, 188}},
        {"column 4 to 2", {0, 0, 0, 100, 100, 100, 200, 200, 200, 250, 250, 250}, 1, 4, 1, 2, 24,
         {33, 33, 33, 188, 188, 188}},
        // Rows 0, 255 give 85 and 255; the column gives 85 × 2/3 + 255 / 3.
        {"both passes", {0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255}, 2, 2, 1, 1, 24, {142, 142, 142}},
        // Refused: no output.
        {"same size", Bytes(12, 7), 2, 2, 2, 2, 24, {}},
        {"empty destination", Bytes(12, 7), 2, 2, 0, 3, 24, {}},
        {"empty source", Bytes(12, 7), 0, 2, 3, 3, 24, {}},
        {"16-bit", Bytes(12, 7), 2, 2, 3, 3, 16, {}},
        {"8-bit", Bytes(12, 7), 2, 2, 3, 3, 8, {}},
    };
    for (const Case& c : cases) {
        std::unique_ptr<uint8_t[]> out(ScaleImagePixels(c.in.data(), Size(c.sw, c.sh), Size(c.dw, c.dh), c.bits));
        EXPECT_EQ(out ? Bytes(out.get(), out.get() + c.out.size()) : Bytes{}, c.out) << c.name;
    }
}

// Digests of whole pictures pin every filter width to the byte: the
// export's 800 x 600 to 640 x 480, filters wider than four taps, enlarging,
// and one pass of each direction alone.
TEST(ScaleImagePixels, PictureDigests)
{
    struct Case {
        int sw, sh, dw, dh, bits;
        uint64_t digest;
    };
    const Case cases[] = {
        {800, 600, 640, 480, 24, 0xab6c639b6eb491a6ull}, {800, 600, 640, 480, 32, 0x5b27eba5cd3a5e70ull},
        {97, 61, 9, 7, 24, 0x7eacf810f0e599dfull},       {97, 61, 9, 7, 32, 0x227746864dca31ceull},
        {13, 9, 29, 20, 24, 0xe2518d83ff61bc7eull},      {13, 9, 29, 20, 32, 0xdf4ce6d4db6fab64ull},
        {31, 30, 30, 31, 24, 0x9d188a329346df0full},
    };
    // With AVX2 where the processor has it, and in plain code as elsewhere.
    for (bool wide : {true, false}) {
        AllowWideScaleSums(wide);
        for (const Case& c : cases) {
            Bytes in(size_t(c.sw) * c.sh * c.bits / 8);
            uint32_t x = 1;
            for (uint8_t& p : in) {
                x = x * 1664525u + 1013904223u;
                p = uint8_t(x >> 24);
            }
            std::unique_ptr<uint8_t[]> out(ScaleImagePixels(in.data(), Size(c.sw, c.sh), Size(c.dw, c.dh), c.bits));
            ASSERT_TRUE(out);
            uint64_t h = 14695981039346656037ull;
            for (size_t i = 0; i < size_t(c.dw) * c.dh * c.bits / 8; ++i) h = (h ^ out[i]) * 1099511628211ull;
            EXPECT_EQ(h, c.digest) << c.sw << "x" << c.sh << " to " << c.dw << "x" << c.dh << " at " << c.bits
                                   << (wide ? " (AVX2 where there is)" : " (plain)");
        }
    }
    AllowWideScaleSums(true);
}

struct Quantized {
    Bytes indices;
    Bytes palette;
    int count = 0;
};

Quantized Quantize(const Bytes& pixels, int w, int h, int maxColors, int bits = 24)
{
    Quantized q;
    q.palette.assign(256 * 4, 0xEE);
    std::unique_ptr<uint8_t[]> out(QuantizeColors(pixels.data(), w, h, bits, maxColors, q.palette.data(), &q.count));
    if (out) q.indices.assign(out.get(), out.get() + size_t(w) * h);
    q.palette.resize(size_t(q.count) * 4);
    return q;
}

Bytes Repeat(const Bytes& pixel, size_t times)
{
    Bytes out;
    for (size_t i = 0; i < times; ++i) out.insert(out.end(), pixel.begin(), pixel.end());
    return out;
}

Bytes Greys(std::initializer_list<int> values)
{
    Bytes out;
    for (int v : values) out.insert(out.end(), 3, uint8_t(v));
    return out;
}

TEST(QuantizeColors, Palettes)
{
    struct Case {
        const char* name;
        Bytes pixels;
        int maxColors, bits;
        Bytes palette;
        Bytes indices;
    };
    const Case cases[] = {
        // Distinct in their top 7 bits: kept, in octree order.
        {"lossless", {250, 0, 0, 0, 0, 250, 0, 250, 0, 250, 0, 0}, 256, 24,
         {0, 0, 250, 0, 0, 250, 0, 0, 250, 0, 0, 0}, {2, 0, 1, 2}},
        // The lowest bit is not used: 10 and 11 share a leaf, averaged and rounded up.
        {"rounded average", {10, 10, 10, 11, 11, 11}, 256, 24, {11, 11, 11, 0}, {0, 0}},
        {"alpha skipped", {10, 20, 30, 99, 10, 20, 30, 1}, 256, 32, {10, 20, 30, 0}, {0, 0}},
        // Two colours into one entry: the leaves fold into their parent.
        {"reduced", {0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255}, 1, 24, {64, 64, 64, 0}, {0, 0, 0, 0}},
        // Greys 0 ×5, 2, 4 ×5 into two entries: the 2 folds into the 0 leaf
        // (entry 0 stays 0) and then lies as far from 0 as from 4.
        {"tie goes to the lower index", Greys({0, 0, 0, 0, 0, 2, 4, 4, 4, 4, 4}), 2, 24, {0, 0, 0, 0, 4, 4, 4, 0},
         {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1}},
        // 240 grey lies 675 from both entries (15² × 3 and 25² + 5² + 5²),
        // the nearer one in no component; it folds into the 255 leaf
        // without moving its mean.
        {"tie far from both", Cat({Greys({240}), Repeat({215, 235, 235}, 1000), Repeat({255, 255, 255}, 1000)}), 2,
         24, {215, 235, 235, 0, 255, 255, 255, 0}, Cat({Bytes(1001, 0), Bytes(1000, 1)})},
    };
    for (const Case& c : cases) {
        const int bpp = c.bits / 8;
        const Quantized q = Quantize(c.pixels, int(c.pixels.size()) / bpp, 1, c.maxColors, c.bits);
        EXPECT_EQ(q.palette, c.palette) << c.name;
        EXPECT_EQ(q.indices, c.indices) << c.name;
    }
    EXPECT_TRUE(Quantize({1, 2, 3}, 0, 1, 256).indices.empty());
    EXPECT_TRUE(Quantize({1, 2, 3}, 1, 1, 0).indices.empty());
}

// Colour and alpha together: what a picture's alpha says of each pixel
// survives the reduction.
TEST(QuantizeColors, WithAlpha)
{
    // A ramp of 64 alpha steps (4, 8, ..., 252) of one red, beside opaque
    // black and transparent black, reduced to 64 entries in all.
    Bytes ramp, rampAlpha;
    for (int i = 1; i < 64; ++i) ramp.insert(ramp.end(), {200, 0, 0}), rampAlpha.push_back(uint8_t(i * 4));
    struct Case {
        const char* name;
        Bytes pixels, alpha;  // no alpha: opaque
        int maxColors;
        Bytes palette;  // R, G, B, A
        Bytes indices;
    };
    const Case cases[] = {
        // As many editors store transparency: black with alpha 0 beside opaque black.
        {"opaque and transparent black", Greys({0, 0, 0, 0}), {255, 255, 0, 0}, 256, {0, 0, 0, 0, 0, 0, 0, 255},
         {1, 1, 0, 0}},
        {"no plane", Greys({9, 9}), {}, 256, {9, 9, 9, 255}, {0, 0}},
        // One entry for all transparent pixels whatever their colour.
        {"transparent colours", {10, 20, 30, 200, 0, 0}, {0, 0}, 256, {0, 0, 0, 0}, {0, 0}},
        // Opaque pixels never take a translucent entry, even the nearest:
        // the opaque 200 folds into the opaque entry with the two 0s.
        {"reduced apart", Greys({0, 0, 200, 200, 50}), {255, 255, 255, 128, 0}, 3,
         {0, 0, 0, 0, 67, 67, 67, 255, 200, 200, 200, 128}, {1, 1, 1, 2, 0}},
    };
    auto run = [](const Bytes& pixels, const Bytes& alpha, int maxColors, Quantized* q) {
        const int w = int(pixels.size() / 3);
        q->palette.assign(256 * 4, 0xEE);
        std::unique_ptr<uint8_t[]> out(QuantizeColorsWithAlpha(pixels.data(), alpha.empty() ? nullptr : alpha.data(),
                                                               w, 1, maxColors, q->palette.data(), &q->count));
        if (out) q->indices.assign(out.get(), out.get() + w);
        q->palette.resize(size_t(q->count) * 4);
    };
    for (const Case& c : cases) {
        Quantized q;
        run(c.pixels, c.alpha, c.maxColors, &q);
        EXPECT_EQ(q.palette, c.palette) << c.name;
        EXPECT_EQ(q.indices, c.indices) << c.name;
    }
    // The ramp keeps every one of its steps.
    Bytes pixels = Cat({ramp, Greys({0, 0})});
    Bytes alpha = Cat({rampAlpha, {255, 0}});
    Quantized q;
    run(pixels, alpha, 65, &q);
    ASSERT_EQ(q.count, 65);
    for (size_t i = 0; i < rampAlpha.size(); ++i)
        EXPECT_EQ(q.palette[q.indices[i] * 4 + 3], rampAlpha[i]) << "step " << i;
    EXPECT_EQ(q.palette[q.indices[63] * 4 + 3], 255);
    EXPECT_EQ(q.palette[q.indices[64] * 4 + 3], 0);
    EXPECT_EQ(QuantizeColorsWithAlpha(pixels.data(), nullptr, 1, 1, 2, q.palette.data(), &q.count), nullptr);
}

TEST(QuantizeColors, SumsHoldPast16MegaPixels)
{
    // 17 million white pixels: 32-bit sums would wrap and darken the entry.
    const int w = 4250, h = 4000;
    const Bytes pixels(size_t(w) * h * 3, 255);
    const Quantized q = Quantize(pixels, w, h, 256);
    EXPECT_EQ(q.palette, (Bytes{255, 255, 255, 0}));
}

}  // namespace
