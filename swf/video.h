#pragma once
// Video tags. The system never encodes video itself: these tags come from
// template movies, keep what they read, follow renumbering and are written
// back unchanged.
#include <cstdint>
#include <vector>

#include "swf/object.h"

class CTagDefineVideoStream : public CSwfDefineTag {
public:
    int GetTagCode() const override { return swf_tag::kDefineVideoStream; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    // Written as 16 bits.
    uint32_t numFrames = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    // Deblocking in bits 3 to 1, smoothing in bit 0.
    uint8_t videoFlags = 0;
    uint8_t codecId = 0;
};

class CTagVideoFrame : public CSwfTag {
public:
    // length: the tag's body length, as the reader's split gives it.
    explicit CTagVideoFrame(uint32_t length = 0) : length(length) {}

    int GetTagCode() const override { return swf_tag::kVideoFrame; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    void Clear() { data.clear(); }

    uint16_t streamId = 0;
    uint16_t frameNum = 0;
    uint32_t length;
    // The encoded frame.
    std::vector<uint8_t> data;
};
