#pragma once
// JPEG metadata: splitting a JPEG file into its marker sections and
// rebuilding it without comments, EXIF and other non-image sections, and
// reading the EXIF orientation.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/path.h"

class CJpegSections {
public:
    enum : int {
        kReadMetadata = 1,  // keep the EXIF section and the first comment
        kReadImage = 2,     // keep the compressed data after the scan header
    };
    // Type of the section that holds everything after the start of scan.
    static constexpr int kImageData = 291;
    static constexpr int kMaxSections = 100;

    struct ImageInfo {
        int32_t height = 0;
        int32_t width = 0;
        bool colorImage = false;
        int process = 0;
        std::string comment;  // at most 1998 characters
    };

    struct Section {
        // The two length bytes (high first) and the payload; for the image
        // data, the bytes as they stand.
        std::vector<uint8_t> data;
        int type = 0;
        size_t size() const { return data.size(); }
    };

    CJpegSections() = default;
    ~CJpegSections() = default;

    // Every read is bounded by length; false for anything that is not a
    // well-formed sequence of sections, which also discards what was read.
    bool Read(const uint8_t* data, size_t length, int mode);
    void ProcessComment(const uint8_t* data, size_t length);
    // Ignores a frame header too short to hold its fields.
    void ProcessSOFn(const uint8_t* data, size_t length, int marker);
    bool RemoveSectionsOfType(int type);
    bool KeepImageSections();
    // The JPEG stream without comment, EXIF and non-image sections: a new[]
    // block the caller releases, its length in *outSize; null when the data
    // cannot be read.
    uint8_t* BuildPlainJpeg(const uint8_t* data, size_t length, size_t* outSize);

    // Frees every section and clears the information record.
    void DiscardData();
    // Empties the table only.
    void ResetTable();

    const ImageInfo& GetInfo() const { return info; }
    const std::vector<Section>& GetSections() const { return sections; }
    int GetCount() const { return int(sections.size()); }
    bool HasAll() const { return haveAll; }

private:
    ImageInfo info;
    std::vector<Section> sections;
    bool haveAll = false;
};

// The picture's own JPEG stream in the data: from its start of image (the
// data's first bytes, else the first FF D8 FF) through the end-of-image
// marker of that stream (to the end of the data when it is cut off),
// stepping over segments by their lengths, so that a thumbnail inside one
// is never taken. Null without a scan.
const uint8_t* FindMainJpegStream(const uint8_t* data, size_t length, size_t* outLength);
// The same in an open file of fileSize bytes, read through a bounded
// buffer: the stream's offset and length; false without one.
bool FindMainJpegStream(std::FILE* file, uint64_t fileSize, uint64_t* start, uint64_t* length);

// The coding of a JPEG stream's first frame: the one judge of JPEG kinds,
// for the players and for the decoder here alike. Both take 8-bit samples,
// Huffman-coded, sequential or progressive; players take nothing else, and
// libjpeg here decodes arithmetic coding besides.
struct JpegFrameKind {
    bool found = false;  // a frame header was read
    bool arithmetic = false, lossless = false, hierarchical = false;
    int precision = 8;
    int components = 0;  // of the frame: players take 1 (grey) and 3 (YCbCr)
    bool ycck = false;   // four components that an Adobe segment calls YCCK
    // What sets the frame apart, in words that follow "the file's JPEG is":
    // "lossless", "hierarchical", "of 12-bit samples", "arithmetic-coded",
    // "CMYK", "YCCK"; "" for the kind both take.
    std::string Words() const;
    // "a lossless JPEG", "a JPEG of 12-bit samples".
    std::string Named() const;
    bool PlayersRefuse() const { return !Words().empty(); }
    bool DecoderRefuses() const { return lossless || hierarchical || precision != 8; }
};
JpegFrameKind ReadJpegFrameKind(const uint8_t* data, size_t length);
// The same over an open file, read from its start through a bounded buffer.
JpegFrameKind ReadJpegFrameKind(std::FILE* file, uint64_t fileSize);

// What makes the first frame one that players refuse to show: its kind's
// words, "" for a frame they decode or where no frame is found.
std::string JpegFramePlayersRefuse(const uint8_t* data, size_t length);

class CImageExifInfo {
public:
    // The EXIF orientation of the file (1..8), or 0 when it has none or no
    // ExifVersion tag.
    unsigned Load(const CPath& path);
    static unsigned FromData(const uint8_t* data, size_t length);
};
