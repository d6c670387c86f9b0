#include <gtest/gtest.h>

#include "swf/bitmaps.h"
#include "tag_vectors.h"

namespace {

const Bytes kJpeg = {0xFF, 0xD8, 0xFF, 0xD9};

template <class Tag>
bool SameJpeg(const Tag& a, const Tag& b)
{
    return a.characterId == b.characterId && a.data == b.data;
}

bool SameJpeg3(const CTagDefineBitsJPEG3& a, const CTagDefineBitsJPEG3& b)
{
    return SameJpeg(a, b) && a.alphaData == b.alphaData && a.alphaDataOffset == b.alphaDataOffset;
}

template <class Tag>
bool SameLossless(const Tag& a, const Tag& b)
{
    return a.characterId == b.characterId && a.format == b.format && a.width == b.width && a.height == b.height &&
           a.colorTableSize == b.colorTableSize && a.data == b.data;
}

TEST(SwfBitmapTags, JpegVectors)
{
    CTagDefineBits bits;
    bits.SetData(1, Filled(60));
    ExpectTagBothWays<CTagDefineBits>(bits, Cat({{0xBE, 0x01, 0x01, 0x00}, Filled(60)}), SameJpeg<CTagDefineBits>,
                                      "DefineBits 62-byte body, short header");
    bits.SetData(1, Filled(100));
    ExpectTagBothWays<CTagDefineBits>(bits, Cat({{0xBF, 0x01, 102, 0, 0, 0, 0x01, 0x00}, Filled(100)}),
                                      SameJpeg<CTagDefineBits>, "DefineBits 102-byte body, long header");

    CTagJPEGTables tables;
    tables.data = kJpeg;
    ExpectTagBothWays<CTagJPEGTables>(tables, Cat({{0x04, 0x02}, kJpeg}),
                                      [](const CTagJPEGTables& a, const CTagJPEGTables& b) { return a.data == b.data; },
                                      "JPEGTables");

    const Bytes twoStreams = Cat({kJpeg, kJpeg});
    CTagDefineBitsJPEG2 jpeg2(3, twoStreams.data(), twoStreams.size());
    ExpectTagBothWays<CTagDefineBitsJPEG2>(jpeg2, Cat({{0x4A, 0x05, 0x03, 0x00}, twoStreams}),
                                           SameJpeg<CTagDefineBitsJPEG2>, "DefineBitsJPEG2");

    const Bytes alpha = {0x78, 0x9C, 0x63, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01};
    CTagDefineBitsJPEG3 jpeg3(4, kJpeg.data(), kJpeg.size(), alpha.data(), alpha.size());
    ExpectTagBothWays<CTagDefineBitsJPEG3>(
        jpeg3, Cat({{0xD3, 0x08, 0x04, 0x00, 0x04, 0x00, 0x00, 0x00}, kJpeg, alpha}), SameJpeg3, "JPEG3 with alpha");

    CTagDefineBitsJPEG3 noAlpha(4, kJpeg.data(), kJpeg.size(), nullptr, 0);
    ExpectTagBothWays<CTagDefineBitsJPEG3>(noAlpha, Cat({{0xCA, 0x08, 0x04, 0x00, 0x04, 0x00, 0x00, 0x00}, kJpeg}),
                                           SameJpeg3, "JPEG3 with empty alpha");
}

TEST(SwfBitmapTags, LosslessVectorsAlwaysTakeTheLongHeader)
{
    CTagDefineBitsLossless rgb(CTagDefineBitsLossless::kRgb32);
    rgb.SetCharacterId(5);
    rgb.SetWidth(2);
    rgb.SetHeight(1);
    const Bytes pixels = {1, 2, 3};
    rgb.SetData(pixels.data(), pixels.size());
    ExpectTagBothWays<CTagDefineBitsLossless>(
        rgb, Cat({{0x3F, 0x05, 10, 0, 0, 0, 0x05, 0x00, 0x05, 0x02, 0x00, 0x01, 0x00}, pixels}),
        SameLossless<CTagDefineBitsLossless>, "format 5");

    CTagDefineBitsLossless rgb15(CTagDefineBitsLossless::kRgb15);
    rgb15.SetCharacterId(6);
    rgb15.SetWidth(300);
    rgb15.SetHeight(2);
    ExpectTagBothWays<CTagDefineBitsLossless>(rgb15, {0x3F, 0x05, 7, 0, 0, 0, 0x06, 0x00, 0x04, 0x2C, 0x01, 0x02, 0x00},
                                              SameLossless<CTagDefineBitsLossless>, "format 4, no table byte");

    CTagDefineBitsLossless2 mapped(CTagDefineBitsLossless::kColorMapped8);
    mapped.SetCharacterId(7);
    mapped.SetWidth(4);
    mapped.SetHeight(4);
    mapped.SetColorTableSize(1);
    mapped.SetData(pixels.data(), pixels.size());
    ExpectTagBothWays<CTagDefineBitsLossless2>(
        mapped, Cat({{0x3F, 0x09, 11, 0, 0, 0, 0x07, 0x00, 0x03, 0x04, 0x00, 0x04, 0x00, 0x01}, pixels}),
        SameLossless<CTagDefineBitsLossless2>, "lossless2 format 3 with table size");

    mapped.ClearData();
    EXPECT_TRUE(mapped.data.empty());
    EXPECT_EQ(mapped.colorTableSize, 0);
}

// Parses a body with no known length: the tag reads up to its end-of-image markers.
template <class Tag>
int ParseUnknownLength(Tag& tag, const Bytes& body)
{
    CSwfReader r;
    r.LoadBytes(body, 4);
    r.SetTagLength(0);
    return tag.Parse(r);
}

TEST(SwfBitmapTags, UnknownLengthStopsAtEndOfImageMarkers)
{
    // FF FF is one pair, so the D9 after it is not an end marker.
    const Bytes image = {0xFF, 0xD8, 0xFF, 0xFF, 0xD9, 0x00, 0xFF, 0xD9};
    CTagDefineBits bits;
    EXPECT_EQ(ParseUnknownLength(bits, Cat({{0x09, 0x00}, image, {0xAA, 0xBB}})), 10);
    EXPECT_EQ(bits.characterId, 9);
    EXPECT_EQ(bits.data, image);

    CTagDefineBitsJPEG2 jpeg2;
    jpeg2.SetLength(0);
    EXPECT_EQ(ParseUnknownLength(jpeg2, Cat({{0x02, 0x00}, kJpeg, image, {0xAA}})), 14);
    EXPECT_EQ(jpeg2.data, Cat({kJpeg, image}));

    // Without a marker the scan ends with the data.
    CTagDefineBits endless;
    EXPECT_EQ(ParseUnknownLength(endless, {0x01, 0x00, 0xFF}), 3);
    EXPECT_EQ(endless.data, Bytes{0xFF});
}

TEST(SwfBitmapTags, DamagedLengthsStayInsideTheBody)
{
    // Alpha offset pointing past the body: JPEG data is cut at the body end.
    CTagDefineBitsJPEG3 jpeg3;
    const Bytes lying = {0xC8, 0x08, 0x04, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x01, 0x02, 0x05, 0x06};
    EXPECT_EQ(ParseTag(jpeg3, lying), 8);
    EXPECT_EQ(jpeg3.data, (Bytes{0x01, 0x02}));
    EXPECT_TRUE(jpeg3.alphaData.empty());
    // Written again, the offset matches the data it points past.
    EXPECT_EQ(Written(jpeg3), (Bytes{0xC8, 0x08, 0x04, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x02}));

    // Replacing the JPEG data of a JPEG3 moves its alpha offset along.
    jpeg3.SetData(4, kJpeg);
    EXPECT_EQ(jpeg3.alphaDataOffset, 4u);

    // A lossless body shorter than its header fields.
    CTagDefineBitsLossless lossless;
    EXPECT_EQ(ParseTag(lossless, {0x3F, 0x05, 3, 0, 0, 0, 0x01, 0x00, 0x05}), 3);
    EXPECT_TRUE(lossless.data.empty());
}

TEST(SwfBitmapTags, CopyAndOffsetIds)
{
    CTagDefineBits source;
    source.SetData(3, kJpeg);
    CTagDefineBits copy;
    copy.CopyFrom(source);
    EXPECT_TRUE(SameJpeg(copy, source));
    copy.CopyFrom(copy);
    EXPECT_EQ(copy.data, kJpeg);

    CTagDefineBitsLossless2 lossless;
    lossless.SetCharacterId(65534);
    lossless.OffsetIds(2, 9, 9);
    EXPECT_EQ(lossless.GetCharacterId(), 65535);
    copy.OffsetIds(10, 0, 0);
    EXPECT_EQ(copy.GetCharacterId(), 13);
}

}  // namespace
