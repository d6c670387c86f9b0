#pragma once
// DefineSprite: a movie clip, a character with a timeline of its own.
#include <cstdint>
#include <string>

#include "swf/object.h"
#include "swf/reader_primitives.h"

class CTagDefineSprite : public CSwfDefineTag {
public:
    CTagDefineSprite() = default;
    ~CTagDefineSprite() override;
    CTagDefineSprite(const CTagDefineSprite&) = delete;
    CTagDefineSprite& operator=(const CTagDefineSprite&) = delete;

    int GetTagCode() const override { return swf_tag::kDefineSprite; }
    // Takes the tag when a sprite may hold its code (a ShowFrame also counts
    // a frame); any other tag is refused and stays the caller's. A ShowFrame
    // past 65535 frames is refused too and fails the sprite: writing it then
    // fails the stream, as a movie of too many frames fails.
    bool AddTag(CSwfTag* tag);
    bool Failed() const { return !error.empty(); }
    const std::string& GetError() const { return error; }
    void Clear(bool deleteTags);
    int Write(CSwfStream& stream) override { return WriteBody(stream, true); }
    int WriteBody(CSwfStream& stream, bool withHeader);
    int Parse(CSwfReader& reader) override;
    // Character ids inside move with the sprite; depths are the sprite's own.
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    // The codes of the tags a sprite's timeline may hold.
    static bool IsNestedTagCode(int code);

    uint16_t frameCount = 0;
    // Owned, in timeline order.
    CSwfTagList tags;
    // Depth range of the placements of a parsed sprite; -1 when none.
    int32_t minDepth = -1, maxDepth = -1;

private:
    std::string error;
};
