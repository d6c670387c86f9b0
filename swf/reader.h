#pragma once
// Reading existing SWF movies: CSwfReader (swf/reader_primitives.h) loads a
// whole movie into memory and splits it into tags; CSwfFileReader reads the
// header itself and then reads from the open file on demand.
//
// Movies come from anywhere, so nothing in a file is trusted: the header's
// length never makes the reader read more than the file holds, every tag
// parses through a cursor limited to its own body, and a compressed movie is
// expanded into a scratch file of its own that goes with it.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "foundation/path.h"
#include "swf/reader_primitives.h"

class CSwfFileReader : public CSwfReader {
public:
    CSwfFileReader() = default;
    ~CSwfFileReader() override;

    // Opens the file and reads the header; the file is left at the first tag.
    bool OpenFile(const CPath& path);
    // Closes the file (and with it the expansion of a compressed movie).
    void CloseInput() override;
    void GetFrameSize(int& width, int& height) const override;

    uint32_t ReadBits(int count, bool isSigned) override;
    uint8_t PeekU8() override;
    uint8_t ReadU8() override;
    uint16_t ReadU16() override;
    uint32_t ReadU32() override;
    uint64_t GetDataEnd() const override;

    uint64_t fileSize = 0;
    uint8_t version = 0;
    uint32_t fileLength = 0;
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    float frameRate = 0;
    uint16_t frameCount = 0;

private:
    // The byte at an offset of the file; false past its end or on a read error.
    bool FetchByte(uint64_t at, uint8_t& out);

    std::FILE* file = nullptr;
    std::vector<uint8_t> window;
    uint64_t windowStart = 0;
};

// A private scratch file in the work folder for the expansion of a
// compressed movie; false when none can be made.
bool SwfMakeTemporaryFile(platform::PendingFile& out);
