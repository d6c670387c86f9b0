#include <gtest/gtest.h>

#include "swf/sounds.h"
#include "tag_vectors.h"

namespace {

bool SameDefineSound(const CTagDefineSound& a, const CTagDefineSound& b)
{
    return a.characterId == b.characterId && a.formatByte == b.formatByte && a.sampleCount == b.sampleCount &&
           a.data == b.data;
}

bool SameStartSound(const CTagStartSound& a, const CTagStartSound& b)
{
    return a.soundId == b.soundId && a.info == b.info;
}

template <class Head>
bool SameHead(const Head& a, const Head& b)
{
    return (a.playbackByte & 0x0F) == b.playbackByte && a.streamByte == b.streamByte &&
           a.sampleCount == b.sampleCount && a.latencySeek == b.latencySeek;
}

TEST(SwfSoundTags, FormatByteSettersReplaceOnlyTheirField)
{
    CTagDefineSound sound;
    sound.SetFormat(swf_sound::kMp3);
    sound.SetRate(3);
    sound.SetSize(1);
    sound.SetType(1);
    EXPECT_EQ(sound.formatByte, 0x2F);
    sound.SetRate(1);
    EXPECT_EQ(sound.formatByte, 0x27);
    // A value wider than its field is cut instead of corrupting the format.
    sound.SetRate(5);
    EXPECT_EQ(sound.formatByte, 0x27);
    sound.SetType(2);
    EXPECT_EQ(sound.formatByte, 0x26);

    CTagSoundStreamHead head;
    head.SetFormat(swf_sound::kUncompressedLittleEndian);
    head.SetRate(2);
    head.SetSize(1);
    EXPECT_EQ(head.streamByte, 0x3A);
}

TEST(SwfSoundTags, EventSoundVectors)
{
    CTagDefineSound small;
    small.characterId = 1;
    small.formatByte = 0x2F;
    small.sampleCount = 1152;
    small.data = {0xAA, 0xBB};
    ExpectTagBothWays<CTagDefineSound>(small, {0x89, 0x03, 0x01, 0x00, 0x2F, 0x80, 0x04, 0x00, 0x00, 0xAA, 0xBB},
                                       SameDefineSound, "short DefineSound");

    CTagDefineSound large;
    large.characterId = 2;
    large.formatByte = 0x3E;
    large.sampleCount = 50;
    large.data = Filled(100);
    ExpectTagBothWays<CTagDefineSound>(
        large, Cat({{0xBF, 0x03, 107, 0, 0, 0, 0x02, 0x00, 0x3E, 50, 0, 0, 0}, Filled(100)}), SameDefineSound,
        "100 data bytes take the long header");

    CTagStartSound plain;
    plain.SetSoundId(4);
    ExpectTagBothWays<CTagStartSound>(plain, {0xC3, 0x03, 0x04, 0x00, 0x00}, SameStartSound, "empty info");

    CTagStartSound looped;
    looped.SetSoundId(4);
    looped.info.SetHasLoops(true);
    looped.info.loopCount = 3;
    ExpectTagBothWays<CTagStartSound>(looped, {0xC5, 0x03, 0x04, 0x00, 0x04, 0x03, 0x00}, SameStartSound,
                                      "loop count 3");

    CTagStartSound full;
    full.SetSoundId(0x0102);
    full.info.flags = CSwfSoundInfo::kSyncStop | CSwfSoundInfo::kHasEnvelope | CSwfSoundInfo::kHasOutPoint |
                      CSwfSoundInfo::kHasInPoint;
    full.info.inPoint = 0x10;
    full.info.outPoint = 0x11223344;
    full.info.envelope = {{5, 0x8000, 0x0001}};
    ExpectTagBothWays<CTagStartSound>(full,
                                      {0xD4, 0x03, 0x02, 0x01, 0x2B, 0x10, 0x00, 0x00, 0x00, 0x44, 0x33, 0x22,
                                       0x11, 0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0x80, 0x01, 0x00},
                                      SameStartSound, "in, out and envelope");
}

TEST(SwfSoundTags, StreamVectors)
{
    // MP3 heads carry the latency seek; every other format keeps 4 bytes.
    CTagSoundStreamHead2 mp3;
    mp3.playbackByte = 0xFE;  // only the low nibble is written
    mp3.streamByte = 0x2E;
    mp3.sampleCount = 1152;
    ExpectTagBothWays<CTagSoundStreamHead2>(mp3, {0x46, 0x0B, 0x0E, 0x2E, 0x80, 0x04, 0x00, 0x00},
                                            SameHead<CTagSoundStreamHead2>, "MP3 head2");
    mp3.latencySeek = -2;
    ExpectTagBothWays<CTagSoundStreamHead2>(mp3, {0x46, 0x0B, 0x0E, 0x2E, 0x80, 0x04, 0xFE, 0xFF},
                                            SameHead<CTagSoundStreamHead2>, "MP3 head2 with latency");

    CTagSoundStreamHead pcm;
    pcm.playbackByte = 0x0A;
    pcm.streamByte = 0x3A;
    pcm.sampleCount = 1837;
    ExpectTagBothWays<CTagSoundStreamHead>(pcm, {0x84, 0x04, 0x0A, 0x3A, 0x2D, 0x07},
                                           SameHead<CTagSoundStreamHead>, "uncompressed head");

    CTagSoundStreamBlock empty;
    EXPECT_EQ(Written(empty), (Bytes{0xC0, 0x04}));
    CTagSoundStreamBlock block;
    block.data = {0x80, 0x04, 0x00, 0x00, 0xFF, 0xFB};
    EXPECT_EQ(Written(block), (Bytes{0xC6, 0x04, 0x80, 0x04, 0x00, 0x00, 0xFF, 0xFB}));
    CTagSoundStreamBlock back;
    EXPECT_EQ(ParseTag(back, Written(block)), 6);
    EXPECT_EQ(back.data, block.data);
}

TEST(SwfSoundTags, Mp3HeadWithoutLatencyReadsAndWritesTheFullForm)
{
    // A 4-byte MP3 head from an older writer reads with latency 0 and does
    // not swallow the next tag.
    const Bytes legacy = {0x44, 0x0B, 0x0E, 0x2E, 0x80, 0x04, 0x40, 0x00};
    CSwfReader r;
    r.LoadBytes(legacy, 6);
    int code = 0;
    uint32_t length = 0;
    ASSERT_TRUE(r.ReadTagHeader(code, length));
    CTagSoundStreamHead2 head;
    EXPECT_EQ(head.Parse(r), 4);
    EXPECT_EQ(head.sampleCount, 1152);
    EXPECT_EQ(head.latencySeek, 0);
    ASSERT_TRUE(r.ReadTagHeader(code, length));
    EXPECT_EQ(code, swf_tag::kShowFrame);
    EXPECT_EQ(Written(head), (Bytes{0x46, 0x0B, 0x0E, 0x2E, 0x80, 0x04, 0x00, 0x00}));
}

TEST(SwfSoundTags, EnvelopeOverflowFailsInsteadOfMiscounting)
{
    CSwfSoundInfo info;
    info.flags = CSwfSoundInfo::kHasEnvelope;
    info.envelope.resize(256);
    CSwfStream s;
    EXPECT_EQ(info.Write(s), 2 + 255 * 8);
    EXPECT_TRUE(s.Failed());
    EXPECT_EQ(s.GetBuffer()[1], 255);

    info.Clear();
    EXPECT_FALSE(info.HasEnvelope());
    EXPECT_TRUE(info.envelope.empty());
}

TEST(SwfSoundTags, TruncatedBodiesStayInsideTheData)
{
    // A DefineSound header announcing far more data than present.
    const Bytes cut = {0xBF, 0x03, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x2F, 0x00, 0x00, 0x00, 0x00, 0x11, 0x22};
    CTagDefineSound sound;
    EXPECT_EQ(ParseTag(sound, cut), 9);
    EXPECT_EQ(sound.data, (Bytes{0x11, 0x22}));

    // An envelope count larger than the points present.
    CSwfSoundInfo info;
    EXPECT_EQ(ParseBody(info, {0x08, 0xFF, 1, 0, 0, 0, 2, 0, 3, 0}), 10);
    ASSERT_EQ(info.envelope.size(), 1u);
    EXPECT_EQ(info.envelope[0].rightLevel, 3);
}

}  // namespace
