#include "foundation/base64.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

std::string Encoded(const std::string& bytes)
{
    CBase64 b;
    EXPECT_TRUE(b.Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    return std::string(reinterpret_cast<const char*>(b.GetData()), b.GetLength());
}

bool Decoded(const std::string& text, std::string* out)
{
    CBase64 b;
    bool ok = b.Decode(text.data(), text.size());
    out->assign(reinterpret_cast<const char*>(b.GetData()), b.GetLength());
    return ok;
}

TEST(Base64, KnownVectors)
{
    // RFC 4648 test vectors.
    using namespace std::string_literals;
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
        {"\xff\xfe\xfd", "//79"}, {"\x00\x10\x83"s, "ABCD"},
    };
    for (const auto& [bytes, text] : vectors) {
        EXPECT_EQ(Encoded(bytes), text) << text;
        std::string back;
        EXPECT_TRUE(Decoded(text, &back));
        EXPECT_EQ(back, bytes) << text;
    }
}

TEST(Base64, RoundTripsEveryLengthUpTo64)
{
    std::mt19937 rng(1);
    for (size_t n = 0; n <= 64; ++n) {
        std::string bytes(n, '\0');
        for (auto& c : bytes) c = static_cast<char>(rng());
        std::string text = Encoded(bytes);
        EXPECT_EQ(text.size(), (n + 2) / 3 * 4);
        EXPECT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                  std::string::npos);
        std::string back;
        EXPECT_TRUE(Decoded(text, &back));
        EXPECT_EQ(back, bytes) << n;
    }
}

TEST(Base64, PartialGroupsPaddingAndBadInput)
{
    std::string out;
    EXPECT_TRUE(Decoded("Zm9vYg", &out));  // no padding: the partial group decodes as far as it goes
    EXPECT_EQ(out, "foob");
    EXPECT_TRUE(Decoded("Zm9vY", &out));  // a lone final character holds no byte
    EXPECT_EQ(out, "foo");
    EXPECT_TRUE(Decoded("Zg==Zm9v", &out));  // padding ends the data
    EXPECT_EQ(out, "f");
    for (const char* bad : {"Zm 9v", "Zm9v\n", "Z===", "=AAA", "Zm9v\xc3\xa9"}) {
        EXPECT_FALSE(Decoded(bad, &out)) << bad;
        EXPECT_TRUE(out.empty());
    }
    CBase64 b;
    EXPECT_FALSE(b.Encode(nullptr, 0));
    EXPECT_FALSE(b.Decode(nullptr, 0));
}

TEST(Crc32, KnownValuesAndNulls)
{
    uint32_t crc = 1;
    EXPECT_TRUE(CalcCrc32("", &crc));
    EXPECT_EQ(crc, 0u);
    EXPECT_TRUE(CalcCrc32("abc", &crc));
    EXPECT_EQ(crc, 0x352441C2u);
    EXPECT_TRUE(CalcCrc32("123456789", &crc));
    EXPECT_EQ(crc, 0xCBF43926u);
    EXPECT_FALSE(CalcCrc32(nullptr, &crc));
    EXPECT_FALSE(CalcCrc32Buffer(nullptr, 3, &crc));
}

TEST(Crc32, AgreesWithZlibOnRandomBuffers)
{
    std::mt19937 rng(7);
    for (size_t n : {1u, 2u, 3u, 255u, 256u, 1000u, 65536u}) {
        std::string bytes(n, '\0');
        for (auto& c : bytes) c = static_cast<char>(rng());
        uint32_t ours = 0;
        ASSERT_TRUE(CalcCrc32Buffer(bytes.data(), n, &ours));
        uLong theirs = crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(n));
        EXPECT_EQ(ours, theirs) << n;
        bytes.back() = bytes.back() == 'x' ? 'y' : 'x';  // text form of the same bytes agrees too
        bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
        uint32_t a = 0, b = 0;
        CalcCrc32(bytes.c_str(), &a);
        CalcCrc32Buffer(bytes.data(), bytes.size(), &b);
        EXPECT_EQ(a, b);
    }
}

}  // namespace
