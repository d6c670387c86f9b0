#pragma once
// Shapes: lists of shape records (style changes, straight and curved edges,
// end) with the bit counts of their style indices, the styled shape of the
// DefineShape tags, and the tags themselves. Coordinates are twips; move-to
// points are absolute from the shape origin, edges relative to the pen.
#include <cstdint>
#include <memory>
#include <vector>

#include "swf/object.h"
#include "swf/records.h"
#include "swf/styles.h"

namespace swf_shape {
enum : uint8_t { kRecordBase = 0, kStyleChange = 1, kStraightEdge = 2, kCurvedEdge = 3, kEnd = 4 };
enum : uint8_t { kGeneral = 0, kHorizontal = 1, kVertical = 2 };
enum : uint32_t { kNewStyles = 16, kLineStyle = 8, kFillStyle1 = 4, kFillStyle0 = 2, kMoveTo = 1 };
// The largest edge delta a SWF edge can hold (17 signed bits, kept symmetric).
constexpr int32_t kMaxEdgeDelta = 65535;
}  // namespace swf_shape

class CShape;

class CShapeRecord : public CSwfObject {
public:
    virtual uint8_t GetType() const { return swf_shape::kRecordBase; }
    virtual void Reset() {}
    virtual void CopyBase(const CShapeRecord&) {}
};

class CShapeRecordStyleChange : public CShapeRecord {
public:
    explicit CShapeRecordStyleChange(uint32_t flags = 0, CShape* owner = nullptr);

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    uint8_t GetType() const override { return swf_shape::kStyleChange; }

    // Move-to point, owner and bit counts as the constructor sets them; clears
    // the indices and new styles, keeps the flags.
    void CreateMoveTo(int32_t x, int32_t y, CShape* owner);
    // which nonzero: fill style 1, else fill style 0.
    void SetFillStyle(uint16_t index, int which);
    void SetLineStyle(uint16_t index) { lineStyle = index; }
    void SetFlags(uint32_t value) { flags = value; }
    void SetHasFillStyle0(bool on) { SetFlag(swf_shape::kFillStyle0, on); }
    void SetHasFillStyle1(bool on) { SetFlag(swf_shape::kFillStyle1, on); }
    void SetHasMoveTo(bool on) { SetFlag(swf_shape::kMoveTo, on); }
    // Flags from what the record holds.
    void ComputeFlags();
    void FreeStyles();
    void CopyFrom(const CShapeRecordStyleChange& other, CShape* newOwner);

    int32_t moveX = 0, moveY = 0;
    uint16_t fillStyle0 = 0, fillStyle1 = 0, lineStyle = 0;
    uint16_t fillBits = 0, lineBits = 0;
    CShape* owner = nullptr;
    std::unique_ptr<CFillStyleArray> newFillStyles;
    std::unique_ptr<CLineStyleArray> newLineStyles;
    uint32_t flags = 0;

private:
    void SetFlag(uint32_t flag, bool on) { flags = on ? (flags | flag) : (flags & ~flag); }
    void TakeOwnerBits();
};

class CShapeRecordStraightEdge : public CShapeRecord {
public:
    CShapeRecordStraightEdge() = default;
    CShapeRecordStraightEdge(int32_t dx, int32_t dy, uint8_t kind) : kind(kind), dx(dx), dy(dy) {}

    int Parse(CSwfReader& reader) override;
    // An edge longer than a SWF edge can hold is written as several edges.
    int Write(CSwfStream& stream) override;
    uint8_t GetType() const override { return swf_shape::kStraightEdge; }
    void CopyFrom(const CShapeRecordStraightEdge& other);

    uint8_t kind = swf_shape::kGeneral;
    int32_t dx = 0, dy = 0;
    uint8_t numBits = 0;
};

class CShapeRecordCurvedEdge : public CShapeRecord {
public:
    CShapeRecordCurvedEdge() = default;
    CShapeRecordCurvedEdge(int32_t cdx, int32_t cdy, int32_t adx, int32_t ady) { Set(cdx, cdy, adx, ady); }

