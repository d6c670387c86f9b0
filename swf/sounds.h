#pragma once
// Sound tags: event sounds (DefineSound, StartSound), stream sounds (the two
// stream heads and the per-frame blocks) and the SOUNDINFO record that
// StartSound and the button sounds share. The tags only carry encoded data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "swf/object.h"

// Compression formats of the sound format byte (bits 7 to 4).
namespace swf_sound {
enum : uint8_t {
    kUncompressed = 0,
    kAdpcm = 1,
    kMp3 = 2,
    kUncompressedLittleEndian = 3,
    kNellymoser = 6,
};
}  // namespace swf_sound

// Replaces one field of a sound format byte: format (4 bits at 4), rate (2 at
// 2), size (1 at 1) or channel type (1 at 0). Values wider than their field are
// cut to it instead of spilling into the neighbouring field.
void SwfSetSoundFormat(uint8_t& formatByte, int format);
void SwfSetSoundRate(uint8_t& formatByte, int rate);
void SwfSetSoundSize(uint8_t& formatByte, int size);
void SwfSetSoundType(uint8_t& formatByte, int type);

class CSwfSoundInfo {
public:
    enum : uint8_t {
        kSyncStop = 0x20,
        kSyncNoMultiple = 0x10,
        kHasEnvelope = 0x08,
        kHasLoops = 0x04,
        kHasOutPoint = 0x02,
        kHasInPoint = 0x01,
    };
    struct EnvelopePoint {
        uint32_t position = 0;  // samples at 44 kHz
        uint16_t leftLevel = 0;
        uint16_t rightLevel = 0;
        bool operator==(const EnvelopePoint&) const = default;
    };
    // The SOUNDINFO count byte caps an envelope at this many points.
    static constexpr size_t kMaxEnvelopePoints = 255;

    void Clear();
    void SetSyncNoMultiple(bool on);
    void SetHasLoops(bool on);
    bool HasInPoint() const { return flags & kHasInPoint; }
    bool HasOutPoint() const { return flags & kHasOutPoint; }
    bool HasLoops() const { return flags & kHasLoops; }
    bool HasEnvelope() const { return flags & kHasEnvelope; }
    void FreeEnvelope() { envelope.clear(); }

    // Returns the bytes written. An envelope longer than 255 points writes its
    // first 255 and marks the stream failed, rather than a count that lies.
    int Write(CSwfStream& stream) const;
    // Returns the bytes consumed.
    int Parse(CSwfReader& reader);
    bool operator==(const CSwfSoundInfo&) const = default;

    uint8_t flags = 0;
    uint32_t inPoint = 0;
    uint32_t outPoint = 0;
    uint16_t loopCount = 0;
    std::vector<EnvelopePoint> envelope;
};

class CTagDefineSound : public CSwfDefineTag {
public:
    int GetTagCode() const override { return swf_tag::kDefineSound; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    // All of the tag but its sound data, which follows it in the movie.
    bool WriteHead(CSwfStream& stream);
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    void SetFormat(int format) { SwfSetSoundFormat(formatByte, format); }
    void SetRate(int rate) { SwfSetSoundRate(formatByte, rate); }
    void SetSize(int size) { SwfSetSoundSize(formatByte, size); }
    void SetType(int type) { SwfSetSoundType(formatByte, type); }
    void SetSampleCount(uint32_t count) { sampleCount = count; }

    uint8_t formatByte = 0;
    uint32_t sampleCount = 0;
    std::vector<uint8_t> data;
};

class CTagStartSound : public CSwfTag {
public:
    int GetTagCode() const override { return swf_tag::kStartSound; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    void SetSoundId(uint16_t id) { soundId = id; }

    uint16_t soundId = 0;
    CSwfSoundInfo info;
};

// A stream head announces the format of the SoundStreamBlock tags that follow.
// MP3 heads carry the latency seek after the sample count (6 bytes); the
// other formats take 4 bytes.
class CTagSoundStreamHead : public CSwfDefineTag {
public:
    int GetTagCode() const override { return swf_tag::kSoundStreamHead; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    void SetFormat(int format) { SwfSetSoundFormat(streamByte, format); }
    void SetRate(int rate) { SwfSetSoundRate(streamByte, rate); }
    void SetSize(int size) { SwfSetSoundSize(streamByte, size); }
    void SetType(int type) { SwfSetSoundType(streamByte, type); }
    bool IsMp3() const { return (streamByte >> 4) == swf_sound::kMp3; }

    uint8_t playbackByte = 0;
    uint8_t streamByte = 0;
    uint16_t sampleCount = 0;
    int16_t latencySeek = 0;
};

class CTagSoundStreamHead2 : public CTagSoundStreamHead {
public:
    int GetTagCode() const override { return swf_tag::kSoundStreamHead2; }
};

class CTagSoundStreamBlock : public CSwfTag {
public:
    int GetTagCode() const override { return swf_tag::kSoundStreamBlock; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;

    // For MP3 streams the data begins with the block's sample count and seek.
    std::vector<uint8_t> data;
};
