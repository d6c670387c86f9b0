#pragma once
// The data cursor of the SWF reader and the byte, bit and string reads that
// every Parse uses. Reads past the end yield 0 and do not advance, so a
// truncated body reads as zeros. The loading of files, the tag split and the
// tag factory build on this class.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class CPath;
class CSwfHeader;
class CSwfMovie;
class CSwfStream;
class CSwfTag;

// A parsed tag list; who owns the tags is said where a list is kept.
using CSwfTagList = std::vector<CSwfTag*>;

class CSwfReader {
public:
    CSwfReader();
    // Does not delete the tags: ClearTags(true) first.
    virtual ~CSwfReader();
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
    // Bytes left from the position to the end of the data (or the limit).
    virtual uint64_t GetRemaining() const;

    // Reads stop at the limit as at the end of the data: the tag split bounds
    // each tag's parse to its own body with it.
    uint64_t GetLimit() const { return limit; }
    void SetLimit(uint64_t end) { limit = end; }
    // End of the readable data: the limit or the data's end, whichever is first.
    virtual uint64_t GetDataEnd() const;

    // ---- loading, tag split and factory (reader.cpp)
    enum : int { kErrorNone = 0, kErrorCannotOpen = 1, kErrorNotSwf = 2, kErrorOutOfMemory = 3 };

    virtual void CloseInput();
    virtual bool Parse(const CPath& path, bool hasSignature, uint32_t lengthOverride, bool parseTags);
    virtual bool Open(const CPath& path);
    virtual bool OpenMemory(const uint8_t* bytes, size_t size, bool hasSignature, uint32_t lengthOverride,
                            bool parseTags);
    virtual void ClearTags(bool deleteTags);
    virtual void GetFrameSize(int& width, int& height) const;

    CSwfTagList& GetTags(CSwfMovie* owner);
    int GetWidth() const;
    int GetHeight() const;
    const CSwfHeader& GetHeader() const { return *header; }
    // Splits the source's data (this reader's when null) into tags; stops at
    // the End tag, the end of the data or after maxFrames ShowFrames (0: all).
    void ParseTags(CSwfReader* source, int maxFrames);
    void ParseAllTags() { ParseTags(nullptr, 0); }
    void ParseControlTags();
    CSwfTag* CreateTag(int code, uint32_t length);
    // The factory of a sprite's body: only the tags a sprite may hold get
    // their class, every other one stays raw, so sprites never nest.
    void SetInsideSprite(bool on) { insideSprite = on; }

    // Largest movie a load accepts, after expansion; a compressed stream is
    // expanded only up to it, and a movie past it is refused as not a SWF file.
    static constexpr uint64_t kDefaultMaxMovieSize = uint64_t(256) << 20;
    uint64_t maxMovieSize = kDefaultMaxMovieSize;

    bool fromCompressed = false;
    bool hasMarkerTag = false, hasProtect = false, hasDebugger = false, hasSound = false;

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

protected:
    void ResetLoadState();
    bool LoadFile(const CPath& path, bool hasSignature, uint32_t lengthOverride, int tagMode);
    bool LoadFrom(std::FILE* file, bool hasSignature, uint32_t lengthOverride);
    bool ParseLoadedHeader(bool hasSignature, bool parseTags, bool controlOnly);
    void SplitTags(CSwfReader& source, int maxFrames, bool controlOnly);

    uint64_t limit = UINT64_MAX;
    std::unique_ptr<CSwfHeader> header;
    CSwfTagList tags;
    CSwfMovie* owner = nullptr;
    bool insideSprite = false;
};

// Significant bits of value: 0 for 0, 16 when bit 15 is set.
uint8_t SwfCountBits16(uint16_t value);
