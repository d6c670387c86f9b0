#include <gtest/gtest.h>

#include "swf_bytes.h"

namespace {

struct FakeTag : CSwfTag {
    explicit FakeTag(int code) : code(code) {}
    int GetTagCode() const override { return code; }
    int code;
};

TEST(SwfStream, BitWriterPacksMostSignificantFirst)
{
    CSwfStream s;
    s.WriteBits(5, 3);
    s.FlushBits();
    EXPECT_EQ(s.GetBuffer(), (Bytes{0xA0}));

    // A full byte stays pending until the next write.
    CSwfStream full;
    for (int i = 0; i < 8; ++i) full.WriteBits(1, 1);
    EXPECT_EQ(full.GetPosition(), 0u);
    EXPECT_EQ(full.GetPendingCount(), 8);
    EXPECT_EQ(full.GetBitPosition(), 8u);
    full.WriteU8(0x12);
    EXPECT_EQ(full.GetBuffer(), (Bytes{0xFF, 0x12}));

    CSwfStream none;
    none.FlushBits();
    EXPECT_EQ(none.GetSize(), 0u);

    // Signed values are cut to their width in two's complement.
    CSwfStream neg;
    neg.WriteBits(-4, 4);
    neg.WriteBits(0, 0);
    neg.WriteBits(1, -3);
    EXPECT_EQ(neg.GetBuffer(), (Bytes{0xC0}));
}

TEST(SwfStream, IntegersAreLittleEndianAndPadBitFields)
{
    CSwfStream s;
    s.WriteU16(0x1234);
    s.WriteU32(0x01020304);
    s.WriteS16(-2);
    s.WriteBits(1, 1);
    s.WriteString("ab");
    s.AppendBytes(Bytes{9});
    EXPECT_EQ(s.GetBuffer(), (Bytes{0x34, 0x12, 0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0x80, 'a', 'b', 9}));
    s.Clear();
    EXPECT_EQ(s.GetSize(), 0u);
    EXPECT_EQ(s.GetBitPosition(), 0u);
}

TEST(SwfStream, AppendBitsContinuesWithoutPadding)
{
    CSwfStream other;
    other.WriteU8(0xAB);
    other.WriteBits(0b101, 3);
    CSwfStream s;
    s.AppendBits(other);
    EXPECT_EQ(s.GetPosition(), 1u);
    EXPECT_EQ(s.GetPendingCount(), 3);
    EXPECT_EQ(s.GetBuffer(), (Bytes{0xAB, 0xA0}));

    // At an odd bit position the bytes run on across byte boundaries.
    CSwfStream shifted;
    shifted.WriteBits(1, 1);
    CSwfStream one;
    one.WriteU8(0xFF);
    shifted.AppendBits(one);
    EXPECT_EQ(shifted.GetBuffer(), (Bytes{0xFF, 0x80}));

    CSwfStream appended;
    appended.WriteBits(1, 1);
    CSwfStream src;
    src.WriteBits(1, 1);
    appended.AppendStream(src);
    EXPECT_EQ(appended.GetBuffer(), (Bytes{0x80, 0x80}));
}

TEST(SwfStream, TagHeaderShortAndLongForms)
{
    FakeTag bg(9);
    struct Case {
        uint32_t length;
        bool forceLong;
        Bytes header;
    } cases[] = {
        {3, false, {0x43, 0x02}},
        {62, false, {0x7E, 0x02}},
        {63, false, {0x7F, 0x02, 0x3F, 0x00, 0x00, 0x00}},
        {3, true, {0x7F, 0x02, 0x03, 0x00, 0x00, 0x00}},
        {0x12345678, false, {0x7F, 0x02, 0x78, 0x56, 0x34, 0x12}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CSwfStream::MakeTagHeader(bg, c.length, c.forceLong), c.header) << c.length;
        CSwfStream s;
        s.WriteTagHeader(bg, c.length, c.forceLong);
        EXPECT_EQ(s.GetBuffer(), c.header);
        CSwfReader r;
        r.LoadBytes(c.header, 6);
        int code = 0;
        uint32_t length = 0;
        ASSERT_TRUE(r.ReadTagHeader(code, length));
        EXPECT_EQ(code, 9);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(r.GetTagLength(), c.length);
    }
    // The code keeps 10 bits.
    EXPECT_EQ(CSwfStream::MakeTagHeader(FakeTag(1024 + 1), 0, false), (Bytes{0x40, 0x00}));
}

TEST(SwfStream, BitsNeededAndClamps)
{
    EXPECT_EQ(SwfBitsNeeded(0, false), 0);
    EXPECT_EQ(SwfBitsNeeded(0, true), 1);
    EXPECT_EQ(SwfBitsNeeded(255, false), 8);
    EXPECT_EQ(SwfBitsNeeded(256, true), 10);
    EXPECT_EQ(SwfBitsNeeded(-1, false), 32);
    EXPECT_EQ(SwfClampSigned(40000, 15), 16383);
    EXPECT_EQ(SwfClampSigned(-40000, 15), -16384);
    EXPECT_EQ(SwfClampSigned(5, 15), 5);
    EXPECT_EQ(SwfClampU16(70000), 65535);
    EXPECT_EQ(SwfClampU16(-3), 0);
}

TEST(SwfStream, NullObjectAndFailureState)
{
    CSwfStream s;
    s.WriteObject(nullptr);
    EXPECT_EQ(s.GetSize(), 0u);
    EXPECT_FALSE(s.Failed());
    s.Fail("depth out of range");
    s.Fail("second");
    EXPECT_EQ(s.GetError(), "depth out of range");
    CSwfStream outer;
    outer.AppendStream(s);
    EXPECT_TRUE(outer.Failed());
}

TEST(SwfReaderPrimitives, ByteReadsStopAtTheEnd)
{
    CSwfReader r;
    r.LoadBytes({0x34, 0x12, 0x04, 0x03, 0x02, 0x01, 0x7F}, 4);
    EXPECT_EQ(r.ReadU16(), 0x1234);
    EXPECT_EQ(r.ReadU32(), 0x01020304u);
    EXPECT_EQ(r.ReadU16(), 0);  // one byte left
    EXPECT_EQ(r.GetPosition(), 6u);
    EXPECT_EQ(r.ReadU32(), 0u);
    EXPECT_EQ(r.ReadU8(), 0x7F);
    EXPECT_EQ(r.ReadU8(), 0);
    EXPECT_EQ(r.GetPosition(), 7u);
    EXPECT_EQ(r.ReadBits(5, false), 0u);
    EXPECT_EQ(r.PeekU8(), 0);
}

TEST(SwfReaderPrimitives, BitReadsAlignAndSignExtend)
{
    CSwfReader r;
    r.LoadBytes({0xA0, 0x42, 0xC0, 0x99}, 4);
    EXPECT_EQ(r.ReadBits(3, false), 5u);
    EXPECT_EQ(r.PeekU8(), 0x42);
    EXPECT_EQ(r.GetPosition(), 0u);
    EXPECT_EQ(r.ReadU8(), 0x42);
    EXPECT_EQ(static_cast<int32_t>(r.ReadBits(4, true)), -4);
    r.AlignToByte();  // Seek keeps the bit position
    r.Seek(2);
    EXPECT_EQ(r.ReadBits(4, false), 12u);
    EXPECT_EQ(r.ReadBits(0, true), 0u);
    r.AlignToByte();
    EXPECT_EQ(r.GetPosition(), 3u);
    r.AlignToByte();
    EXPECT_EQ(r.GetPosition(), 3u);
    r.Skip(-2);
    EXPECT_EQ(r.ReadU8(), 0x42);
    r.Skip(-100);
    EXPECT_EQ(r.GetPosition(), 0u);
    EXPECT_EQ(SwfCountBits16(0), 0);
    EXPECT_EQ(SwfCountBits16(1), 1);
    EXPECT_EQ(SwfCountBits16(255), 8);
    EXPECT_EQ(SwfCountBits16(0x8000), 16);
}

TEST(SwfReaderPrimitives, StringsAndAbsolutePathMarking)
{
    CSwfReader r;
    r.LoadBytes({'a', 'b', 0, 'c'}, 4);
    std::string s;
    r.ReadString(s, 0, false);
    EXPECT_EQ(s, "ab");
    EXPECT_EQ(r.PeekU8(), 'c');
    r.ReadString(s, 0, false);  // runs to the end without a terminator
    EXPECT_EQ(s, "c");

    r.LoadBytes({'x', 0, 'y', 0}, 4);
    r.ReadString(s, 3, false);  // fixed count keeps inner zeros, drops one trailing zero
    EXPECT_EQ(s, std::string("x\0y", 3));
    r.LoadBytes({'x', 'y', 0}, 4);
    r.ReadString(s, 3, false);
    EXPECT_EQ(s, "xy");

    struct Case {
        const char* text;
        bool marks;
    } cases[] = {{"/a", true}, {"_Root.x", true}, {"_ROOT", true}, {"_roo", false}, {"a/b", false}, {"", false}};
    for (const Case& c : cases) {
        Bytes b = Str(c.text);
        b.push_back(0);
        r.LoadBytes(b, 4);
        r.ReadString(s, 0, true);
        EXPECT_EQ(r.HasAbsolutePaths(), c.marks) << c.text;
        r.LoadBytes(b, 4);
        r.ReadString(s, 0, false);
        EXPECT_FALSE(r.HasAbsolutePaths());
    }
}

TEST(SwfTagRaw, RoundTripsAndShortensHeader)
{
    // Read with a long header and 3 body bytes, written back short.
    const Bytes longForm{0x7F, 0x0A, 0x03, 0x00, 0x00, 0x00, 1, 2, 3};
    CSwfReader r;
    r.LoadBytes(longForm, 6);
    int code = 0;
    uint32_t length = 0;
    ASSERT_TRUE(r.ReadTagHeader(code, length));
    CTagRaw raw(uint16_t(code), length);
    EXPECT_EQ(raw.Parse(r), 3);
    EXPECT_EQ(raw.GetTagCode(), 41);
    EXPECT_EQ(Written(raw), (Bytes{0x43, 0x0A, 1, 2, 3}));

    // A length that runs past the data stops at the end instead of inventing bytes.
    r.LoadBytes({0xFF, 0xFF, 0xFF, 0x7F, 5}, 6);
    CTagRaw huge(77, 0xFFFFFFF0u);
    r.Seek(4);
    EXPECT_EQ(huge.Parse(r), 1);
    EXPECT_EQ(huge.data, (Bytes{5}));
}

}  // namespace
