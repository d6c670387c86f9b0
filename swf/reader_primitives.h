#pragma once
// The data cursor of the SWF reader and the byte, bit and string reads that
// every Parse uses. Reads past the end yield 0 and do not advance, so a
// truncated body reads as zeros. The loading of files, the tag split and the
// tag factory build on this class.
#include <cstdint>
#include <string>
#include <vector>

class CSwfStream;

class CSwfReader {
public:
    CSwfReader() = default;
    virtual ~CSwfReader() = default;
    CSwfReader(const CSwfReader&) = delete;
    CSwfReader& operator=(const CSwfReader&) = delete;

    // Clears the cursor and the data; lastError keeps its value.
    virtual void Reset();
    // Reads a copy of the stream's bytes; the movie version becomes the stream's.
    virtual bool LoadStream(CSwfStream& stream);
    // Reads a copy of the bytes, for a movie of the given version.
    bool LoadBytes(const std::vector<uint8_t>& bytes, uint8_t movieVersion);

    virtual void Seek(uint32_t position);
    virtual void Skip(int count);
    virtual void AlignToByte();
    virtual uint32_t ReadBits(int count, bool isSigned);
    virtual uint8_t PeekU8();
    virtual uint8_t ReadU8();
    virtual uint16_t ReadU16();
    virtual uint32_t ReadU32();
    // count 0: up to a zero byte (consumed, not stored) or the end; else exactly
    // count bytes. markAbsolute notes strings that look like absolute paths.
    virtual void ReadString(std::string& out, uint32_t count, bool markAbsolute);
    // Bytes left from the position to the end of the data.
    virtual uint64_t GetRemaining() const;

    // Reads a record header (short or long form) and makes its length the
    // current tag length; false at the end of the data.
    bool ReadTagHeader(int& code, uint32_t& length);

    uint32_t GetPosition() const { return position; }
    int GetBitPosition() const { return bitPosition; }
    uint32_t GetTagLength() const { return tagLength; }
    void SetTagLength(uint32_t length) { tagLength = length; }
    uint8_t GetMovieVersion() const { return movieVersion; }
    void SetMovieVersion(uint8_t version) { movieVersion = version; }
    bool HasAbsolutePaths() const { return hasAbsolutePaths; }
    const std::vector<uint8_t>& GetData() const { return data; }

    std::vector<uint8_t> data;
    uint32_t position = 0;
    int bitPosition = 0;
    uint32_t tagLength = 0;
    // Version of the movie being read; tags whose layout depends on it read it.
    uint8_t movieVersion = 4;
    bool hasAbsolutePaths = false;
    int lastError = 0;
};

// Significant bits of value: 0 for 0, 16 when bit 15 is set.
uint8_t SwfCountBits16(uint16_t value);
