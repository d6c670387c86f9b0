#pragma once
// Tags that carry no drawing: End, SetBackgroundColor, FrameLabel, Protect,
// ExportAssets, ImportAssets and the debugger tags.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "swf/object.h"
#include "swf/records.h"
#include "swf/stream.h"

// A tag with an empty body (End, Protect, ShowFrame).
template <int Code>
class CTagEmpty : public CSwfTag {
public:
    int GetTagCode() const override { return Code; }
    int Write(CSwfStream& stream) override
    {
        CSwfStream body(4);
        return WriteWithBody(stream, body);
    }
};

using CTagEnd = CTagEmpty<swf_tag::kEnd>;
// A password body read from a file is not kept.
using CTagProtect = CTagEmpty<swf_tag::kProtect>;

class CTagSetBackgroundColor : public CSwfTag {
public:
    CTagSetBackgroundColor(uint8_t r = 0, uint8_t g = 0, uint8_t b = 0) : color(r, g, b) {}
    int GetTagCode() const override { return swf_tag::kSetBackgroundColor; }
    int Parse(CSwfReader& reader) override { return color.Parse(reader); }
    int Write(CSwfStream& stream) override;
    // 0x00BBGGRR
    uint32_t GetColor() const { return color.GetPacked(); }

    CSwfRGB color;
};

class CTagFrameLabel : public CSwfTag {
public:
    explicit CTagFrameLabel(const char* label = nullptr) : label(label ? label : "") {}
    int GetTagCode() const override { return swf_tag::kFrameLabel; }
    int Parse(CSwfReader& reader) override;
    // A named anchor (version 6 on) adds its flag byte after the label.
    int Write(CSwfStream& stream) override;

    std::string label;
    uint8_t namedAnchor = 0;
};

struct CSwfAssetEntry {
    CSwfAssetEntry(uint16_t id = 0, const char* name = nullptr) : id(id), name(name ? name : "") {}
    int Write(CSwfStream& stream) const;
    int Parse(CSwfReader& reader);
    void OffsetIds(int idDelta);

    uint16_t id;
    std::string name;
};

// ExportAssets and ImportAssets share the entry list.
class CSwfAssetListTag : public CSwfTag {
public:
    // Takes the entry; inserted before index when it is below the count, else appended.
    void Add(CSwfAssetEntry* entry, unsigned index = ~0u);
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    std::vector<std::unique_ptr<CSwfAssetEntry>> assets;

protected:
    void WriteEntries(CSwfStream& body) const;
    void ParseEntries(CSwfReader& reader);
};

class CTagExportAssets : public CSwfAssetListTag {
public:
    int GetTagCode() const override { return swf_tag::kExportAssets; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
};

class CTagImportAssets : public CSwfAssetListTag {
public:
    int GetTagCode() const override { return swf_tag::kImportAssets; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;

    std::string url;
};

class CTagEnableDebugger : public CSwfTag {
public:
    int GetTagCode() const override { return swf_tag::kEnableDebugger; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;

    std::string password;
};

class CTagEnableDebugger2 : public CTagEnableDebugger {
public:
    int GetTagCode() const override { return swf_tag::kEnableDebugger2; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;

    uint16_t reserved = 0;
};
