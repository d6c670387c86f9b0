#pragma once
// Display-list tags: PlaceObject, PlaceObject2 with clip actions,
// RemoveObject, RemoveObject2, FreeCharacter and ShowFrame.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swf/actions.h"
#include "swf/control_tags.h"
#include "swf/object.h"
#include "swf/records.h"

class CTagPlaceObject : public CSwfTag {
public:
    CTagPlaceObject() = default;
    CTagPlaceObject(const CTagPlaceObject&) = delete;
    CTagPlaceObject& operator=(const CTagPlaceObject&) = delete;

    int GetTagCode() const override { return swf_tag::kPlaceObject; }
    int Parse(CSwfReader& reader) override;
    // The matrix is written only when present: callers always give one.
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    virtual void SetCharacterId(uint16_t id) { characterId = id; }
    virtual void ClearTransforms();
    // Takes the matrix (or none), deleting the present one.
    void SetMatrix(CSwfMatrix* m) { matrix.reset(m); }

    uint16_t characterId = 0;
    uint16_t depth = 0;
    std::unique_ptr<CSwfMatrix> matrix;
    std::unique_ptr<CSwfCxform> cxform;
};

struct CSwfClipAction {
    static constexpr uint32_t kKeyPress = 0x20000;

    explicit CSwfClipAction(uint32_t eventFlags = 0)
        : eventFlags(eventFlags), actions(std::make_unique<CTagDoAction>())
    {
    }
    // Takes the list, deleting the present one.
    void SetActions(CTagDoAction* list) { actions.reset(list); }

    uint32_t eventFlags;
    uint32_t recordSize = 0;
    uint8_t keyCode = 0;
    std::unique_ptr<CTagDoAction> actions;
};

class CTagPlaceObject2 : public CTagPlaceObject {
public:
    CTagPlaceObject2() { CTagPlaceObject2::Reset(); }

    int GetTagCode() const override { return swf_tag::kPlaceObject2; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    // Name and clip actions are kept; their flags go off.
    void Reset() override;
    void SetCharacterId(uint16_t id) override;
    void ClearTransforms() override;

    void SetCxform(CSwfCxformWithAlpha* transform) { cxform.reset(transform); }
    void AddClipAction(CSwfClipAction* record);
    // Placement, transforms and flags of the other tag; not its clip actions.
    CTagPlaceObject2& CopyFrom(const CTagPlaceObject2& other);
    // Offset of the clipDepth field in the tag as written into a stream of
    // that version, header included; 0 without one.
    int GetClipDepthOffset(uint8_t streamVersion = 4);

    uint16_t ratio = 0;
    std::string name;
    uint16_t clipDepth = 0;
    // PlaceObject2 carries a colour transform with alpha; the base's is unused.
    std::unique_ptr<CSwfCxformWithAlpha> cxform;
    bool hasClipActions = false, hasClipDepth = false, hasName = false, hasRatio = false;
    bool hasCharacter = false, move = false;
    uint32_t allEventFlags = 0;
    std::vector<std::unique_ptr<CSwfClipAction>> clipActions;
    uint8_t version = 4;

private:
    // Builds the body; clipDepthAt receives the offset of the clip depth in it.
    void WriteBody(CSwfStream& body, uint8_t v, uint32_t* clipDepthAt);
};

class CTagRemoveObject : public CSwfTag {
public:
    CTagRemoveObject(uint16_t characterId = 0, uint16_t depth = 0) : characterId(characterId), depth(depth) {}
    int GetTagCode() const override { return swf_tag::kRemoveObject; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    uint16_t characterId, depth;
};

class CTagRemoveObject2 : public CSwfTag {
public:
    explicit CTagRemoveObject2(uint16_t depth = 0) : depth(depth) {}
    int GetTagCode() const override { return swf_tag::kRemoveObject2; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    uint16_t depth;
};

class CTagFreeCharacter : public CSwfTag {
public:
    explicit CTagFreeCharacter(uint16_t characterId = 0) : characterId(characterId) {}
    int GetTagCode() const override { return swf_tag::kFreeCharacter; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    uint16_t characterId;
};

using CTagShowFrame = CTagEmpty<swf_tag::kShowFrame>;

// A new placement of the character at the depth, at (x, y) twips with scale
// 1.0 written out and no turn.
CTagPlaceObject2* NewPlacement(uint16_t characterId, uint16_t depth, int32_t x = 0, int32_t y = 0);
