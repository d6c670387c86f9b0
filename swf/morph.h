#pragma once
// Morph shapes: a shape that morphs from a start form to an end form. Only
// template movies bring them; they are parsed, renumbered and written back.
// Every colour is RGBA.
#include <cstdint>
#include <memory>
#include <vector>

#include "swf/object.h"
#include "swf/records.h"
#include "swf/shapes.h"

class CMorphGradRecord : public CSwfObject {
public:
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;

    uint8_t startRatio = 0;
    std::unique_ptr<CSwfRGBA> startColor;
    uint8_t endRatio = 0;
    std::unique_ptr<CSwfRGBA> endColor;
};

class CMorphGradient : public CSwfObject {
public:
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;

    std::vector<std::unique_ptr<CMorphGradRecord>> records;
};

class CMorphFillStyle : public CSwfObject {
public:
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;

    uint8_t type = swf_fill::kSolid;
    std::unique_ptr<CSwfRGBA> startColor, endColor;
    std::unique_ptr<CMorphGradient> gradient;
    std::unique_ptr<CSwfMatrix> startMatrix, endMatrix;
    uint16_t bitmapId = 0;
};

class CMorphLineStyle : public CSwfObject {
public:
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;

    uint16_t startWidth = 0, endWidth = 0;
    std::unique_ptr<CSwfRGBA> startColor, endColor;
};

// Both morph style arrays; the count is the number of styles held.
template <class Style>
class CMorphStyleArray : public CSwfObject {
public:
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    uint16_t GetCount() const { return static_cast<uint16_t>(styles.size()); }

    std::vector<std::unique_ptr<Style>> styles;
};

using CMorphFillStyleArray = CMorphStyleArray<CMorphFillStyle>;
using CMorphLineStyleArray = CMorphStyleArray<CMorphLineStyle>;

class CTagDefineMorphShape : public CSwfDefineTag {
public:
    CTagDefineMorphShape() = default;
    ~CTagDefineMorphShape() override { Clear(); }
    CTagDefineMorphShape(const CTagDefineMorphShape&) = delete;
    CTagDefineMorphShape& operator=(const CTagDefineMorphShape&) = delete;

    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    int GetTagCode() const override { return swf_tag::kDefineMorphShape; }
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;
    void Clear();

    std::unique_ptr<CSwfRect> startBounds, endBounds;
    // Bytes from the end of the offset field to the end edges, as parsed.
    uint32_t offset = 0;
    std::unique_ptr<CMorphFillStyleArray> fillStyles;
    std::unique_ptr<CMorphLineStyleArray> lineStyles;
    std::unique_ptr<CShape> startEdges, endEdges;
};
