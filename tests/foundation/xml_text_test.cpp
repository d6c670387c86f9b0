#include "foundation/xml_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/locale_fixture.h"

namespace {

// What every byte is written as: the markup characters and line breaks by
// name or number, bytes from 0x80 as "&#x" two lower-case digits ";",
// everything else (tab and other control bytes) unchanged.
std::string ExpectedEscape(int byte)
{
    switch (byte) {
    case '"': return "&quot;";
    case '\'': return "&apos;";
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case 0x0A: return "&#x0a;";
    case 0x0D: return "&#x0d;";
    }
    if (byte >= 0x80) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "&#x%02x;", byte);
        return buffer;
    }
    return std::string(1, static_cast<char>(byte));
}

TEST(XmlText, EveryByteEscapesAndUnescapesBack)
{
    for (int byte = 0; byte < 256; ++byte) {
        std::string one(1, static_cast<char>(byte));
        std::string escaped = xmltext::Escape(one);
        EXPECT_EQ(escaped, ExpectedEscape(byte)) << "byte " << byte;
        if (byte != 0) {
            EXPECT_EQ(xmltext::Unescape(escaped), one) << "byte " << byte;
        }
    }
    // A few rows spelled out, so the rule above cannot drift with the code.
    EXPECT_EQ(xmltext::Escape("\xC4\xE9\x80\xFF"), "&#xc4;&#xe9;&#x80;&#xff;");
    EXPECT_EQ(xmltext::Escape("a\tb\r\nc"), "a\tb&#x0d;&#x0a;c");
    EXPECT_EQ(xmltext::Escape("<a href=\"x\">'&'</a>"),
              "&lt;a href=&quot;x&quot;&gt;&apos;&amp;&apos;&lt;/a&gt;");
}

TEST(XmlText, UnescapeLeavesWhatIsNotAReference)
{
    struct Row {
        const char* in;
        std::string out;
    } rows[] = {
        {"&amp;lt;", "&lt;"},             // one pass only
        {"&AMP; &Lt;", "&AMP; &Lt;"},     // names are case-sensitive
        {"a & b", "a & b"},
        {"&#65;", "&#65;"},               // decimal references are not ours
        {"&#x41;&#X41;", "A&#X41;"},
        {"&#xC4;&#xc4;", "\xC4\xC4"},     // upper- and lower-case digits
        {"&#x;", "&#x;"},                 // no digits
        {"&#x0;&#x00;&#x100;", "&#x0;&#x00;&#x100;"},  // would be a zero byte
        {"&#x41", "&#x41"},               // no ";"
        {"&#x41 ;", "&#x41 ;"},
        {"&#xfffffffffffffffff41;", "A"}, // longer than a long: low 8 bits
        {"&", "&"},
        {"&&amp;", "&&"},
        {"&#x", "&#x"},
    };
    for (const Row& row : rows) EXPECT_EQ(xmltext::Unescape(row.in), row.out) << row.in;
}

TEST(XmlText, NumbersIgnoreTheProcessLocale)
{
    tavrel_test::ScopedCommaLocale comma;
    if (tavrel_test::ScopedCommaLocale::CLibraryUsesComma()) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%.1f", 0.5);
        EXPECT_STREQ(buffer, "0,5");  // the trap is set
    }
    struct Row {
        double value;
        const char* text;
        double readBack;
    } rows[] = {
        {12, "12", 12}, {0.5, "0.5", 0.5}, {0.1, "0.1", 0.1}, {1.5e6, "1.5e+06", 1.5e6},
        {1e8, "1e+08", 1e8}, {-2.25, "-2.25", -2.25}, {123456789, "1.23457e+08", 1.23457e8},
        {0.0001, "0.0001", 0.0001}, {1234567, "1.23457e+06", 1234570},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(xmltext::FormatDouble(row.value), row.text);
        EXPECT_DOUBLE_EQ(xmltext::ParseDouble(row.text), row.readBack);
    }
    EXPECT_DOUBLE_EQ(xmltext::ParseDouble("0.5"), 0.5);
    EXPECT_DOUBLE_EQ(xmltext::ParseDouble(" 2.75px"), 2.75);
    EXPECT_DOUBLE_EQ(xmltext::ParseDouble("0,5"), 0.0);
    EXPECT_DOUBLE_EQ(xmltext::ParseDouble("abc"), 0.0);
    EXPECT_EQ(xmltext::ParseLong("12abc"), 12);
    EXPECT_EQ(xmltext::ParseLong("4294967295"), 4294967295L);
    EXPECT_EQ(xmltext::ParseLong("-7"), -7);
    using xmltext::NumberFit;
    constexpr NumberFit kWhole = NumberFit::kWhole, kPartial = NumberFit::kPartial, kNone = NumberFit::kNone;
    struct Fit {
        const char* text;
        NumberFit integer, real;
    } const fits[] = {{" -7\t\r\n ", kWhole, kWhole}, {"1e3", kPartial, kWhole}, {"0,5", kPartial, kPartial},
                      {"5 5", kPartial, kPartial}, {"  ", kNone, kNone}, {"px12", kNone, kNone}};
    for (const Fit& f : fits) {
        EXPECT_EQ(xmltext::FitNumber(f.text, true), f.integer) << f.text;
        EXPECT_EQ(xmltext::FitNumber(f.text, false), f.real) << f.text;
    }
}

TEST(XmlText, RandomTextsRoundTripAndNeverGrowWhenUnescaped)
{
    const char* pieces[] = {"&", "#", "x", "X", ";", "0", "a", "f", "g", "amp", "lt", "quot", "\n", "\xC4", " "};
    unsigned seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (unsigned n = next() % 24; n > 0; --n) text += pieces[next() % std::size(pieces)];
        std::string plain = xmltext::Unescape(text);
        EXPECT_LE(plain.size(), text.size()) << text;
        EXPECT_EQ(plain.find('\0'), std::string::npos) << text;
        EXPECT_EQ(xmltext::Unescape(xmltext::Escape(text)), text) << text;
    }
}

}  // namespace
