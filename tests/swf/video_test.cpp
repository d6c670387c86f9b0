#include <gtest/gtest.h>

#include "swf/video.h"
#include "tag_vectors.h"

namespace {

TEST(SwfVideoTags, StreamAndFrameVectors)
{
    CTagDefineVideoStream stream;
    stream.SetCharacterId(5);
    stream.numFrames = 10;
    stream.width = 160;
    stream.height = 120;
    stream.codecId = 2;
    ExpectTagBothWays<CTagDefineVideoStream>(
        stream, {0x0A, 0x0F, 0x05, 0x00, 0x0A, 0x00, 0xA0, 0x00, 0x78, 0x00, 0x00, 0x02},
        [](const CTagDefineVideoStream& a, const CTagDefineVideoStream& b) {
            return a.characterId == b.characterId && a.numFrames == b.numFrames && a.width == b.width &&
                   a.height == b.height && a.videoFlags == b.videoFlags && a.codecId == b.codecId;
        },
        "DefineVideoStream");

    auto sameFrame = [](const CTagVideoFrame& a, const CTagVideoFrame& b) {
        return a.streamId == b.streamId && a.frameNum == b.frameNum && a.data == b.data;
    };
    CTagVideoFrame frame;
    frame.streamId = 5;
    frame.frameNum = 3;
    frame.data = Filled(70);
    ExpectTagBothWays<CTagVideoFrame>(frame, Cat({{0x7F, 0x0F, 74, 0, 0, 0, 0x05, 0x00, 0x03, 0x00}, Filled(70)}),
                                      sameFrame, "74-byte frame, long header");

    // A body of 4 bytes is a frame without data.
    CTagVideoFrame empty(4);
    EXPECT_EQ(ParseTag(empty, {0x44, 0x0F, 0x05, 0x00, 0x01, 0x00, 0xEE}), 4);
    EXPECT_TRUE(empty.data.empty());
    EXPECT_EQ(Written(empty), (Bytes{0x44, 0x0F, 0x05, 0x00, 0x01, 0x00}));
}

TEST(SwfVideoTags, RenumberingMovesStreamAndFrames)
{
    CTagDefineVideoStream stream;
    stream.SetCharacterId(5);
    CTagVideoFrame frame;
    frame.streamId = 5;
    frame.frameNum = 2;
    stream.OffsetIds(100, 1, 1);
    frame.OffsetIds(100, 1, 1);
    EXPECT_EQ(stream.GetCharacterId(), 105);
    EXPECT_EQ(frame.streamId, 105);
    EXPECT_EQ(frame.frameNum, 2);
}

}  // namespace
