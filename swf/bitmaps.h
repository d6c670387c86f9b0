#pragma once
// Bitmap tags. They are containers: the JPEG encoding, colour quantisation
// and zlib compression are done by the bitmap builders, which hand finished
// byte blocks to these tags.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "swf/object.h"

// JPEG data that uses the movie's shared JPEGTables.
class CTagDefineBits : public CSwfDefineTag {
public:
    // bodyLength: the length Parse uses; 0 reads up to the end-of-image marker.
    explicit CTagDefineBits(uint32_t bodyLength = 0) : bodyLength(bodyLength) {}

    int GetTagCode() const override { return swf_tag::kDefineBits; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    virtual void CopyFrom(const CTagDefineBits& other);
    virtual void SetData(uint16_t id, const std::vector<uint8_t>& bytes);
    virtual void ClearData() { data.clear(); }

    std::vector<uint8_t> data;
    uint32_t bodyLength;
};

class CTagJPEGTables : public CSwfTag {
public:
    explicit CTagJPEGTables(uint32_t bodyLength = 0) : bodyLength(bodyLength) {}

    int GetTagCode() const override { return swf_tag::kJPEGTables; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;

    std::vector<uint8_t> data;
    uint32_t bodyLength;
};

// A complete JPEG stream (tables and image).
class CTagDefineBitsJPEG2 : public CSwfDefineTag {
public:
    CTagDefineBitsJPEG2() = default;
    CTagDefineBitsJPEG2(uint16_t id, const uint8_t* bytes, size_t length);

    int GetTagCode() const override { return swf_tag::kDefineBitsJPEG2; }
    int Parse(CSwfReader& reader) override;
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    // The body length Parse uses; 0 reads up to the second end-of-image marker.
    virtual void SetLength(uint32_t length) { bodyLength = length; }
    virtual void SetData(uint16_t id, const std::vector<uint8_t>& bytes);

    std::vector<uint8_t> data;
    uint32_t bodyLength = 0;
};

// JPEG stream plus zlib-compressed alpha values.
class CTagDefineBitsJPEG3 : public CTagDefineBitsJPEG2 {
public:
    CTagDefineBitsJPEG3() = default;
    CTagDefineBitsJPEG3(uint16_t id, const uint8_t* jpegBytes, size_t jpegLength, const uint8_t* alphaBytes,
                        size_t alphaLength);

    int GetTagCode() const override { return swf_tag::kDefineBitsJPEG3; }
    int Parse(CSwfReader& reader) override;
    // The alpha data offset written is always the JPEG data's real length, so
    // replacing the JPEG data never leaves a stale offset.
    int Write(CSwfStream& stream) override;
    void SetData(uint16_t id, const std::vector<uint8_t>& bytes) override;

    uint32_t alphaDataOffset = 0;
    std::vector<uint8_t> alphaData;
};

class CTagDefineBitsLossless : public CSwfDefineTag {
public:
    enum : uint8_t { kColorMapped8 = 3, kRgb15 = 4, kRgb32 = 5 };

    explicit CTagDefineBitsLossless(uint8_t format = kRgb32) : format(format) {}

    int GetTagCode() const override { return swf_tag::kDefineBitsLossless; }
    int Parse(CSwfReader& reader) override;
    // Always the long header form, whatever the body length.
    int Write(CSwfStream& stream) override;
    void OffsetIds(int idDelta, int depthDelta, int frameDelta) override;

    virtual uint16_t GetWidth() const { return width; }
    virtual void SetWidth(uint16_t w) { width = w; }
    virtual uint16_t GetHeight() const { return height; }
    virtual void SetHeight(uint16_t h) { height = h; }
    virtual uint8_t GetFormat() const { return format; }
    virtual void ClearData();
    void SetColorTableSize(uint8_t size) { colorTableSize = size; }
    void SetData(const uint8_t* bytes, size_t length);
    bool HasColorTable() const { return format == kColorMapped8; }

    uint8_t format;
    uint16_t width = 0;
    uint16_t height = 0;
    // Entries minus one; colour-mapped bitmaps only.
    uint8_t colorTableSize = 0;
    // zlib-compressed colour table and pixel rows.
    std::vector<uint8_t> data;
};

// The same layout; the colours carry alpha.
class CTagDefineBitsLossless2 : public CTagDefineBitsLossless {
public:
    explicit CTagDefineBitsLossless2(uint8_t format = kRgb32) : CTagDefineBitsLossless(format) {}
    int GetTagCode() const override { return swf_tag::kDefineBitsLossless2; }
};
