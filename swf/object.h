#pragma once
// Bases of every serialisable SWF object, and the raw tag that keeps any tag
// the system has no class for.
#include <cstdint>
#include <initializer_list>
#include <vector>

class CSwfReader;
class CSwfStream;

// SWF tag codes used across the subsystem.
// Twips per pixel: the unit of every coordinate in a movie.
inline constexpr int kTwips = 20;

namespace swf_tag {
enum : int {
    kEnd = 0,
    kShowFrame = 1,
    kDefineShape = 2,
    kFreeCharacter = 3,
    kPlaceObject = 4,
    kRemoveObject = 5,
    kDefineBits = 6,
    kDefineButton = 7,
    kJPEGTables = 8,
    kSetBackgroundColor = 9,
    kDefineFont = 10,
    kDefineText = 11,
    kDoAction = 12,
    kDefineFontInfo = 13,
    kDefineSound = 14,
    kStartSound = 15,
    kDefineButtonSound = 17,
    kSoundStreamHead = 18,
    kSoundStreamBlock = 19,
    kDefineBitsLossless = 20,
    kDefineBitsJPEG2 = 21,
    kDefineShape2 = 22,
    kDefineButtonCxform = 23,
    kProtect = 24,
    kPlaceObject2 = 26,
    kRemoveObject2 = 28,
    kDefineShape3 = 32,
    kDefineText2 = 33,
    kDefineButton2 = 34,
    kDefineBitsJPEG3 = 35,
    kDefineBitsLossless2 = 36,
    kDefineEditText = 37,
    kDefineSprite = 39,
    kFrameLabel = 43,
    kSoundStreamHead2 = 45,
    kDefineMorphShape = 46,
    kDefineFont2 = 48,
    kExportAssets = 56,
    kImportAssets = 57,
    kEnableDebugger = 58,
    kDoInitAction = 59,
    kDefineVideoStream = 60,
    kVideoFrame = 61,
    kDefineFontInfo2 = 62,
    kEnableDebugger2 = 64,
};
}  // namespace swf_tag

class CSwfObject {
public:
    virtual ~CSwfObject() = default;
    // Reads the object's body; returns the bytes consumed.
    virtual int Parse(CSwfReader& reader);
    // Appends the object; returns the bytes appended.
    virtual int Write(CSwfStream& stream);

protected:
    CSwfObject() = default;
    CSwfObject(const CSwfObject&) = default;
    CSwfObject& operator=(const CSwfObject&) = default;
};

class CSwfTag : public CSwfObject {
public:
    virtual void Reset() {}
    virtual int GetTagCode() const = 0;
    // Renumbers ids, depths and frames when template tags join another movie.
    virtual void OffsetIds(int idDelta, int depthDelta, int frameDelta);

    // Highest character id placed by the PlaceObject tags parsed since the last reset.
    static void ResetParsedIdRange();
    static uint16_t GetMaxParsedId();
    static void NoteParsedId(uint16_t id);

protected:
    // The common write: header for the body's length, then the body; returns
    // header plus body bytes.
    int WriteWithBody(CSwfStream& out, CSwfStream& body, bool forceLong = false) const;
    // A body of 16-bit fields only.
    int WriteU16Fields(CSwfStream& out, std::initializer_list<uint16_t> fields) const;
};

class CSwfDefineTag : public CSwfTag {
public:
    virtual uint16_t GetCharacterId() const { return characterId; }
    virtual void SetCharacterId(uint16_t id) { characterId = id; }

    uint16_t characterId = 0;
};

class CTagRaw : public CSwfTag {
public:
    CTagRaw(uint16_t code, uint32_t length) : code(code), length(length) {}
    int GetTagCode() const override { return code; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    // Tags kept raw whose body begins with a character id (DefineShape4,
    // DefineFont3, …) move that id with the rest of the movie.
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    // Whether a tag of this code defines a character and begins its body with
    // its id, and whether the id it begins with refers to one (a font's name
    // or alignment zones, a scaling grid).
    static bool DefinesLeadingId(int code);
    static bool RefersByLeadingId(int code);

    uint16_t code;
    uint32_t length;
    std::vector<uint8_t> data;
};