    int Parse(CSwfReader& reader) override;
    // A curve longer than a SWF edge can hold is split into halves.
    int Write(CSwfStream& stream) override;
    uint8_t GetType() const override { return swf_shape::kCurvedEdge; }
    void Set(int32_t cdx, int32_t cdy, int32_t adx, int32_t ady);
    void CopyFrom(const CShapeRecordCurvedEdge& other);

    int32_t controlDx = 0, controlDy = 0, anchorDx = 0, anchorDy = 0;
    uint8_t numBits = 0;
};

class CShapeRecordEnd : public CShapeRecord {
public:
    int Parse(CSwfReader&) override { return 0; }
    int Write(CSwfStream& stream) override;
    uint8_t GetType() const override { return swf_shape::kEnd; }
};

class CShape : public CSwfObject {
public:
    CShape() = default;
    CShape(const CShape&) = delete;
    CShape& operator=(const CShape&) = delete;

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    virtual void SetBits(uint8_t fillBits, uint8_t lineBits);
    virtual void ClearRecords() { records.clear(); }
    virtual void CopyFrom(const CShape& other);
    void SetFillBits(uint8_t n) { numFillBits = currentFillBits = n; }
    void SetLineBits(uint8_t n) { numLineBits = currentLineBits = n; }

    // The shape owns the record; returns it for further setting.
    template <class Record>
    Record* AddRecord(std::unique_ptr<Record> record)
    {
        Record* raw = record.get();
        records.push_back(std::move(record));
        return raw;
    }
    CShapeRecordStyleChange* AddMoveTo(int32_t x, int32_t y);
    void AddHorizontalLine(int32_t dx);
    void AddVerticalLine(int32_t dy);
    void AddLine(int32_t dx, int32_t dy);
    void AddCurve(int32_t controlDx, int32_t controlDy, int32_t anchorDx, int32_t anchorDy);
    void AddEnd();

    // Gives the flag to the new styles of every style change.
    virtual void SetAlpha(uint8_t flag);
    // Renumbers bitmap fills in the new styles of every style change.
    void OffsetBitmapIds(int idDelta);

    std::vector<std::unique_ptr<CShapeRecord>> records;
    uint8_t numFillBits = 0, numLineBits = 0;
    uint8_t currentFillBits = 0, currentLineBits = 0;
    uint8_t alpha = 0;
};

class CShapeWithStyle : public CShape {
public:
    CShapeWithStyle() = default;
    // Deep copy: both style arrays, then the records.
    CShapeWithStyle(const CShapeWithStyle& other);

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    // Deletes the records and both style arrays.
    void Clear();
    void SetAlpha(uint8_t flag) override;

    std::unique_ptr<CFillStyleArray> fillStyles;
    std::unique_ptr<CLineStyleArray> lineStyles;
};

class CTagDefineShape : public CSwfDefineTag {
public:
    CTagDefineShape() = default;
    CTagDefineShape(const CTagDefineShape&) = delete;
    CTagDefineShape& operator=(const CTagDefineShape&) = delete;

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    int GetTagCode() const override { return swf_tag::kDefineShape; }
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    virtual void Clear();
    virtual void CopyFrom(const CTagDefineShape& other);

    // A rectangle at (x, y) of width × height twips, filled and outlined by
    // the given styles (either may be null); the tag takes both.
    void BuildRect(int32_t x, int32_t y, int32_t width, int32_t height, std::unique_ptr<CFillStyle> fillStyle,
                   std::unique_ptr<CLineStyle> lineStyle);

    std::unique_ptr<CShapeWithStyle> shape;
    std::unique_ptr<CSwfRect> bounds;
};

class CTagDefineShape2 : public CTagDefineShape {
public:
    int GetTagCode() const override { return swf_tag::kDefineShape2; }
};

class CTagDefineShape3 : public CTagDefineShape2 {
public:
    int GetTagCode() const override { return swf_tag::kDefineShape3; }
};
