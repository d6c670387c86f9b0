#include "foundation/cfstring.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/bundle_fixture.h"

namespace {

TEST(CCFString, NullHolderConvertsToEmptyResults)
{
    CCFString s;
    EXPECT_TRUE(s.IsNull());
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_EQ(s.ToStdString(), "");
    EXPECT_EQ(s.ToWideString(), L"");
    EXPECT_EQ(s.CopyUniChars(), nullptr);
    Str255 p;
    EXPECT_FALSE(s.GetStr255(p));
    HFSUniStr255 h;
    EXPECT_FALSE(s.GetHFSUniStr255(&h));
    EXPECT_FALSE(s.Reset(nullptr));
    CCFString fromNull(static_cast<const char*>(nullptr));
    EXPECT_TRUE(fromNull.IsNull());
}

TEST(CCFString, ConversionsKeepEveryCharacter)
{
    CCFString s("abc");
    std::unique_ptr<UniChar[]> units(s.CopyUniChars());
    ASSERT_NE(units, nullptr);
    EXPECT_EQ(units[0], u'a');
    EXPECT_EQ(units[2], u'c');
    EXPECT_EQ(units[3], 0);
    EXPECT_EQ(s.ToWideString(), L"abc");

    // Mac Roman in, UTF-8 out: multi-byte results never come back empty.
    CCFString roman("\xdb\xd2\xa5\xf0");  // euro, left quote, bullet, Apple logo
    EXPECT_EQ(roman.ToStdString(kCFStringEncodingUTF8), "\xe2\x82\xac\xe2\x80\x9c\xe2\x80\xa2\xef\xa3\xbf");
    EXPECT_EQ(roman.ToStdString(), "\xdb\xd2\xa5\xf0");
    CCFString emoji;
    emoji.Attach(CFStringCreateWithCString("\xf0\x9f\x98\x80\xf0\x9f\x98\x80", kCFStringEncodingUTF8));
    EXPECT_EQ(emoji.ToStdString(kCFStringEncodingUTF8), "\xf0\x9f\x98\x80\xf0\x9f\x98\x80");
    EXPECT_EQ(emoji.ToStdString(), "");  // no Mac Roman form

    char buf[4];
    EXPECT_TRUE(CCFString::GetCString(s, buf, 4));
    EXPECT_STREQ(buf, "abc");
    EXPECT_FALSE(CCFString::GetCString(s, buf, 3));
    Str255 p;
    ASSERT_TRUE(s.GetStr255(p));
    EXPECT_EQ(p[0], 3);
    EXPECT_EQ(p[1], 'a');
}

TEST(CCFString, HfsUniStr255KeepsAtMost255Units)
{
    CCFString longer(std::string(300, 'q').c_str());
    HFSUniStr255 h;
    ASSERT_TRUE(longer.GetHFSUniStr255(&h));
    EXPECT_EQ(h.length, 255);
    EXPECT_EQ(h.unicode[254], u'q');
    CCFString empty("");
    EXPECT_FALSE(empty.IsNull());
    EXPECT_FALSE(empty.GetHFSUniStr255(&h));
    EXPECT_EQ(h.length, 0);
}

TEST(CCFString, LocalizedLookup)
{
    tavrel_test::ScopedBundle bundle("\"7\" = \"seven\";\n\"8\" = \"\";\n\"9\" = \"9\";\n");
    CCFString s;
    EXPECT_TRUE(s.SetLocalized(7));
    EXPECT_EQ(s.ToStdString(), "seven");
    EXPECT_TRUE(s.SetLocalized(8));  // an empty entry is still an entry
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_FALSE(s.IsNull());
    EXPECT_FALSE(s.SetLocalized(5));  // no entry
    EXPECT_TRUE(s.IsNull());
    EXPECT_FALSE(s.SetLocalized(9));  // an entry equal to its key cannot be told from none
    CCFString byNumber(7);
    EXPECT_EQ(byNumber.ToStdString(), "seven");
}

TEST(AdjustColorBrightness, StepsAndClamps)
{
    struct Row {
        uint32_t in;
        int percent;
        uint32_t out;
    };
    const Row rows[] = {
        {0x00FF8000, 10, 0x00FF8C0C},  {0x00FF8000, 100, 0x00FFFF7F}, {0x00FF8000, -100, 0x00800100},
        {0x00102030, -1, 0x000E1E2E},  {0xFF000000, 0, 0x00000000},   {0x00000000, -50, 0x00000000},
        {0x00FFFFFF, 1, 0x00FFFFFF},
    };
    for (const Row& r : rows) {
        uint32_t c = r.in;
        AdjustColorBrightness(&c, r.percent);
        EXPECT_EQ(c, r.out) << std::hex << r.in << " " << std::dec << r.percent;
    }
    AdjustColorBrightness(nullptr, 10);  // ignored
}

}  // namespace
