#include "ui/compress_buffer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <random>
#include <vector>

namespace {

std::vector<unsigned char> Noise(size_t n)
{
    std::mt19937 rng(7);
    std::vector<unsigned char> v(n);
    for (auto& b : v) b = static_cast<unsigned char>(rng());
    return v;
}

// (name, input): each must survive a round trip; solid data inflates far
// beyond 64 times its compressed size.
TEST(CompressBuffer, RoundTrips)
{
    struct Case {
        const char* name;
        std::vector<unsigned char> data;
        std::vector<unsigned long> attempts;  // output sizes tried; empty: not checked
    };
    const Case cases[] = {
        {"one byte", {42}, {12}},
        {"incompressible 100", Noise(100), {62, 124}},
        {"incompressible 64K", Noise(65536), {32780, 65560, 131120}},
        {"solid 4 MB bitmap", std::vector<unsigned char>(4 << 20, 0xFF), {}},
        {"solid 100 bytes", std::vector<unsigned char>(100, 0), {62}},
        {"inflates over 100 times", std::vector<unsigned char>(100 * 100, 7), {5012}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned long packedLength = 0;
        std::unique_ptr<unsigned char[]> packed(CompressBuffer(c.data.data(), c.data.size(), &packedLength));
        ASSERT_TRUE(packed);
        EXPECT_EQ(GetLastCompressError(), Z_OK);
        if (!c.attempts.empty()) {
            EXPECT_EQ(GetLastCompressAttempts(), c.attempts);
        }
        unsigned long length = 0;
        std::unique_ptr<unsigned char[]> back(UncompressBuffer(packed.get(), packedLength, &length));
        ASSERT_TRUE(back);
        ASSERT_EQ(length, c.data.size());
        EXPECT_TRUE(std::equal(c.data.begin(), c.data.end(), back.get()));
    }
}

TEST(CompressBuffer, RefusesDamagedOrOversizedData)
{
    const unsigned char garbage[] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned long length = 77;
    EXPECT_EQ(UncompressBuffer(garbage, sizeof garbage, &length), nullptr);
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(UncompressBuffer(nullptr, 0, &length), nullptr);

    // Past the cap the data is refused rather than allocated; at it, kept.
    const std::vector<unsigned char> solid(1 << 20, 0);
    unsigned long packedLength = 0;
    std::unique_ptr<unsigned char[]> packed(CompressBuffer(solid.data(), solid.size(), &packedLength));
    ASSERT_TRUE(packed);
    EXPECT_EQ(UncompressBuffer(packed.get(), packedLength, &length, solid.size() - 1), nullptr);
    EXPECT_EQ(GetLastCompressError(), Z_BUF_ERROR);
    std::unique_ptr<unsigned char[]> back(UncompressBuffer(packed.get(), packedLength, &length, solid.size()));
    EXPECT_TRUE(back);
    EXPECT_EQ(length, solid.size());
}

}  // namespace
