#include "platform/cfstring.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "platform/bundle.h"

namespace {

struct Released {
    CFStringRef s;
    explicit Released(CFStringRef s) : s(s) {}
    ~Released() { CFRelease(s); }
};

TEST(CFString, MacRomanRoundTripsAll256Bytes)
{
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    Released s(CFStringCreateWithCString(all.c_str(), kCFStringEncodingMacRoman));
    ASSERT_NE(s.s, nullptr);
    ASSERT_EQ(CFStringGetLength(s.s), 255);
    // The whole table against the system's own conversion, which follows an
    // older Apple table in two places: 0xC6 and the Apple logo at 0xF0.
    iconv_t cd = iconv_open("UTF-16LE", "MACINTOSH");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::u16string expected(255, u'\0');
    char* in = all.data();
    size_t inLeft = all.size(), outLeft = expected.size() * 2;
    char* out = reinterpret_cast<char*>(expected.data());
    ASSERT_NE(iconv(cd, &in, &inLeft, &out, &outLeft), static_cast<size_t>(-1));
    iconv_close(cd);
    expected[0xC6 - 1] = 0x2206;
    expected[0xF0 - 1] = 0xF8FF;
    for (int b = 1; b < 256; ++b)
        EXPECT_EQ(CFStringGetCharacterAtIndex(s.s, b - 1), expected[b - 1]) << std::hex << b;
    std::vector<char> back(256);
    ASSERT_TRUE(CFStringGetCString(s.s, back.data(), 256, kCFStringEncodingMacRoman));
    EXPECT_EQ(std::string(back.data()), all);
    // Through UTF-8 and back as well.
    std::string utf8, roman;
    ASSERT_TRUE(platform::MacRomanToUtf8(all, utf8));
    ASSERT_TRUE(platform::Utf8ToMacRoman(utf8, roman));
    EXPECT_EQ(roman, all);
}

TEST(CFString, Utf8ValidationAndSurrogates)
{
    for (const char* bad : {"\xc3", "\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xff", "a\x80"}) {
        EXPECT_EQ(CFStringCreateWithCString(bad, kCFStringEncodingUTF8), nullptr) << bad;
    }
    const char* text = "A\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";  // A é € 😀
    Released s(CFStringCreateWithCString(text, kCFStringEncodingUTF8));
    ASSERT_NE(s.s, nullptr);
    EXPECT_EQ(CFStringGetLength(s.s), 5);  // the emoji is a surrogate pair
    EXPECT_EQ(CFStringGetCharacterAtIndex(s.s, 3), 0xD83D);
    EXPECT_EQ(platform::ToUtf8(s.s), text);
    // The buffer must hold text and terminator; Mac Roman has no emoji.
    char small[10];
    EXPECT_FALSE(CFStringGetCString(s.s, small, sizeof small, kCFStringEncodingUTF8));
    EXPECT_STREQ(small, "");
    char big[11];
    EXPECT_TRUE(CFStringGetCString(s.s, big, sizeof big, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(s.s, big, sizeof big, kCFStringEncodingMacRoman));
    EXPECT_LE(std::string(text).size(), static_cast<size_t>(CFStringGetMaximumSizeForEncoding(5, kCFStringEncodingUTF8)));
}

TEST(CFString, BytesPascalAndLatin1)
{
    Released s(CFStringCreateWithCString("ab\xe2\x82\xac", kCFStringEncodingUTF8));
    uint8_t buf[8] = {};
    CFIndex used = 0;
    // Latin-1 has no euro sign: conversion stops before it unless a loss byte is given.
    EXPECT_EQ(CFStringGetBytes(s.s, 0, 3, kCFStringEncodingISOLatin1, 0, false, buf, 8, &used), 2);
    EXPECT_EQ(used, 2);
    EXPECT_EQ(CFStringGetBytes(s.s, 0, 3, kCFStringEncodingISOLatin1, '?', false, buf, 8, &used), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "ab?");
    EXPECT_EQ(CFStringGetBytes(s.s, 0, 3, kCFStringEncodingWindowsLatin1, 0, false, buf, 8, &used), 3);
    EXPECT_EQ(buf[2], 0x80);
    EXPECT_EQ(CFStringGetBytes(s.s, 0, 3, kCFStringEncodingUTF8, 0, false, buf, 4, &used), 2);  // full

    unsigned char pascal[256];
    ASSERT_TRUE(CFStringGetPascalString(s.s, pascal, 256, kCFStringEncodingMacRoman));
    EXPECT_EQ(pascal[0], 3);
    EXPECT_EQ(pascal[3], 0xDB);
    Released longer(CFStringCreateWithCString(std::string(256, 'x').c_str(), kCFStringEncodingASCII));
    EXPECT_FALSE(CFStringGetPascalString(longer.s, pascal, 256, kCFStringEncodingMacRoman));
    Released fromPascal(CFStringCreateWithPascalString(reinterpret_cast<const unsigned char*>("\x02hi!"),
                                                       kCFStringEncodingMacRoman));
    EXPECT_EQ(platform::ToUtf8(fromPascal.s), "hi");
}

TEST(CFString, CompareNumericallyAndWithoutCase)
{
    Released a(CFStringCreateWithCString("file9", kCFStringEncodingASCII));
    Released b(CFStringCreateWithCString("file10", kCFStringEncodingASCII));
    Released c(CFStringCreateWithCString("FILE9", kCFStringEncodingASCII));
    EXPECT_EQ(CFStringCompare(a.s, b.s, 0), kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(a.s, b.s, kCFCompareNumerically), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(a.s, c.s, 0), kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(a.s, c.s, kCFCompareCaseInsensitive), kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(a.s, a.s, kCFCompareNumerically), kCFCompareEqualTo);
}

TEST(StringsTable, ParsesCommentsEscapesAndRejectsSyntaxErrors)
{
    std::map<std::string, std::string> t;
    ASSERT_TRUE(platform::ParseStringsTable(
        "// line\n/* block\n */ \"1\" = \"a\\nb\";\n\"2\"=\"tab\\there \\\"q\\\" \\\\\";", t));
    EXPECT_EQ(t.size(), 2u);
    EXPECT_EQ(t["1"], "a\nb");
    EXPECT_EQ(t["2"], "tab\there \"q\" \\");
    for (const char* bad : {"\"1\" = \"a\"", "\"1\" \"a\";", "\"1 = \"a\";", "1 = \"a\";"}) {
        std::map<std::string, std::string> u{{"kept", "x"}};
        EXPECT_FALSE(platform::ParseStringsTable(bad, u)) << bad;
        EXPECT_EQ(u.size(), 1u);
    }
}

}  // namespace
