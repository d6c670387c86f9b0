#include "swf/reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "swf/actions.h"
#include "swf/bitmaps.h"
#include "swf/buttons.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/file_utils.h"
#include "swf/fonts.h"
#include "swf/morph.h"
#include "swf/movie.h"
#include "swf/shapes.h"
#include "swf/sounds.h"
#include "swf/stream.h"
#include "swf/text.h"
#include "swf/sprite.h"
#include "swf/video.h"

namespace {

// Signature, version and length.
constexpr uint32_t kFixedHeaderSize = 8;
// The marker tag some authoring tools leave in a movie.
constexpr int kMarkerTagCode = 999;

enum class TagMode { kNone, kAll, kControl };

struct FileCloser {
    void operator()(std::FILE* f) const
    {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

uint64_t FileSize(std::FILE* f)
{
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || st.st_size < 0) return 0;
    return uint64_t(st.st_size);
}

// Bytes the header holds after the signature and length: the frame RECT
// (its bit count in the top 5 bits of its first byte), rate and frame count.
uint64_t HeaderTailSize(uint8_t rectFirstByte)
{
    const uint32_t nbits = rectFirstByte >> 3;
    return (5 + 4 * nbits + 7) / 8 + 4;
}

// Expands a compressed movie into a fresh scratch file; false (and nothing
// left behind) when it cannot be expanded. Once the expansion is open for
// reading the scratch file may go: what is open stays readable.
bool ExpandToTemporary(const CPath& path, platform::PendingFile& temporary, int& error, uint64_t maxSize)
{
    if (!SwfMakeTemporaryFile(temporary)) {
        error = CSwfReader::kErrorCannotOpen;
        return false;
    }
    if (DecompressSwfFile(path.GetFullPath(), temporary.GetPath(), true, maxSize)) return true;
    // A damaged zlib stream is not a movie; a failed write is the temporary folder's fault.
    error = GetSwfFileLastError() == swf_file_error::kCannotWrite ? CSwfReader::kErrorCannotOpen
                                                                   : CSwfReader::kErrorNotSwf;
    temporary.Discard();
    return false;
}

}  // namespace

bool SwfMakeTemporaryFile(platform::PendingFile& out)
{
    return MakeWorkScratchFile(out, "_xxswfxx", ".bin");
}

// ---- CSwfReader: construction and state

CSwfReader::CSwfReader() : header(std::make_unique<CSwfHeader>()) {}

CSwfReader::~CSwfReader() = default;

void CSwfReader::ResetLoadState()
{
    tags.clear();
    header = std::make_unique<CSwfHeader>();
    owner = nullptr;
    fromCompressed = false;
    hasMarkerTag = hasProtect = hasDebugger = hasSound = false;
}

void CSwfReader::CloseInput() {}

void CSwfReader::ClearTags(bool deleteTags)
{
    if (!deleteTags) return;
    for (CSwfTag* tag : tags) delete tag;
    tags.clear();
}

void CSwfReader::GetFrameSize(int& width, int& height) const
{
    width = header->GetWidth();
    height = header->GetHeight();
}

CSwfTagList& CSwfReader::GetTags(CSwfMovie* movie)
{
    owner = movie;
    return tags;
}

int CSwfReader::GetWidth() const
{
    int w = 0, h = 0;
    GetFrameSize(w, h);
    return w;
}

int CSwfReader::GetHeight() const
{
    int w = 0, h = 0;
    GetFrameSize(w, h);
    return h;
}

// ---- loading

// Reads the movie from f (positioned after the signature and version when
// hasSignature) into data, never more than the file holds.
bool CSwfReader::LoadFrom(std::FILE* f, bool hasSignature, uint32_t lengthOverride)
{
    uint8_t lengthBytes[4] = {};
    if (std::fread(lengthBytes, 1, 4, f) != 4) {
        lastError = kErrorNotSwf;
        return false;
    }
    uint32_t length = uint32_t(lengthBytes[0]) | uint32_t(lengthBytes[1]) << 8 | uint32_t(lengthBytes[2]) << 16 |
                      uint32_t(lengthBytes[3]) << 24;
    if (lengthOverride != 0) length = lengthOverride;
    data.insert(data.end(), lengthBytes, lengthBytes + 4);

    // The length counts the signature and version even when they are absent.
    const uint64_t wanted = hasSignature ? length : (length >= 4 ? uint64_t(length) - 4 : 0);
    const uint64_t held = FileSize(f);
    const uint64_t available = held > uint64_t(std::ftell(f)) ? held - uint64_t(std::ftell(f)) : 0;
    const uint64_t rest = wanted > data.size() ? std::min<uint64_t>(wanted - data.size(), available) : 0;
    if (data.size() + rest > maxMovieSize) {
        data.clear();
        lastError = kErrorNotSwf;
        return false;
    }
    try {
        data.resize(data.size() + rest);
    } catch (const std::bad_alloc&) {
        data.clear();
        lastError = kErrorOutOfMemory;
        return false;
    }
    const size_t start = data.size() - rest;
    const size_t got = std::fread(data.data() + start, 1, rest, f);
    data.resize(start + got);
    return true;
}

bool CSwfReader::ParseLoadedHeader(bool hasSignature, bool parseTags, bool controlOnly)
{
    // A movie too short for its own header is not a movie.
    const size_t rectAt = hasSignature ? kFixedHeaderSize : 4;
    if (data.size() <= rectAt || data.size() < rectAt + HeaderTailSize(data[rectAt])) {
        data.clear();
        lastError = kErrorNotSwf;
        return false;
    }
    position = 0;
    bitPosition = 0;
    header->Parse(*this, hasSignature);
    if (hasSignature) movieVersion = header->version;
    AlignToByte();
    if (!parseTags) return true;
    const int before = lastError;
    lastError = kErrorNone;
    SplitTags(*this, 0, controlOnly);
    if (lastError == kErrorOutOfMemory) return false;
    lastError = before;
    return true;
}

bool CSwfReader::LoadFile(const CPath& path, bool hasSignature, uint32_t lengthOverride, int tagMode)
{
    Reset();
    FilePtr f(path.Fopen("rb"));
    if (!f) {
        lastError = kErrorCannotOpen;
        return false;
    }
    if (hasSignature) {
        uint8_t sig[4] = {};
        const size_t got = std::fread(sig, 1, 4, f.get());
        if (got < 3 || (sig[0] != 'F' && sig[0] != 'C') || sig[1] != 'W' || sig[2] != 'S') {
            lastError = kErrorNotSwf;
            return false;
        }
        if (sig[0] == 'C') {
            f.reset();
            platform::PendingFile temporary;
            if (!ExpandToTemporary(path, temporary, lastError, maxMovieSize)) return false;
            const bool ok = LoadFile(CPath(temporary.GetPath()), hasSignature, lengthOverride, tagMode);
            fromCompressed = true;
            return ok;
        }
        if (got < 4) {
            lastError = kErrorNotSwf;
            return false;
        }
        data.assign(sig, sig + 4);
    }
    if (!LoadFrom(f.get(), hasSignature, lengthOverride)) return false;
    return ParseLoadedHeader(hasSignature, tagMode != int(TagMode::kNone), tagMode == int(TagMode::kControl));
}

bool CSwfReader::Parse(const CPath& path, bool hasSignature, uint32_t lengthOverride, bool parseTags)
{
    return LoadFile(path, hasSignature, lengthOverride, int(parseTags ? TagMode::kAll : TagMode::kNone));
}

bool CSwfReader::Open(const CPath& path) { return LoadFile(path, true, 0, int(TagMode::kControl)); }

bool CSwfReader::OpenMemory(const uint8_t* bytes, size_t size, bool hasSignature, uint32_t lengthOverride,
                            bool parseTags)
{
    Reset();
    if (!bytes) size = 0;
    size_t at = 0;
    if (hasSignature) {
        if (size < 4 || (bytes[0] != 'F' && bytes[0] != 'C') || bytes[1] != 'W' || bytes[2] != 'S') {
            lastError = kErrorNotSwf;
            return false;
        }
        if (bytes[0] == 'C') {
            // Expansion needs a file; compressed movies are opened by path.
            fromCompressed = true;
            lastError = kErrorNotSwf;
            return false;
        }
        at = 4;
    }
    if (size < at + 4) {
        lastError = kErrorNotSwf;
        return false;
    }
    uint32_t length = uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                      uint32_t(bytes[at + 3]) << 24;
    if (lengthOverride != 0) length = lengthOverride;
    const uint64_t wanted = hasSignature ? length : (length >= 4 ? uint64_t(length) - 4 : 0);
    const uint64_t take = std::max<uint64_t>(std::min<uint64_t>(wanted, size), at + 4);
    try {
        data.assign(bytes, bytes + take);
    } catch (const std::bad_alloc&) {
        data.clear();
        lastError = kErrorOutOfMemory;
        return false;
    }
    return ParseLoadedHeader(hasSignature, parseTags, false);
}

// ---- tag split

void CSwfReader::ParseTags(CSwfReader* source, int maxFrames) { SplitTags(source ? *source : *this, maxFrames, false); }

void CSwfReader::ParseControlTags() { SplitTags(*this, 0, true); }

void CSwfReader::SplitTags(CSwfReader& source, int maxFrames, bool controlOnly)
{
    tags.clear();
    tagLength = 0;
    int frames = 0;
    for (;;) {
        int code = 0;
        uint32_t length = 0;
        if (!source.ReadTagHeader(code, length)) {
            // The data ended without an End tag: end the list as if it had one.
            tags.push_back(controlOnly ? static_cast<CSwfTag*>(new CTagRaw(swf_tag::kEnd, 0)) : new CTagEnd);
            return;
        }
        tagLength = length;
        // Computed wide and clamped, so a huge length can neither wrap nor
        // move the split backwards.
        const uint64_t end = std::min<uint64_t>(uint64_t(source.GetPosition()) + length, source.GetDataEnd());
        bool last = code == swf_tag::kEnd;
        if (code == swf_tag::kShowFrame && maxFrames != 0 && ++frames >= maxFrames) last = true;

        std::unique_ptr<CSwfTag> tag;
        const uint64_t outerLimit = source.GetLimit();
        try {
            if (controlOnly && code != swf_tag::kSetBackgroundColor && code != swf_tag::kFrameLabel)
                tag = std::make_unique<CTagRaw>(uint16_t(code), length);
            else
                tag.reset(CreateTag(code, length));
            source.SetLimit(end);
            tag->Parse(source);
            source.AlignToByte();
            source.SetLimit(outerLimit);
            tags.push_back(tag.get());
        } catch (const std::bad_alloc&) {
            source.SetLimit(outerLimit);
            lastError = kErrorOutOfMemory;
            tags.push_back(new CTagEnd);
            return;
        }
        tag.release();
        source.Seek(uint32_t(std::min<uint64_t>(end, UINT32_MAX)));
        source.tagLength = length;
        if (last) return;
    }
}

namespace {

bool IsSpriteTagCode(int code)
{
    switch (code) {
    case swf_tag::kEnd:
    case swf_tag::kShowFrame:
    case swf_tag::kFreeCharacter:
    case swf_tag::kPlaceObject:
    case swf_tag::kRemoveObject:
    case swf_tag::kDoAction:
    case swf_tag::kStartSound:
    case swf_tag::kSoundStreamHead:
    case swf_tag::kSoundStreamBlock:
    case swf_tag::kPlaceObject2:
    case swf_tag::kRemoveObject2:
    case swf_tag::kFrameLabel:
    case swf_tag::kSoundStreamHead2:
    case swf_tag::kDefineVideoStream:
    case swf_tag::kVideoFrame:
        return true;
    default:
        return false;
    }
}

}  // namespace

bool CTagDefineSprite::IsNestedTagCode(int code) { return IsSpriteTagCode(code); }

CSwfTag* CSwfReader::CreateTag(int code, uint32_t length)
{
    if (insideSprite && !IsSpriteTagCode(code)) return new CTagRaw(uint16_t(code), length);
    switch (code) {
    case swf_tag::kEnd: return new CTagEnd;
    case swf_tag::kShowFrame: return new CTagShowFrame;
    case swf_tag::kDefineShape: return new CTagDefineShape;
    case swf_tag::kFreeCharacter: return new CTagFreeCharacter;
    case swf_tag::kPlaceObject: return new CTagPlaceObject;
    case swf_tag::kRemoveObject: return new CTagRemoveObject;
    case swf_tag::kDefineBits: return new CTagDefineBits;
    case swf_tag::kDefineButton: return new CTagDefineButton;
    case swf_tag::kJPEGTables: return new CTagJPEGTables;
    case swf_tag::kSetBackgroundColor: return new CTagSetBackgroundColor;
    case swf_tag::kDefineFont: return new CTagDefineFont;
    case swf_tag::kDefineText: return new CTagDefineText;
    case swf_tag::kDoAction: return new CTagDoAction;
    case swf_tag::kDefineFontInfo: return new CTagDefineFontInfo;
    case swf_tag::kDefineSound: hasSound = true; return new CTagDefineSound;
    case swf_tag::kStartSound: hasSound = true; return new CTagStartSound;
    case swf_tag::kDefineButtonSound: return new CTagDefineButtonSound;
    case swf_tag::kSoundStreamHead: return new CTagSoundStreamHead;
    case swf_tag::kSoundStreamBlock: hasSound = true; return new CTagSoundStreamBlock;
    case swf_tag::kDefineBitsLossless: return new CTagDefineBitsLossless;
    case swf_tag::kDefineBitsJPEG2: return new CTagDefineBitsJPEG2;
    case swf_tag::kDefineShape2: return new CTagDefineShape2;
    case swf_tag::kDefineButtonCxform: return new CTagDefineButtonCxform;
    case swf_tag::kProtect: hasProtect = true; return new CTagProtect;
    case swf_tag::kPlaceObject2: return new CTagPlaceObject2;
    case swf_tag::kRemoveObject2: return new CTagRemoveObject2;
    case swf_tag::kDefineShape3: return new CTagDefineShape3;
    case swf_tag::kDefineText2: return new CTagDefineText2;
    case swf_tag::kDefineButton2: return new CTagDefineButton2;
    case swf_tag::kDefineBitsJPEG3: return new CTagDefineBitsJPEG3;
    case swf_tag::kDefineBitsLossless2: return new CTagDefineBitsLossless2;
    case swf_tag::kDefineEditText: return new CTagDefineEditText;
    case swf_tag::kDefineSprite: return new CTagDefineSprite;
    case swf_tag::kFrameLabel: return new CTagFrameLabel;
    case swf_tag::kSoundStreamHead2: return new CTagSoundStreamHead2;
    case swf_tag::kDefineMorphShape: return new CTagDefineMorphShape;
    case swf_tag::kDefineFont2: return new CTagDefineFont2;
    case swf_tag::kExportAssets: return new CTagExportAssets;
    case swf_tag::kImportAssets: return new CTagImportAssets;
    case swf_tag::kEnableDebugger: hasDebugger = true; return new CTagEnableDebugger;
    case swf_tag::kDoInitAction: return new CTagDoInitAction;
    case swf_tag::kDefineVideoStream: return new CTagDefineVideoStream;
    case swf_tag::kVideoFrame: return new CTagVideoFrame(length);
    case swf_tag::kDefineFontInfo2: return new CTagDefineFontInfo2;
    case swf_tag::kEnableDebugger2: hasDebugger = true; return new CTagEnableDebugger2;
    case kMarkerTagCode: hasMarkerTag = true; return new CTagRaw(uint16_t(code), length);
    default: return new CTagRaw(uint16_t(code), length);
    }
}

// ---- CSwfFileReader

CSwfFileReader::~CSwfFileReader() { CSwfFileReader::CloseInput(); }

void CSwfFileReader::CloseInput()
{
    if (file) std::fclose(file);
    file = nullptr;
    window.clear();
    windowStart = 0;
    fileSize = 0;
}

void CSwfFileReader::GetFrameSize(int& width, int& height) const
{
    width = xmax - xmin;
    height = ymax - ymin;
}

bool CSwfFileReader::OpenFile(const CPath& path)
{
    CloseInput();
    Reset();
    file = path.Fopen("rb");
    if (!file) {
        lastError = kErrorCannotOpen;
        return false;
    }
    fileSize = std::min<uint64_t>(FileSize(file), UINT32_MAX);
    position = 0;
    const uint8_t first = ReadU8();
    if (first == 'C') {
        CloseInput();
        platform::PendingFile expanded;
        if (!ExpandToTemporary(path, expanded, lastError, maxMovieSize)) return false;
        // The open file keeps the expansion readable once its scratch file goes.
        if (!OpenFile(CPath(expanded.GetPath()))) return false;
        fromCompressed = true;
        return true;
    }
    if (first != 'F' || ReadU8() != 'W' || ReadU8() != 'S' || fileSize < kFixedHeaderSize + 1) {
        CloseInput();
        lastError = kErrorNotSwf;
        return false;
    }
    version = ReadU8();
    fileLength = ReadU32();
    // The RECT's bytes, all of them present, or this is no movie.
    const uint64_t tail = HeaderTailSize(PeekU8());
    if (fileSize < kFixedHeaderSize + tail) {
        CloseInput();
        lastError = kErrorNotSwf;
        return false;
    }
    const int nbits = int(ReadBits(5, false));
    xmin = int32_t(ReadBits(nbits, true));
    xmax = int32_t(ReadBits(nbits, true));
    ymin = int32_t(ReadBits(nbits, true));
    ymax = int32_t(ReadBits(nbits, true));
    const uint8_t fraction = ReadU8();
    const uint8_t whole = ReadU8();
    frameRate = float(whole + fraction / 256.0);
    frameCount = ReadU16();

    header->version = version;
    header->fileLength = fileLength;
    header->frameRect.xmin = xmin;
    header->frameRect.xmax = xmax;
    header->frameRect.ymin = ymin;
    header->frameRect.ymax = ymax;
    header->frameRate = frameRate;
    header->frameCount = frameCount;
    movieVersion = version;
    return true;
}

bool CSwfFileReader::FetchByte(uint64_t at, uint8_t& out)
{
    if (!file || at >= fileSize) return false;
    // Reads go through a window of the file: peeks, bit reads and the seeks
    // of the tag split move back and forth within a few bytes.
    if (at < windowStart || at - windowStart >= window.size()) {
        constexpr size_t kWindowSize = 64 * 1024;
        window.resize(size_t(std::min<uint64_t>(kWindowSize, fileSize - at)));
        windowStart = at;
        if (std::fseek(file, long(at), SEEK_SET) != 0) {
            window.clear();
            return false;
        }
        window.resize(std::fread(window.data(), 1, window.size(), file));
        if (window.empty()) return false;
    }
    out = window[size_t(at - windowStart)];
    return true;
}

uint64_t CSwfFileReader::GetDataEnd() const { return std::min<uint64_t>(fileSize, GetLimit()); }

uint32_t CSwfFileReader::ReadBits(int count, bool isSigned)
{
    if (count <= 0) return 0;
    uint32_t result = 0;
    uint8_t current = 0;
    bool haveCurrent = false;
    for (int i = 0; i < count; ++i) {
        if (bitPosition == 8) {
            bitPosition = 0;
            ++position;
            haveCurrent = false;
        }
        if (!haveCurrent) {
            current = 0;
            if (position < GetDataEnd()) FetchByte(position, current);
            haveCurrent = true;
        }
        const uint32_t bit = (current >> (7 - bitPosition)) & 1u;
        ++bitPosition;
        result = (result << 1) | bit;
    }
    if (isSigned && count < 32 && (result >> (count - 1)) & 1u) result |= ~uint32_t(0) << count;
    return result;
}

uint8_t CSwfFileReader::PeekU8()
{
    const uint64_t at = uint64_t(position) + (bitPosition > 0 ? 1 : 0);
    uint8_t b = 0;
    if (at < GetDataEnd()) FetchByte(at, b);
    return b;
}

uint8_t CSwfFileReader::ReadU8()
{
    AlignToByte();
    uint8_t b = 0;
    if (GetRemaining() < 1 || !FetchByte(position, b)) return 0;
    ++position;
    return b;
}

uint16_t CSwfFileReader::ReadU16()
{
    AlignToByte();
    if (GetRemaining() < 2) return 0;
    uint8_t b[2] = {};
    if (!FetchByte(position, b[0]) || !FetchByte(uint64_t(position) + 1, b[1])) return 0;
    position += 2;
    return uint16_t(b[0] | b[1] << 8);
}

uint32_t CSwfFileReader::ReadU32()
{
    AlignToByte();
    if (GetRemaining() < 4) return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t b = 0;
        if (!FetchByte(uint64_t(position) + i, b)) return 0;
        v |= uint32_t(b) << (8 * i);
    }
    position += 4;
    return v;
}
